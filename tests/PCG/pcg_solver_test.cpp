#include "PCG/pcg_solver.h"
#include "PCG/vector_ops.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/pressure_problem.h"
#include "tests/support/reference_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace {

using namespace pcg;
using namespace testing_support;

RowListMatrix denseMatrix(const std::vector<std::vector<double>>& rows)
{
    RowListMatrix matrix(uint32_t(rows.size()));
    for (uint32_t i = 0; i < matrix.n; ++i) {
        std::vector<uint32_t> columns;
        std::vector<double> values;
        for (uint32_t j = 0; j < rows[i].size(); ++j) {
            columns.push_back(j);
            values.push_back(rows[i][j]);
        }
        matrix.addToRow(i, columns, values);
    }
    return matrix;
}

std::vector<double> applyPreconditioner(const TriangularFactor& factor, const std::vector<double>& r)
{
    std::vector<double> z(r.size());
    forwardSubstitute(factor, r, z);
    backSubstituteTransposed(factor, z);
    return z;
}

TEST(IncompleteCholesky, PatternWithoutFillInGivesTheExactFactor)
{
    TriangularFactor factor;
    computeFactor(denseMatrix({{4.0, 2.0}, {2.0, 5.0}}), factor, 0.97, 0.25);
    EXPECT_EQ(factor.inverseDiagonal, (std::vector<double>{0.5, 0.5}));
    EXPECT_EQ(factor.entryValues, (std::vector<double>{1.0}));
    EXPECT_EQ(factor.entryRows, (std::vector<uint32_t>{1}));
    EXPECT_EQ(factor.columnOffsets, (std::vector<uint32_t>{0, 1, 1}));
    EXPECT_EQ(factor.matrixDiagonal, (std::vector<double>{4.0, 5.0}));
}

TEST(IncompleteCholesky, PivotBelowTheFloorIsReplacedByTheMatrixDiagonal)
{
    TriangularFactor factor;
    computeFactor(denseMatrix({{1.0, 0.99}, {0.99, 1.0}}), factor, 0.97, 0.25);
    EXPECT_EQ(factor.inverseDiagonal, (std::vector<double>{1.0, 1.0}));
}

TEST(IncompleteCholesky, DroppedFillInIsChargedToBothDiagonals)
{
    // 2 by 2 cells: the fill-in between cells 1 and 2 is dropped.
    TriangularFactor factor;
    computeFactor(neumannPressureMatrix(2, 2), factor, 0.97, 0.25);
    const double d = 2.0 - 0.5 - 0.97 * 0.5;
    ASSERT_LT(2.0 - 2.0 / d, 0.25 * 2.0);  // so the last pivot falls to the floor
    EXPECT_DOUBLE_EQ(factor.inverseDiagonal[0], 1.0 / std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(factor.inverseDiagonal[1], 1.0 / std::sqrt(d));
    EXPECT_DOUBLE_EQ(factor.inverseDiagonal[2], 1.0 / std::sqrt(d));
    EXPECT_DOUBLE_EQ(factor.inverseDiagonal[3], 1.0 / std::sqrt(2.0));

    // Without the modification the middle pivots only lose L(k,0)^2.
    computeFactor(neumannPressureMatrix(2, 2), factor, 0.0, 0.25);
    EXPECT_DOUBLE_EQ(factor.inverseDiagonal[1], 1.0 / std::sqrt(1.5));
}

TEST(IncompleteCholesky, OneByOneFactorAndSubstitutions)
{
    TriangularFactor factor;
    computeFactor(denseMatrix({{9.0}}), factor, 0.97, 0.25);
    EXPECT_EQ(factor.inverseDiagonal, (std::vector<double>{1.0 / 3.0}));
    EXPECT_TRUE(factor.entryValues.empty());
    std::vector<double> z(1);
    forwardSubstitute(factor, {3.0}, z);
    EXPECT_EQ(z, (std::vector<double>{1.0}));
    backSubstituteTransposed(factor, z);
    EXPECT_EQ(z, (std::vector<double>{1.0 / 3.0}));
}

TEST(IncompleteCholesky, RowWithoutEntriesIsSkippedAndYieldsZero)
{
    RowListMatrix matrix(3);
    matrix.addToRow(0, {0, 2}, {4.0, 1.0});
    matrix.addToRow(2, {0, 2}, {1.0, 4.0});
    TriangularFactor factor;
    computeFactor(matrix, factor, 0.97, 0.25);
    EXPECT_EQ(factor.inverseDiagonal[1], 0.0);
    std::vector<double> z(3);
    forwardSubstitute(factor, {1.0, 5.0, 1.0}, z);
    EXPECT_EQ(z[1], 0.0);
}

TEST(IncompleteCholesky, TridiagonalMatrixIsFactoredExactly)
{
    // A single column of cells has no fill-in: M^-1 must invert A. The shifted
    // diagonal keeps every pivot well above the floor.
    const RowListMatrix matrix = [] {
        RowListMatrix m = neumannPressureMatrix(1, 20);
        for (uint32_t k = 0; k < 20; ++k)
            m.addToRow(k, {k}, {1.0});
        return m;
    }();
    TriangularFactor factor;
    computeFactor(matrix, factor, 0.97, 0.25);
    const std::vector<double> r = compatibleRightHandSide(20, 7);
    EXPECT_LT(maxAbsDifference(multiply(matrix, applyPreconditioner(factor, r)), r), 1e-12);
}

TEST(IncompleteCholesky, PreconditionerIsSymmetric)
{
    TriangularFactor factor;
    computeFactor(neumannPressureMatrix(50, 50), factor, 0.97, 0.25);
    const std::vector<double> a = compatibleRightHandSide(2500, 1);
    const std::vector<double> b = compatibleRightHandSide(2500, 2);
    const double left = innerProduct(applyPreconditioner(factor, a), b);
    const double right = innerProduct(a, applyPreconditioner(factor, b));
    EXPECT_NEAR(left, right, 1e-11 * std::fabs(left));
}

TEST(IncompleteCholeskyDeathTest, SubstitutionsCheckTheirSizes)
{
    TriangularFactor empty;
    std::vector<double> none;
    EXPECT_DEATH(backSubstituteTransposed(empty, none), "factor.n>0");

    TriangularFactor factor;
    computeFactor(denseMatrix({{4.0, 2.0}, {2.0, 5.0}}), factor, 0.97, 0.25);
    std::vector<double> shortResult(1);
    std::vector<double> two(2);
    EXPECT_DEATH(forwardSubstitute(factor, two, shortResult), "factor.n==result.size\\(\\)");
    EXPECT_DEATH(forwardSubstitute(factor, std::vector<double>(3), two), "factor.n==rhs.size\\(\\)");
    std::vector<double> three(3);
    EXPECT_DEATH(backSubstituteTransposed(factor, three), "factor.n==x.size\\(\\)");
}

TEST(PcgSolverDeathTest, RightHandSideOfTheWrongLengthStops)
{
    PcgSolver solver;
    std::vector<double> result(4);
    double residual = 0.0;
    int iterations = 0;
    EXPECT_DEATH(solver.solveSystem(neumannPressureMatrix(2, 2), {1.0, -1.0, 1.0}, result, residual, iterations),
                 "factor.n==rhs.size\\(\\)");
}

struct Solve {
    bool converged;
    double residual;
    int iterations;
    std::vector<double> result;
};

Solve solve(PcgSolver& solver, const RowListMatrix& matrix, const std::vector<double>& rhs)
{
    Solve outcome{false, -1.0, -1, std::vector<double>(matrix.n, 42.0)};
    outcome.converged = solver.solveSystem(matrix, rhs, outcome.result, outcome.residual, outcome.iterations);
    return outcome;
}

TEST(PcgSolver, DefaultsAreThoseOfThePressureSolve)
{
    const PcgSolver solver;
    EXPECT_EQ(solver.relativeTolerance, 1e-5);
    EXPECT_EQ(solver.iterationLimit, 100);
    EXPECT_EQ(solver.modificationParameter, 0.97);
    EXPECT_EQ(solver.pivotFloorRatio, 0.25);
}

TEST(PcgSolver, ZeroRightHandSideSucceedsWithoutWork)
{
    PcgSolver solver;
    const Solve s = solve(solver, neumannPressureMatrix(3, 3), std::vector<double>(9, 0.0));
    EXPECT_TRUE(s.converged);
    EXPECT_EQ(s.iterations, 0);
    EXPECT_EQ(s.residual, 0.0);
    EXPECT_EQ(s.result, std::vector<double>(9, 0.0));
    EXPECT_EQ(solver.factor.n, 0u);  // no factor computed
}

TEST(PcgSolver, NanInTheRightHandSideIsAFailureNeverASuccess)
{
    PcgSolver solver;
    const double nan = std::nan("");
    const Solve zeroButNan = solve(solver, neumannPressureMatrix(3, 1), {0.0, nan, 0.0});
    EXPECT_FALSE(zeroButNan.converged);
    EXPECT_EQ(zeroButNan.iterations, 0);
    EXPECT_EQ(zeroButNan.result, std::vector<double>(3, 0.0));

    const Solve mixed = solve(solver, neumannPressureMatrix(3, 1), {1.0, nan, -1.0});
    EXPECT_FALSE(mixed.converged);
    EXPECT_EQ(mixed.iterations, 0);
    EXPECT_EQ(mixed.residual, 1.0);
}

TEST(PcgSolver, OneByOneSystemConvergesInOneIteration)
{
    PcgSolver solver;
    const Solve s = solve(solver, denseMatrix({{4.0}}), {8.0});
    EXPECT_TRUE(s.converged);
    EXPECT_EQ(s.iterations, 1);
    EXPECT_EQ(s.result, (std::vector<double>{2.0}));
    EXPECT_EQ(s.residual, 0.0);
}

TEST(PcgSolver, ExactPreconditionerConvergesInOneIteration)
{
    PcgSolver solver;
    const Solve s = solve(solver, denseMatrix({{4.0, 1.0, 0.5}, {1.0, 3.0, 0.2}, {0.5, 0.2, 2.0}}), {1.0, -2.0, 3.0});
    EXPECT_TRUE(s.converged);
    EXPECT_EQ(s.iterations, 1);
}

TEST(PcgSolver, MatrixWithoutEntriesBreaksDownBeforeTheFirstIteration)
{
    PcgSolver solver;
    const Solve s = solve(solver, RowListMatrix(3), {1.0, -4.0, 2.0});
    EXPECT_FALSE(s.converged);
    EXPECT_EQ(s.iterations, 0);
    EXPECT_EQ(s.residual, 4.0);
    EXPECT_EQ(s.result, std::vector<double>(3, 0.0));
}

TEST(PcgSolver, IterationLimitEndsTheSolveWithTheLastIterate)
{
    PcgSolver solver;
    solver.iterationLimit = 3;
    const RowListMatrix matrix = neumannPressureMatrix(30, 30);
    const std::vector<double> rhs = compatibleRightHandSide(900, 3);
    const Solve s = solve(solver, matrix, rhs);
    EXPECT_FALSE(s.converged);
    EXPECT_EQ(s.iterations, 3);
    EXPECT_GT(s.residual, 1e-5 * maxMagnitude(rhs));
    // The last iterate is kept: it has made progress from zero.
    EXPECT_LT(maxAbsDifference(multiply(matrix, s.result), rhs), maxMagnitude(rhs));
}

TEST(PcgSolver, ResidualExactlyAtTheToleranceCountsAsConverged)
{
    // rhs with largest magnitude 1.0 makes the tolerance equal relativeTolerance exactly.
    const RowListMatrix matrix = neumannPressureMatrix(4, 4);
    std::vector<double> rhs = compatibleRightHandSide(16, 5);
    const double scale = maxMagnitude(rhs);
    for (double& value : rhs)
        value /= scale;
    ASSERT_EQ(maxMagnitude(rhs), 1.0);

    PcgSolver probe;
    probe.iterationLimit = 1;
    const Solve first = solve(probe, matrix, rhs);
    ASSERT_FALSE(first.converged);

    PcgSolver atTolerance;
    atTolerance.relativeTolerance = first.residual;
    const Solve s = solve(atTolerance, matrix, rhs);
    EXPECT_TRUE(s.converged);
    EXPECT_EQ(s.iterations, 1);

    PcgSolver justBelow;
    justBelow.relativeTolerance = std::nextafter(first.residual, 0.0);
    EXPECT_GT(solve(justBelow, matrix, rhs).iterations, 1);
}

TEST(PcgSolver, NeumannPressureSystemsReachTheToleranceInTheTrueResidual)
{
    struct Grid {
        uint32_t nx, ny;
        int ceiling;
    };
    for (const Grid grid : {Grid{2, 3, 6}, Grid{10, 10, 20}, Grid{50, 50, 40}, Grid{17, 64, 45}}) {
        SCOPED_TRACE(::testing::Message() << grid.nx << "x" << grid.ny);
        const RowListMatrix matrix = neumannPressureMatrix(grid.nx, grid.ny);
        const std::vector<double> rhs = compatibleRightHandSide(matrix.n, grid.nx * 100 + grid.ny);
        PcgSolver solver;
        const Solve s = solve(solver, matrix, rhs);
        EXPECT_TRUE(s.converged);
        EXPECT_LE(s.iterations, grid.ceiling);
        const double tolerance = 1e-5 * maxMagnitude(rhs);
        EXPECT_LE(s.residual, tolerance);
        EXPECT_LE(maxAbsDifference(multiply(matrix, s.result), rhs), 1.01 * tolerance);
    }
}

TEST(PcgSolver, ModificationHalvesTheIterationsOfPlainIncompleteCholesky)
{
    const RowListMatrix matrix = neumannPressureMatrix(50, 50);
    const std::vector<double> rhs = compatibleRightHandSide(matrix.n, 11);
    PcgSolver modified;
    PcgSolver plain;
    plain.modificationParameter = 0.0;
    const Solve m = solve(modified, matrix, rhs);
    const Solve p = solve(plain, matrix, rhs);
    ASSERT_TRUE(m.converged && p.converged);
    EXPECT_LT(2 * m.iterations, p.iterations + 10) << m.iterations << " vs " << p.iterations;
    EXPECT_LT(m.iterations + 15, p.iterations);
}

// A solve started from a guess: from the last solution of a system whose
// right-hand side moved a little it needs fewer iterations and still reaches
// the tolerance of its own right-hand side in the true residual; a guess that
// is not finite, or a zero right-hand side, is answered as from zero.
TEST(PcgSolver, AGuessSavesIterationsAndNeverLowersTheBar)
{
    const RowListMatrix matrix = neumannPressureMatrix(40, 30);
    for (Preconditioner preconditioner : {Preconditioner::incompleteCholesky, Preconditioner::multigrid}) {
        SCOPED_TRACE(preconditioner == Preconditioner::multigrid ? "multigrid" : "factor");
        PcgSolver solver;
        solver.preconditioner = preconditioner;
        FivePointMatrix grid;
        ASSERT_TRUE(readFivePointMatrix(matrix, grid));
        solver.prepareFivePoint(std::move(grid));
        const std::vector<double> first = compatibleRightHandSide(matrix.n, 5);
        std::vector<double> moved = first;
        const std::vector<double> nudge = compatibleRightHandSide(matrix.n, 6);
        addMultiple(0.01, nudge, moved);  // still compatible

        double residual = 0.0;
        int coldIterations = 0, warmIterations = 0;
        std::vector<double> cold(matrix.n), warm(matrix.n);
        ASSERT_TRUE(solver.solvePrepared(first, warm, residual, warmIterations));
        ASSERT_TRUE(solver.solvePrepared(moved, cold, residual, coldIterations));
        ASSERT_TRUE(solver.solvePrepared(moved, warm, residual, warmIterations, true));
        EXPECT_LT(warmIterations, coldIterations);
        EXPECT_GE(warmIterations, 1);
        EXPECT_LE(maxAbsDifference(multiply(matrix, warm), moved), 1.01 * 1e-5 * maxMagnitude(moved));

        std::vector<double> notFinite(matrix.n, 0.5);
        notFinite[17] = std::nan("");
        int iterations = 0;
        ASSERT_TRUE(solver.solvePrepared(moved, notFinite, residual, iterations, true));
        EXPECT_EQ(notFinite, cold);
        EXPECT_EQ(iterations, coldIterations);

        std::vector<double> guess(matrix.n, 3.0);
        ASSERT_TRUE(solver.solvePrepared(std::vector<double>(matrix.n, 0.0), guess, residual, iterations, true));
        EXPECT_EQ(guess, std::vector<double>(matrix.n, 0.0));
        EXPECT_EQ(iterations, 0);
    }
}

// A right-hand side that is a small change of a larger system's is solved to
// the larger one's tolerance, so that rounding is never chased; a singular
// system whose right-hand side lies partly outside the matrix's range cannot
// be solved, and a solver that keeps its best iterate hands back the best it
// reached rather than the last, wandered one. On either preconditioner.
TEST(PcgSolver, ASmallChangeIsSolvedToItsScaleAndAFailedSolveKeepsItsBest)
{
    const RowListMatrix matrix = neumannPressureMatrix(24, 20);
    const std::vector<double> whole = compatibleRightHandSide(matrix.n, 8);
    for (Preconditioner preconditioner : {Preconditioner::incompleteCholesky, Preconditioner::multigrid}) {
        SCOPED_TRACE(preconditioner == Preconditioner::multigrid ? "multigrid" : "factor");
        PcgSolver solver;
        solver.preconditioner = preconditioner;
        std::vector<double> change = whole;
        for (double& value : change)
            value *= 1e-13;
        solver.rhsScale = maxMagnitude(whole);
        Solve s = solve(solver, matrix, change);
        EXPECT_TRUE(s.converged);
        EXPECT_EQ(s.iterations, 1);
        EXPECT_EQ(solver.lastTolerance(), 1e-5 * maxMagnitude(whole));
        solver.rhsScale = 0.0;
        EXPECT_GT(solve(solver, matrix, change).iterations, 1);

        std::vector<double> outOfRange = whole;
        outOfRange[7] += 0.3 * maxMagnitude(whole);
        solver.iterationLimit = 60;
        const Solve last = solve(solver, matrix, outOfRange);
        solver.keepBestIterate = true;
        const Solve best = solve(solver, matrix, outOfRange);
        ASSERT_FALSE(last.converged || best.converged);
        // The iterates drift along the matrix's null space (a constant),
        // which the residual measured here leaves out to keep rounding out of it.
        auto trueResidual = [&](std::vector<double> x) {
            double mean = 0.0;
            for (double value : x)
                mean += value / double(x.size());
            for (double& value : x)
                value -= mean;
            return maxAbsDifference(multiply(matrix, x), outOfRange);
        };
        const double lastResidual = trueResidual(last.result);
        const double bestResidual = trueResidual(best.result);
        EXPECT_NEAR(bestResidual, best.residual, 1e-9 * bestResidual);
        EXPECT_LT(bestResidual, 0.5 * lastResidual) << bestResidual << " vs " << lastResidual;
        EXPECT_LE(bestResidual, maxMagnitude(outOfRange));
    }
}

// A failed solve from a guess falls back on the best of its start, its best
// iterate and its last, and says that one's residual truly - also where the
// start is kept without a copy.
TEST(PcgSolver, AFailedSolveFromAGuessFallsBackOnWhatItSays)
{
    const RowListMatrix matrix = neumannPressureMatrix(24, 20);
    std::vector<double> outOfRange = compatibleRightHandSide(matrix.n, 8);
    outOfRange[7] += 0.3 * maxMagnitude(outOfRange);
    for (Preconditioner preconditioner : {Preconditioner::incompleteCholesky, Preconditioner::multigrid}) {
        SCOPED_TRACE(preconditioner == Preconditioner::multigrid ? "multigrid" : "factor");
        PcgSolver solver;
        solver.preconditioner = preconditioner;
        solver.keepBestIterate = true;
        FivePointMatrix fivePoint;
        ASSERT_TRUE(readFivePointMatrix(matrix, fivePoint));
        solver.prepareFivePoint(std::move(fivePoint));
        std::vector<double> guess(matrix.n, 0.0);
        double residual = 0.0;
        int iterations = 0;
        solver.iterationLimit = 60;
        ASSERT_FALSE(solver.solvePrepared(outOfRange, guess, residual, iterations, false));
        auto largestMiss = [&](const std::vector<double>& x) {
            return maxAbsDifference(multiply(matrix, x), outOfRange);
        };
        for (int limit : {1, 2, 5}) {
            SCOPED_TRACE(::testing::Message() << limit << " iterations");
            solver.iterationLimit = limit;
            std::vector<double> result = guess;
            ASSERT_FALSE(solver.solvePrepared(outOfRange, result, residual, iterations, true));
            EXPECT_NEAR(largestMiss(result), residual, 1e-9 * residual);
            EXPECT_LE(residual, largestMiss(guess));
        }
    }
}

TEST(PcgSolver, IterationsAllocateNothing)
{
    if (!testing_support::AllocationCounter::counts())
        GTEST_SKIP() << "this build does not count allocations";
    const RowListMatrix matrix = neumannPressureMatrix(50, 50);
    const std::vector<double> rhs = compatibleRightHandSide(matrix.n, 21);
    std::vector<double> result(matrix.n);
    double residual = 0.0;
    int iterations = 0;
    auto allocationsWithLimit = [&](int limit) {
        PcgSolver solver;
        solver.iterationLimit = limit;
        testing_support::AllocationCounter counter;
        solver.solveSystem(matrix, rhs, result, residual, iterations);
        return counter.count();
    };
    const size_t setUp = allocationsWithLimit(1);
    EXPECT_GT(setUp, 0u);  // the counter sees the solve's own vectors
    EXPECT_EQ(allocationsWithLimit(25), setUp);
    EXPECT_EQ(iterations, 25);

    // A long-lived solver reuses its storage: the second solve allocates less.
    PcgSolver reused;
    reused.solveSystem(matrix, rhs, result, residual, iterations);
    testing_support::AllocationCounter counter;
    reused.solveSystem(matrix, rhs, result, residual, iterations);
    EXPECT_LT(counter.count(), setUp);
}

TEST(PcgSolver, ReusedSolverGivesTheSameResultAsAFreshOne)
{
    const RowListMatrix small = neumannPressureMatrix(5, 5);
    const RowListMatrix matrix = neumannPressureMatrix(20, 20);
    const std::vector<double> rhs = compatibleRightHandSide(400, 9);
    PcgSolver reused;
    solve(reused, small, compatibleRightHandSide(25, 1));
    PcgSolver fresh;
    const Solve a = solve(reused, matrix, rhs);
    const Solve b = solve(fresh, matrix, rhs);
    EXPECT_EQ(a.result, b.result);
    EXPECT_EQ(a.iterations, b.iterations);
}

// A symmetric, diagonally dominant matrix whose rows hold from none to many
// neighbours, so that levels, pairs and padding all vary.
RowListMatrix irregularMatrix(uint32_t n, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::uniform_int_distribution<uint32_t> pick(0, n - 1);
    std::uniform_real_distribution<double> weight(-1.0, -0.1);
    RowListMatrix matrix(n);
    for (uint32_t edge = 0; edge < 3 * n; ++edge) {
        const uint32_t a = pick(generator), b = pick(generator);
        if (a == b)
            continue;
        const double w = weight(generator);
        const uint32_t low = std::min(a, b), high = std::max(a, b);
        matrix.addToRow(low, {low, high}, {-w + 0.05, w});
        matrix.addToRow(high, {low, high}, {w, -w + 0.05});
    }
    for (uint32_t i = 0; i < n; ++i)
        matrix.addToRow(i, {i}, {0.5});
    return matrix;
}

void expectPlainSolve(const RowListMatrix& matrix, const std::vector<double>& rhs)
{
    std::vector<double> expected, ours(matrix.n);
    double ourResidual = 0.0;
    int ourIterations = 0;
    const ReferenceSolve reference = referenceSolve(matrix, rhs, expected);
    PcgSolver solver;
    EXPECT_EQ(solver.solveSystem(matrix, rhs, ours, ourResidual, ourIterations), reference.converged);
    EXPECT_EQ(ourIterations, reference.iterations);
    EXPECT_EQ(ourResidual, reference.residual);
    EXPECT_EQ(ours, expected);
}

TEST(PcgSolver, MatchesThePlainReferenceBitForBit)
{
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        for (uint32_t n : {1u, 2u, 7u, 60u, 301u}) {
            SCOPED_TRACE(::testing::Message() << "n " << n << " seed " << seed);
            const RowListMatrix matrix = n == 1 ? denseMatrix({{3.0}}) : irregularMatrix(n, seed);
            std::vector<double> rhs = compatibleRightHandSide(n, seed);
            rhs[0] += 1.0;
            expectPlainSolve(matrix, rhs);
        }
    }
    // Grids of the five-point stencil, which take the solver's five-point routines.
    for (uint32_t seed : {5u, 6u}) {
        for (const auto& [lines, length] : {std::pair{2u, 3u}, {5u, 4u}, {9u, 7u}, {50u, 50u}, {13u, 40u}}) {
            SCOPED_TRACE(::testing::Message() << lines << " lines of " << length << ", seed " << seed);
            expectPlainSolve(randomFivePointMatrix(lines, length, seed), compatibleRightHandSide(lines * length, seed));
            expectPlainSolve(neumannPressureMatrix(lines, length), compatibleRightHandSide(lines * length, seed));
        }
    }
}

}  // namespace
