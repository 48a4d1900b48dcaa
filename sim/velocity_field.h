#pragma once

#include "PCG/lanes.h"
#include "sim/grid_array.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

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
    // Real is double, or lanes::Lanes for four points at once, each computed as
    // the single point would be. Defined below, inline: advection and the
    // tracers call it in their inner loops.
    template <typename Real>
    Real sample(int component, Real x, Real y) const;

    double interpolate(int component, double x, double y) const { return sample(component, x, y); }
    Velocity velocityAt(double x, double y) const
    {
        return {interpolate(0, x, y), interpolate(1, x, y)};
    }
};

namespace sampling {

template <typename Real>
struct AxisStencil {
    Real base;    // index of the lower sample, a whole number
    Real weight;  // weight of the lower sample; the upper one gets 1 - weight
};

// The whole part of a coordinate in [0, 2^31).
inline double wholePart(double g)
{
    return double(uint32_t(g));
}

inline pcg::lanes::Lanes wholePart(pcg::lanes::Lanes g)
{
    return __builtin_convertvector(__builtin_convertvector(g, pcg::lanes::Int32Lanes), pcg::lanes::Lanes);
}

// cond ? a : b, lane by lane for four points.
inline double choose(bool cond, double a, double b)
{
    return cond ? a : b;
}

inline pcg::lanes::Lanes choose(pcg::lanes::Mask cond, pcg::lanes::Lanes a, pcg::lanes::Lanes b)
{
    return pcg::lanes::select(cond, a, b);
}

template <typename Real>
inline Real splat(double x)
{
    if constexpr (std::is_same_v<Real, double>)
        return x;
    else
        return pcg::lanes::splat(x);
}

// g is the grid coordinate, lastIndex the last valid sample index along the axis.
template <typename Real>
inline AxisStencil<Real> axisStencil(Real g, uint32_t lastIndex)
{
    // Below zero, NaN, and beyond what an int32 cell index can hold all count as
    // negative: the first sample. In between, truncation is the floor.
    const auto inside = (g >= 0.0) & (g < 2147483648.0);
    const Real zero = splat<Real>(0.0), one = splat<Real>(1.0);
    const Real n = wholePart(choose(inside, g, zero));
    const double last = lastIndex;
    const auto belowLast = n < last;
    return {choose(inside, choose(belowLast, n, splat<Real>(last - 1.0)), zero),
            choose(inside, choose(belowLast, 1.0 - (g - n), zero), one)};
}

// The samples at (a, b), (a + 1, b), (a, b + 1) and (a + 1, b + 1).
template <typename Real>
struct Corners {
    Real lowLow, highLow, lowHigh, highHigh;
};

inline Corners<double> corners(const GridArray& samples, double a, double b)
{
    const double* at = samples.data.get() + size_t(uint32_t(a)) * samples.extent[1] + uint32_t(b);
    const size_t next = samples.extent[1];
    return {at[0], at[next], at[1], at[next + 1]};
}

inline Corners<pcg::lanes::Lanes> corners(const GridArray& samples, pcg::lanes::Lanes a, pcg::lanes::Lanes b)
{
    using pcg::lanes::Int32Lanes;
    const Int32Lanes first = __builtin_convertvector(a, Int32Lanes), second = __builtin_convertvector(b, Int32Lanes);
    const size_t next = samples.extent[1];
    Corners<pcg::lanes::Lanes> c;
    for (unsigned l = 0; l < pcg::lanes::count; ++l) {
        const double* at = samples.data.get() + size_t(first[l]) * next + size_t(second[l]);
        c.lowLow[l] = at[0];
        c.highLow[l] = at[next];
        c.lowHigh[l] = at[1];
        c.highHigh[l] = at[next + 1];
    }
    return c;
}

}  // namespace sampling

template <typename Real>
inline Real VelocityField::sample(int component, Real x, Real y) const
{
    const GridArray& samples = this->component(component);
    // Samples sit half a cell in along the axis that is not the component's own.
    const Real gx = component == 0 ? x / dx : x / dx - 0.5;
    const Real gy = component == 1 ? y / dx : y / dx - 0.5;
    const sampling::AxisStencil<Real> sx = sampling::axisStencil(gx, component == 0 ? nx : nx - 1);
    const sampling::AxisStencil<Real> sy = sampling::axisStencil(gy, component == 1 ? ny : ny - 1);
    const sampling::Corners<Real> c = sampling::corners(samples, sx.base, sy.base);

    Real sum{};  // 0.0 (in every lane)
    sum += c.lowLow * (sx.weight * sy.weight);
    sum += c.highLow * ((1.0 - sx.weight) * sy.weight);
    sum += c.lowHigh * (sx.weight * (1.0 - sy.weight));
    sum += c.highHigh * ((1.0 - sx.weight) * (1.0 - sy.weight));
    return sum;
}
