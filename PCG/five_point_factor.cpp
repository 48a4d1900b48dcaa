#include "PCG/five_point_factor.h"

#include "PCG/wavefront.h"

#include <cmath>

namespace pcg {

namespace {

// The factor's cells in the wavefront's order (wavefront.h), which lets four
// cells' chains of square roots and divisions overlap: measured twice as fast
// as cell after cell, line after line. The cells pass their results on through
// the factor's arrays, not through the values the sweep hands along.
//
// The pivot of cell k collects, in column order, the updates of column
// k - length and then of column k - 1: each subtracts its entry squared and
// the modification times the fill-in it drops (the other entry of that
// column, which no column of k's pattern can take up), summed from 0.0 as
// computeFactor sums it.
void factorCells(const FivePointMatrix& a, double modificationParameter, double pivotFloorRatio, FivePointFactor& f)
{
    const uint32_t length = a.length, lines = a.lines;
    double* inverse = f.inverse.data();
    double* lineBefore = f.lineBefore.data();
    double* before = f.before.data();
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
            d = diagonal;  // safety floor against tiny or negative pivots
        const double inverseRoot = 1.0 / std::sqrt(d);
        inverse[k] = inverseRoot;
        if (position + 1 < length)
            before[k + 1] = inverseRoot * a.after[k];
        if (line + 1 < lines)
            lineBefore[k + length] = inverseRoot * a.lineAfter[k];
        return 0.0;
    };
    auto noStored = [](uint32_t, uint32_t) { return 0.0; };
    wavefront::sweep(lines, length, cell, noStored, wavefront::cellByCell(cell, noStored));
}

// Lays out the entries of the substitutions' steady steps in the order they
// take them. The backward sweep visits the grid turned end for end, cell
// n - 1 - k where the forward one visits cell k.
void layOutForSweeps(const FivePointMatrix& a, FivePointFactor& f)
{
    const uint32_t n = a.n, length = a.length;
    for (SweepCoefficients* sweep : {&f.forward, &f.backward})
        for (Coefficients* c : {&sweep->up, &sweep->left, &sweep->inverse})
            c->resize(n);
    size_t slot = 0;
    auto noCell = [](uint32_t, uint32_t, double, double, bool, bool) { return 0.0; };
    auto noStored = [](uint32_t, uint32_t) { return 0.0; };
    wavefront::sweep(a.lines, length, noCell, noStored, [&](uint32_t first, uint32_t begin, uint32_t end, double*) {
        for (uint32_t t = begin; t < end; ++t) {
            for (uint32_t l = 0; l < wavefront::width; ++l, ++slot) {
                const uint32_t k = (first + l) * length + t - l;
                f.forward.up[slot] = f.lineBefore[k];
                f.forward.left[slot] = f.before[k];
                f.forward.inverse[slot] = f.inverse[k];
                const uint32_t mirrored = n - 1 - k;
                f.backward.up[slot] = f.lineBefore[mirrored + length];
                f.backward.left[slot] = f.before[mirrored + 1];
                f.backward.inverse[slot] = f.inverse[mirrored];
            }
        }
    });
}

// The same factor in its general form, column after column.
void copyToGeneralForm(const FivePointMatrix& a, const FivePointFactor& f, TriangularFactor& factor)
{
    const uint32_t n = a.n, length = a.length, lines = a.lines;
    factor.n = n;
    factor.inverseDiagonal.assign(f.inverse.data(), f.inverse.data() + n);
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
                values[e++] = f.before[k + 1];
            }
            if (line + 1 < lines) {
                rows[e] = k + length;
                values[e++] = f.lineBefore[k + length];
            }
        }
    }
    offsets[n] = e;
}

// The sweeps' weights by class, where there are few enough of them (else
// the forward ones may be left held: the caller clears both).
bool classifyWeights(const FivePointMatrix& a, FivePointFactor& f)
{
    const uint32_t n = a.n, length = a.length;
    auto forward = [&](size_t k, double* tuple) {
        tuple[0] = f.lineBefore[k];
        tuple[1] = f.before[k];
        tuple[2] = f.inverse[k];
    };
    // The last line has no line below, the last cell no cell after.
    auto backward = [&](size_t k, double* tuple) {
        tuple[0] = k + length < n ? f.lineBefore[k + length] : 0.0;
        tuple[1] = k + 1 < n ? f.before[k + 1] : 0.0;
        tuple[2] = f.inverse[k];
    };
    return classify(n, forward, f.forwardClasses) && classify(n, backward, f.backwardClasses);
}

FivePointFactorRows rowsOf(const FivePointFactor& f)
{
    return {f.inverse.data(),
            f.lineBefore.data(),
            f.before.data(),
            {f.forward.up.data(), f.forward.left.data(), f.forward.inverse.data()},
            {f.backward.up.data(), f.backward.left.data(), f.backward.inverse.data()},
            {f.forwardClasses.classesOrNull(), f.forwardClasses.tuplesOrNull()},
            {f.backwardClasses.classesOrNull(), f.backwardClasses.tuplesOrNull()}};
}

}  // namespace

void computeFivePointFactor(const FivePointMatrix& matrix, double modificationParameter, double pivotFloorRatio,
                            FivePointFactor& fivePoint, TriangularFactor& general)
{
    fivePoint.inverse.resize(matrix.n);
    fivePoint.lineBefore.resize(matrix.n);
    fivePoint.before.resize(matrix.n);
    factorCells(matrix, modificationParameter, pivotFloorRatio, fivePoint);
    // A factor of many distinct weights comes of a matrix of many distinct entries.
    if (!matrix.classes.held() || !classifyWeights(matrix, fivePoint)) {
        fivePoint.forwardClasses.clear();
        fivePoint.backwardClasses.clear();
        layOutForSweeps(matrix, fivePoint);
    }
    copyToGeneralForm(matrix, fivePoint, general);
}

void applyFivePointPreconditioner(const FivePointMatrix& matrix, const FivePointFactor& factor, const double* r,
                                  double* z)
{
    fivePointKernels().precondition(rowsOf(matrix), rowsOf(factor), r, z);
}

}  // namespace pcg
