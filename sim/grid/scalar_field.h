#pragma once

#include "sim/grid/grid_array.h"

// A cell-centred quantity: sample (i, j) sits at ((i + 0.5)*dx, (j + 0.5)*dx).
struct ScalarField {
    GridArray values;  // extents (nx, ny)
    double dx;
    uint32_t nx;
    uint32_t ny;

    ScalarField(uint32_t nx, uint32_t ny, double dx) : values(nx, ny), dx(dx), nx(nx), ny(ny) {}
};
