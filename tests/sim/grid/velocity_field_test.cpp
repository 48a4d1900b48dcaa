#include "sim/flow/fluid_solver.h"
#include "tests/support/fields.h"
#include "tests/support/forms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <vector>

namespace {

using testing_support::forEachRunnableForm;
using testing_support::sameBits;

// A field whose every sample tells where it sits: u(i, j) = 100*i + j, v(i, j) = -(100*i + j).
VelocityField labelledField()
{
    VelocityField field(50, 50, 1.0);
    for (uint32_t i = 0; i <= 50; ++i)
        for (uint32_t j = 0; j < 50; ++j)
            field.u.at(i, j) = 100.0 * i + j;
    for (uint32_t i = 0; i < 50; ++i)
        for (uint32_t j = 0; j <= 50; ++j)
            field.v.at(i, j) = -(100.0 * i + j);
    return field;
}

TEST(GridArray, SecondIndexVariesFastest)
{
    FluidSolver solver(50, 50);
    EXPECT_EQ(solver.velocity->u.size(), 2550u);
    EXPECT_EQ(solver.velocity->v.size(), 2550u);
    EXPECT_EQ(solver.pressure->values.size(), 2500u);
    EXPECT_EQ(&solver.velocity->u.at(3, 7), &solver.velocity->u.data[3 * 50 + 7]);
    EXPECT_EQ(&solver.velocity->v.at(3, 7), &solver.velocity->v.data[3 * 51 + 7]);
    EXPECT_EQ(&solver.velocity->component(0), &solver.velocity->u);
    EXPECT_EQ(&solver.velocity->component(1), &solver.velocity->v);
}

TEST(FluidSolver, StartsAtRestWithTheStandardConstants)
{
    FluidSolver solver(50, 50);
    EXPECT_EQ(solver.dx, 1.0);
    EXPECT_EQ(solver.density, 1000.0);
    EXPECT_EQ(solver.nx, 50u);
    EXPECT_EQ(solver.ny, 50u);
    EXPECT_NE(solver.velocity.get(), solver.velocityTemp.get());
    for (const VelocityField* field : {solver.velocity.get(), solver.velocityTemp.get()}) {
        EXPECT_EQ(field->nx, 50u);
        EXPECT_EQ(field->ny, 50u);
        EXPECT_EQ(field->dx, 1.0);
    }
    for (size_t k = 0; k < testing_support::facesPerComponent; ++k) {
        ASSERT_EQ(solver.velocity->u.data[k], 0.0);
        ASSERT_EQ(solver.velocity->v.data[k], 0.0);
    }
    const Velocity w = solver.velocity->velocityAt(12.3, 45.6);
    EXPECT_EQ(w.x, 0.0);
    EXPECT_EQ(w.y, 0.0);
}

TEST(Interpolation, AtASamplePositionReturnsThatSample)
{
    const VelocityField field = labelledField();
    EXPECT_EQ(field.interpolate(0, 7.0, 3.5), 703.0);
    EXPECT_EQ(field.interpolate(1, 7.5, 3.0), -703.0);
    EXPECT_EQ(field.interpolate(0, 0.0, 0.5), 0.0);
    EXPECT_EQ(field.interpolate(1, 49.5, 50.0), -4950.0);
}

TEST(Interpolation, IsBilinearBetweenTheFourNearestSamples)
{
    const VelocityField field = labelledField();
    // u at (7.25, 3.75): a quarter of the way to column 8; rows sit at j + 0.5, so
    // a quarter of the way from row 3 to row 4.
    EXPECT_NEAR(field.interpolate(0, 7.25, 3.75), 728.25, 1e-12);
    EXPECT_NEAR(field.interpolate(1, 7.75, 3.25), -728.25, 1e-12);
    const Velocity w = field.velocityAt(10.5, 20.5);
    EXPECT_NEAR(w.x, 1070.0, 1e-12);   // mean of u(10, 20) and u(11, 20)
    EXPECT_NEAR(w.y, -1020.5, 1e-12);  // mean of v(10, 20) and v(10, 21)
}

TEST(Interpolation, ClampsToTheBorderSamplesOutsideTheGrid)
{
    const VelocityField field = labelledField();
    // Right border: column 50 alone, blended along y.
    EXPECT_NEAR(field.interpolate(0, 50.0, 3.75), 5003.25, 1e-12);
    EXPECT_EQ(field.interpolate(0, 60.0, 3.75), field.interpolate(0, 50.0, 3.75));
    // Above the top: row 0 of v alone, blended along x.
    EXPECT_NEAR(field.interpolate(1, 7.75, -3.0), -725.0, 1e-12);
    // y between 0 and 0.5 has a negative grid coordinate for u: row 0 alone.
    EXPECT_EQ(field.interpolate(0, 7.0, 0.25), 700.0);
    // Beyond the bottom and the far corner.
    EXPECT_EQ(field.interpolate(0, 80.0, 80.0), 5049.0);
    EXPECT_EQ(field.interpolate(1, -5.0, 99.0), -50.0);
}

TEST(Interpolation, NonFiniteAndHugeCoordinatesTakeTheFirstSample)
{
    const VelocityField field = labelledField();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {nan, inf, -inf, 1e300, -1e300, 3e9}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(field.interpolate(0, bad, 3.5), 3.0);     // column 0, row 3
        EXPECT_EQ(field.interpolate(0, 7.0, bad), 700.0);   // column 7, row 0
        EXPECT_EQ(field.interpolate(1, bad, bad), 0.0);
    }
    // The last coordinate that still fits an int32 clamps to the last sample.
    EXPECT_EQ(field.interpolate(0, 2147483647.0, 3.5), 5003.0);
}

TEST(Advection, EveryFormGivesTheBitsOfTheScalarForm)
{
    // The wide forms sample four faces at once. Random samples with signed
    // zeros and values that send the back-traced points inside, onto and
    // beyond the border, onto sample positions, to non-finite coordinates and
    // to coordinates too large for an index.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double special[] = {0.0, -0.0, nan, inf, -inf, 1e300, -1e300, 3e9, 2147483647.0, 1503238553.0, 0.35, 9.45};
    std::mt19937 generator(11);
    std::uniform_real_distribution<double> value(-12.0, 12.0);
    std::uniform_int_distribution<size_t> pick(0, 3 * std::size(special));
    VelocityField field(13, 9, 0.7);
    for (GridArray* samples : {&field.u, &field.v}) {
        for (size_t k = 0; k < samples->size(); ++k) {
            const size_t p = pick(generator);
            samples->data[k] = p < std::size(special) ? special[p] : value(generator);
        }
    }
    std::vector<double> scalarU, scalarV;
    forEachRunnableForm([&](const std::string& form) {
        FluidSolver solver(13, 9);
        solver.advect(field, 1.0);
        const std::vector<double> u(solver.velocity->u.data.get(), solver.velocity->u.data.get() + field.u.size());
        const std::vector<double> v(solver.velocity->v.data.get(), solver.velocity->v.data.get() + field.v.size());
        if (form == "scalar") {
            scalarU = u;
            scalarV = v;
        }
        EXPECT_TRUE(sameBits(scalarU, u));
        EXPECT_TRUE(sameBits(scalarV, v));
    });
}

}  // namespace
