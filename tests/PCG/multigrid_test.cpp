// The multigrid preconditioner on the pressure matrices scenes make: symmetric
// and positive on the matrix's range whatever the grid holds (solids, open
// outlets, a closed box's singular matrix, a pocket cut off by solids, odd
// and narrow grids), so that the conjugate gradient converges, and in few
// iterations however fine the grid.
#include "PCG/multigrid.h"
#include "PCG/pcg_solver.h"
#include "sim/domain/domain.h"
#include "sim/flow/fluid_solver.h"
#include "simd/dispatch.h"

#include "tests/support/pressure_problem.h"
#include "tests/support/scenes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

pcg::RowListMatrix pressureMatrixOf(const Scene& scene)
{
    const Domain domain(scene);
    return assemblePressureMatrix(scene.nx, scene.ny, domain.solidCells(), domain.outletFaceCounts());
}

std::vector<double> randomVector(size_t n, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& e : x)
        e = value(generator);
    return x;
}

double dot(const std::vector<double>& a, const std::vector<double>& b)
{
    double sum = 0.0;
    for (size_t k = 0; k < a.size(); ++k)
        sum += a[k] * b[k];
    return sum;
}

// A vector in the matrix's range: A z, which a closed box's singular system can solve.
std::vector<double> inRange(const pcg::RowListMatrix& matrix, uint32_t seed)
{
    pcg::CompressedMatrix compressed;
    compressed.compressFrom(matrix);
    std::vector<double> y;
    pcg::applyMatrixAndDot(compressed, randomVector(matrix.n, seed), y);
    return y;
}

// The multigrid of a pressure matrix, which must have the five-point form;
// without byClass, from its coefficients' arrays.
bool builtFor(const pcg::RowListMatrix& matrix, pcg::MultigridPreconditioner& multigrid, bool byClass = true)
{
    pcg::FivePointMatrix fivePoint;
    if (!pcg::readFivePointMatrix(matrix, fivePoint))
        return false;
    if (byClass) {
        pcg::classifyCoefficients(fivePoint);
        if (!fivePoint.classes.held())
            return false;
    }
    multigrid.build(fivePoint);
    return true;
}

struct Grid {
    const char* what;
    std::string scene;  // after [grid]
};

const Grid grids[] = {
    {"a closed box (singular)", "cells = [48, 32]\n"},
    {"an odd, narrow closed box", "cells = [3, 37]\n"},
    {"odd sides, a partial outlet", "cells = [41, 27]\n[[outlet]]\nside = \"right\"\ncells = [5, 20]\n"},
    {"solids in a channel",
     "cells = [60, 25]\n[[inflow]]\nside = \"left\"\ncells = [0, 24]\nspeed = 1.0\n[[outlet]]\nside = \"right\"\n"
     "cells = [0, 24]\n[[solid]]\ndisc = { centre = [15.0, 12.5], radius = 4.0 }\n"
     "[[solid]]\nrectangle = { from = [30, 0], to = [31, 15] }\n[[solid]]\nrectangle = { from = [44, 9], to = [46, 24] }\n"},
    {"a pocket cut off by solids, beside an outlet",
     "cells = [33, 33]\n[[outlet]]\nside = \"top\"\ncells = [0, 32]\n"
     "[[solid]]\nrectangle = { from = [10, 10], to = [20, 10] }\n[[solid]]\nrectangle = { from = [10, 20], to = [20, 20] }\n"
     "[[solid]]\nrectangle = { from = [10, 11], to = [10, 19] }\n[[solid]]\nrectangle = { from = [20, 11], to = [20, 19] }\n"},
    {"single solid cells scattered over a closed box",
     "cells = [20, 18]\n[[solid]]\nrectangle = { from = [3, 3], to = [3, 3] }\n"
     "[[solid]]\nrectangle = { from = [8, 12], to = [9, 12] }\n[[solid]]\ndisc = { centre = [15.0, 6.0], radius = 0.6 }\n"},
};

TEST(Multigrid, IsSymmetricAndPositiveOnTheRangeOfEveryKindOfGrid)
{
    for (const Grid& grid : grids) {
        SCOPED_TRACE(grid.what);
        const pcg::RowListMatrix matrix = pressureMatrixOf(testing_support::sceneFrom("[grid]\n" + grid.scene));
        pcg::MultigridPreconditioner multigrid;
        ASSERT_TRUE(builtFor(matrix, multigrid));
        EXPECT_GE(multigrid.levelCount(), 2u);
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            const std::vector<double> x = randomVector(matrix.n, seed), y = randomVector(matrix.n, seed + 100);
            std::vector<double> mx(matrix.n), my(matrix.n);
            multigrid.apply(x.data(), mx.data());
            multigrid.apply(y.data(), my.data());
            const double xMy = dot(x, my), yMx = dot(y, mx);
            EXPECT_NEAR(xMy, yMx, 1e-12 * (std::fabs(xMy) + std::fabs(yMx)));
            const std::vector<double> r = inRange(matrix, seed + 200);
            std::vector<double> mr(matrix.n);
            multigrid.apply(r.data(), mr.data());
            EXPECT_GT(dot(r, mr), 0.0);
        }
    }
}

// The smoother runs four cells of a colour at once in the wide forms: a
// V-cycle there gives the scalar form's bits, on lines of every length the
// levels reach (short ones, and those that leave one to seven cells over),
// and so does the finest grid's matrix read by class.
// Couplings of two strengths, mostly the one: rows of one class side by
// side and rows of another among them, the entries before and after a cell unlike.
pcg::RowListMatrix unevenMatrix(uint32_t lines, uint32_t length)
{
    std::mt19937 generator(3);
    std::bernoulli_distribution weak(0.1);
    const size_t n = size_t(lines) * length;
    std::vector<double> right(n), down(n), diagonal(n, 4.5);
    for (size_t k = 0; k < n; ++k) {
        right[k] = weak(generator) ? -0.25 : -1.0;
        down[k] = weak(generator) ? -0.25 : -1.0;
    }
    return testing_support::symmetricFivePointMatrix(lines, length, right, down, diagonal);
}

TEST(Multigrid, AVCycleIsTheSameInEveryForm)
{
    const std::string formBefore = simd::activeFormName();
    std::vector<std::pair<std::string, pcg::RowListMatrix>> matrices;
    for (const Grid& grid : grids)
        matrices.emplace_back(grid.what, pressureMatrixOf(testing_support::sceneFrom("[grid]\n" + grid.scene)));
    matrices.emplace_back("uneven couplings", unevenMatrix(45, 61));
    for (const auto& [what, matrix] : matrices) {
        SCOPED_TRACE(what);
        pcg::MultigridPreconditioner byClass, byArray;
        ASSERT_TRUE(builtFor(matrix, byClass));
        ASSERT_TRUE(builtFor(matrix, byArray, false));
        const std::vector<double> x = randomVector(matrix.n, 7);
        std::vector<double> reference(matrix.n);
        ASSERT_TRUE(simd::useForm("scalar"));
        byArray.apply(x.data(), reference.data());
        for (const std::string& form : simd::runnableForms()) {
            ASSERT_TRUE(simd::useForm(form));
            for (pcg::MultigridPreconditioner* multigrid : {&byClass, &byArray}) {
                std::vector<double> result(matrix.n, 1.0);
                multigrid->apply(x.data(), result.data());
                EXPECT_EQ(std::memcmp(result.data(), reference.data(), matrix.n * sizeof(double)), 0)
                    << form << (multigrid == &byClass ? ", by class" : "");
            }
        }
    }
    simd::useForm(formBefore);
}

TEST(Multigrid, PreconditionsEveryKindOfGridToConvergenceInFewerIterations)
{
    for (const Grid& grid : grids) {
        SCOPED_TRACE(grid.what);
        const pcg::RowListMatrix matrix = pressureMatrixOf(testing_support::sceneFrom("[grid]\n" + grid.scene));
        const std::vector<double> rhs = inRange(matrix, 7);
        int iterations[2] = {0, 0};
        for (int kind = 0; kind < 2; ++kind) {
            pcg::PcgSolver solver;
            solver.preconditioner = kind == 0 ? pcg::Preconditioner::incompleteCholesky : pcg::Preconditioner::multigrid;
            solver.relativeTolerance = 1e-8;
            solver.iterationLimit = 1000;
            std::vector<double> result(matrix.n);
            double residual = 0.0;
            ASSERT_TRUE(solver.solveSystem(matrix, rhs, result, residual, iterations[kind]));
        }
        EXPECT_LT(iterations[1], iterations[0]);
        EXPECT_LE(iterations[1], 25);
    }
}

// The count of iterations does not grow with the grid as the factor's does:
// a closed box (singular) and a channel past a disc, each with a rough
// right-hand side that sums to zero, on 64 and 256 cells across.
TEST(Multigrid, IterationsStayFewAsTheGridGrows)
{
    for (const char* shape : {"closed box", "channel"}) {
        SCOPED_TRACE(shape);
        int iterations[2][2] = {};  // [fine][kind]
        for (int fine = 0; fine < 2; ++fine) {
            const uint32_t side = fine ? 256 : 64;
            const std::string cells = "[grid]\ncells = [" + std::to_string(side) + ", " + std::to_string(side) + "]\n";
            const std::string channel =
                "[[inflow]]\nside = \"left\"\ncells = [0, " + std::to_string(side - 1) + "]\nspeed = 1.0\n"
                "[[outlet]]\nside = \"right\"\ncells = [0, " + std::to_string(side - 1) + "]\n"
                "[[solid]]\ndisc = { centre = [" + std::to_string(side / 3) + ".0, " + std::to_string(side / 2) +
                ".0], radius = " + std::to_string(side / 8) + ".0 }\n";
            const Scene scene = testing_support::sceneFrom(cells + (std::string(shape) == "channel" ? channel : ""));
            const Domain domain(scene);
            const pcg::RowListMatrix matrix = pressureMatrixOf(scene);
            std::vector<double> rhs = randomVector(matrix.n, 11);
            double mean = 0.0;
            for (double value : rhs)
                mean += value / matrix.n;
            for (size_t k = 0; k < rhs.size(); ++k)
                rhs[k] = domain.solidCells()[k] ? 0.0 : rhs[k] - mean;
            for (int kind = 0; kind < 2; ++kind) {
                pcg::PcgSolver solver;
                solver.preconditioner = kind ? pcg::Preconditioner::multigrid : pcg::Preconditioner::incompleteCholesky;
                solver.relativeTolerance = 1e-6;
                solver.iterationLimit = 2000;
                std::vector<double> result(matrix.n);
                double residual = 0.0;
                ASSERT_TRUE(solver.solveSystem(matrix, rhs, result, residual, iterations[fine][kind]));
            }
        }
        std::printf("%s: incomplete Cholesky %d and %d iterations, multigrid %d and %d, on 64 and 256 cells\n", shape,
                    iterations[0][0], iterations[1][0], iterations[0][1], iterations[1][1]);
        EXPECT_LE(iterations[1][1], 15);
        EXPECT_LE(iterations[1][1], iterations[0][1] + 3);
    }
}

}  // namespace
