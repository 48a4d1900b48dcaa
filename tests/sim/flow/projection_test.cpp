#include "PCG/pcg_solver.h"
#include "PCG/vector_ops.h"
#include "sim/flow/fluid_solver.h"
#include "sim/scene/standard_box.h"
#include "sim/solve/solver_warning.h"
#include "tests/support/fields.h"
#include "tests/support/pressure_problem.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double dt = standardBox::timeStep;

using Row = testing_support::MatrixRow;
using testing_support::rowOf;

// Collects the solver's warning lines while it lives.
class WarningCapture {
public:
    WarningCapture() { setWarningSink(&WarningCapture::keep); }
    ~WarningCapture() { setWarningSink(nullptr); }
    static std::vector<std::string>& lines()
    {
        static std::vector<std::string> captured;
        return captured;
    }

private:
    static void keep(const char* line) { lines().push_back(line); }
};

TEST(PressureMatrix, RowsOfTheStandardGrid)
{
    const pcg::RowListMatrix matrix = assemblePressureMatrix(50, 50);
    ASSERT_EQ(matrix.n, 2500u);
    EXPECT_EQ(rowOf(matrix, 0), (Row{{0, 2.0}, {1, -1.0}, {50, -1.0}}));
    EXPECT_EQ(rowOf(matrix, 1), (Row{{0, -1.0}, {1, 3.0}, {2, -1.0}, {51, -1.0}}));
    EXPECT_EQ(rowOf(matrix, 51), (Row{{1, -1.0}, {50, -1.0}, {51, 4.0}, {52, -1.0}, {101, -1.0}}));
    EXPECT_EQ(rowOf(matrix, 2499), (Row{{2449, -1.0}, {2498, -1.0}, {2499, 2.0}}));

    size_t entries = 0;
    for (uint32_t row = 0; row < matrix.n; ++row) {
        entries += matrix.rowColumns[row].size();
        double sum = 0.0;
        for (double value : matrix.rowValues[row])
            sum += value;
        ASSERT_EQ(sum, 0.0) << row;
    }
    EXPECT_EQ(entries, 12300u);
}

TEST(PressureMatrix, MatchesAnIndependentEdgeByEdgeAssemblyOnOddGrids)
{
    for (auto [nx, ny] : {std::pair<uint32_t, uint32_t>{2, 2}, {3, 7}, {9, 4}, {50, 50}}) {
        const pcg::RowListMatrix ours = assemblePressureMatrix(nx, ny);
        const pcg::RowListMatrix reference = testing_support::neumannPressureMatrix(nx, ny);
        EXPECT_EQ(ours.rowColumns, reference.rowColumns) << nx << "x" << ny;
        EXPECT_EQ(ours.rowValues, reference.rowValues) << nx << "x" << ny;
    }
}

TEST(PressureRightHandSide, ScalesTheDivergenceOfEachCell)
{
    VelocityField field(50, 50, 1.0);
    for (size_t k = 0; k < testing_support::facesPerComponent; ++k) {
        field.u.data[k] = 0.0;
        field.v.data[k] = 0.0;
    }
    field.u.at(8, 5) = 1.0;  // cell (7, 5) gains 1.0, cell (8, 5) loses 1.0
    const std::vector<double> rhs = pressureRightHandSide(field, 1.0, 1000.0, dt);
    EXPECT_EQ(rhs[7 * 50 + 5], -20000.0);
    EXPECT_EQ(rhs[8 * 50 + 5], 20000.0);
    EXPECT_EQ(pcg::maxMagnitude(rhs), 20000.0);
    EXPECT_EQ(cellDivergence(field, 7, 5), 1.0);
}

TEST(PressureSolve, DivergenceFreeFieldsGiveZeroPressureAndNoWarning)
{
    WarningCapture capture;
    WarningCapture::lines().clear();
    FluidSolver solver(50, 50);
    for (double u : {0.0, 3.5}) {
        for (size_t k = 0; k < testing_support::facesPerComponent; ++k) {
            solver.velocity->u.data[k] = u;
            solver.velocity->v.data[k] = -2.0 * u;
        }
        solver.solvePressure(*solver.velocity, *solver.pressure, dt);
        for (size_t k = 0; k < testing_support::cellCount; ++k)
            ASSERT_EQ(solver.pressure->values.data[k], 0.0);
        solver.subtractPressureGradient(*solver.velocity, *solver.pressure, dt);
        for (size_t k = 0; k < testing_support::facesPerComponent; ++k) {
            ASSERT_EQ(solver.velocity->u.data[k], u);
            ASSERT_EQ(solver.velocity->v.data[k], -2.0 * u);
        }
        EXPECT_TRUE(solver.lastPressureSolve().converged);
        EXPECT_EQ(solver.lastPressureSolve().iterations, 0);
    }
    EXPECT_TRUE(WarningCapture::lines().empty());
}

TEST(PressureSolve, SolveThatReachesTheIterationLimitWarnsOnce)
{
    // The first tick of a grid far larger than the program's needs more than
    // the solver's hundred iterations.
    WarningCapture capture;
    WarningCapture::lines().clear();
    FluidSolver solver(300, 300);
    solver.step();
    EXPECT_FALSE(solver.lastPressureSolve().converged);
    EXPECT_EQ(solver.lastPressureSolve().iterations, pcg::PcgSolver().iterationLimit);
    EXPECT_EQ(WarningCapture::lines(), std::vector<std::string>{"WARNING: PCG solver failed."});
}

TEST(PressureSolve, FailedSolveWarnsOnceAndStillStoresTheResult)
{
    WarningCapture capture;
    WarningCapture::lines().clear();
    FluidSolver solver(50, 50);
    for (size_t k = 0; k < testing_support::cellCount; ++k)
        solver.pressure->values.data[k] = 7.0;
    solver.velocity->u.at(20, 20) = std::numeric_limits<double>::quiet_NaN();
    solver.solvePressure(*solver.velocity, *solver.pressure, dt);
    EXPECT_EQ(WarningCapture::lines(), std::vector<std::string>{"WARNING: PCG solver failed."});
    EXPECT_FALSE(solver.lastPressureSolve().converged);
    // The breakdown happens before the first iteration: the stored result is all zeros.
    for (size_t k = 0; k < testing_support::cellCount; ++k)
        ASSERT_EQ(solver.pressure->values.data[k], 0.0);
}

TEST(PressureGradient, InnerCellMovesItsFourFaces)
{
    FluidSolver solver(50, 50);
    solver.pressure->values.at(0, 0) = 0.0;
    for (size_t k = 0; k < testing_support::cellCount; ++k)
        solver.pressure->values.data[k] = 0.0;
    solver.pressure->values.at(20, 30) = 1.0;
    solver.subtractPressureGradient(*solver.velocity, *solver.pressure, dt);
    const VelocityField& field = *solver.velocity;
    EXPECT_DOUBLE_EQ(field.u.at(20, 30), -0.00005);
    EXPECT_DOUBLE_EQ(field.v.at(20, 30), -0.00005);
    EXPECT_DOUBLE_EQ(field.u.at(21, 30), 0.00005);
    EXPECT_DOUBLE_EQ(field.v.at(20, 31), 0.00005);
    size_t changed = 0;
    for (size_t k = 0; k < testing_support::facesPerComponent; ++k)
        changed += (field.u.data[k] != 0.0) + (field.v.data[k] != 0.0);
    EXPECT_EQ(changed, 4u);
}

TEST(PressureGradient, BeyondTheBorderThePressureCountsAsZero)
{
    FluidSolver solver(50, 50);
    for (size_t k = 0; k < testing_support::cellCount; ++k)
        solver.pressure->values.data[k] = 0.0;
    solver.pressure->values.at(0, 12) = 1.0;
    solver.subtractPressureGradient(*solver.velocity, *solver.pressure, dt);
    const VelocityField& field = *solver.velocity;
    EXPECT_DOUBLE_EQ(field.u.at(0, 12), -0.00005);
    EXPECT_DOUBLE_EQ(field.u.at(1, 12), 0.00005);
    EXPECT_DOUBLE_EQ(field.v.at(0, 12), -0.00005);
    EXPECT_DOUBLE_EQ(field.v.at(0, 13), 0.00005);
}

TEST(PressureSolve, FirstTickSystemConvergesAndProjects)
{
    FluidSolver solver(50, 50);
    solver.advect(*solver.velocity, dt);
    solver.applyGravity(*solver.velocity, dt);
    solver.applyBoundaryConditions(*solver.velocity, dt);
    const std::vector<double> rhs = pressureRightHandSide(*solver.velocity, 1.0, 1000.0, dt);
    solver.solvePressure(*solver.velocity, *solver.pressure, dt);
    const SolveOutcome& outcome = solver.lastPressureSolve();
    EXPECT_TRUE(outcome.converged);
    EXPECT_GE(outcome.iterations, 20);
    EXPECT_LE(outcome.iterations, 35);

    std::vector<double> pressure(solver.pressure->values.data.get(), solver.pressure->values.data.get() + 2500);
    const double tolerance = 1e-5 * pcg::maxMagnitude(rhs);
    const std::vector<double> applied = testing_support::multiply(testing_support::neumannPressureMatrix(50, 50), pressure);
    EXPECT_LE(testing_support::maxAbsDifference(applied, rhs), 1.01 * tolerance);

    // After the projection every cell's divergence is the solver's residual over the scale.
    solver.subtractPressureGradient(*solver.velocity, *solver.pressure, dt);
    solver.applyBoundaryConditions(*solver.velocity, dt);
    for (uint32_t i = 0; i < 50; ++i)
        for (uint32_t j = 0; j < 50; ++j)
            ASSERT_LE(std::fabs(cellDivergence(*solver.velocity, i, j)), outcome.residual / 20000.0 * 1.001 + 1e-12);
}

}  // namespace
