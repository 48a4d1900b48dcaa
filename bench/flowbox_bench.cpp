// flowbox-bench: the operations of a tick, the parts of the pressure solve, and
// the complete solve beside Eigen's conjugate gradient, all in one run.

#include "PCG/pcg_solver.h"
#include "PCG/five_point_factor.h"
#include "PCG/five_point_matrix.h"
#include "process/heap_tuning.h"
#include "PCG/vector_ops.h"
#include "sim/flow/fluid_solver.h"
#include "sim/scene/standard_box.h"
#include "sim/scene/scene_file.h"
#include "sim/solve/solver_warning.h"
#include "sim/solve/tick_stages.h"
#include "sim/tracers/tracers.h"

#include "bench/peers.h"

#include <Eigen/IterativeLinearSolvers>
#include <Eigen/Sparse>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <map>
#include <string>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

constexpr double dt = standardBox::timeStep;
// Outside the program the iteration limit is raised so that large grids converge.
constexpr int raisedIterationLimit = 100000;

int failedSolves = 0;

void countWarnings(const char*)
{
    ++failedSolves;
}

// The state after a number of ticks from rest: a developed flow.
std::unique_ptr<FluidSolver> developedSolver(uint32_t cells, int ticks)
{
    auto solver = std::make_unique<FluidSolver>(cells, cells);
    for (int tick = 0; tick < ticks; ++tick)
        solver->step();
    return solver;
}

// The system the first tick hands to the pressure solve. On grids other than
// 50 by 50 the fixed inflow and outflow bands differ in width, so the
// right-hand side loses its mean to keep the singular system consistent.
struct PressureSystem {
    pcg::RowListMatrix matrix;
    std::vector<double> rhs;
};

PressureSystem firstTickSystem(uint32_t cells)
{
    FluidSolver solver(cells, cells);
    solver.advect(*solver.velocity, dt);
    solver.applyGravity(*solver.velocity, dt);
    solver.applyBoundaryConditions(*solver.velocity, dt);
    PressureSystem system{assemblePressureMatrix(cells, cells),
                          pressureRightHandSide(*solver.velocity, solver.dx, solver.density, dt)};
    if (cells != 50) {
        double mean = 0.0;
        for (double value : system.rhs)
            mean += value / double(system.rhs.size());
        for (double& value : system.rhs)
            value -= mean;
    }
    return system;
}

const PressureSystem& systemOf(uint32_t cells)
{
    static std::vector<std::unique_ptr<PressureSystem>> cache(401);
    if (!cache[cells])
        cache[cells] = std::make_unique<PressureSystem>(firstTickSystem(cells));
    return *cache[cells];
}

// ---- the operations of one tick on the 50 by 50 grid --------------------------

void BM_Advect(benchmark::State& state)
{
    auto solver = developedSolver(50, 100);
    for (auto _ : state)
        solver->advect(*solver->velocity, dt);
}
BENCHMARK(BM_Advect)->Unit(benchmark::kMicrosecond);

void BM_GravityAndBorders(benchmark::State& state)
{
    auto solver = developedSolver(50, 100);
    for (auto _ : state) {
        solver->applyGravity(*solver->velocity, dt);
        solver->applyBoundaryConditions(*solver->velocity, dt);
    }
}
BENCHMARK(BM_GravityAndBorders)->Unit(benchmark::kMicrosecond);

void BM_SolvePressure(benchmark::State& state)
{
    auto solver = developedSolver(50, 100);
    solver->advect(*solver->velocity, dt);
    solver->applyGravity(*solver->velocity, dt);
    solver->applyBoundaryConditions(*solver->velocity, dt);
    for (auto _ : state)
        solver->solvePressure(*solver->velocity, *solver->pressure, dt);
    state.counters["solver_iterations"] = solver->lastPressureSolve().iterations;
}
BENCHMARK(BM_SolvePressure)->Unit(benchmark::kMicrosecond);

void BM_SubtractPressureGradient(benchmark::State& state)
{
    auto solver = developedSolver(50, 100);
    for (auto _ : state)
        solver->subtractPressureGradient(*solver->velocity, *solver->pressure, dt);
}
BENCHMARK(BM_SubtractPressureGradient)->Unit(benchmark::kMicrosecond);

void BM_TracerFrame(benchmark::State& state)
{
    auto solver = developedSolver(50, 100);
    TracerList tracers;
    TracerRandom random;
    for (int frame = 0; frame < 100; ++frame)
        updateTracers(tracers, random, *solver->velocity, tracerLifetime());
    for (auto _ : state)
        updateTracers(tracers, random, *solver->velocity, tracerLifetime());
}
BENCHMARK(BM_TracerFrame)->Unit(benchmark::kMicrosecond);

void BM_Tick(benchmark::State& state)
{
    const uint32_t cells = uint32_t(state.range(0));
    failedSolves = 0;
    auto solver = developedSolver(cells, cells == 50 ? 100 : 5);
    for (auto _ : state)
        solver->step();
    state.counters["solver_iterations"] = solver->lastPressureSolve().iterations;
    state.counters["failed_solves"] = failedSolves;
}
BENCHMARK(BM_Tick)->Arg(50)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMicrosecond);

// ---- scenes ---------------------------------------------------------------------

Scene shippedScene(const char* name)
{
    Scene scene;
    std::string error;
    if (!loadSceneFile(std::string(FLOWBOX_SCENES "/") + name + ".toml", scene, error))
        throw std::runtime_error(error);
    scene.iterationLimit = raisedIterationLimit;
    return scene;
}

// The cavity on n by n cells of the unit square.
Scene cavityOn(uint32_t n)
{
    Scene scene = shippedScene("cavity");
    scene.nx = scene.ny = n;
    scene.cellSize = 1.0 / n;
    return scene;
}

// The cylinder's channel, n cells across and 2.5 n long, its disc, bands
// and outlet scaled with it (the shipped one is 80 across).
Scene cylinderOn(uint32_t n)
{
    Scene scene = shippedScene("cylinder");
    const double scale = n / 80.0;
    scene.nx = uint32_t(2.5 * n);
    scene.ny = n;
    scene.cellSize /= scale;
    auto scaled = [&](SideRange& range) {
        range.first = uint32_t(std::lround(range.first * scale));
        range.last = uint32_t(std::lround((range.last + 1) * scale)) - 1;
    };
    for (Band& band : scene.inflows)
        scaled(band.range);
    for (SideRange& outlet : scene.outlets)
        scaled(outlet);
    scene.discs[0] = {40.0 * scale, 41.0 * scale, 8.0 * scale};
    if (const SceneProblem problem = scene.firstProblem(); !problem.message.empty())
        throw std::runtime_error("the scaled cylinder: " + problem.key + " " + problem.message);
    return scene;
}

// The dam break on n by n / 2 cells: the tank 4a wide and 2a high, the
// column a wide up to its lid.
Scene damBreakOn(uint32_t n)
{
    Scene scene = shippedScene("dam-break");
    const double a = 0.146;
    scene.nx = n;
    scene.ny = n / 2;
    scene.cellSize = 4.0 * a / n;
    scene.liquid[0].fromY = 0.0;
    scene.liquid[0].toY = 2.0 * a;
    if (const SceneProblem problem = scene.firstProblem(); !problem.message.empty())
        throw std::runtime_error("the scaled dam break: " + problem.key + " " + problem.message);
    return scene;
}

// One tick of a scene on n cells across, after 20 ticks from rest; its
// pressure solve preconditioned by the factor (second argument 0) or by
// multigrid (1).
template <Scene (*sceneOn)(uint32_t)>
void sceneTick(benchmark::State& state)
{
    failedSolves = 0;
    Scene scene = sceneOn(uint32_t(state.range(0)));
    scene.preconditioner =
        state.range(1) == 1 ? pcg::Preconditioner::multigrid : pcg::Preconditioner::incompleteCholesky;
    FluidSolver solver(scene);
    for (int tick = 0; tick < 20; ++tick)
        solver.step();
    for (auto _ : state)
        solver.step();
    state.counters["solver_iterations"] = solver.lastPressureSolve().iterations;
    state.counters["viscosity_iterations"] = solver.lastDiffusionSolve().iterations;
    state.counters["failed_solves"] = failedSolves;
}

// 64 to 512 cells across with either preconditioner, and 400 (the
// cylinder's channel of 1000 by 400) and 1024 with multigrid (with the factor
// 1024's twenty ticks of warming up alone take minutes).
void sceneSizes(benchmark::internal::Benchmark* benchmark)
{
    for (int64_t preconditioner : {0, 1})
        for (int64_t n : {64, 128, 256, 512})
            benchmark->Args({n, preconditioner});
    benchmark->Args({400, 1});
    benchmark->Args({1024, 1});
}

void BM_CavityTick(benchmark::State& state)
{
    sceneTick<cavityOn>(state);
}
BENCHMARK(BM_CavityTick)->Apply(sceneSizes)->Unit(benchmark::kMillisecond);

// The dam break beside the cavity, on 128 and 256 cells across with multigrid.
void BM_DamBreakTick(benchmark::State& state)
{
    sceneTick<damBreakOn>(state);
}
BENCHMARK(BM_DamBreakTick)->Args({128, 1})->Args({256, 1})->Unit(benchmark::kMillisecond);

// ---- where a large tick's time goes -------------------------------------------

// Wall time per stage of the ticks timed, by the stage's name.
struct StageClock {
    std::map<std::string, double> seconds;
    std::chrono::steady_clock::time_point last;
};
StageClock* stageClock = nullptr;

void noteStage(const char* stage)
{
    const auto now = std::chrono::steady_clock::now();
    stageClock->seconds[stage] += std::chrono::duration<double>(now - stageClock->last).count();
    stageClock->last = now;
}

// A tick as sceneTick times it (multigrid), each stage's milliseconds a tick
// as a counter of its own.
template <Scene (*sceneOn)(uint32_t)>
void tickStages(benchmark::State& state)
{
    FluidSolver solver(sceneOn(uint32_t(state.range(0))));
    for (int tick = 0; tick < 20; ++tick)
        solver.step();
    StageClock clock;
    stageClock = &clock;
    setStageListener(noteStage);
    for (auto _ : state) {
        clock.last = std::chrono::steady_clock::now();
        solver.step();
    }
    setStageListener(nullptr);
    for (const auto& [stage, seconds] : clock.seconds)
        state.counters[stage] = 1e3 * seconds / double(state.iterations());
    state.counters["viscosity_iterations"] = solver.lastDiffusionSolve().iterations;
    state.counters["pressure_iterations"] = solver.lastPressureSolve().iterations;
}

void BM_CavityStages(benchmark::State& state)
{
    tickStages<cavityOn>(state);
}
BENCHMARK(BM_CavityStages)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DamBreakStages(benchmark::State& state)
{
    tickStages<damBreakOn>(state);
}
BENCHMARK(BM_DamBreakStages)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CylinderTick(benchmark::State& state)
{
    sceneTick<cylinderOn>(state);
}
BENCHMARK(BM_CylinderTick)->Apply(sceneSizes)->Unit(benchmark::kMillisecond);

// The pressure solve of a 256 by 256 channel with an inflow on the left and
// an outlet on the right, without obstacles (0) and with nine discs and four
// bars in the way (1): what the solids cost the fast path; preconditioned by
// the factor (second argument 0) or by multigrid (1).
void BM_ObstacleSolve(benchmark::State& state)
{
    Scene scene;
    std::string error;
    parseScene("[grid]\ncells = [256, 256]\n[fluid]\ngravity = [0.0, 0.0]\n"
               "[[inflow]]\nside = \"left\"\ncells = [0, 255]\nspeed = 10.0\n"
               "[[outlet]]\nside = \"right\"\ncells = [0, 255]\n[solver]\niteration_limit = 100000\n",
               "channel", scene, error);
    scene.preconditioner =
        state.range(1) == 1 ? pcg::Preconditioner::multigrid : pcg::Preconditioner::incompleteCholesky;
    if (state.range(0) == 1) {
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b)
                scene.discs.push_back({50.0 + 75.0 * a, 50.0 + 75.0 * b, 14.0});
        for (uint32_t bar = 0; bar < 4; ++bar)
            scene.rectangles.push_back({90 + 40 * bar, 10 + 60 * bar, 94 + 40 * bar, 40 + 60 * bar});
    }
    FluidSolver solver(scene);
    for (int tick = 0; tick < 20; ++tick)
        solver.step();
    solver.advect(*solver.velocity, scene.timeStep);
    solver.applyBoundaryConditions(*solver.velocity, scene.timeStep);
    ScalarField pressure(scene.nx, scene.ny, scene.cellSize);
    for (auto _ : state)
        solver.solvePressure(*solver.velocity, pressure, scene.timeStep);
    state.counters["solver_iterations"] = solver.lastPressureSolve().iterations;
}
BENCHMARK(BM_ObstacleSolve)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

// ---- inside the pressure solve, on the first-tick system of 50 by 50 cells ----

void BM_Assembly(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(assemblePressureMatrix(50, 50));
}
BENCHMARK(BM_Assembly)->Unit(benchmark::kMicrosecond);

// The general routines, which serve matrices of any pattern...
void BM_ComputeFactor(benchmark::State& state)
{
    const PressureSystem& system = systemOf(50);
    pcg::TriangularFactor factor;
    for (auto _ : state)
        pcg::computeFactor(system.matrix, factor, 0.97, 0.25);
}
BENCHMARK(BM_ComputeFactor)->Unit(benchmark::kMicrosecond);

void BM_CompressFrom(benchmark::State& state)
{
    const PressureSystem& system = systemOf(50);
    for (auto _ : state) {
        pcg::CompressedMatrix compressed;  // new every solve, as in the program
        compressed.compressFrom(system.matrix);
        benchmark::DoNotOptimize(compressed.entryValues.data());
    }
}
BENCHMARK(BM_CompressFrom)->Unit(benchmark::kMicrosecond);

void BM_ApplyMatrix(benchmark::State& state)
{
    const PressureSystem& system = systemOf(50);
    pcg::CompressedMatrix compressed;
    compressed.compressFrom(system.matrix);
    std::vector<double> result(system.rhs.size());
    for (auto _ : state) {
        pcg::applyMatrix(compressed, system.rhs, result);
        benchmark::DoNotOptimize(result.data());
    }
}
BENCHMARK(BM_ApplyMatrix)->Unit(benchmark::kMicrosecond);

void BM_Preconditioner(benchmark::State& state)
{
    const PressureSystem& system = systemOf(50);
    pcg::TriangularFactor factor;
    pcg::computeFactor(system.matrix, factor, 0.97, 0.25);
    std::vector<double> z(system.rhs.size());
    for (auto _ : state) {
        pcg::forwardSubstitute(factor, system.rhs, z);
        pcg::backSubstituteTransposed(factor, z);
        benchmark::DoNotOptimize(z.data());
    }
}
BENCHMARK(BM_Preconditioner)->Unit(benchmark::kMicrosecond);

// One full solveSystem on the assembled matrix, with a new solver each time as
// in the program (BM_OursSolve below adds the assembly).
void BM_SolveSystem(benchmark::State& state)
{
    const PressureSystem& system = systemOf(50);
    std::vector<double> result(system.rhs.size());
    double residual = 0.0;
    int iterations = 0;
    for (auto _ : state) {
        pcg::PcgSolver solver;
        if (!solver.solveSystem(system.matrix, system.rhs, result, residual, iterations))
            state.SkipWithError("the solve did not converge");
    }
    state.counters["solver_iterations"] = iterations;
}
BENCHMARK(BM_SolveSystem)->Unit(benchmark::kMicrosecond);

// ...and the fivePoint routines that the solve takes for the pressure matrix,
// with the same results.
void BM_FivePointFactor(benchmark::State& state)
{
    const PressureSystem& system = systemOf(50);
    for (auto _ : state) {
        pcg::FivePointMatrix fivePoint;  // new every solve, as in the program
        pcg::FivePointFactor fivePointFactor;
        pcg::TriangularFactor factor;
        if (!pcg::readFivePointMatrix(system.matrix, fivePoint))
            state.SkipWithError("the pressure matrix was not read as a fivePoint");
        pcg::computeFivePointFactor(fivePoint, 0.97, 0.25, fivePointFactor, factor);
        benchmark::DoNotOptimize(factor.inverseDiagonal.data());
    }
    state.SetLabel("reading the matrix included");
}
BENCHMARK(BM_FivePointFactor)->Unit(benchmark::kMicrosecond);

struct FivePointSystem {
    pcg::FivePointMatrix fivePoint;
    pcg::FivePointFactor fivePointFactor;
    pcg::TriangularFactor factor;

    explicit FivePointSystem(const PressureSystem& system)
    {
        if (!pcg::readFivePointMatrix(system.matrix, fivePoint))
            throw std::runtime_error("the pressure matrix was not read as a fivePoint");
        pcg::computeFivePointFactor(fivePoint, 0.97, 0.25, fivePointFactor, factor);
    }
};

void BM_FivePointProduct(benchmark::State& state)
{
    const PressureSystem& system = systemOf(50);
    const FivePointSystem fivePoint(system);
    std::vector<double> result(system.rhs.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(pcg::applyFivePointAndDot(fivePoint.fivePoint, system.rhs.data(), result.data()));
        benchmark::DoNotOptimize(result.data());
    }
    state.SetLabel("with its inner product");
}
BENCHMARK(BM_FivePointProduct)->Unit(benchmark::kMicrosecond);

void BM_FivePointPreconditioner(benchmark::State& state)
{
    const PressureSystem& system = systemOf(50);
    const FivePointSystem fivePoint(system);
    std::vector<double> z(system.rhs.size());
    for (auto _ : state) {
        pcg::applyFivePointPreconditioner(fivePoint.fivePoint, fivePoint.fivePointFactor, system.rhs.data(), z.data());
        benchmark::DoNotOptimize(z.data());
    }
}
BENCHMARK(BM_FivePointPreconditioner)->Unit(benchmark::kMicrosecond);

// ---- the complete solve beside Eigen, on the first-tick system of each grid ---

bool meetsTheRule(const PressureSystem& system, const std::vector<double>& x)
{
    return peers::meetsTheRule(system.matrix, system.rhs, x.data(), 1e-5);
}

// What solvePressure does to the system: assembly, factor, compression, iterations.
void BM_OursSolve(benchmark::State& state)
{
    const uint32_t cells = uint32_t(state.range(0));
    const PressureSystem& system = systemOf(cells);
    std::vector<double> result(system.rhs.size());
    double residual = 0.0;
    int iterations = 0;
    for (auto _ : state) {
        const pcg::RowListMatrix matrix = assemblePressureMatrix(cells, cells);
        pcg::PcgSolver solver;
        solver.iterationLimit = raisedIterationLimit;
        if (!solver.solveSystem(matrix, system.rhs, result, residual, iterations))
            state.SkipWithError("our solve did not converge");
    }
    if (!meetsTheRule(system, result))
        state.SkipWithError("our result misses the stopping rule");
    state.counters["solver_iterations"] = iterations;
    state.counters["us_per_iteration"] =
        benchmark::Counter(double(iterations), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetLabel(cells == 50 ? "as in the program" : "iteration limit raised");
}
BENCHMARK(BM_OursSolve)->Arg(50)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMicrosecond);

using peers::EigenMatrix;

// Eigen stops on a relative 2-norm; find the fewest iterations after which its
// residual meets our maximum-norm rule, then time exactly that many.
template <typename Solver>
int iterationsForTheRule(const PressureSystem& system, const Eigen::VectorXd& rhs)
{
    const EigenMatrix matrix = peers::eigenMatrix(system.matrix);  // the solver keeps a reference to it
    Solver solver;
    solver.setTolerance(0.0);
    solver.compute(matrix);
    return peers::fewestIterations(
        [&](int limit) {
            solver.setMaxIterations(limit);
            const Eigen::VectorXd x = solver.solve(rhs);
            return meetsTheRule(system, std::vector<double>(x.data(), x.data() + x.size()));
        },
        raisedIterationLimit);
}

template <typename Solver>
void eigenSolve(benchmark::State& state)
{
    const uint32_t cells = uint32_t(state.range(0));
    const PressureSystem& system = systemOf(cells);
    const Eigen::VectorXd rhs = Eigen::Map<const Eigen::VectorXd>(system.rhs.data(), Eigen::Index(system.rhs.size()));
    const int iterations = iterationsForTheRule<Solver>(system, rhs);
    Eigen::VectorXd x;
    for (auto _ : state) {
        const EigenMatrix matrix = peers::eigenMatrix(system.matrix);  // set up anew every time, as our solve is
        Solver solver;
        solver.setTolerance(0.0);
        solver.setMaxIterations(iterations);
        solver.compute(matrix);
        x = solver.solve(rhs);
        benchmark::DoNotOptimize(x.data());
    }
    if (!meetsTheRule(system, std::vector<double>(x.data(), x.data() + x.size())))
        state.SkipWithError("Eigen's result misses the stopping rule");
    state.counters["solver_iterations"] = iterations;
    state.counters["us_per_iteration"] =
        benchmark::Counter(double(iterations), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

using EigenIcCg = Eigen::ConjugateGradient<EigenMatrix, Eigen::Lower | Eigen::Upper, Eigen::IncompleteCholesky<double>>;
using EigenDiagonalCg = Eigen::ConjugateGradient<EigenMatrix, Eigen::Lower | Eigen::Upper>;

void BM_EigenIcCgSolve(benchmark::State& state)
{
    eigenSolve<EigenIcCg>(state);
}
BENCHMARK(BM_EigenIcCgSolve)->Arg(50)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMicrosecond);

void BM_EigenDiagonalCgSolve(benchmark::State& state)
{
    eigenSolve<EigenDiagonalCg>(state);
}
BENCHMARK(BM_EigenDiagonalCgSolve)->Arg(50)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    keepFreedHeapForReuse();
    setWarningSink(countWarnings);  // failed solves of the larger grids' ticks
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::printf("Scaling solves run with the iteration limit raised to %d; ticks keep the program's 100.\n",
                raisedIterationLimit);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
