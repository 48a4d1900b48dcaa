#pragma once

#include "sim/grid_array.h"

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

    // The one sampling rule of the program: bilinear between the four nearest
    // samples of the component, clamped to the border samples outside the grid.
    // Defined below, inline: advection and the tracers call it in their inner loops.
    double interpolate(int component, double x, double y) const;
    Velocity velocityAt(double x, double y) const
    {
        return {interpolate(0, x, y), interpolate(1, x, y)};
    }
};

namespace sampling {

struct AxisStencil {
    uint32_t base;  // index of the lower sample
    double weight;  // weight of the lower sample; the upper one gets 1 - weight
};

// g is the grid coordinate, lastIndex the last valid sample index along the axis.
inline AxisStencil axisStencil(double g, uint32_t lastIndex)
{
    // Below zero, NaN, and beyond what an int32 cell index can hold all count as
    // negative: the first sample. In between, truncation is the floor.
    if (!(g >= 0.0) || g >= 2147483648.0)
        return {0, 1.0};
    const uint32_t n = uint32_t(g);
    if (n < lastIndex)
        return {n, 1.0 - (g - double(n))};
    return {lastIndex - 1, 0.0};
}

}  // namespace sampling

inline double VelocityField::interpolate(int component, double x, double y) const
{
    const GridArray& samples = this->component(component);
    // Samples sit half a cell in along the axis that is not the component's own.
    const double gx = component == 0 ? x / dx : x / dx - 0.5;
    const double gy = component == 1 ? y / dx : y / dx - 0.5;
    const sampling::AxisStencil sx = sampling::axisStencil(gx, component == 0 ? nx : nx - 1);
    const sampling::AxisStencil sy = sampling::axisStencil(gy, component == 1 ? ny : ny - 1);

    double sum = 0.0;
    sum += samples.at(sx.base, sy.base) * (sx.weight * sy.weight);
    sum += samples.at(sx.base + 1, sy.base) * ((1.0 - sx.weight) * sy.weight);
    sum += samples.at(sx.base, sy.base + 1) * (sx.weight * (1.0 - sy.weight));
    sum += samples.at(sx.base + 1, sy.base + 1) * ((1.0 - sx.weight) * (1.0 - sy.weight));
    return sum;
}
