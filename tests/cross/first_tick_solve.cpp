// The pressure solve of the standard scene's first tick from rest, for
// comparing processors and builds: prints the kernels' form, the solver's
// iterations and a checksum of the pressure. Needs only the linear algebra, so
// it also builds where the rest of the program cannot (a cross compiler).
//
//     first-tick-solve [--form=NAME]

#include "PCG/pcg_solver.h"
#include "sim/scene/standard_box.h"
#include "simd/dispatch.h"
#include "tests/support/pressure_problem.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// FNV-1a over the bytes of each value, little end first, in cell order.
uint64_t checksum(const std::vector<double>& values)
{
    uint64_t hash = 14695981039346656037ull;
    for (double value : values) {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        for (int byte = 0; byte < 8; ++byte) {
            hash ^= (bits >> (8 * byte)) & 0xff;
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

// The first tick's right-hand side: advection from rest leaves every face at
// 0.0, gravity adds dt*g to every v face, then the borders are set.
std::vector<double> firstTickRightHandSide()
{
    const uint32_t n = standardBox::gridCells;
    const double dt = standardBox::timeStep, h = standardBox::cellSize;
    auto u = [&](uint32_t i, uint32_t j) {
        if (i == 0)
            return j <= standardBox::lastInflowRow ? standardBox::borderSpeed : 0.0;
        if (i == n)
            return j >= standardBox::firstOutflowRow ? standardBox::borderSpeed : 0.0;
        return 0.0;
    };
    auto v = [&](uint32_t, uint32_t j) { return j == 0 || j == n ? 0.0 : 0.0 + dt * standardBox::gravity; };
    const double scale = ((-h * h) * standardBox::density) / dt;
    std::vector<double> rhs(size_t(n) * n);
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t j = 0; j < n; ++j) {
            double divergence = 0.0;
            divergence += (u(i + 1, j) - u(i, j)) / h;
            divergence += (v(i, j + 1) - v(i, j)) / h;
            rhs[size_t(i) * n + j] = scale * divergence;
        }
    }
    return rhs;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int k = 1; k < argc; ++k) {
        if (std::strncmp(argv[k], "--form=", 7) != 0 || !simd::useForm(argv[k] + 7)) {
            std::fprintf(stderr, "first-tick-solve: unknown argument or form '%s'\n", argv[k]);
            return 2;
        }
    }
    const pcg::RowListMatrix matrix = testing_support::neumannPressureMatrix(standardBox::gridCells, standardBox::gridCells);
    const std::vector<double> rhs = firstTickRightHandSide();
    std::vector<double> pressure(rhs.size());
    pcg::PcgSolver solver;
    double residual = 0.0;
    int iterations = 0;
    const bool converged = solver.solveSystem(matrix, rhs, pressure, residual, iterations);
    std::printf("form %s: %s in %d iterations, pressure checksum %016" PRIx64 "\n", simd::activeFormName(),
                converged ? "converged" : "failed", iterations, checksum(pressure));
    return converged ? 0 : 1;
}
