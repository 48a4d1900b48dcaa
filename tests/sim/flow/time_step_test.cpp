#include "sim/flow/fluid_solver.h"
#include "sim/scene/standard_box.h"
#include "tests/support/fields.h"
#include "tests/support/allocation_counter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double dt = standardBox::timeStep;

void fill(GridArray& array, double value)
{
    for (size_t k = 0; k < array.size(); ++k)
        array.data[k] = value;
}

bool sameSamples(const GridArray& a, const GridArray& b)
{
    for (size_t k = 0; k < a.size(); ++k)
        if (a.data[k] != b.data[k])
            return false;
    return true;
}

TEST(Advection, RestingFieldStaysAtRestAndTheFieldsSwap)
{
    FluidSolver solver(50, 50);
    VelocityField* first = solver.velocity.get();
    VelocityField* second = solver.velocityTemp.get();
    solver.advect(*solver.velocity, dt);
    EXPECT_EQ(solver.velocity.get(), second);
    EXPECT_EQ(solver.velocityTemp.get(), first);
    for (size_t k = 0; k < testing_support::facesPerComponent; ++k) {
        ASSERT_EQ(solver.velocity->u.data[k], 0.0);
        ASSERT_EQ(solver.velocity->v.data[k], 0.0);
    }
    solver.advect(*solver.velocity, dt);
    EXPECT_EQ(solver.velocity.get(), first);
}

TEST(Advection, UniformFieldAndZeroTimeStepChangeNothing)
{
    FluidSolver solver(50, 50);
    fill(solver.velocity->u, 10.0);
    fill(solver.velocity->v, 0.0);
    solver.advect(*solver.velocity, dt);
    for (size_t k = 0; k < testing_support::facesPerComponent; ++k) {
        ASSERT_EQ(solver.velocity->u.data[k], 10.0);
        ASSERT_EQ(solver.velocity->v.data[k], 0.0);
    }

    for (size_t k = 0; k < testing_support::facesPerComponent; ++k) {
        solver.velocity->u.data[k] = std::sin(0.1 * double(k));
        solver.velocity->v.data[k] = std::cos(0.3 * double(k));
    }
    const VelocityField& before = *solver.velocity;
    solver.advect(*solver.velocity, 0.0);
    EXPECT_TRUE(sameSamples(solver.velocity->u, before.u));
    EXPECT_TRUE(sameSamples(solver.velocity->v, before.v));
}

TEST(Advection, SingleSampleIsCarriedHalfwayToItsRestingNeighbour)
{
    FluidSolver solver(50, 50);
    solver.velocity->u.at(25, 25) = 10.0;
    solver.advect(*solver.velocity, dt);
    EXPECT_EQ(solver.velocity->u.at(25, 25), 5.0);
    solver.velocity->u.at(25, 25) = 0.0;
    for (size_t k = 0; k < testing_support::facesPerComponent; ++k) {
        ASSERT_EQ(solver.velocity->u.data[k], 0.0) << k;
        ASSERT_EQ(solver.velocity->v.data[k], 0.0) << k;
    }
}

TEST(BodyForces, GravityAddsToEveryVerticalSampleAndLeavesUAlone)
{
    FluidSolver solver(50, 50);
    solver.applyGravity(*solver.velocity, dt);
    for (size_t k = 0; k < testing_support::facesPerComponent; ++k) {
        ASSERT_EQ(solver.velocity->v.data[k], 0.05 * 9.8);
        ASSERT_EQ(solver.velocity->u.data[k], 0.0);
    }
}

TEST(BodyForces, BordersGetWallsAndTheTwoBands)
{
    FluidSolver solver(50, 50);
    VelocityField& field = *solver.velocity;
    fill(field.u, 3.0);
    fill(field.v, 4.0);
    solver.applyBoundaryConditions(field, dt);
    for (uint32_t j = 0; j < 50; ++j) {
        EXPECT_EQ(field.u.at(0, j), j <= 9 ? 10.0 : 0.0) << j;
        EXPECT_EQ(field.u.at(50, j), j >= 40 ? 10.0 : 0.0) << j;
        for (uint32_t i = 1; i < 50; ++i)
            ASSERT_EQ(field.u.at(i, j), 3.0);
    }
    for (uint32_t i = 0; i < 50; ++i) {
        EXPECT_EQ(field.v.at(i, 0), 0.0);
        EXPECT_EQ(field.v.at(i, 50), 0.0);
        for (uint32_t j = 1; j < 50; ++j)
            ASSERT_EQ(field.v.at(i, j), 4.0);
    }

    FluidSolver twice(50, 50);
    fill(twice.velocity->u, 3.0);
    fill(twice.velocity->v, 4.0);
    twice.applyBoundaryConditions(*twice.velocity, dt);
    twice.applyBoundaryConditions(*twice.velocity, dt);
    EXPECT_TRUE(sameSamples(twice.velocity->u, field.u));
    EXPECT_TRUE(sameSamples(twice.velocity->v, field.v));
}

TEST(BodyForces, GravityThenBordersOnARestingField)
{
    FluidSolver solver(50, 50);
    solver.applyGravity(*solver.velocity, dt);
    solver.applyBoundaryConditions(*solver.velocity, dt);
    for (uint32_t i = 0; i < 50; ++i)
        for (uint32_t j = 0; j <= 50; ++j)
            ASSERT_EQ(solver.velocity->v.at(i, j), (j == 0 || j == 50) ? 0.0 : 0.05 * 9.8);
}

TEST(TimeStep, OnlyThePressureSolveAllocatesAndAlwaysTheSameAmount)
{
    if (!testing_support::AllocationCounter::counts())
        GTEST_SKIP() << "this build does not count allocations";
    FluidSolver solver(50, 50);
    for (int tick = 0; tick < 5; ++tick)
        solver.step();
    {
        testing_support::AllocationCounter counter;
        solver.advect(*solver.velocity, dt);
        solver.applyGravity(*solver.velocity, dt);
        solver.applyBoundaryConditions(*solver.velocity, dt);
        EXPECT_EQ(counter.count(), 0u);
    }
    size_t perSolve = 0;
    {
        testing_support::AllocationCounter counter;
        solver.solvePressure(*solver.velocity, *solver.pressure, dt);
        perSolve = counter.count();
    }
    {
        testing_support::AllocationCounter counter;
        solver.subtractPressureGradient(*solver.velocity, *solver.pressure, dt);
        solver.applyBoundaryConditions(*solver.velocity, dt);
        EXPECT_EQ(counter.count(), 0u);
    }
    // The solve's own matrix, factor and vectors, and nothing that grows with time.
    EXPECT_GT(perSolve, 0u);
    EXPECT_LT(perSolve, 45u);
    for (int tick = 0; tick < 20; ++tick) {
        testing_support::AllocationCounter counter;
        solver.step();
        ASSERT_EQ(counter.count(), perSolve) << tick;
    }
}

}  // namespace
