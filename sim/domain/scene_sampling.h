#pragma once
// The sampling rule of scenes: bilinear between the four samples around a
// point, where a sample beyond a wall is its ghost and a point inside a solid
// cell has the solid's velocity, 0. Real is double for one point, or
// simd::lanes::Lanes for four points at once (in the wide forms of the scene
// kernels), each lane computed as the single point would be. Everything here
// has internal linkage: every instruction-set form gets a copy of its own.
//
// The samples come from a Source, which knows the ghosts: source.at(component,
// a, b) for a from -1 to extent0 and b from -1 to extent1 of the component's
// own extents, where index -1 or extent stands for the ghost beyond the wall
// (only across the component's own axis: b for u, a for v).

#include "simd/lanes.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace scene_sampling {

namespace {

// Whether the point (cx, cy), in cells, lies in a solid cell of a grid of nx
// by ny cells (solid per cell, k = i*ny + j, or null where none is); a point
// outside the grid does not.
inline bool solidAtCells(const uint8_t* solid, uint32_t nx, uint32_t ny, double cx, double cy)
{
    return solid && cx >= 0.0 && cy >= 0.0 && cx < nx && cy < ny && solid[size_t(cx) * ny + size_t(cy)] != 0;
}

// The comparisons of std::fmin and std::fmax, spelt out so that every form and
// processor gives the same bits: the first argument where it is smaller
// (larger), where the second is NaN; else the second (ties included).
inline double smaller(double a, double b)
{
    return (a < b || b != b) ? a : b;
}
inline double larger(double a, double b)
{
    return (a > b || b != b) ? a : b;
}
// Truncation towards zero of a value inside the int32 range.
inline double whole(double g)
{
    return double(int32_t(g));
}
inline double splatLike(double, double x)
{
    return x;
}
constexpr unsigned laneCount(double)
{
    return 1;
}
inline double lane(double v, unsigned)
{
    return v;
}
inline void setLane(double& v, unsigned, double x)
{
    v = x;
}
// The value whose lane l is valueOf(l).
template <typename ValueOf>
inline double lanesOf(double, ValueOf valueOf)
{
    return valueOf(0u);
}
inline double where(bool mask, double a, double b)
{
    return mask ? a : b;
}
// The index a*stride + b of whole numbers a and b.
inline int64_t indexOf(double a, double b, size_t stride)
{
    return int64_t(a) * int64_t(stride) + int64_t(b);
}
inline int64_t lane(int64_t v, unsigned)
{
    return v;
}

#if defined(FLOWBOX_FORM_WIDE) && FLOWBOX_FORM_WIDE
using simd::lanes::Lanes;
using simd::lanes::Mask;

inline Lanes smaller(Lanes a, Lanes b)
{
    return simd::lanes::select((a < b) | (b != b), a, b);
}
inline Lanes larger(Lanes a, Lanes b)
{
    return simd::lanes::select((a > b) | (b != b), a, b);
}
inline Lanes whole(Lanes g)
{
    return simd::lanes::truncateToWhole(g);
}
inline Lanes splatLike(Lanes, double x)
{
    return simd::lanes::splat(x);
}
constexpr unsigned laneCount(Lanes)
{
    return simd::lanes::count;
}
inline double lane(Lanes v, unsigned l)
{
    return v[l];
}
inline void setLane(Lanes& v, unsigned l, double x)
{
    v[l] = x;
}
// Built in registers: set lane by lane in memory and read back whole, the
// four values would wait on their stores.
template <typename ValueOf>
inline Lanes lanesOf(Lanes, ValueOf valueOf)
{
    static_assert(simd::lanes::count == 4, "four lanes");
    return Lanes{valueOf(0u), valueOf(1u), valueOf(2u), valueOf(3u)};
}
inline Lanes where(Mask mask, Lanes a, Lanes b)
{
    return simd::lanes::select(mask, a, b);
}
// Exact while the index fits an int32, as a grid's samples' indices do.
inline simd::lanes::Int32Lanes indexOf(Lanes a, Lanes b, size_t stride)
{
    return __builtin_convertvector(a * double(stride) + b, simd::lanes::Int32Lanes);
}
inline int64_t lane(simd::lanes::Int32Lanes v, unsigned l)
{
    return v[l];
}
#endif

// Sources whose samples (a, b) sit at first[a*stride + b] say so through
// linesOf(component): a stencil then finds each lane's four samples from one index.
template <typename Source, typename = void>
struct laidOutInLines : std::false_type {};
template <typename Source>
struct laidOutInLines<Source, std::void_t<decltype(std::declval<const Source&>().linesOf(0))>> : std::true_type {};

struct SampleLines {
    const double* first;  // sample (0, 0)
    size_t stride;
};

// The four samples around a point, the weights of the high ones, and whether
// the point lies in a solid cell (its samples are then 0.0).
template <typename Real>
struct Stencil {
    Real lowLow, highLow, lowHigh, highHigh;  // (a, b), (a+1, b), (a, b+1), (a+1, b+1)
    Real fx, fy;
    Real inSolid;  // 1.0 where it does, 0.0 elsewhere

    Real value() const
    {
        return (lowLow * (1.0 - fx) + highLow * fx) * (1.0 - fy) + (lowHigh * (1.0 - fx) + highHigh * fx) * fy;
    }
    Real lowest() const { return smaller(smaller(lowLow, highLow), smaller(lowHigh, highHigh)); }
    Real highest() const { return larger(larger(lowLow, highLow), larger(lowHigh, highHigh)); }
};

// The stencil of component 0 (u) or 1 (v) at (x, y), in length units.
template <typename Real, typename Source>
inline Stencil<Real> stencilAt(const Source& source, const uint8_t* solid, uint32_t nx, uint32_t ny, double dx,
                               int component, Real x, Real y)
{
    const Real cx = x / dx, cy = y / dx;  // in cells
    // Along the component's own axis the samples reach the border; across it
    // they stop half a cell short, and a ghost sample lies half a cell beyond.
    const double alongEnd = component == 0 ? nx : ny;
    const Real along = smaller(larger(component == 0 ? cx : cy, splatLike(x, 0.0)), splatLike(x, alongEnd));
    const double acrossEnd = (component == 0 ? ny : nx) - 0.5;
    const Real across =
        smaller(larger((component == 0 ? cy : cx) - 0.5, splatLike(x, -0.5)), splatLike(x, acrossEnd));
    const Real alongWhole = whole(along);
    const Real alongIndex = where(alongWhole < alongEnd - 1.0, alongWhole, splatLike(x, alongEnd - 1.0));
    const Real acrossIndex = where(across >= 0.0, whole(across), splatLike(x, -1.0));  // -1 to the last
    Stencil<Real> s;
    const Real& i = component == 0 ? alongIndex : acrossIndex;
    const Real& j = component == 0 ? acrossIndex : alongIndex;
    s.fx = (component == 0 ? along : across) - i;
    s.fy = (component == 0 ? across : along) - j;
    s.inSolid = solid ? lanesOf(x, [&](unsigned l) {
        return solidAtCells(solid, nx, ny, lane(cx, l), lane(cy, l)) ? 1.0 : 0.0;
    })
                      : splatLike(x, 0.0);
    if constexpr (laidOutInLines<Source>::value) {
        // Every lane's indices lie inside the samples, ghosts included (the
        // point was clamped to them): all four are read, and a solid cell's set to 0.0.
        const SampleLines lines = source.linesOf(component);
        const auto low = indexOf(i, j, lines.stride);
        auto sampleAt = [&](size_t offset) {
            return lanesOf(x, [&](unsigned l) { return lines.first[lane(low, l) + int64_t(offset)]; });
        };
        s.lowLow = sampleAt(0);
        s.highLow = sampleAt(lines.stride);
        s.lowHigh = sampleAt(1);
        s.highHigh = sampleAt(lines.stride + 1);
        if (solid) {
            const auto inSolid = s.inSolid != 0.0;
            const Real zero = splatLike(x, 0.0);
            s.lowLow = where(inSolid, zero, s.lowLow);
            s.highLow = where(inSolid, zero, s.highLow);
            s.lowHigh = where(inSolid, zero, s.lowHigh);
            s.highHigh = where(inSolid, zero, s.highHigh);
        }
        return s;
    }
    // Sample (a + da, b + db) of lane l, 0.0 in a solid cell.
    auto sampleOf = [&](int64_t da, int64_t db) {
        return [&, da, db](unsigned l) {
            return lane(s.inSolid, l) != 0.0
                       ? 0.0
                       : source.at(component, int64_t(lane(i, l)) + da, int64_t(lane(j, l)) + db);
        };
    };
    s.lowLow = lanesOf(x, sampleOf(0, 0));
    s.highLow = lanesOf(x, sampleOf(1, 0));
    s.lowHigh = lanesOf(x, sampleOf(0, 1));
    s.highHigh = lanesOf(x, sampleOf(1, 1));
    return s;
}

// Samples held with their ghosts around them: u as nx + 1 lines of ny + 2,
// the ghost beyond the top wall first in each line and the one beyond the
// bottom wall last; v as nx + 2 lines of ny + 1, the ghost line beyond the left
// wall first and the one beyond the right wall last.
struct PaddedSamples {
    const double* u;
    const double* v;
    uint32_t nx, ny;

    double at(int component, int64_t a, int64_t b) const
    {
        return component == 0 ? u[size_t(a) * (ny + 2) + size_t(b + 1)] : v[size_t(a + 1) * (ny + 1) + size_t(b)];
    }
    SampleLines linesOf(int component) const
    {
        return component == 0 ? SampleLines{u + 1, ny + 2} : SampleLines{v + (ny + 1), ny + 1};
    }
};

}  // namespace

}  // namespace scene_sampling
