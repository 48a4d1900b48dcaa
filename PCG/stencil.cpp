#include "PCG/stencil.h"

#include "PCG/pcg_solver.h"

#include <algorithm>
#include <cmath>
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
            const auto columns = matrix.rowColumns[k];
            const auto values = matrix.rowValues[k];
            size_t e = 0;
            bool matches = true;
            // The row's entries must be exactly the grid's neighbours, in column order.
            auto take = [&](bool exists, uint32_t column, Coefficients& into) {
                if (!exists) {
                    into[k] = 0.0;
                } else if (e < columns.size() && columns[e] == column) {
                    into[k] = values[e++];
                } else {
                    matches = false;
                }
            };
            take(line > 0, k - length, stencil.lineBefore);
            take(position > 0, k - 1, stencil.before);
            take(true, k, stencil.diagonal);
            take(position + 1 < length, k + 1, stencil.after);
            take(line + 1 < lines, k + length, stencil.lineAfter);
            if (!matches || e != columns.size() || stencil.diagonal[k] == 0.0)
                return false;
        }
    }
    return true;
}

namespace {

// One row's sum in column order, each present entry added as x*value + sum.
inline double stencilRow(const StencilMatrix& a, const double* x, uint32_t k, uint32_t line, uint32_t position)
{
    const uint32_t length = a.length;
    double sum = 0.0;
    if (line > 0)
        sum = x[k - length] * a.lineBefore[k] + sum;
    if (position > 0)
        sum = x[k - 1] * a.before[k] + sum;
    sum = x[k] * a.diagonal[k] + sum;
    if (position + 1 < length)
        sum = x[k + 1] * a.after[k] + sum;
    if (line + 1 < a.lines)
        sum = x[k + length] * a.lineAfter[k] + sum;
    return sum;
}

// f(width - 1), ..., f(1), f(0), written out in full.
template <uint32_t... lanes, typename F>
inline void forEachLaneDescending(std::integer_sequence<uint32_t, lanes...>, F f)
{
    constexpr uint32_t width = sizeof...(lanes);
    (f(width - 1 - lanes), ...);
}

// Computes every cell of a grid, each after the cell before it on its line and
// after the cell at its position on the line before. The first line runs
// alone; the others go `width` at a time, each one position behind the line
// before it, so that their chains of dependent operations overlap.
// cell(line, position, up, left, hasUp, hasLeft) computes one cell from the
// values returned for the cell above and the cell before it and returns its
// own; stored(line, position) reads back a value of an earlier group.
template <uint32_t width, typename Cell, typename Stored>
inline void sweepGrid(uint32_t lines, uint32_t length, Cell cell, Stored stored)
{
    double left = 0.0;
    for (uint32_t position = 0; position < length; ++position)
        left = cell(0, position, 0.0, left, false, position > 0);

    for (uint32_t first = 1; first < lines; first += width) {
        const uint32_t lanes = std::min(width, lines - first);
        // At step t, lane l computes position t - l of line first + l. The lanes
        // go from the last to the first, so that last[l - 1] still holds the
        // cell above, computed by lane l - 1 at step t - 1.
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
            for (; t < length; ++t) {  // every lane inside its line, past its first cell
                forEachLaneDescending(std::make_integer_sequence<uint32_t, width>(), [&](uint32_t l) {
                    const uint32_t position = t - l;
                    const double up = l == 0 ? stored(first - 1, position) : last[l - 1];
                    last[l] = cell(first + l, position, up, last[l], true, true);
                });
            }
        }
        for (; t < steps; ++t)
            anyStep(t);
    }
}

constexpr uint32_t sweepWidth = 4;

}  // namespace

__attribute__((target_clones("avx2", "default")))
double applyStencilAndDot(const StencilMatrix& a, const double* x, double* result)
{
    const uint32_t length = a.length;
    double dot = 0.0;
    uint32_t k = 0;
    for (uint32_t line = 0; line < a.lines; ++line) {
        const bool inner = line > 0 && line + 1 < a.lines;
        uint32_t position = 0;
        result[k] = stencilRow(a, x, k, line, position);
        dot += result[k] * x[k];
        ++k;
        ++position;
        if (inner) {
            // Rows with all five neighbours: one loop without conditions, which
            // the compiler runs several rows at a time.
            const uint32_t end = k + length - 2;
            const double* __restrict lineBefore = a.lineBefore.data() + k;
            const double* __restrict before = a.before.data() + k;
            const double* __restrict diagonal = a.diagonal.data() + k;
            const double* __restrict after = a.after.data() + k;
            const double* __restrict lineAfter = a.lineAfter.data() + k;
            const double* __restrict up = x + k - length;
            const double* __restrict left = x + k - 1;
            const double* __restrict centre = x + k;
            const double* __restrict right = x + k + 1;
            const double* __restrict down = x + k + length;
            double* __restrict out = result + k;
            for (size_t q = 0; q < length - 2; ++q)
                out[q] = down[q] * lineAfter[q] +
                         (right[q] * after[q] +
                          (centre[q] * diagonal[q] + (left[q] * before[q] + (up[q] * lineBefore[q] + 0.0))));
            for (; k < end; ++k, ++position)
                dot += result[k] * x[k];
        }
        for (; position < length; ++position, ++k) {
            result[k] = stencilRow(a, x, k, line, position);
            dot += result[k] * x[k];
        }
    }
    return dot;
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
    // column, which no column of k's pattern can take up).
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
    sweepGrid<sweepWidth>(lines, length, cell, [](uint32_t, uint32_t) { return 0.0; });

    // The same factor in its general form, column after column.
    factor.n = n;
    factor.inverseDiagonal.assign(inverse, inverse + n);
    factor.matrixDiagonal.assign(a.diagonal.data(), a.diagonal.data() + n);
    factor.columnOffsets.resize(size_t(n) + 1);
    const size_t entries = size_t(lines) * (length - 1) + size_t(lines - 1) * length;
    factor.entryRows.resize(entries);
    factor.entryValues.resize(entries);
    uint32_t* rows = factor.entryRows.data();
    double* values = factor.entryValues.data();
    uint32_t e = 0;
    uint32_t k = 0;
    for (uint32_t line = 0; line < lines; ++line) {
        for (uint32_t position = 0; position < length; ++position, ++k) {
            factor.columnOffsets[k] = e;
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
    factor.columnOffsets[n] = e;
}

void applyStencilPreconditioner(const StencilMatrix& a, const StencilFactor& f, const double* r, double* z)
{
    const uint32_t n = a.n, length = a.length;
    const double* inverse = f.inverse.data();
    const double* lineBefore = f.lineBefore.data();
    const double* before = f.before.data();

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
    sweepGrid<sweepWidth>(a.lines, length, forwardCell,
                          [&](uint32_t line, uint32_t position) { return z[line * length + position]; });

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
    sweepGrid<sweepWidth>(a.lines, length, backwardCell,
                          [&](uint32_t line, uint32_t position) { return z[n - 1 - (line * length + position)]; });
}

}  // namespace pcg
