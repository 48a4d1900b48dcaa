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

// Levels of a triangular solve: a component's level is one more than the
// highest level among its inputs (0 without inputs). Visits components from
// first to be solved to last; returns the number of levels.
template <typename InputsOf>
uint32_t assignLevels(uint32_t n, bool descending, InputsOf inputsOf, std::vector<uint32_t>& level)
{
    level.assign(n, 0);
    uint32_t levels = 0;
    for (uint32_t step = 0; step < n; ++step) {
        const uint32_t i = descending ? n - 1 - step : step;
        uint32_t highest = 0;
        inputsOf(i, [&](uint32_t input, double) { highest = std::max(highest, level[input] + 1); });
        level[i] = highest;
        levels = std::max(levels, highest + 1);
    }
    return levels;
}

template <typename InputsOf>
void buildSchedule(uint32_t n, bool descending, InputsOf inputsOf, std::vector<uint32_t>& level,
                   std::vector<uint32_t>& byLevel, std::vector<uint32_t>& count, std::vector<double>& laneWeights,
                   std::vector<uint32_t>& laneInputs, SubstitutionSchedule& schedule)
{
    const uint32_t levels = assignLevels(n, descending, inputsOf, level);
    count.assign(size_t(levels) + 1, 0);
    for (uint32_t i = 0; i < n; ++i)
        ++count[level[i] + 1];
    for (uint32_t l = 0; l < levels; ++l)
        count[l + 1] += count[l];
    byLevel.resize(n);
    for (uint32_t i = 0; i < n; ++i)
        byLevel[count[level[i]]++] = i;  // count[l] ends as the start of level l + 1

    schedule.targets.clear();
    schedule.starts.clear();
    schedule.inputs.clear();
    schedule.weights.clear();
    uint32_t begin = 0;
    for (uint32_t l = 0; l < levels; ++l) {
        const uint32_t end = count[l];
        for (uint32_t k = begin; k < end; k += 2) {
            const uint32_t first = byLevel[k];
            const uint32_t second = k + 1 < end ? byLevel[k + 1] : first;
            schedule.targets.push_back(first);
            schedule.targets.push_back(second);
            schedule.starts.push_back(uint32_t(schedule.inputs.size() / 2));
            for (uint32_t lane = 0; lane < 2; ++lane) {
                laneInputs.clear();
                laneWeights.clear();
                inputsOf(lane == 0 ? first : second, [&](uint32_t input, double weight) {
                    laneInputs.push_back(input);
                    laneWeights.push_back(weight);
                });
                if (lane == 0) {
                    for (size_t s = 0; s < laneInputs.size(); ++s) {
                        schedule.inputs.push_back(laneInputs[s]);
                        schedule.inputs.push_back(n);  // padding until the second lane is filled in
                        schedule.weights.push_back(laneWeights[s]);
                        schedule.weights.push_back(0.0);
                    }
                } else {
                    const size_t slot0 = schedule.starts.back();
                    for (size_t s = 0; s < laneInputs.size(); ++s) {
                        if (slot0 + s == schedule.inputs.size() / 2) {
                            schedule.inputs.push_back(n);
                            schedule.inputs.push_back(laneInputs[s]);
                            schedule.weights.push_back(0.0);
                            schedule.weights.push_back(laneWeights[s]);
                        } else {
                            schedule.inputs[2 * (slot0 + s) + 1] = laneInputs[s];
                            schedule.weights[2 * (slot0 + s) + 1] = laneWeights[s];
                        }
                    }
                }
            }
        }
        begin = end;
    }
    schedule.starts.push_back(uint32_t(schedule.inputs.size() / 2));
}

// One triangular solve over the schedule: work[t] = inverseDiagonal[t] * (from[t] - sum of work[input]*weight).
void substitute(const SubstitutionSchedule& schedule, const double* inverseDiagonal, const double* from, double* work)
{
    const uint32_t* targets = schedule.targets.data();
    const uint32_t* starts = schedule.starts.data();
    const uint32_t* inputs = schedule.inputs.data();
    const double* weights = schedule.weights.data();
    const size_t pairs = schedule.starts.size() - 1;
    for (size_t p = 0; p < pairs; ++p) {
        const uint32_t t0 = targets[2 * p];
        const uint32_t t1 = targets[2 * p + 1];
#if defined(__SSE2__)
        __m128d value = _mm_loadh_pd(_mm_load_sd(from + t0), from + t1);
        for (uint32_t s = starts[p]; s < starts[p + 1]; ++s) {
            const __m128d input = _mm_loadh_pd(_mm_load_sd(work + inputs[2 * s]), work + inputs[2 * s + 1]);
            value = _mm_sub_pd(value, _mm_mul_pd(input, _mm_loadu_pd(weights + 2 * s)));
        }
        value = _mm_mul_pd(_mm_loadh_pd(_mm_load_sd(inverseDiagonal + t0), inverseDiagonal + t1), value);
        _mm_storeh_pd(work + t1, value);  // a lone component sits in both lanes: either store will do
        _mm_storel_pd(work + t0, value);
#else
        double v0 = from[t0];
        double v1 = from[t1];
        for (uint32_t s = starts[p]; s < starts[p + 1]; ++s) {
            v0 = v0 - work[inputs[2 * s]] * weights[2 * s];
            v1 = v1 - work[inputs[2 * s + 1]] * weights[2 * s + 1];
        }
        work[t1] = inverseDiagonal[t1] * v1;
        work[t0] = inverseDiagonal[t0] * v0;
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

    std::vector<uint32_t> level, byLevel, count, laneInputs;
    std::vector<double> laneWeights;
    buildSchedule(
        n, false,
        [&](uint32_t i, auto visit) {
            for (uint32_t e = rowOffsets[i]; e < rowOffsets[i + 1]; ++e)
                visit(rowColumns[e], rowValues[e]);
        },
        level, byLevel, count, laneWeights, laneInputs, forward);
    buildSchedule(
        n, true,
        [&](uint32_t i, auto visit) {
            for (uint32_t e = columnOffsets[i]; e < columnOffsets[i + 1]; ++e)
                visit(rows[e], values[e]);
        },
        level, byLevel, count, laneWeights, laneInputs, backward);
    substitution.assign(size_t(n) + 1, 0.0);
}

void PcgSolver::applyPreconditioner()
{
    // The checks of forwardSubstitute(factor, rhs, result), which these loops stand in for.
    const std::vector<double>& rhs = residual;
    const std::vector<double>& result = auxiliary;
    assert(factor.n==rhs.size());
    assert(factor.n==result.size());

    double* work = substitution.data();
    substitute(forward, factor.inverseDiagonal.data(), residual.data(), work);
    substitute(backward, factor.inverseDiagonal.data(), work, work);
    std::copy(work, work + factor.n, auxiliary.begin());
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
    residual = rhs;

    residualOut = maxMagnitude(residual);
    if (residualOut == 0.0) {
        iterationsOut = 0;
        // The largest magnitude passes over NaN: zero but for NaN is not a solved system.
        return !std::isnan(innerProduct(residual, residual));
    }
    const double tolerance = residualOut * relativeTolerance;

    computeFactor(matrix, factor, modificationParameter, pivotFloorRatio);
    assert(factor.n>0);
    scheduleSubstitutions();
    applyPreconditioner();
    double rho = innerProduct(auxiliary, residual);
    if (rho == 0.0 || std::isnan(rho)) {
        iterationsOut = 0;
        return false;
    }
    direction = auxiliary;
    compressedMatrix.compressFrom(matrix);

    for (int32_t iteration = 0; iteration < iterationLimit; ++iteration) {
        // The product with its inner product, then both updates with the residual's
        // largest magnitude: fused passes, each element computed as in the separate ones.
        const double alpha = rho / applyMatrixAndDot(compressedMatrix, direction, auxiliary);
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
