#pragma once
// A passive colour carried by the flow: red, green and blue per cell, at the
// cell centres, 0 (no dye) to 1. It moves from cell to cell through the
// faces, so that a closed box keeps all of it; it enters through bands that
// pour and leaves through openings; it never enters a solid.

#include "sim/domain/domain.h"
#include "sim/grid/grid_array.h"
#include "sim/grid/velocity_field.h"

#include <cstdint>

struct DyeField {
    GridArray channel[3];  // extents (nx, ny)
    DyeField(uint32_t nx, uint32_t ny);  // all clear
};

// Adds dye of the colour within radius (length units) of (x, y), fading out
// towards the edge; a cell holds at most 1 of each channel. Solid cells take none.
void pourDye(DyeField& dye, const Domain& domain, double x, double y, double radius, const float colour[3]);

// The dye's total of one channel over the fluid cells, times the cell area.
double dyeTotal(const DyeField& dye, const Domain& domain, int channel);

// Carries the dye one step of dt with the velocity, whose faces the domain holds.
void advectDye(DyeField& dye, const VelocityField& field, const Domain& domain, double dt);
