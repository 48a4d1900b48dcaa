#include "sim/flow/fluid_solver.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// 1000 ticks from rest: the flow stays finite, every projection converges
// quickly, and what enters at the left leaves at the right through every column.
TEST(LongRun, ThousandTicksStayFiniteDivergenceFreeAndConserveTheFlux)
{
    FluidSolver solver(50, 50);
    const double inflow = 10.0 * 10.0;  // ten rows at speed 10 through unit faces
    double largestDivergence = 0.0;
    for (int tick = 1; tick <= 1000; ++tick) {
        solver.step();
        const SolveOutcome& outcome = solver.lastPressureSolve();
        ASSERT_TRUE(outcome.converged) << tick;
        ASSERT_LE(outcome.iterations, 35) << tick;
        // The residual over the scale |(-dx*dx*density)/dt| = 20000 bounds every cell's divergence.
        const double bound = outcome.residual / 20000.0 * 1.001 + 1e-12;
        const VelocityField& field = *solver.velocity;
        for (uint32_t i = 0; i < 50; ++i) {
            double flux = 0.0;
            for (uint32_t j = 0; j < 50; ++j) {
                ASSERT_TRUE(std::isfinite(field.u.at(i, j)) && std::isfinite(field.v.at(i, j))) << tick;
                const double divergence = std::fabs(cellDivergence(field, i, j));
                ASSERT_LE(divergence, bound) << tick << " cell " << i << "," << j;
                largestDivergence = std::fmax(largestDivergence, divergence);
                flux += field.u.at(i, j);
            }
            // Each column's outflow differs from its inflow by at most its cells' divergence.
            ASSERT_NEAR(flux, inflow, 50.0 * 50.0 * bound) << tick << " column " << i;
        }
    }
    EXPECT_LT(largestDivergence, 1e-3);
}

}  // namespace
