#include "PCG/pcg_solver.h"

#include "PCG/vector_ops.h"

#include <cassert>
#include <cmath>

namespace pcg {

namespace {

// The two operations of the iteration on a matrix in its general form.
struct GeneralOperations {
    const CompressedMatrix& matrix;
    const TriangularFactor& factor;

    double multiplyAndDot(const std::vector<double>& x, std::vector<double>& result) const
    {
        return applyMatrixAndDot(matrix, x, result);
    }

    void precondition(const std::vector<double>& rhs, std::vector<double>& result) const
    {
        forwardSubstitute(factor, rhs, result);
        backSubstituteTransposed(factor, result);
    }
};

// The same operations on a matrix with the five-point pattern.
struct FivePointOperations {
    const FivePointMatrix& matrix;
    const FivePointFactor& fivePointFactor;
    const TriangularFactor& factor;

    double multiplyAndDot(const std::vector<double>& x, std::vector<double>& result) const
    {
        return applyFivePointAndDot(matrix, x.data(), result.data());
    }

    void precondition(const std::vector<double>& rhs, std::vector<double>& result) const
    {
        // The checks of forwardSubstitute, which the five-point sweeps stand in for.
        assert(factor.n==rhs.size());
        assert(factor.n==result.size());
        applyFivePointPreconditioner(matrix, fivePointFactor, rhs.data(), result.data());
    }
};

// The five-point product, preconditioned by a multigrid V-cycle.
struct MultigridOperations {
    const FivePointMatrix& matrix;
    MultigridPreconditioner& multigrid;

    double multiplyAndDot(const std::vector<double>& x, std::vector<double>& result) const
    {
        return applyFivePointAndDot(matrix, x.data(), result.data());
    }

    void precondition(const std::vector<double>& rhs, std::vector<double>& result) const
    {
        multigrid.apply(rhs.data(), result.data());
    }
};

}  // namespace

void PcgSolver::sizeVectors(uint32_t n)
{
    if (residual.size() != n) {
        auxiliary.resize(n);
        direction.resize(n);
        residual.resize(n);
    }
}

double PcgSolver::toleranceFor(double largestRhs) const
{
    return std::fmax(largestRhs, rhsScale) * relativeTolerance;
}

bool PcgSolver::start(uint32_t n, const std::vector<double>& rhs, std::vector<double>& result, double& residualOut,
                      int& iterationsOut, bool& solved)
{
    sizeVectors(n);
    zeroVector(result);
    copyVector(rhs, residual);

    residualOut = maxMagnitude(residual);
    if (residualOut == 0.0) {
        tolerance = 0.0;
        iterationsOut = 0;
        // The largest magnitude passes over NaN: zero but for NaN is not a solved system.
        solved = !std::isnan(innerProduct(residual, residual));
        return false;
    }
    tolerance = toleranceFor(residualOut);
    return true;
}

bool PcgSolver::startFromGuess(const FivePointMatrix& matrix, const std::vector<double>& rhs,
                               std::vector<double>& result, double& residualOut, int& iterationsOut, bool& solved)
{
    assert(result.size() == matrix.n);
    const double largest = maxMagnitude(rhs);
    // A zero right-hand side is answered as from zero: with zero.
    if (largest == 0.0 || std::isnan(largest))
        return start(matrix.n, rhs, result, residualOut, iterationsOut, solved);
    sizeVectors(matrix.n);
    // A guess that is not finite throughout (its <x, Ax> is not) is no guess:
    // start from zero.
    if (!std::isfinite(applyFivePointAndDot(matrix, result.data(), auxiliary.data())))
        return start(matrix.n, rhs, result, residualOut, iterationsOut, solved);
    tolerance = toleranceFor(largest);
    residualOut = differenceAndMaxMagnitude(rhs, auxiliary, residual);
    return true;
}

bool PcgSolver::solveSystem(const RowListMatrix& matrix, const std::vector<double>& rhs,
                            std::vector<double>& result, double& residualOut, int& iterationsOut)
{
    bool solved = false;
    if (!start(matrix.n, rhs, result, residualOut, iterationsOut, solved))
        return solved;

    // The general factor and compressed matrix are filled on the factor's
    // paths: they are the solver's public record of the solve.
    compressedMatrix.compressFrom(matrix);
    if (readFivePointMatrix(matrix, fivePoint)) {
        buildPreconditioner(fivePoint);
        return iterateFivePoint(fivePoint, result, residualOut, iterationsOut);
    }
    computeFactor(matrix, factor, modificationParameter, pivotFloorRatio);
    return iterate(GeneralOperations{compressedMatrix, factor}, tolerance, result, residualOut, iterationsOut);
}

bool PcgSolver::solveFivePoint(const FivePointMatrix& matrix, const std::vector<double>& rhs,
                               std::vector<double>& result, double& residualOut, int& iterationsOut)
{
    bool solved = false;
    if (!start(matrix.n, rhs, result, residualOut, iterationsOut, solved))
        return solved;
    buildPreconditioner(matrix);
    return iterateFivePoint(matrix, result, residualOut, iterationsOut);
}

void PcgSolver::prepareFivePoint(FivePointMatrix&& matrix)
{
    fivePoint = std::move(matrix);
    classifyCoefficients(fivePoint);
    buildPreconditioner(fivePoint);
}

bool PcgSolver::solvePrepared(const std::vector<double>& rhs, std::vector<double>& result, double& residualOut,
                              int& iterationsOut, bool fromGuess)
{
    bool solved = false;
    const bool iterate = fromGuess ? startFromGuess(fivePoint, rhs, result, residualOut, iterationsOut, solved)
                                   : start(fivePoint.n, rhs, result, residualOut, iterationsOut, solved);
    if (!iterate)
        return solved;
    return iterateFivePoint(fivePoint, result, residualOut, iterationsOut);
}

void PcgSolver::multiplyPrepared(const std::vector<double>& x, std::vector<double>& result) const
{
    assert(fivePoint.n == x.size());
    assert(fivePoint.n == result.size());
    applyFivePointAndDot(fivePoint, x.data(), result.data());
}

void PcgSolver::buildPreconditioner(const FivePointMatrix& matrix)
{
    if (preconditioner == Preconditioner::multigrid)
        multigrid.build(matrix);
    else
        computeFivePointFactor(matrix, modificationParameter, pivotFloorRatio, fivePointFactor, factor);
}

// Iterates with the preconditioner last built, which must be the matrix's.
bool PcgSolver::iterateFivePoint(const FivePointMatrix& matrix, std::vector<double>& result, double& residualOut,
                                 int& iterationsOut)
{
    if (preconditioner == Preconditioner::multigrid)
        return iterate(MultigridOperations{matrix, multigrid}, tolerance, result, residualOut, iterationsOut);
    return iterate(FivePointOperations{matrix, fivePointFactor, factor}, tolerance, result, residualOut,
                   iterationsOut);
}

// The conjugate gradient iteration itself: it knows the matrix and the
// preconditioner only as the two operations.
template <typename Operations>
bool PcgSolver::iterate(const Operations& operations, double tolerance, std::vector<double>& result,
                        double& residualOut, int& iterationsOut)
{
    operations.precondition(residual, auxiliary);
    double rho = innerProduct(auxiliary, residual);
    if (rho == 0.0 || std::isnan(rho)) {
        iterationsOut = 0;
        return false;
    }
    direction.swap(auxiliary);  // the product below writes all of auxiliary
    // A singular system whose right-hand side strays from the matrix's
    // range, or rounding that dominates, may make the iterates wander off:
    // the start and the best one are kept to fall back on. The best is kept
    // without a copy: while the iterate in result is the best so far, the
    // next is written to the other vector, which then changes places with
    // result (the iterates are the same as updated in place).
    // The start is kept without copies too: the first iteration writes
    // both its iterate and its residual to other vectors, and the start's
    // change places with the vectors that keep them.
    double bestResidual = residualOut;
    bool resultIsBest = keepBestIterate;
    if (keepBestIterate) {
        startIterate.resize(result.size());
        startResidual.resize(result.size());
        best.resize(result.size());
    }

    for (int32_t iteration = 0; iteration < iterationLimit; ++iteration) {
        // The product with its inner product, then both updates with the residual's
        // largest magnitude: fused passes, each element computed as in the separate ones.
        const double alpha = rho / operations.multiplyAndDot(direction, auxiliary);  // the bottleneck
        if (keepBestIterate && iteration == 0) {
            residualOut =
                addMultiplesAndMaxMagnitude(alpha, direction, result, best, auxiliary, residual, startResidual);
            result.swap(best);
            best.swap(startIterate);
            residual.swap(startResidual);
        } else if (resultIsBest) {
            residualOut = addMultiplesAndMaxMagnitude(alpha, direction, result, best, auxiliary, residual);
            result.swap(best);
        } else {
            residualOut = addMultiplesAndMaxMagnitude(alpha, direction, result, auxiliary, residual);
        }
        if (residualOut <= tolerance) {
            iterationsOut = iteration + 1;
            return true;
        }
        resultIsBest = keepBestIterate && residualOut < bestResidual;
        if (resultIsBest)
            bestResidual = residualOut;
        operations.precondition(residual, auxiliary);
        const double rhoNew = innerProduct(auxiliary, residual);
        const double beta = rhoNew / rho;
        addMultiple(beta, direction, auxiliary);
        direction.swap(auxiliary);
        rho = rhoNew;
    }
    iterationsOut = iterationLimit;
    if (keepBestIterate)
        residualOut = fallBack(operations, result, resultIsBest);
    return false;
}

// Of the start, the iterate of the smallest recursive residual and the last
// one, leaves the one whose true residual is smallest in result (the
// recursive residual drifts from the true one where the iterates wander)
// and returns that residual. Uses direction and auxiliary as scratch.
template <typename Operations>
double PcgSolver::fallBack(const Operations& operations, std::vector<double>& result, bool resultIsBest)
{
    // b - A x = r0 - A (x - x0), with r0 the start's residual.
    auto trueResidual = [&](const std::vector<double>& x) {
        copyVector(x, direction);
        addMultiple(-1.0, startIterate, direction);
        operations.multiplyAndDot(direction, auxiliary);
        copyVector(startResidual, direction);
        addMultiple(-1.0, auxiliary, direction);
        const double largest = maxMagnitude(direction);
        return std::isnan(innerProduct(direction, direction)) ? INFINITY : largest;
    };
    double chosen = maxMagnitude(startResidual);
    const double last = trueResidual(result);
    const double ofBest = resultIsBest ? last : trueResidual(best);
    const std::vector<double>* keep = &startIterate;
    if (ofBest < chosen)
        keep = &best, chosen = ofBest;
    if (last <= chosen)
        return last;
    copyVector(*keep, result);
    return chosen;
}

}  // namespace pcg
