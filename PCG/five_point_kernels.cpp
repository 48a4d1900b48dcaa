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

// A row's five entries; 0.0 where the grid has no such neighbour.
struct RowEntries {
    double lineBefore, before, diagonal, after, lineAfter;
};

template <bool Classed>
inline RowEntries entriesOf(const FivePointRows& a, uint32_t k)
{
    if constexpr (Classed) {
        const double* tuple = a.classTuples + 5 * size_t(a.classOf[k]);
        return {tuple[0], tuple[1], tuple[2], tuple[3], tuple[4]};
    } else {
        return {a.lineBefore[k], a.before[k], a.diagonal[k], a.after[k], a.lineAfter[k]};
    }
}

// One row's sum in column order, each present entry added as x*value + sum.
// The flags say which neighbours the row's cell has.
template <bool Classed>
inline double rowSum(const FivePointRows& a, const double* x, uint32_t k, bool hasLineBefore, bool hasBefore,
                     bool hasAfter, bool hasLineAfter)
{
    const uint32_t length = a.length;
    const RowEntries e = entriesOf<Classed>(a, k);
    double sum = 0.0;
    if (hasLineBefore)
        sum = x[k - length] * e.lineBefore + sum;
    if (hasBefore)
        sum = x[k - 1] * e.before + sum;
    sum = x[k] * e.diagonal + sum;
    if (hasAfter)
        sum = x[k + 1] * e.after + sum;
    if (hasLineAfter)
        sum = x[k + length] * e.lineAfter + sum;
    return sum;
}

// The row of cell k at (line, position).
template <bool Classed>
inline double rowSum(const FivePointRows& a, const double* x, uint32_t k, uint32_t line, uint32_t position)
{
    return rowSum<Classed>(a, x, k, line > 0, position > 0, position + 1 < a.length, line + 1 < a.lines);
}

// The rows of the product, and with Dot their inner product with x in element
// order; without it, the rows of lines [firstLine, lastLine) alone. With
// Mirrored, the rows inside a line read the entries before a cell as the
// entries after its neighbours: the same numbers in a symmetric matrix. With
// Classed, every row reads its entries by class: the same numbers again.
template <bool Dot, bool Mirrored, bool Classed>
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
            Lanes entry[5] = {};  // lineBefore, before, diagonal, after, lineAfter of the four rows
            if constexpr (Classed) {
                const uint16_t* c = a.classOf + k;
                const double* tuple[count];
                for (uint32_t l = 0; l < count; ++l)
                    tuple[l] = a.classTuples + 5 * size_t(c[l]);
                // Rows of one class, as most are, take its entries whole.
                if (c[0] == c[1] && c[0] == c[2] && c[0] == c[3]) {
                    for (uint32_t j = 0; j < 5; ++j)
                        entry[j] = splat(tuple[0][j]);
                } else {
                    for (uint32_t j = 0; j < 5; ++j)
                        entry[j] = Lanes{tuple[0][j], tuple[1][j], tuple[2][j], tuple[3][j]};
                }
            } else {
                if constexpr (hasLineBefore)
                    entry[0] = load(lineBefore + (k - lineBack));
                entry[1] = load(before + (k - back));
                entry[2] = load(a.diagonal + k);
                entry[3] = load(a.after + k);
                if constexpr (hasLineAfter)
                    entry[4] = load(a.lineAfter + k);
            }
            Lanes sum = {0.0, 0.0, 0.0, 0.0};
            if constexpr (hasLineBefore)
                sum = load(x + k - length) * entry[0] + sum;
            sum = load(x + k - 1) * entry[1] + sum;
            sum = load(x + k) * entry[2] + sum;
            sum = load(x + k + 1) * entry[3] + sum;
            if constexpr (hasLineAfter)
                sum = load(x + k + length) * entry[4] + sum;
            store(result + k, sum);
            if constexpr (Dot)
                dot = addInOrder(dot, sum * load(x + k));
        }
#endif
        for (; position + 1 < length; ++position, ++k) {
            RowEntries e{};
            if constexpr (Classed) {
                e = entriesOf<true>(a, k);
            } else {
                if constexpr (hasLineBefore)
                    e.lineBefore = lineBefore[k - lineBack];
                e.before = before[k - back];
                e.diagonal = a.diagonal[k];
                e.after = a.after[k];
                if constexpr (hasLineAfter)
                    e.lineAfter = a.lineAfter[k];
            }
            double sum = 0.0;
            if constexpr (hasLineBefore)
                sum = x[k - length] * e.lineBefore + sum;
            sum = x[k - 1] * e.before + sum;
            sum = x[k] * e.diagonal + sum;
            sum = x[k + 1] * e.after + sum;
            if constexpr (hasLineAfter)
                sum = x[k + length] * e.lineAfter + sum;
            result[k] = sum;
            if constexpr (Dot)
                dot += result[k] * x[k];
        }
    };
    for (uint32_t line = Dot ? 0 : firstLine; line < (Dot ? a.lines : lastLine); ++line) {
        uint32_t position = 0;
        result[k] = rowSum<Classed>(a, x, k, line, position);
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
            result[k] = rowSum<Classed>(a, x, k, line, position);
            if constexpr (Dot)
                dot += result[k] * x[k];
        }
    }
    return dot;
}

double productAndDot(const FivePointRows& a, const double* x, double* result)
{
    if (a.classOf)
        return productOfLines<true, false, true>(a, x, result, 0, a.lines);
    return a.symmetric ? productOfLines<true, true, false>(a, x, result, 0, a.lines)
                       : productOfLines<true, false, false>(a, x, result, 0, a.lines);
}

void product(const FivePointRows& a, const double* x, double* result, uint32_t firstLine, uint32_t lastLine)
{
    if (a.classOf)
        productOfLines<false, false, true>(a, x, result, firstLine, lastLine);
    else if (a.symmetric)
        productOfLines<false, true, false>(a, x, result, firstLine, lastLine);
    else
        productOfLines<false, false, false>(a, x, result, firstLine, lastLine);
}

// Cell k of a sweep's steady steps, lane l: k0 + l*across (across < 0 runs backwards).
struct LaneCells {
    int64_t k0;
    int64_t across;
    int64_t operator[](uint32_t l) const { return k0 + l * across; }
};

// A cell's three weights in a sweep: of the cell visited before it on the
// line before, of the cell visited before it on its line, and 1/L(k, k).
struct CellWeights {
    double up, left, inverse;
};

inline CellWeights weightsOf(const ClassedWeights& classed, int64_t k)
{
    const double* tuple = classed.tuples + 3 * size_t(classed.classOf[k]);
    return {tuple[0], tuple[1], tuple[2]};
}

#if FLOWBOX_FORM_WIDE
struct LaneWeights {
    Lanes up, left, inverse;
};

// The steady steps' weights in the order the factor laid them out.
inline auto laidOutWeights(const SweepWeights& weights)
{
    return [=](size_t slot, const LaneCells&) {
        return LaneWeights{load(weights.up + slot), load(weights.left + slot), load(weights.inverse + slot)};
    };
}

// The steady steps' weights by each lane's cell's class.
inline auto weightsByClass(const ClassedWeights& classed)
{
    return [=](size_t, const LaneCells& cells) {
        uint16_t c[count];
        for (uint32_t l = 0; l < count; ++l)
            c[l] = classed.classOf[cells[l]];
        // Lanes of one class, as most are inside the grid, take its weights whole.
        if (c[0] == c[1] && c[0] == c[2] && c[0] == c[3]) {
            const double* tuple = classed.tuples + 3 * size_t(c[0]);
            return LaneWeights{splat(tuple[0]), splat(tuple[1]), splat(tuple[2])};
        }
        CellWeights w[count];
        for (uint32_t l = 0; l < count; ++l)
            w[l] = weightsOf(classed, cells[l]);
        return LaneWeights{Lanes{w[0].up, w[1].up, w[2].up, w[3].up},
                           Lanes{w[0].left, w[1].left, w[2].left, w[3].left},
                           Lanes{w[0].inverse, w[1].inverse, w[2].inverse, w[3].inverse}};
    };
}

// The steady steps of a sweep, four lanes at once: each lane's input gathered
// from its cell, its weights from weightsAt, the cell above taken over from
// the lane before. `forward` picks the order of the two subtractions; z
// receives the values.
template <typename CellsOf, typename WeightsAt>
auto fourLaneSteps(WeightsAt weightsAt, const double* in, double* z, bool forward, CellsOf cellsOf)
{
    size_t slot = 0;
    return [=](uint32_t first, uint32_t begin, uint32_t end, double* last) mutable {
        Lanes carried = {last[0], last[1], last[2], last[3]};
        for (uint32_t t = begin; t < end; ++t, slot += count) {
            const LaneCells cells = cellsOf(first, t);
            const Lanes input = {in[cells[0]], in[cells[1]], in[cells[2]], in[cells[3]]};
            const Lanes up = {z[cellsOf(first - 1, t)[0]], carried[0], carried[1], carried[2]};
            const LaneWeights weights = weightsAt(slot, cells);
            Lanes value = input;
            if (forward) {
                value = value - up * weights.up;
                value = value - carried * weights.left;
            } else {
                value = value - carried * weights.left;
                value = value - up * weights.up;
            }
            value = weights.inverse * value;
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
template <bool Classed, typename Cell, typename Stored, typename CellsOf>
inline void sweep(const FivePointRows& a, Cell& cell, Stored& stored, const SweepWeights& weights,
                  const ClassedWeights& classed, const double* in, double* z, bool forward, CellsOf cellsOf)
{
#if FLOWBOX_FORM_WIDE
    if constexpr (Classed)
        wavefront::sweep(a.lines, a.length, cell, stored, fourLaneSteps(weightsByClass(classed), in, z, forward, cellsOf));
    else
        wavefront::sweep(a.lines, a.length, cell, stored, fourLaneSteps(laidOutWeights(weights), in, z, forward, cellsOf));
#else
    (void)weights, (void)classed, (void)in, (void)z, (void)forward, (void)cellsOf;
    wavefront::sweep(a.lines, a.length, cell, stored, wavefront::cellByCell(cell, stored));
#endif
}

template <bool Classed>
__attribute__((flatten)) void preconditionWith(const FivePointRows& a, const FivePointFactorRows& f, const double* r,
                                               double* z)
{
    const uint32_t n = a.n, length = a.length;
    const double* inverse = f.inverse;
    const double* lineBefore = f.lineBefore;
    const double* before = f.before;
    const int64_t across = int64_t(length) - 1;

    // L*w = r: each cell subtracts the cell above, then the cell before it.
    auto forwardCell = [&](uint32_t line, uint32_t position, double up, double left, bool hasUp, bool hasLeft) {
        const uint32_t k = line * length + position;
        CellWeights w;
        if constexpr (Classed)
            w = weightsOf(f.forwardClassed, k);
        else
            w = {lineBefore[k], before[k], inverse[k]};
        double value = r[k];
        if (hasUp)
            value = value - up * w.up;
        if (hasLeft)
            value = value - left * w.left;
        value = w.inverse * value;
        z[k] = value;
        return value;
    };
    auto forwardStored = [&](uint32_t line, uint32_t position) { return z[line * length + position]; };
    auto forwardCells = [=](uint32_t first, uint32_t t) { return LaneCells{int64_t(first) * length + t, across}; };
    sweep<Classed>(a, forwardCell, forwardStored, f.forward, f.forwardClassed, r, z, true, forwardCells);

    // L^T*z = w in place, from the last cell back: the grid seen from its far
    // corner, where the cell after and the cell below come first, in that order.
    auto backwardCell = [&](uint32_t line, uint32_t position, double below, double next, bool hasBelow,
                            bool hasNext) {
        const uint32_t k = n - 1 - (line * length + position);
        double value = z[k];
        if constexpr (Classed) {
            const CellWeights w = weightsOf(f.backwardClassed, k);
            if (hasNext)
                value = value - next * w.left;
            if (hasBelow)
                value = value - below * w.up;
            value = w.inverse * value;
        } else {
            if (hasNext)
                value = value - next * before[k + 1];
            if (hasBelow)
                value = value - below * lineBefore[k + length];
            value = inverse[k] * value;
        }
        z[k] = value;
        return value;
    };
    auto backwardStored = [&](uint32_t line, uint32_t position) { return z[n - 1 - (line * length + position)]; };
    auto backwardCells = [=](uint32_t first, uint32_t t) {
        return LaneCells{int64_t(n) - 1 - (int64_t(first) * length + t), -across};
    };
    sweep<Classed>(a, backwardCell, backwardStored, f.backward, f.backwardClassed, z, z, false, backwardCells);
}

void precondition(const FivePointRows& a, const FivePointFactorRows& f, const double* r, double* z)
{
    if (f.forwardClassed.classOf)
        preconditionWith<true>(a, f, r, z);
    else
        preconditionWith<false>(a, f, r, z);
}

}  // namespace

extern const FivePointKernels fivePointKernels = {productAndDot, product, precondition};

}  // namespace pcg::FLOWBOX_FORM
