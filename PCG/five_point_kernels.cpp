#include "simd/kernel_form.h"

#include "PCG/five_point_kernels.h"
#include "PCG/wavefront.h"

#include <cstddef>
#include <type_traits>

namespace pcg::FLOWBOX_FORM {

namespace {

#if FLOWBOX_FORM_WIDE
using namespace simd::lanes;
#endif

// One row's sum in column order, each present entry added as x*value + sum.
// The flags say which neighbours the row's cell has.
inline double rowSum(const FivePointRows& a, const double* x, uint32_t k, bool hasLineBefore, bool hasBefore,
                     bool hasAfter, bool hasLineAfter)
{
    const uint32_t length = a.length;
    double sum = 0.0;
    if (hasLineBefore)
        sum = x[k - length] * a.lineBefore[k] + sum;
    if (hasBefore)
        sum = x[k - 1] * a.before[k] + sum;
    sum = x[k] * a.diagonal[k] + sum;
    if (hasAfter)
        sum = x[k + 1] * a.after[k] + sum;
    if (hasLineAfter)
        sum = x[k + length] * a.lineAfter[k] + sum;
    return sum;
}

// The row of cell k at (line, position).
inline double rowSum(const FivePointRows& a, const double* x, uint32_t k, uint32_t line, uint32_t position)
{
    return rowSum(a, x, k, line > 0, position > 0, position + 1 < a.length, line + 1 < a.lines);
}

// The rows of the product, and with Dot their inner product with x in element
// order; without it, the rows of lines [firstLine, lastLine) alone. With
// Mirrored, the rows inside a line read the entries before a cell as the
// entries after its neighbours: the same numbers in a symmetric matrix.
template <bool Dot, bool Mirrored>
double productOfLines(const FivePointRows& a, const double* x, double* result, uint32_t firstLine, uint32_t lastLine)
{
    const uint32_t length = a.length;
    const double* lineBefore = Mirrored ? a.lineAfter : a.lineBefore;
    const double* before = Mirrored ? a.after : a.before;
    const size_t lineBack = Mirrored ? length : 0, back = Mirrored ? 1 : 0;  // row k's entries sit at k - back
    double dot = 0.0;
    uint32_t k = Dot ? 0 : firstLine * length;
    // The rows after the first of a line but the last, without conditions
    // (four at a time in the wide forms): the same sums, and their products
    // with x added to the inner product in row order. (A line always has a
    // line before or after it: there are two at least.)
    auto rowsInside = [&](auto lineBeforeTag, auto lineAfterTag, uint32_t& position) {
        constexpr bool hasLineBefore = decltype(lineBeforeTag)::value;
        constexpr bool hasLineAfter = decltype(lineAfterTag)::value;
#if FLOWBOX_FORM_WIDE
        for (; position + count < length; position += count, k += count) {
            Lanes sum = {0.0, 0.0, 0.0, 0.0};
            if constexpr (hasLineBefore)
                sum = load(x + k - length) * load(lineBefore + (k - lineBack)) + sum;
            sum = load(x + k - 1) * load(before + (k - back)) + sum;
            sum = load(x + k) * load(a.diagonal + k) + sum;
            sum = load(x + k + 1) * load(a.after + k) + sum;
            if constexpr (hasLineAfter)
                sum = load(x + k + length) * load(a.lineAfter + k) + sum;
            store(result + k, sum);
            if constexpr (Dot)
                dot = addInOrder(dot, sum * load(x + k));
        }
#endif
        for (; position + 1 < length; ++position, ++k) {
            double sum = 0.0;
            if constexpr (hasLineBefore)
                sum = x[k - length] * lineBefore[k - lineBack] + sum;
            sum = x[k - 1] * before[k - back] + sum;
            sum = x[k] * a.diagonal[k] + sum;
            sum = x[k + 1] * a.after[k] + sum;
            if constexpr (hasLineAfter)
                sum = x[k + length] * a.lineAfter[k] + sum;
            result[k] = sum;
            if constexpr (Dot)
                dot += result[k] * x[k];
        }
    };
    for (uint32_t line = Dot ? 0 : firstLine; line < (Dot ? a.lines : lastLine); ++line) {
        uint32_t position = 0;
        result[k] = rowSum(a, x, k, line, position);
        if constexpr (Dot)
            dot += result[k] * x[k];
        ++k;
        ++position;
        if (line == 0)
            rowsInside(std::false_type(), std::true_type(), position);
        else if (line + 1 < a.lines)
            rowsInside(std::true_type(), std::true_type(), position);
        else
            rowsInside(std::true_type(), std::false_type(), position);
        for (; position < length; ++position, ++k) {
            result[k] = rowSum(a, x, k, line, position);
            if constexpr (Dot)
                dot += result[k] * x[k];
        }
    }
    return dot;
}

double productAndDot(const FivePointRows& a, const double* x, double* result)
{
    return a.symmetric ? productOfLines<true, true>(a, x, result, 0, a.lines)
                       : productOfLines<true, false>(a, x, result, 0, a.lines);
}

void product(const FivePointRows& a, const double* x, double* result, uint32_t firstLine, uint32_t lastLine)
{
    if (a.symmetric)
        productOfLines<false, true>(a, x, result, firstLine, lastLine);
    else
        productOfLines<false, false>(a, x, result, firstLine, lastLine);
}

// Cell k of a sweep's steady steps, lane l: k0 + l*across (across < 0 runs backwards).
struct LaneCells {
    int64_t k0;
    int64_t across;
    int64_t operator[](uint32_t l) const { return k0 + l * across; }
};

#if FLOWBOX_FORM_WIDE
// The steady steps of a sweep, four lanes at once: each lane's input gathered
// from its cell, the factor's entries read in the order the factor laid them
// out, the cell above taken over from the lane before. `forward` picks the
// order of the two subtractions; z receives the values.
template <typename CellsOf>
auto fourLaneSteps(const SweepWeights& weights, const double* in, double* z, bool forward, CellsOf cellsOf)
{
    size_t slot = 0;
    return [=](uint32_t first, uint32_t begin, uint32_t end, double* last) mutable {
        Lanes carried = {last[0], last[1], last[2], last[3]};
        for (uint32_t t = begin; t < end; ++t, slot += count) {
            const LaneCells cells = cellsOf(first, t);
            const Lanes input = {in[cells[0]], in[cells[1]], in[cells[2]], in[cells[3]]};
            const Lanes up = {z[cellsOf(first - 1, t)[0]], carried[0], carried[1], carried[2]};
            const Lanes upWeight = load(weights.up + slot);
            const Lanes leftWeight = load(weights.left + slot);
            Lanes value = input;
            if (forward) {
                value = value - up * upWeight;
                value = value - carried * leftWeight;
            } else {
                value = value - carried * leftWeight;
                value = value - up * upWeight;
            }
            value = load(weights.inverse + slot) * value;
            for (uint32_t l = 0; l < count; ++l)
                z[cells[l]] = value[l];
            carried = value;
        }
        for (uint32_t l = 0; l < count; ++l)
            last[l] = carried[l];
    };
}
#endif

// Steady steps through `cell` in the one-lane form, in four lanes in the wide ones.
template <typename Cell, typename Stored, typename CellsOf>
inline void sweep(const FivePointRows& a, Cell& cell, Stored& stored, const SweepWeights& weights, const double* in,
                  double* z, bool forward, CellsOf cellsOf)
{
#if FLOWBOX_FORM_WIDE
    wavefront::sweep(a.lines, a.length, cell, stored, fourLaneSteps(weights, in, z, forward, cellsOf));
#else
    (void)weights, (void)in, (void)z, (void)forward, (void)cellsOf;
    wavefront::sweep(a.lines, a.length, cell, stored, wavefront::cellByCell(cell, stored));
#endif
}

__attribute__((flatten)) void precondition(const FivePointRows& a, const FivePointFactorRows& f, const double* r, double* z)
{
    const uint32_t n = a.n, length = a.length;
    const double* inverse = f.inverse;
    const double* lineBefore = f.lineBefore;
    const double* before = f.before;
    const int64_t across = int64_t(length) - 1;

    // L*w = r: each cell subtracts the cell above, then the cell before it.
    auto forwardCell = [&](uint32_t line, uint32_t position, double up, double left, bool hasUp, bool hasLeft) {
        const uint32_t k = line * length + position;
        double value = r[k];
        if (hasUp)
            value = value - up * lineBefore[k];
        if (hasLeft)
            value = value - left * before[k];
        value = inverse[k] * value;
        z[k] = value;
        return value;
    };
    auto forwardStored = [&](uint32_t line, uint32_t position) { return z[line * length + position]; };
    auto forwardCells = [=](uint32_t first, uint32_t t) { return LaneCells{int64_t(first) * length + t, across}; };
    sweep(a, forwardCell, forwardStored, f.forward, r, z, true, forwardCells);

    // L^T*z = w in place, from the last cell back: the grid seen from its far
    // corner, where the cell after and the cell below come first, in that order.
    auto backwardCell = [&](uint32_t line, uint32_t position, double below, double next, bool hasBelow,
                            bool hasNext) {
        const uint32_t k = n - 1 - (line * length + position);
        double value = z[k];
        if (hasNext)
            value = value - next * before[k + 1];
        if (hasBelow)
            value = value - below * lineBefore[k + length];
        value = inverse[k] * value;
        z[k] = value;
        return value;
    };
    auto backwardStored = [&](uint32_t line, uint32_t position) { return z[n - 1 - (line * length + position)]; };
    auto backwardCells = [=](uint32_t first, uint32_t t) {
        return LaneCells{int64_t(n) - 1 - (int64_t(first) * length + t), -across};
    };
    sweep(a, backwardCell, backwardStored, f.backward, z, z, false, backwardCells);
}

}  // namespace

extern const FivePointKernels fivePointKernels = {productAndDot, product, precondition};

}  // namespace pcg::FLOWBOX_FORM
