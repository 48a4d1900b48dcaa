#include "PCG/pcg_solver.h"

#include "PCG/vector_ops.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

// The inputs of each component of a triangular solve, as offsets into parallel
// arrays: component i depends on inputs[offsets[i]] ... with those weights.
struct Dependencies {
    const uint32_t* offsets;
    const uint32_t* inputs;
    const double* weights;
};

// Pairs the components level by level (a component's level is one more than
// the highest level among its inputs) and lays out each pair's inputs side by
// side, padding the shorter list with zero weights on the zero at index n.
void buildSchedule(uint32_t n, bool descending, Dependencies dependencies, const double* inverseDiagonal,
                   std::vector<uint32_t>& level,
                   std::vector<uint32_t>& byLevel, std::vector<uint32_t>& levelStarts,
                   SubstitutionSchedule& schedule)
{
    const uint32_t* offsets = dependencies.offsets;
    const uint32_t* inputs = dependencies.inputs;
    const double* weights = dependencies.weights;

    level.resize(n);
    uint32_t levels = 0;
    for (uint32_t step = 0; step < n; ++step) {
        const uint32_t i = descending ? n - 1 - step : step;
        uint32_t highest = 0;
        for (uint32_t e = offsets[i]; e < offsets[i + 1]; ++e)
            highest = std::max(highest, level[inputs[e]] + 1);
        level[i] = highest;
        levels = std::max(levels, highest + 1);
    }
    levelStarts.assign(size_t(levels) + 1, 0);
    for (uint32_t i = 0; i < n; ++i)
        ++levelStarts[level[i] + 1];
    for (uint32_t l = 0; l < levels; ++l)
        levelStarts[l + 1] += levelStarts[l];
    byLevel.resize(n);
    for (uint32_t step = 0; step < n; ++step) {
        const uint32_t i = descending ? n - 1 - step : step;
        byLevel[levelStarts[level[i]]++] = i;  // levelStarts[l] ends as the start of level l + 1
    }

    // Pair up within each level; a lone last component is paired with itself.
    schedule.targets.clear();
    schedule.targets.reserve(size_t(n) + levels);
    uint32_t begin = 0;
    for (uint32_t l = 0; l < levels; ++l) {
        const uint32_t end = levelStarts[l];
        for (uint32_t k = begin; k < end; k += 2) {
            schedule.targets.push_back(byLevel[k]);
            schedule.targets.push_back(k + 1 < end ? byLevel[k + 1] : byLevel[k]);
        }
        begin = end;
    }
    const size_t pairs = schedule.targets.size() / 2;
    schedule.inverses.resize(2 * pairs);
    for (size_t k = 0; k < 2 * pairs; ++k)
        schedule.inverses[k] = inverseDiagonal[schedule.targets[k]];
    schedule.starts.resize(pairs + 1);
    uint32_t slots = 0;
    for (size_t p = 0; p < pairs; ++p) {
        schedule.starts[p] = slots;
        const uint32_t t0 = schedule.targets[2 * p], t1 = schedule.targets[2 * p + 1];
        slots += std::max(offsets[t0 + 1] - offsets[t0], offsets[t1 + 1] - offsets[t1]);
    }
    schedule.starts[pairs] = slots;
    schedule.inputs.assign(2 * size_t(slots), n);
    schedule.weights.assign(2 * size_t(slots), 0.0);
    for (size_t p = 0; p < pairs; ++p) {
        for (uint32_t lane = 0; lane < 2; ++lane) {
            const uint32_t t = schedule.targets[2 * p + lane];
            uint32_t slot = schedule.starts[p];
            for (uint32_t e = offsets[t]; e < offsets[t + 1]; ++e, ++slot) {
                schedule.inputs[2 * slot + lane] = inputs[e];
                schedule.weights[2 * slot + lane] = weights[e];
            }
        }
    }
}

#if defined(__SSE2__)
// Subtracts the pair's weighted inputs in order; widths of up to two, the
// pressure matrix's, run without a loop.
inline __m128d subtractInputs(__m128d value, const uint32_t* in, const double* w, size_t width, const double* work)
{
    auto subtractSlot = [&](size_t s) {
        const __m128d input = _mm_loadh_pd(_mm_load_sd(work + in[2 * s]), work + in[2 * s + 1]);
        value = _mm_sub_pd(value, _mm_mul_pd(input, _mm_loadu_pd(w + 2 * s)));
    };
    switch (width) {
    case 2:
        subtractSlot(0);
        subtractSlot(1);
        break;
    case 1:
        subtractSlot(0);
        break;
    case 0:
        break;
    default:
        for (size_t s = 0; s < width; ++s)
            subtractSlot(s);
    }
    return value;
}
#endif

// One triangular solve over the schedule:
// work[t] = 1/L(t,t) * (from[t] - the sum of work[input]*weight in order),
// also written to out[t] when writeOut is set.
template <bool writeOut>
void substitute(const SubstitutionSchedule& schedule, const double* from, double* work, double* out)
{
    const uint32_t* targets = schedule.targets.data();
    const uint32_t* starts = schedule.starts.data();
    const uint32_t* inputs = schedule.inputs.data();
    const double* weights = schedule.weights.data();
    const double* inverses = schedule.inverses.data();
    const size_t pairs = schedule.starts.size() - 1;
    for (size_t p = 0; p < pairs; ++p) {
        const uint32_t t0 = targets[2 * p];
        const uint32_t t1 = targets[2 * p + 1];
        const size_t first = starts[p];
        const size_t width = starts[p + 1] - first;
#if defined(__SSE2__)
        __m128d value = _mm_loadh_pd(_mm_load_sd(from + t0), from + t1);
        value = subtractInputs(value, inputs + 2 * first, weights + 2 * first, width, work);
        value = _mm_mul_pd(_mm_loadu_pd(inverses + 2 * p), value);
        // A lone component sits in both lanes: either store will do.
        _mm_storeh_pd(work + t1, value);
        _mm_storel_pd(work + t0, value);
        if (writeOut) {
            _mm_storeh_pd(out + t1, value);
            _mm_storel_pd(out + t0, value);
        }
#else
        double v0 = from[t0];
        double v1 = from[t1];
        for (size_t s = first; s < first + width; ++s) {
            v0 = v0 - work[inputs[2 * s]] * weights[2 * s];
            v1 = v1 - work[inputs[2 * s + 1]] * weights[2 * s + 1];
        }
        work[t1] = inverses[2 * p + 1] * v1;
        work[t0] = inverses[2 * p] * v0;
        if (writeOut) {
            out[t1] = work[t1];
            out[t0] = work[t0];
        }
#endif
    }
}

}  // namespace

void PcgSolver::scheduleSubstitutions()
{
    const uint32_t n = factor.n;
    const uint32_t* rows = factor.entryRows.data();
    const uint32_t* columnOffsets = factor.columnOffsets.data();
    const double* values = factor.entryValues.data();
    const size_t entries = factor.entryRows.size();

    // The rows of L, each listing its columns in increasing order.
    std::vector<uint32_t> rowOffsets(size_t(n) + 1, 0);
    for (size_t e = 0; e < entries; ++e)
        ++rowOffsets[rows[e] + 1];
    for (uint32_t r = 0; r < n; ++r)
        rowOffsets[r + 1] += rowOffsets[r];
    std::vector<uint32_t> rowColumns(entries);
    std::vector<double> rowValues(entries);
    std::vector<uint32_t> next(rowOffsets.begin(), rowOffsets.end() - 1);
    for (uint32_t c = 0; c < n; ++c) {
        for (uint32_t e = columnOffsets[c]; e < columnOffsets[c + 1]; ++e) {
            const uint32_t slot = next[rows[e]]++;
            rowColumns[slot] = c;
            rowValues[slot] = values[e];
        }
    }

    std::vector<uint32_t> level, byLevel, levelStarts;
    const double* inverseDiagonal = factor.inverseDiagonal.data();
    buildSchedule(n, false, {rowOffsets.data(), rowColumns.data(), rowValues.data()}, inverseDiagonal, level,
                  byLevel, levelStarts, forward);
    buildSchedule(n, true, {columnOffsets, rows, values}, inverseDiagonal, level, byLevel, levelStarts, backward);
    substitution.assign(size_t(n) + 1, 0.0);
}

void PcgSolver::applyPreconditioner()
{
    // The checks of forwardSubstitute(factor, rhs, result), which these loops stand in for.
    const std::vector<double>& rhs = residual;
    const std::vector<double>& result = auxiliary;
    assert(factor.n==rhs.size());
    assert(factor.n==result.size());

    if (stencilShaped) {
        applyStencilPreconditioner(stencil, stencilFactor, residual.data(), auxiliary.data());
        return;
    }
    double* work = substitution.data();
    substitute<false>(forward, residual.data(), work, nullptr);
    substitute<true>(backward, work, work, auxiliary.data());
}

bool PcgSolver::solveSystem(const RowListMatrix& matrix, const std::vector<double>& rhs,
                            std::vector<double>& result, double& residualOut, int& iterationsOut)
{
    const uint32_t n = matrix.n;
    if (residual.size() != n) {
        auxiliary.resize(n);
        direction.resize(n);
        residual.resize(n);
    }
    zeroVector(result);
    copyVector(rhs, residual);

    residualOut = maxMagnitude(residual);
    if (residualOut == 0.0) {
        iterationsOut = 0;
        // The largest magnitude passes over NaN: zero but for NaN is not a solved system.
        return !std::isnan(innerProduct(residual, residual));
    }
    const double tolerance = residualOut * relativeTolerance;

    stencilShaped = readStencil(matrix, stencil);
    if (stencilShaped) {
        computeStencilFactor(stencil, modificationParameter, pivotFloorRatio, stencilFactor, factor);
    } else {
        computeFactor(matrix, factor, modificationParameter, pivotFloorRatio);
        assert(factor.n>0);
        scheduleSubstitutions();
    }
    applyPreconditioner();
    double rho = innerProduct(auxiliary, residual);
    if (rho == 0.0 || std::isnan(rho)) {
        iterationsOut = 0;
        return false;
    }
    copyVector(auxiliary, direction);
    compressedMatrix.compressFrom(matrix);

    for (int32_t iteration = 0; iteration < iterationLimit; ++iteration) {
        // The product with its inner product, then both updates with the residual's
        // largest magnitude: fused passes, each element computed as in the separate ones.
        const double alpha =
            rho / (stencilShaped ? applyStencilAndDot(stencil, direction.data(), auxiliary.data())
                                 : applyMatrixAndDot(compressedMatrix, direction, auxiliary));
        residualOut = addMultiplesAndMaxMagnitude(alpha, direction, result, auxiliary, residual);
        if (residualOut <= tolerance) {
            iterationsOut = iteration + 1;
            return true;
        }
        applyPreconditioner();
        const double rhoNew = innerProduct(auxiliary, residual);
        const double beta = rhoNew / rho;
        addMultiple(beta, direction, auxiliary);
        direction.swap(auxiliary);
        rho = rhoNew;
    }
    iterationsOut = iterationLimit;
    return false;
}

}  // namespace pcg
