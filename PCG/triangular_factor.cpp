#include "PCG/triangular_factor.h"

#include "PCG/vector_ops.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace pcg {

namespace {

void copyLowerTriangle(const RowListMatrix& matrix, TriangularFactor& factor)
{
    const uint32_t n = matrix.n;
    factor.n = n;
    factor.inverseDiagonal.resize(n);
    factor.columnOffsets.resize(size_t(n) + 1);
    factor.matrixDiagonal.resize(n);
    zeroVector(factor.inverseDiagonal);
    factor.entryValues.clear();
    factor.entryRows.clear();
    zeroVector(factor.matrixDiagonal);

    size_t below = 0;  // entries right of the diagonal: room for the factor in one allocation
    for (uint32_t j = 0; j < n; ++j)
        for (uint32_t t : matrix.rowColumns[j])
            below += t > j;
    factor.entryRows.reserve(below);
    factor.entryValues.reserve(below);

    for (uint32_t j = 0; j < n; ++j) {
        factor.columnOffsets[j] = uint32_t(factor.entryRows.size());
        const auto& columns = matrix.rowColumns[j];
        const auto& values = matrix.rowValues[j];
        for (size_t e = 0; e < columns.size(); ++e) {
            const uint32_t t = columns[e];
            if (t > j) {
                factor.entryRows.push_back(t);
                factor.entryValues.push_back(values[e]);
            } else if (t == j) {
                factor.matrixDiagonal[j] = values[e];
                factor.inverseDiagonal[j] = values[e];
            }
        }
    }
    factor.columnOffsets[n] = uint32_t(factor.entryRows.size());
}

}  // namespace

void computeFactor(const RowListMatrix& matrix, TriangularFactor& factor,
                   double modificationParameter, double pivotFloorRatio)
{
    copyLowerTriangle(matrix, factor);

    double* pivot = factor.inverseDiagonal.data();
    double* values = factor.entryValues.data();
    const uint32_t* rows = factor.entryRows.data();
    const uint32_t* offsets = factor.columnOffsets.data();

    for (uint32_t k = 0; k < factor.n; ++k) {
        if (factor.matrixDiagonal[k] == 0.0)
            continue;  // a row without a diagonal: leave the column untouched

        double d = pivot[k];
        if (pivotFloorRatio * factor.matrixDiagonal[k] > d)
            d = factor.matrixDiagonal[k];  // safety floor against tiny or negative pivots
        pivot[k] = 1.0 / std::sqrt(d);

        const uint32_t columnEnd = offsets[k + 1];
        for (uint32_t e = offsets[k]; e < columnEnd; ++e)
            values[e] = pivot[k] * values[e];

        for (uint32_t p = offsets[k]; p < columnEnd; ++p) {
            const uint32_t j = rows[p];
            const double m = values[p];
            double missing = 0.0;

            // Entries of column k above row j: fill-in at (j, row) outside the pattern is dropped.
            const auto& rowJ = matrix.rowColumns[j];
            size_t b = 0;
            uint32_t a = offsets[k];
            for (; a < columnEnd; ++a) {
                const uint32_t r = rows[a];
                if (r < j) {
                    while (b < rowJ.size() && rowJ[b] < r)
                        ++b;
                    if (b < rowJ.size() && rowJ[b] > r)
                        missing += values[a];
                } else {
                    if (r == j)
                        pivot[j] = pivot[j] - m * values[a];
                    break;
                }
            }

            // Entries of column k below row j update column j where its pattern allows.
            uint32_t i = a + 1;
            uint32_t q = offsets[j];
            const uint32_t columnJEnd = offsets[j + 1];
            while (i < columnEnd && q < columnJEnd) {
                if (rows[q] < rows[i]) {
                    ++q;
                } else if (rows[q] == rows[i]) {
                    values[q] = values[q] - m * values[i];
                    ++i;
                    ++q;
                } else {
                    missing += values[i];
                    ++i;
                }
            }
            for (; i < columnEnd; ++i)
                missing += values[i];

            pivot[j] = pivot[j] - missing * (m * modificationParameter);
        }
    }
}

void forwardSubstitute(const TriangularFactor& factor, const std::vector<double>& rhs,
                       std::vector<double>& result)
{
    assert(factor.n==rhs.size());
    assert(factor.n==result.size());
    const double* inverseDiagonal = factor.inverseDiagonal.data();
    const double* values = factor.entryValues.data();
    const uint32_t* rows = factor.entryRows.data();
    const uint32_t* offsets = factor.columnOffsets.data();
    double* out = result.data();
    std::copy(rhs.begin(), rhs.end(), result.begin());
    for (uint32_t i = 0; i < factor.n; ++i) {
        const double xi = inverseDiagonal[i] * out[i];
        out[i] = xi;
        for (uint32_t e = offsets[i]; e < offsets[i + 1]; ++e)
            out[rows[e]] = out[rows[e]] - xi * values[e];
    }
}

void backSubstituteTransposed(const TriangularFactor& factor, std::vector<double>& x)
{
    assert(factor.n==x.size());
    assert(factor.n>0);
    const double* inverseDiagonal = factor.inverseDiagonal.data();
    const double* values = factor.entryValues.data();
    const uint32_t* rows = factor.entryRows.data();
    const uint32_t* offsets = factor.columnOffsets.data();
    double* y = x.data();
    for (uint32_t i = factor.n; i-- > 0;) {
        double yi = y[i];
        for (uint32_t e = offsets[i]; e < offsets[i + 1]; ++e)
            yi = yi - y[rows[e]] * values[e];
        y[i] = inverseDiagonal[i] * yi;
    }
}

}  // namespace pcg
