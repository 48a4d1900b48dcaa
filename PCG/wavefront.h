#pragma once
// The order in which the five-point factor and its triangular solves visit a
// grid of `lines` lines of `length` cells, where each cell needs the cell
// before it on its line and the cell at its position on the line before.
//
// The first line runs alone. The others go four at a time, one per lane, each
// lane one position behind the lane before it, so that four chains of
// dependent operations overlap. The step at which each cell is computed, for
// lines of six cells:
//
//     line 0           0 1 2 3 4 5      (alone)
//     line 1, lane 0   0 1 2 3 4 5
//     line 2, lane 1     1 2 3 4 5 6
//     line 3, lane 2       2 3 4 5 6 7
//     line 4, lane 3         3 4 5 6 7 8
//     line 5, lane 0   0 1 2 3 4 5      (the next group)
//
// Steps 4 and 5 are steady: every lane is inside its line and past its first
// cell, so the cell above a lane's cell is the one its neighbouring lane
// computed a step before. A kernel may run those steps in a form of its own.
//
// Only templates with internal linkage: kernel sources of every
// instruction-set form include this header.

#include <cstdint>
#include <utility>

namespace pcg::wavefront {

constexpr uint32_t width = 4;  // lines side by side

// Visits every cell of the grid in the order above.
// - cell(line, position, up, left, hasUp, hasLeft) computes one cell from the
//   values returned for the cell above and the cell before it, and returns its own;
// - stored(line, position) reads back a value of an earlier group;
// - steady(first, begin, end, last) computes the steady steps [begin, end) of a
//   full group whose lane 0 is line `first` (last[l]: the latest value of lane
//   l, before and after). Full groups reach it in order, with the same steps,
//   on every sweep of the same grid.
template <typename Cell, typename Stored, typename Steady>
static inline void sweep(uint32_t lines, uint32_t length, Cell cell, Stored stored, Steady steady)
{
    double left = 0.0;
    for (uint32_t position = 0; position < length; ++position)
        left = cell(0, position, 0.0, left, false, position > 0);

    for (uint32_t first = 1; first < lines; first += width) {
        const uint32_t lanes = lines - first < width ? lines - first : width;
        // The lanes go from the last to the first, so that last[l - 1] still
        // holds the cell above, computed by lane l - 1 at step t - 1.
        double last[width] = {};
        auto anyStep = [&](uint32_t t) {
            for (uint32_t l = lanes; l-- > 0;) {
                if (t < l || t - l >= length)
                    continue;
                const uint32_t position = t - l;
                const double up = l == 0 ? stored(first - 1, position) : last[l - 1];
                last[l] = cell(first + l, position, up, last[l], true, position > 0);
            }
        };
        const uint32_t steps = length + lanes - 1;
        uint32_t t = 0;
        if (lanes == width && length > width) {
            for (; t < width; ++t)
                anyStep(t);
            steady(first, t, length, last);
            t = length;
        }
        for (; t < steps; ++t)
            anyStep(t);
    }
}

// f(3), f(2), f(1), f(0), written out in full.
template <uint32_t... lane, typename F>
static inline void forEachLaneDescending(std::integer_sequence<uint32_t, lane...>, F f)
{
    (f(width - 1 - lane), ...);
}

// Steady steps one cell at a time, through `cell`. The lanes are written out,
// so that their latest values stay in registers.
template <typename Cell, typename Stored>
static inline auto cellByCell(Cell& cell, Stored& stored)
{
    return [&](uint32_t first, uint32_t begin, uint32_t end, double* last) {
        double latest[width];
        for (uint32_t l = 0; l < width; ++l)
            latest[l] = last[l];
        for (uint32_t t = begin; t < end; ++t) {
            forEachLaneDescending(std::make_integer_sequence<uint32_t, width>(), [&](uint32_t l) {
                const double up = l == 0 ? stored(first - 1, t) : latest[l - 1];
                latest[l] = cell(first + l, t - l, up, latest[l], true, true);
            });
        }
        for (uint32_t l = 0; l < width; ++l)
            last[l] = latest[l];
    };
}

}  // namespace pcg::wavefront
