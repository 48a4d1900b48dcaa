#pragma once
// The one sampling rule of the program: bilinear between the four nearest
// samples of a velocity component, clamped to the border samples outside the
// grid. Real is double for one point, or simd::lanes::Lanes for four points at
// once (in the wide forms of the advection kernels), each lane computed as the
// single point would be. The functions have internal linkage: every instruction-set form of
// the kernels gets a copy of its own.

#include "sim/grid/field_samples.h"
#include "simd/lanes.h"

#include <cstddef>
#include <cstdint>

namespace sampling {

namespace {

template <typename Real>
struct AxisWeights {
    Real base;    // index of the lower sample, a whole number
    Real weight;  // weight of the lower sample; the upper one gets 1 - weight
};

// The whole part of a coordinate in [0, 2^31).
inline double wholePart(double g)
{
    return double(uint32_t(g));
}

// cond ? a : b, lane by lane for four points.
inline double choose(bool cond, double a, double b)
{
    return cond ? a : b;
}

// x as a value of the first argument's type, in every lane for four points.
inline double splat(double, double x)
{
    return x;
}

#if defined(FLOWBOX_FORM_WIDE) && FLOWBOX_FORM_WIDE
using simd::lanes::Lanes;

inline Lanes wholePart(Lanes g)
{
    return simd::lanes::truncateToWhole(g);
}

inline Lanes choose(simd::lanes::Mask cond, Lanes a, Lanes b)
{
    return simd::lanes::select(cond, a, b);
}

inline Lanes splat(Lanes, double x)
{
    return simd::lanes::splat(x);
}
#endif

// g is the grid coordinate, lastIndex the last valid sample index along the axis.
template <typename Real>
inline AxisWeights<Real> axisWeights(Real g, uint32_t lastIndex)
{
    // Below zero, NaN, and beyond what an int32 cell index can hold all count as
    // negative: the first sample. In between, truncation is the floor.
    const auto inside = (g >= 0.0) & (g < 2147483648.0);
    const Real zero = splat(g, 0.0), one = splat(g, 1.0);
    const Real n = wholePart(choose(inside, g, zero));
    const double last = lastIndex;
    const auto belowLast = n < last;
    return {choose(inside, choose(belowLast, n, splat(g, last - 1.0)), zero),
            choose(inside, choose(belowLast, 1.0 - (g - n), zero), one)};
}

// The samples at (a, b), (a + 1, b), (a, b + 1) and (a + 1, b + 1).
template <typename Real>
struct Corners {
    Real lowLow, highLow, lowHigh, highHigh;
};

inline Corners<double> corners(const double* samples, size_t stride, double a, double b)
{
    const double* at = samples + size_t(uint32_t(a)) * stride + uint32_t(b);
    return {at[0], at[stride], at[1], at[stride + 1]};
}

#if defined(FLOWBOX_FORM_WIDE) && FLOWBOX_FORM_WIDE
inline Corners<Lanes> corners(const double* samples, size_t stride, Lanes a, Lanes b)
{
    Corners<Lanes> c;
    for (unsigned l = 0; l < simd::lanes::count; ++l) {
        const double* at = samples + size_t(uint32_t(a[l])) * stride + uint32_t(b[l]);
        c.lowLow[l] = at[0];
        c.highLow[l] = at[stride];
        c.lowHigh[l] = at[1];
        c.highHigh[l] = at[stride + 1];
    }
    return c;
}
#endif

// Component 0 (u) or 1 (v) of the field at (x, y).
template <typename Real>
inline Real sample(const FieldSamples& field, int component, Real x, Real y)
{
    const double dx = field.dx;
    // Samples sit half a cell in along the axis that is not the component's own.
    const Real gx = component == 0 ? x / dx : x / dx - 0.5;
    const Real gy = component == 1 ? y / dx : y / dx - 0.5;
    const AxisWeights<Real> sx = axisWeights(gx, component == 0 ? field.nx : field.nx - 1);
    const AxisWeights<Real> sy = axisWeights(gy, component == 1 ? field.ny : field.ny - 1);
    const double* samples = component == 0 ? field.u : field.v;
    const size_t stride = component == 0 ? field.ny : field.ny + 1;
    const Corners<Real> c = corners(samples, stride, sx.base, sy.base);

    Real sum{};  // 0.0 (in every lane)
    sum += c.lowLow * (sx.weight * sy.weight);
    sum += c.highLow * ((1.0 - sx.weight) * sy.weight);
    sum += c.lowHigh * (sx.weight * (1.0 - sy.weight));
    sum += c.highHigh * ((1.0 - sx.weight) * (1.0 - sy.weight));
    return sum;
}

}  // namespace

}  // namespace sampling
