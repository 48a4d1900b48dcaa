#pragma once

#include "sim/grid/grid_array.h"
#include "sim/grid/field_samples.h"

#include <cstdint>

struct Velocity {
    double x;
    double y;
};

// Staggered (marker-and-cell) velocity: u(i, j) at (i*dx, (j + 0.5)*dx) on the
// faces normal to x, v(i, j) at ((i + 0.5)*dx, j*dx) on the faces normal to y.
struct VelocityField {
    GridArray u;  // component 0, extents (nx + 1, ny)
    GridArray v;  // component 1, extents (nx, ny + 1)
    double dx;
    uint32_t nx;
    uint32_t ny;

    VelocityField(uint32_t nx, uint32_t ny, double dx);

    GridArray& component(int number) { return number == 0 ? u : v; }
    const GridArray& component(int number) const { return number == 0 ? u : v; }

    // The one sampling rule of the program (sampling.h): bilinear between the
    // four nearest samples of the component, clamped to the border samples
    // outside the grid.
    double interpolate(int component, double x, double y) const;
    Velocity velocityAt(double x, double y) const
    {
        return {interpolate(0, x, y), interpolate(1, x, y)};
    }

    // What the sampling rule and the advection kernels read.
    FieldSamples samples() const { return {u.data.get(), v.data.get(), dx, nx, ny}; }
};

// The sub-steps of dt in which a field carried from cell to cell through the
// faces never has a cell pass on more than it holds: the fastest outflow of
// any cell, in cells per unit of time, times dt, rounded up (1 at least).
int cellToCellSubSteps(const VelocityField& field, double dt);
