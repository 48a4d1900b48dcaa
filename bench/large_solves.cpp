// The pressure solve on large grids, side by side in one run: our conjugate
// gradient preconditioned by multigrid and by the incomplete Cholesky factor,
// Eigen's with its incomplete Cholesky factor, and hypre's with one
// BoomerAMG V-cycle. Every solver gets the same matrix and right-hand side
// and is timed from the matrix in row lists to the solution, set-up included,
// for the fewest iterations after which its residual meets our rule: the
// largest |residual| at most 1e-6 of the largest |rhs|.

#include "PCG/pcg_solver.h"
#include "PCG/vector_ops.h"
#include "sim/domain/domain.h"
#include "sim/flow/fluid_solver.h"
#include "sim/scene/scene.h"

#include "bench/peers.h"

#include <Eigen/IterativeLinearSolvers>
#include <Eigen/Sparse>
#include <HYPRE.h>
#include <HYPRE_parcsr_ls.h>
#include <benchmark/benchmark.h>
#include <mpi.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

constexpr double relativeTolerance = 1e-6;
constexpr int iterationCeiling = 20000;

struct LargeSystem {
    pcg::RowListMatrix matrix;
    std::vector<double> rhs;
};

// A flow of every wavelength: each velocity sample uniform in [-1, 1] from a
// fixed seed, the faces the scene holds set, the cells' divergence the
// right-hand side (0 in solid cells), as the program's own solve sees it.
LargeSystem systemOf(const Scene& scene)
{
    FluidSolver solver(scene);
    uint64_t state = 0x9e3779b97f4a7c15u;
    auto uniform = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return double(state >> 11) / double(uint64_t(1) << 52) - 1.0;
    };
    VelocityField& field = *solver.velocity;
    for (GridArray* component : {&field.u, &field.v})
        for (size_t k = 0; k < component->size(); ++k)
            component->data[k] = uniform();
    solver.domain.holdFaces(field);
    LargeSystem system{assemblePressureMatrix(scene.nx, scene.ny, solver.domain.solidCells(),
                                              solver.domain.outletFaceCounts()),
                       pressureRightHandSide(field, scene.cellSize, scene.density, scene.timeStep)};
    for (size_t k = 0; k < system.rhs.size(); ++k)
        if (solver.domain.solidCells()[k])
            system.rhs[k] = 0.0;
    return system;
}

Scene boxOf(uint32_t nx, uint32_t ny)
{
    Scene scene = Scene::standard();
    scene.builtIn = false;
    scene.nx = nx;
    scene.ny = ny;
    scene.gravityY = 0.0;
    scene.inflows.clear();
    scene.outflows.clear();
    return scene;
}

// The closed unit square's cavity, n by n.
Scene cavity(uint32_t n)
{
    return boxOf(n, n);
}

// A channel n high and 2.5 n long: an inflow on the left, an outlet on the
// right, a disc and four bars in the way.
Scene channel(uint32_t n)
{
    Scene scene = boxOf(5 * n / 2, n);
    scene.inflows.push_back(Band{{Side::left, 0, n - 1}, 1.0});
    scene.outlets.push_back({Side::right, 0, n - 1});
    scene.discs.push_back({0.4 * n, 0.48 * n, 0.1 * n});
    for (uint32_t bar = 0; bar < 4; ++bar) {
        const uint32_t left = n + bar * n / 3, top = bar % 2 == 0 ? n / 10 : n / 2;
        scene.rectangles.push_back({left, top, left + n / 40, top + 2 * n / 5});
    }
    return scene;
}

// Argument 0: the cavity (0) or the channel (1); argument 1: its side n.
const LargeSystem& systemFor(const benchmark::State& state)
{
    static std::map<std::pair<int64_t, int64_t>, std::unique_ptr<LargeSystem>> cache;
    std::unique_ptr<LargeSystem>& cached = cache[{state.range(0), state.range(1)}];
    if (!cached) {
        const uint32_t n = uint32_t(state.range(1));
        cached = std::make_unique<LargeSystem>(systemOf(state.range(0) == 0 ? cavity(n) : channel(n)));
    }
    return *cached;
}

bool meetsTheRule(const LargeSystem& system, const double* x)
{
    return peers::meetsTheRule(system.matrix, system.rhs, x, relativeTolerance);
}

// The fewest iterations after which solve(iterations) meets the rule.
template <typename Solve>
int fewestIterations(const LargeSystem& system, Solve solve)
{
    return peers::fewestIterations([&](int limit) { return meetsTheRule(system, solve(limit).data()); },
                                   iterationCeiling);
}

void report(benchmark::State& state, int iterations)
{
    state.counters["solver_iterations"] = iterations;
    state.counters["cells"] = double(state.range(0) == 0 ? 1 : 2.5) * double(state.range(1) * state.range(1));
}

// Ours, with the preconditioner of argument 2 (0 the factor, 1 multigrid).
void BM_LargeSolveOurs(benchmark::State& state)
{
    const LargeSystem& system = systemFor(state);
    pcg::PcgSolver solver;
    solver.preconditioner =
        state.range(2) == 1 ? pcg::Preconditioner::multigrid : pcg::Preconditioner::incompleteCholesky;
    solver.relativeTolerance = relativeTolerance;
    solver.iterationLimit = iterationCeiling;
    std::vector<double> result(system.rhs.size());
    double residual = 0.0;
    int iterations = 0;
    for (auto _ : state)
        if (!solver.solveSystem(system.matrix, system.rhs, result, residual, iterations))
            state.SkipWithError("our solve did not converge");
    if (!meetsTheRule(system, result.data()))
        state.SkipWithError("our result misses the rule");
    report(state, iterations);
}

using peers::EigenMatrix;
using EigenIcCg = Eigen::ConjugateGradient<EigenMatrix, Eigen::Lower | Eigen::Upper, Eigen::IncompleteCholesky<double>>;

Eigen::VectorXd eigenSolve(const LargeSystem& system, int iterations)
{
    const EigenMatrix matrix = peers::eigenMatrix(system.matrix);
    EigenIcCg solver;
    solver.setTolerance(0.0);
    solver.setMaxIterations(iterations);
    solver.compute(matrix);
    return solver.solve(Eigen::Map<const Eigen::VectorXd>(system.rhs.data(), Eigen::Index(system.rhs.size())));
}

void BM_LargeSolveEigenIcCg(benchmark::State& state)
{
    const LargeSystem& system = systemFor(state);
    const int iterations = fewestIterations(system, [&](int limit) { return eigenSolve(system, limit); });
    for (auto _ : state)
        benchmark::DoNotOptimize(eigenSolve(system, iterations).data());
    report(state, iterations);
}

// hypre needs MPI: one process, started once, ended at exit.
void startHypre()
{
    static const bool started = [] {
        MPI_Init(nullptr, nullptr);
        HYPRE_Init();
        std::atexit([] {
            HYPRE_Finalize();
            MPI_Finalize();
        });
        return true;
    }();
    (void)started;
}

// BoomerAMG with the settings its authors give for two-dimensional Poisson
// problems under PCG: HMIS coarsening, extended+i interpolation of at most 4
// elements, strength threshold 0.25, symmetric hybrid Gauss-Seidel (also on
// the coarsest grid, which a closed box's singular matrix needs).
std::vector<double> hypreSolve(const LargeSystem& system, int iterations)
{
    const HYPRE_BigInt n = HYPRE_BigInt(system.matrix.n);
    HYPRE_IJMatrix matrix;
    HYPRE_IJMatrixCreate(MPI_COMM_WORLD, 0, n - 1, 0, n - 1, &matrix);
    HYPRE_IJMatrixSetObjectType(matrix, HYPRE_PARCSR);
    HYPRE_IJMatrixInitialize(matrix);
    std::vector<HYPRE_BigInt> columns;
    for (HYPRE_BigInt row = 0; row < n; ++row) {
        const auto rowColumns = system.matrix.rowColumns[uint32_t(row)];
        columns.assign(rowColumns.begin(), rowColumns.end());
        HYPRE_Int count = HYPRE_Int(columns.size());
        HYPRE_IJMatrixSetValues(matrix, 1, &count, &row, columns.data(), system.matrix.rowValues[uint32_t(row)].data());
    }
    HYPRE_IJMatrixAssemble(matrix);
    HYPRE_ParCSRMatrix parMatrix;
    HYPRE_IJMatrixGetObject(matrix, reinterpret_cast<void**>(&parMatrix));

    std::vector<HYPRE_BigInt> indices(size_t(n), 0);
    std::iota(indices.begin(), indices.end(), HYPRE_BigInt(0));
    std::vector<double> zeros(size_t(n), 0.0);
    auto vector = [&](const double* values, HYPRE_IJVector& ij) {
        HYPRE_IJVectorCreate(MPI_COMM_WORLD, 0, n - 1, &ij);
        HYPRE_IJVectorSetObjectType(ij, HYPRE_PARCSR);
        HYPRE_IJVectorInitialize(ij);
        HYPRE_IJVectorSetValues(ij, HYPRE_Int(n), indices.data(), values);
        HYPRE_IJVectorAssemble(ij);
        HYPRE_ParVector par;
        HYPRE_IJVectorGetObject(ij, reinterpret_cast<void**>(&par));
        return par;
    };
    HYPRE_IJVector rhsVector, solutionVector;
    HYPRE_ParVector rhs = vector(system.rhs.data(), rhsVector), solution = vector(zeros.data(), solutionVector);

    HYPRE_Solver solver, amg;
    HYPRE_ParCSRPCGCreate(MPI_COMM_WORLD, &solver);
    HYPRE_PCGSetMaxIter(solver, iterations);
    HYPRE_PCGSetTol(solver, 0.0);
    HYPRE_PCGSetTwoNorm(solver, 1);
    HYPRE_PCGSetPrintLevel(solver, 0);
    HYPRE_BoomerAMGCreate(&amg);
    HYPRE_BoomerAMGSetPrintLevel(amg, 0);
    HYPRE_BoomerAMGSetCoarsenType(amg, 10);
    HYPRE_BoomerAMGSetInterpType(amg, 6);
    HYPRE_BoomerAMGSetPMaxElmts(amg, 4);
    HYPRE_BoomerAMGSetStrongThreshold(amg, 0.25);
    HYPRE_BoomerAMGSetRelaxType(amg, 6);
    HYPRE_BoomerAMGSetCycleRelaxType(amg, 6, 3);
    HYPRE_BoomerAMGSetNumSweeps(amg, 1);
    HYPRE_BoomerAMGSetTol(amg, 0.0);
    HYPRE_BoomerAMGSetMaxIter(amg, 1);
    HYPRE_PCGSetPrecond(solver, reinterpret_cast<HYPRE_PtrToSolverFcn>(HYPRE_BoomerAMGSolve),
                        reinterpret_cast<HYPRE_PtrToSolverFcn>(HYPRE_BoomerAMGSetup), amg);
    HYPRE_ParCSRPCGSetup(solver, parMatrix, rhs, solution);
    HYPRE_ParCSRPCGSolve(solver, parMatrix, rhs, solution);

    std::vector<double> result(static_cast<size_t>(n));
    HYPRE_IJVectorGetValues(solutionVector, HYPRE_Int(n), indices.data(), result.data());
    HYPRE_BoomerAMGDestroy(amg);
    HYPRE_ParCSRPCGDestroy(solver);
    HYPRE_IJVectorDestroy(rhsVector);
    HYPRE_IJVectorDestroy(solutionVector);
    HYPRE_IJMatrixDestroy(matrix);
    return result;
}

void BM_LargeSolveHypreAmgPcg(benchmark::State& state)
{
    startHypre();
    const LargeSystem& system = systemFor(state);
    const int iterations = fewestIterations(system, [&](int limit) { return hypreSolve(system, limit); });
    for (auto _ : state)
        benchmark::DoNotOptimize(hypreSolve(system, iterations).data());
    report(state, iterations);
}

// The cavity from 64 to 1024 cells a side, the channel 256 to 1024 high.
void largeGrids(benchmark::internal::Benchmark* benchmark)
{
    for (int64_t n : {64, 128, 256, 512, 1024})
        benchmark->Args({0, n});
    for (int64_t n : {256, 512, 1024})
        benchmark->Args({1, n});
}

// Eigen's factor needs a thousand iterations and more past these, and finding
// how many takes a dozen solves of up to a minute each.
void eigenGrids(benchmark::internal::Benchmark* benchmark)
{
    for (int64_t n : {64, 128, 256, 512})
        benchmark->Args({0, n});
    benchmark->Args({1, 256});
}

void withPreconditioners(benchmark::internal::Benchmark* benchmark)
{
    for (int64_t preconditioner : {1, 0}) {
        for (int64_t n : {64, 128, 256, 512, 1024})
            benchmark->Args({0, n, preconditioner});
        for (int64_t n : {256, 512, 1024})
            benchmark->Args({1, n, preconditioner});
    }
}

}  // namespace

BENCHMARK(BM_LargeSolveOurs)->Apply(withPreconditioners)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LargeSolveHypreAmgPcg)->Apply(largeGrids)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LargeSolveEigenIcCg)->Apply(eigenGrids)->Unit(benchmark::kMillisecond)->Iterations(3);
