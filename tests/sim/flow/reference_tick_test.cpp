// The simulation against a plain, line-by-line reference of its arithmetic: the
// same iteration count on every tick and the same fields, bit for bit, after
// 100 ticks. Guards every speed-up of the sampling, the advection and the linear algebra.

#include "sim/flow/fluid_solver.h"
#include "tests/support/pressure_problem.h"
#include "tests/support/reference_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using Grid = std::vector<double>;  // second index fastest

struct ReferenceState {
    uint32_t nx = 50, ny = 50;
    Grid u = Grid(51 * 50, 0.0), v = Grid(50 * 51, 0.0), pressure = Grid(50 * 50, 0.0);
};

double sample(const ReferenceState& s, const Grid& g, int component, double x, double y)
{
    const uint32_t extent1 = component == 0 ? s.ny : s.ny + 1;
    double p[2] = {x, y};
    uint32_t base[2];
    double weight[2];
    for (int k = 0; k < 2; ++k) {
        double coordinate = p[k] / 1.0;
        if (k != component)
            coordinate -= 0.5;
        const double cell = std::floor(coordinate);
        const bool fits = cell >= -2147483648.0 && cell <= 2147483647.0;
        const int32_t n = fits ? int32_t(cell) : -1;
        const uint32_t b = (k == 0 ? s.nx : s.ny) - (k != component ? 1 : 0);
        if (n < 0) {
            base[k] = 0;
            weight[k] = 1.0;
        } else if (uint32_t(n) < b) {
            base[k] = uint32_t(n);
            weight[k] = 1 - (coordinate - n);
        } else {
            base[k] = b - 1;
            weight[k] = 0.0;
        }
    }
    double sum = 0.0;
    for (int q = 0; q < 4; ++q) {
        const int o[2] = {q & 1, (q >> 1) & 1};
        double w = 1.0;
        for (int k = 0; k < 2; ++k)
            w *= o[k] == 0 ? weight[k] : 1 - weight[k];
        sum += g[(base[0] + o[0]) * extent1 + base[1] + o[1]] * w;
    }
    return sum;
}

void referenceAdvect(ReferenceState& s, double dt)
{
    Grid u(s.u.size()), v(s.v.size());
    for (uint32_t i = 0; i <= s.nx; ++i) {
        for (uint32_t j = 0; j <= s.ny; ++j) {
            if (i < s.nx) {
                const double px = i + 0.5, py = j;
                const double wx = sample(s, s.u, 0, px, py), wy = sample(s, s.v, 1, px, py);
                v[i * (s.ny + 1) + j] = sample(s, s.v, 1, px - dt * wx, py - dt * wy);
            }
            if (j < s.ny) {
                const double px = i, py = j + 0.5;
                const double wx = sample(s, s.u, 0, px, py), wy = sample(s, s.v, 1, px, py);
                u[i * s.ny + j] = sample(s, s.u, 0, px - dt * wx, py - dt * wy);
            }
        }
    }
    s.u = u;
    s.v = v;
}

void referenceBorders(ReferenceState& s)
{
    for (uint32_t i = 0; i < s.nx; ++i) {
        s.v[i * (s.ny + 1)] = 0.0;
        s.v[i * (s.ny + 1) + s.ny] = 0.0;
    }
    for (uint32_t j = 0; j < s.ny; ++j) {
        s.u[j] = j <= 9 ? 10.0 : 0.0;
        s.u[s.nx * s.ny + j] = j >= 40 ? 10.0 : 0.0;
    }
}

int referenceTick(ReferenceState& s, const pcg::RowListMatrix& matrix)
{
    const double dt = 0.05;
    referenceAdvect(s, dt);
    for (double& value : s.v)
        value = value + dt * 9.8;
    referenceBorders(s);
    std::vector<double> rhs(s.nx * s.ny, 0.0);
    for (uint32_t i = 0; i < s.nx; ++i) {
        for (uint32_t j = 0; j < s.ny; ++j) {
            const double divergence = (s.u[(i + 1) * s.ny + j] - s.u[i * s.ny + j]) / 1.0 +
                                      (s.v[i * (s.ny + 1) + j + 1] - s.v[i * (s.ny + 1) + j]) / 1.0;
            rhs[i * s.ny + j] = ((-1.0 * 1.0) * 1000.0) / dt * divergence;
        }
    }
    const int iterations = testing_support::referenceSolve(matrix, rhs, s.pressure).iterations;
    auto p = [&](int64_t i, int64_t j) {
        return (i < 0 || j < 0 || i >= s.nx || j >= s.ny) ? 0.0 : s.pressure[i * s.ny + j];
    };
    const double g = dt / 1000.0;
    for (int64_t i = 0; i <= s.nx; ++i) {
        for (int64_t j = 0; j <= s.ny; ++j) {
            if (i < s.nx)
                s.v[i * (s.ny + 1) + j] -= ((p(i, j) - p(i, j - 1)) * g) / 1.0;
            if (j < s.ny)
                s.u[i * s.ny + j] -= ((p(i, j) - p(i - 1, j)) * g) / 1.0;
        }
    }
    referenceBorders(s);
    return iterations;
}

bool sameBits(const GridArray& ours, const Grid& reference)
{
    return std::memcmp(ours.data.get(), reference.data(), reference.size() * sizeof(double)) == 0;
}

TEST(ReferenceTick, HundredTicksMatchThePlainComputationBitForBit)
{
    FluidSolver solver(50, 50);
    ReferenceState reference;
    const pcg::RowListMatrix matrix = testing_support::neumannPressureMatrix(50, 50);
    for (int tick = 1; tick <= 100; ++tick) {
        solver.step();
        const int iterations = referenceTick(reference, matrix);
        ASSERT_EQ(solver.lastPressureSolve().iterations, iterations) << "tick " << tick;
        ASSERT_TRUE(sameBits(solver.velocity->u, reference.u)) << "tick " << tick;
        ASSERT_TRUE(sameBits(solver.velocity->v, reference.v)) << "tick " << tick;
        ASSERT_TRUE(sameBits(solver.pressure->values, reference.pressure)) << "tick " << tick;
    }
}

}  // namespace
