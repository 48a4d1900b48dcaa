#include "PCG/stencil.h"

#include "PCG/lanes.h"
#include "PCG/pcg_solver.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <utility>

namespace pcg {

void Coefficients::resize(size_t size)
{
    if (size != count) {
        values.reset(new double[size]);
        count = size;
    }
}

bool readStencil(const RowListMatrix& matrix, StencilMatrix& stencil)
{
    const uint32_t n = matrix.n;
    if (n == 0)
        return false;
    const auto firstRow = matrix.rowColumns[0];  // 0, 1 and the first cell of the next line
    if (firstRow.size() != 3 || firstRow[0] != 0 || firstRow[1] != 1)
        return false;
    const uint32_t length = firstRow[2];
    if (length < 3 || n % length != 0)
        return false;
    const uint32_t lines = n / length;
    stencil.n = n;
    stencil.length = length;
    stencil.lines = lines;
    for (Coefficients* c : {&stencil.lineBefore, &stencil.before, &stencil.diagonal, &stencil.after,
                            &stencil.lineAfter})
        c->resize(n);

    uint32_t k = 0;
    for (uint32_t line = 0; line < lines; ++line) {
        for (uint32_t position = 0; position < length; ++position, ++k) {
            // The row's entries must be exactly the grid's neighbours, in column order.
            const bool up = line > 0, left = position > 0, right = position + 1 < length, down = line + 1 < lines;
            const auto columns = matrix.rowColumns[k];
            if (columns.size() != 1u + up + left + right + down)
                return false;
            const uint32_t* column = columns.data();
            const double* value = matrix.rowValues[k].data();
            auto take = [&](bool exists, uint32_t expected, Coefficients& into) {
                if (!exists) {
                    into[k] = 0.0;
                    return true;
                }
                into[k] = *value++;
                return *column++ == expected;
            };
            if (!(take(up, k - length, stencil.lineBefore) && take(left, k - 1, stencil.before) &&
                  take(true, k, stencil.diagonal) && take(right, k + 1, stencil.after) &&
                  take(down, k + length, stencil.lineAfter)) ||
                stencil.diagonal[k] == 0.0)
                return false;
        }
    }
    return true;
}

namespace {

// One row's sum in column order, each present entry added as x*value + sum.
// The flags say which neighbours the row's cell has.
inline double stencilRow(const StencilMatrix& a, const double* x, uint32_t k, bool hasLineBefore, bool hasBefore,
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
inline double stencilRow(const StencilMatrix& a, const double* x, uint32_t k, uint32_t line, uint32_t position)
{
    return stencilRow(a, x, k, line > 0, position > 0, position + 1 < a.length, line + 1 < a.lines);
}

// Lines that a sweep runs side by side, one position apart.
constexpr uint32_t sweepWidth = lanes::count;

// Computes every cell of a grid, each after the cell before it on its line and
// after the cell at its position on the line before. The first line runs
// alone; the others go sweepWidth at a time, each one position behind the line
// before it, so that their chains of dependent operations overlap: at step t,
// lane l computes position t - l of line first + l.
// - cell(line, position, up, left, hasUp, hasLeft) computes one cell from the
//   values returned for the cell above and the cell before it, and returns its own;
// - stored(line, position) reads back a value of an earlier group;
// - steady(first, begin, end, last) computes the steps [begin, end) of a full
//   group, in which every lane is inside its line and past its first cell
//   (last[l]: the latest value of lane l, before and after). Full groups reach
//   it in order, with the same steps, on every sweep of the same grid.
template <typename Cell, typename Stored, typename Steady>
inline void sweepGrid(uint32_t lines, uint32_t length, Cell cell, Stored stored, Steady steady)
{
    double left = 0.0;
    for (uint32_t position = 0; position < length; ++position)
        left = cell(0, position, 0.0, left, false, position > 0);

    for (uint32_t first = 1; first < lines; first += sweepWidth) {
        const uint32_t lanes = std::min(sweepWidth, lines - first);
        // The lanes go from the last to the first, so that last[l - 1] still
        // holds the cell above, computed by lane l - 1 at step t - 1.
        double last[sweepWidth] = {};
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
        if (lanes == sweepWidth && length > sweepWidth) {
            for (; t < sweepWidth; ++t)
                anyStep(t);
            steady(first, t, length, last);
            t = length;
        }
        for (; t < steps; ++t)
            anyStep(t);
    }
}

// f(width - 1), ..., f(1), f(0), written out in full.
template <uint32_t... lane, typename F>
inline void forEachLaneDescending(std::integer_sequence<uint32_t, lane...>, F f)
{
    constexpr uint32_t width = sizeof...(lane);
    (f(width - 1 - lane), ...);
}

// The steady steps one cell at a time, for sweeps without a faster form. The
// lanes are written out, so that their latest values stay in registers.
template <typename Cell, typename Stored>
auto cellByCell(Cell& cell, Stored& stored)
{
    return [&](uint32_t first, uint32_t begin, uint32_t end, double* last) {
        double latest[sweepWidth];
        std::copy(last, last + sweepWidth, latest);
        for (uint32_t t = begin; t < end; ++t) {
            forEachLaneDescending(std::make_integer_sequence<uint32_t, sweepWidth>(), [&](uint32_t l) {
                const double up = l == 0 ? stored(first - 1, t) : latest[l - 1];
                latest[l] = cell(first + l, t - l, up, latest[l], true, true);
            });
        }
        std::copy(latest, latest + sweepWidth, last);
    };
}

// Cell k of a sweep in steady steps, lane l: k0 + l*across (across < 0 runs backwards).
struct LaneCells {
    int64_t k0;
    int64_t across;
    int64_t operator[](uint32_t l) const { return k0 + l * across; }
};

// The product in rows; with wide, the rows inside a line four at a time.
template <bool wide>
inline double stencilProductAndDot(const StencilMatrix& a, const double* x, double* result)
{
    using namespace lanes;
    const uint32_t length = a.length;
    double dot = 0.0;
    uint32_t k = 0;
    // The rows after the first of a line but the last, without conditions
    // (four at a time when wide): the same sums, and their products with x
    // added to the inner product in row order. (A line always has a line
    // before or after it: there are two at least.)
    auto rowsInside = [&](auto hasLineBefore, auto hasLineAfter, uint32_t& position) {
        if constexpr (wide) {
            for (; position + count < length; position += count, k += count) {
                Lanes sum = {0.0, 0.0, 0.0, 0.0};
                if constexpr (hasLineBefore)
                    sum = load(x + k - length) * load(a.lineBefore.data() + k) + sum;
                sum = load(x + k - 1) * load(a.before.data() + k) + sum;
                sum = load(x + k) * load(a.diagonal.data() + k) + sum;
                sum = load(x + k + 1) * load(a.after.data() + k) + sum;
                if constexpr (hasLineAfter)
                    sum = load(x + k + length) * load(a.lineAfter.data() + k) + sum;
                store(result + k, sum);
                dot = addInOrder(dot, sum * load(x + k));
            }
        } else {
            for (; position + 1 < length; ++position, ++k) {
                result[k] = stencilRow(a, x, k, hasLineBefore, true, true, hasLineAfter);
                dot += result[k] * x[k];
            }
        }
    };
    for (uint32_t line = 0; line < a.lines; ++line) {
        uint32_t position = 0;
        result[k] = stencilRow(a, x, k, line, position);
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
            result[k] = stencilRow(a, x, k, line, position);
            dot += result[k] * x[k];
        }
    }
    return dot;
}

FLOWBOX_WIDE double stencilProductAndDotWide(const StencilMatrix& a, const double* x, double* result)
{
    return stencilProductAndDot<true>(a, x, result);
}

}  // namespace

double applyStencilAndDot(const StencilMatrix& a, const double* x, double* result)
{
    return lanes::wideVectors() ? stencilProductAndDotWide(a, x, result) : stencilProductAndDot<false>(a, x, result);
}

void computeStencilFactor(const StencilMatrix& a, double modificationParameter, double pivotFloorRatio,
                          StencilFactor& f, TriangularFactor& factor)
{
    const uint32_t n = a.n, length = a.length, lines = a.lines;
    f.inverse.resize(n);
    f.lineBefore.resize(n);
    f.before.resize(n);
    double* inverse = f.inverse.data();
    double* lineBefore = f.lineBefore.data();
    double* before = f.before.data();

    // The pivot of cell k collects, in column order, the updates of column
    // k - length and then of column k - 1: each subtracts its entry squared and
    // the modification times the fill-in it drops (the other entry of that
    // column, which no column of k's pattern can take up), summed from 0.0 as
    // computeFactor sums it.
    auto cell = [&](uint32_t line, uint32_t position, double, double, bool hasUp, bool hasLeft) {
        const uint32_t k = line * length + position;
        const double diagonal = a.diagonal[k];
        double pivot = diagonal;
        if (hasUp) {
            const double m = lineBefore[k];
            pivot = pivot - m * m;
            const double missing = position + 1 < length ? 0.0 + before[k - length + 1] : 0.0;
            pivot = pivot - missing * (m * modificationParameter);
        } else {
            lineBefore[k] = 0.0;
        }
        if (hasLeft) {
            const double m = before[k];
            pivot = pivot - m * m;
            const double missing = line + 1 < lines ? 0.0 + lineBefore[k - 1 + length] : 0.0;
            pivot = pivot - missing * (m * modificationParameter);
        } else {
            before[k] = 0.0;
        }
        double d = pivot;
        if (pivotFloorRatio * diagonal > d)
            d = diagonal;
        const double inverseRoot = 1.0 / std::sqrt(d);
        inverse[k] = inverseRoot;
        if (position + 1 < length)
            before[k + 1] = inverseRoot * a.after[k];
        if (line + 1 < lines)
            lineBefore[k + length] = inverseRoot * a.lineAfter[k];
        return 0.0;
    };
    auto noStored = [](uint32_t, uint32_t) { return 0.0; };
    sweepGrid(lines, length, cell, noStored, cellByCell(cell, noStored));

    // Lay out the entries of the substitutions' steady steps in the order they
    // take them. The backward sweep visits the grid turned end for end, cell
    // n - 1 - k where the forward one visits cell k.
    for (SweepCoefficients* sweep : {&f.forward, &f.backward})
        for (Coefficients* c : {&sweep->up, &sweep->left, &sweep->inverse})
            c->resize(n);
    size_t slot = 0;
    auto noCell = [](uint32_t, uint32_t, double, double, bool, bool) { return 0.0; };
    sweepGrid(lines, length, noCell, noStored, [&](uint32_t first, uint32_t begin, uint32_t end, double*) {
        for (uint32_t t = begin; t < end; ++t) {
            for (uint32_t l = 0; l < sweepWidth; ++l, ++slot) {
                const uint32_t k = (first + l) * length + t - l;
                f.forward.up[slot] = lineBefore[k];
                f.forward.left[slot] = before[k];
                f.forward.inverse[slot] = inverse[k];
                const uint32_t mirrored = n - 1 - k;
                f.backward.up[slot] = lineBefore[mirrored + length];
                f.backward.left[slot] = before[mirrored + 1];
                f.backward.inverse[slot] = inverse[mirrored];
            }
        }
    });

    // The same factor in its general form, column after column.
    factor.n = n;
    factor.inverseDiagonal.assign(inverse, inverse + n);
    factor.matrixDiagonal.assign(a.diagonal.data(), a.diagonal.data() + n);
    factor.columnOffsets.resize(size_t(n) + 1);
    const size_t entries = size_t(lines) * (length - 1) + size_t(lines - 1) * length;
    factor.entryRows.resize(entries);
    factor.entryValues.resize(entries);
    uint32_t* offsets = factor.columnOffsets.data();
    uint32_t* rows = factor.entryRows.data();
    double* values = factor.entryValues.data();
    uint32_t e = 0;
    uint32_t k = 0;
    for (uint32_t line = 0; line < lines; ++line) {
        for (uint32_t position = 0; position < length; ++position, ++k) {
            offsets[k] = e;
            if (position + 1 < length) {
                rows[e] = k + 1;
                values[e++] = before[k + 1];
            }
            if (line + 1 < lines) {
                rows[e] = k + length;
                values[e++] = lineBefore[k + length];
            }
        }
    }
    offsets[n] = e;
}

namespace {

// The two sweeps; with wide, their steady steps four lanes at once.
template <bool wide>
inline void stencilPreconditioner(const StencilMatrix& a, const StencilFactor& f, const double* r, double* z)
{
    using namespace lanes;
    const uint32_t n = a.n, length = a.length;
    const double* inverse = f.inverse.data();
    const double* lineBefore = f.lineBefore.data();
    const double* before = f.before.data();

    // The steady steps of both sweeps, four lanes at once: each lane's inputs
    // gathered from its cells, the factor's entries read in the order laid out
    // by computeStencilFactor, the cell above taken over from the lane before.
    // forward picks the order of the two subtractions.
    auto steadySteps = [&](const SweepCoefficients& weights, const double* in, bool forward, auto cellOf) {
        size_t slot = 0;
        return [&, in, forward, cellOf, slot](uint32_t first, uint32_t begin, uint32_t end, double* last) mutable {
            Lanes carried = {last[0], last[1], last[2], last[3]};
            for (uint32_t t = begin; t < end; ++t, slot += count) {
                const LaneCells cells = cellOf(first, t);
                const Lanes input = {in[cells[0]], in[cells[1]], in[cells[2]], in[cells[3]]};
                const Lanes up = {z[cellOf(first - 1, t)[0]], carried[0], carried[1], carried[2]};
                const Lanes upWeight = load(weights.up.data() + slot);
                const Lanes leftWeight = load(weights.left.data() + slot);
                Lanes value = input;
                if (forward) {
                    value = value - up * upWeight;
                    value = value - carried * leftWeight;
                } else {
                    value = value - carried * leftWeight;
                    value = value - up * upWeight;
                }
                value = load(weights.inverse.data() + slot) * value;
                for (uint32_t l = 0; l < count; ++l)
                    z[cells[l]] = value[l];
                carried = value;
            }
            for (uint32_t l = 0; l < count; ++l)
                last[l] = carried[l];
        };
    };
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
    auto forwardCells = [&](uint32_t first, uint32_t t) { return LaneCells{int64_t(first) * length + t, across}; };
    if constexpr (wide)
        sweepGrid(a.lines, length, forwardCell, forwardStored, steadySteps(f.forward, r, true, forwardCells));
    else
        sweepGrid(a.lines, length, forwardCell, forwardStored, cellByCell(forwardCell, forwardStored));

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
    auto backwardCells = [&](uint32_t first, uint32_t t) {
        return LaneCells{int64_t(n) - 1 - (int64_t(first) * length + t), -across};
    };
    if constexpr (wide)
        sweepGrid(a.lines, length, backwardCell, backwardStored, steadySteps(f.backward, z, false, backwardCells));
    else
        sweepGrid(a.lines, length, backwardCell, backwardStored, cellByCell(backwardCell, backwardStored));
}

FLOWBOX_WIDE void stencilPreconditionerWide(const StencilMatrix& a, const StencilFactor& f, const double* r,
                                            double* z)
{
    stencilPreconditioner<true>(a, f, r, z);
}

}  // namespace

void applyStencilPreconditioner(const StencilMatrix& a, const StencilFactor& f, const double* r, double* z)
{
    if (lanes::wideVectors())
        stencilPreconditionerWide(a, f, r, z);
    else
        stencilPreconditioner<false>(a, f, r, z);
}

}  // namespace pcg
