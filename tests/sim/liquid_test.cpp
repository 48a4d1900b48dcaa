// A liquid with a free surface against what must hold: still water stays
// still and level with its hydrostatic pressure, the liquid's area is kept,
// a standing wave swings at linear theory's period, particles stay out of
// solids, and the threads do not change a bit.
#include "sim/fluid_solver.h"
#include "sim/liquid.h"
#include "sim/scene_file.h"
#include "sim/state_file.h"
#include "parallel/thread_pool.h"

#include "tests/support/scenes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const double pi = std::acos(-1.0);

// A closed tank of width 1 under gravity 9.8 down the picture, cells x rows.
Scene tank(uint32_t cells, uint32_t rows, double step)
{
    Scene scene = testing_support::sceneFrom("[grid]\ncells = [" + std::to_string(cells) + ", " +
                                             std::to_string(rows) + "]\ncell_size = " +
                                             std::to_string(1.0 / cells) +
                                             "\n[fluid]\ngravity = [0.0, 9.8]\n[solver]\ntolerance = 1e-8\n"
                                             "iteration_limit = 400\npreconditioner = \"multigrid\"\n");
    scene.timeStep = step;
    return scene;
}

// A liquid in a scene's box with the fields it steps.
struct Tank {
    Domain domain;
    VelocityField velocity;
    ScalarField pressure;
    LiquidSolver liquid;

    Tank(const Scene& scene, const LiquidStart& start)
        : domain(scene),
          velocity(scene.nx, scene.ny, scene.cellSize),
          pressure(scene.nx, scene.ny, scene.cellSize),
          liquid(scene, domain, start)
    {
    }
    void step() { liquid.step(velocity, pressure); }
};

// Liquid below the surface y = level(x) (y down), at rest.
LiquidStart below(std::function<double(double)> level)
{
    return {[level](double x, double y) { return y > level(x); }, {}};
}

TEST(Liquid, StillWaterStaysStillLevelAndHydrostatic)
{
    const uint32_t cells = 32, rows = 24;
    const Scene scene = tank(cells, rows, 0.01);
    const double dx = scene.cellSize, top = 8 * dx;  // 16 rows of water
    Tank tank(scene, below([&](double) { return top; }));
    const LiquidSolver& water = tank.liquid;
    const double depth = rows * dx - water.surfaceInColumn(cells / 2);
    for (int tick = 0; tick < 1000; ++tick)  // 10 units of time
        tank.step();
    const double fastest = water.largestSpeed();
    double highest = -1.0, lowest = 1e9;
    for (uint32_t i = 0; i < cells; ++i) {
        highest = std::fmax(highest, water.surfaceInColumn(i));
        lowest = std::fmin(lowest, water.surfaceInColumn(i));
    }
    const double floor = tank.pressure.values.at(cells / 2, rows - 1);
    const double expected = scene.density * 9.8 * (rows - 0.5) * dx - scene.density * 9.8 * water.surfaceInColumn(cells / 2);
    std::printf("depth %.5f, largest speed %.3g, surface %.5f to %.5f (cells), floor pressure %.5f against %.5f\n",
                depth, fastest, lowest / dx, highest / dx, floor, expected);
    EXPECT_LT(fastest, 1e-3 * std::sqrt(9.8 * depth));
    EXPECT_LT((highest - lowest) / dx, 0.1);
    EXPECT_NEAR(floor, expected, 0.02 * expected);
}

// The first standing wave of a tank of width 1 and depth h, its surface
// raised by a cos(pi x) with a = 1/100 and let go: the time between the
// surface's crossings of its mean level at the two walls, against linear
// theory's period 2 pi / sqrt(g k tanh(k h)), k = pi. The amplitude is a
// third of a cell: a surface placed at whole cells would not see it swing.
struct Swing {
    double period = 0.0, theory = 0.0, lastAmplitude = 0.0, area[2] = {0.0, 0.0};
};

Swing standingWave(uint32_t cells, double depth)
{
    const uint32_t rows = uint32_t(std::lround(cells * depth * 1.5));
    const double step = 0.15 / cells;  // about 0.15 s a period on 32 cells: 240 ticks a period
    const Scene scene = tank(cells, rows, step);
    const double top = rows * scene.cellSize - depth, amplitude = 0.01;
    Tank tank(scene, below([&](double x) { return top - amplitude * std::cos(pi * x); }));
    const LiquidSolver& wave = tank.liquid;
    Swing swing;
    const double k = pi;
    swing.theory = 2.0 * pi / std::sqrt(9.8 * k * std::tanh(k * depth));
    swing.area[0] = wave.area();
    // Half the height at the left wall's column above that at the right
    // wall's: the mode's amplitude, whatever the mean level.
    auto height = [&] { return 0.5 * (wave.surfaceInColumn(cells - 1) - wave.surfaceInColumn(0)); };
    std::vector<double> crossings;
    double before = height(), peak = 0.0;
    const int ticks = int(std::ceil(3.2 * swing.theory / step));
    for (int tick = 1; tick <= ticks; ++tick) {
        tank.step();
        const double now = height();
        peak = std::fmax(peak, std::fabs(now));
        if ((before > 0.0) != (now > 0.0)) {
            crossings.push_back((tick - 1 + before / (before - now)) * step);
            swing.lastAmplitude = peak;
            peak = 0.0;
        }
        before = now;
    }
    swing.area[1] = wave.area();
    // Half a period from each crossing to the next.
    if (crossings.size() >= 3)
        swing.period = 2.0 * (crossings.back() - crossings.front()) / double(crossings.size() - 1);
    return swing;
}

TEST(Liquid, AStandingWaveSwingsAtLinearTheorysPeriod)
{
    // On 64 cells the wave is two thirds of a cell high; on fewer, the seeds'
    // half-cell steps are as large as the wave itself.
    const Swing swing = standingWave(64, 0.5);
    std::printf("period %.4f against %.4f (%+.2f %%), last half swing %.4f of 0.01, area %.6f to %.6f\n",
                swing.period, swing.theory, 100.0 * (swing.period / swing.theory - 1.0), swing.lastAmplitude,
                swing.area[0], swing.area[1]);
    EXPECT_NEAR(swing.period, swing.theory, 0.015 * swing.theory);  // measured +0.50 %
    EXPECT_GT(swing.lastAmplitude, 0.5 * 0.01);                     // it swings on, not smeared flat
    EXPECT_NEAR(swing.area[1], swing.area[0], 0.005 * swing.area[0]);
}

// A column of water let go in a tank with a block on its floor: the water
// keeps its area while it runs, strikes the block and the far wall, and no
// particle ever enters the block.
TEST(Liquid, ABrokenDamKeepsItsAreaAndStaysOutOfSolids)
{
    Scene scene = tank(40, 20, 0.004);
    scene.rectangles.push_back(SolidRectangle{24, 15, 27, 19, std::nan("")});
    const double dx = scene.cellSize;
    Tank tank(scene, {[&](double x, double y) { return x < 10 * dx && y > 4 * dx; }, {}});
    const LiquidSolver& dam = tank.liquid;
    const double start = dam.area();
    double farthest = 0.0;
    for (int tick = 0; tick < 400; ++tick) {
        tank.step();
        for (const LiquidParticle& p : dam.particles()) {
            ASSERT_FALSE(tank.domain.solidAt(p.x, p.y)) << "a particle inside the block at tick " << tick;
            farthest = std::fmax(farthest, p.x);
        }
    }
    std::printf("area %.6f to %.6f, the front at %.2f cells\n", start, dam.area(), farthest / dx);
    EXPECT_GT(farthest, 30 * dx);  // it did run past the block
    EXPECT_NEAR(dam.area(), start, 0.01 * start);
}

// A scene file's liquid: a column let go, and a disc thrown at a slant.
const char* const thrownText =
    "[grid]\ncells = [48, 24]\ncell_size = 0.02\n[fluid]\ndensity = 1000.0\ngravity = [0.0, 9.8]\n"
    "[time]\nstep = 0.003\n[[liquid]]\nrectangle = { from = [0.0, 0.2], to = [0.2, 0.48] }\n"
    "[[liquid]]\ndisc = { centre = [0.6, 0.2], radius = 0.08 }\nvelocity = [1.0, -1.5]\n"
    "[[solid]]\nrectangle = { from = [30, 18], to = [33, 23] }\n";

bool sameParticles(const FluidSolver& a, const FluidSolver& b)
{
    const std::vector<LiquidParticle>& x = a.liquid->particles();
    const std::vector<LiquidParticle>& y = b.liquid->particles();
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(LiquidParticle)) == 0;
}

TEST(Liquid, ASavedRunGoesOnBitForBitAndAParticleOutsideTheGridIsRefused)
{
    const Scene scene = testing_support::sceneFrom(thrownText);
    FluidSolver original(scene);
    for (int tick = 0; tick < 40; ++tick)
        original.step();
    SavedRun read;
    std::string error;
    ASSERT_TRUE(readState(writeState(original.saveState(40)), "run.state", 51, read, error)) << error;
    FluidSolver resumed(read.scene);
    ASSERT_TRUE(resumed.restoreState(read, error)) << error;
    for (int tick = 0; tick < 40; ++tick) {
        original.step();
        resumed.step();
    }
    EXPECT_TRUE(sameParticles(original, resumed));
    EXPECT_EQ(0, std::memcmp(original.velocity->u.data.get(), resumed.velocity->u.data.get(),
                             original.velocity->u.size() * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(original.pressure->values.data.get(), resumed.pressure->values.data.get(),
                             original.pressure->values.size() * sizeof(double)));

    SavedRun outside = read;
    outside.liquid[8 * 7] = 48 * 0.02 + 0.001;  // the eighth particle's x, beyond the right wall
    FluidSolver refused(outside.scene);
    EXPECT_FALSE(refused.restoreState(outside, error));
    EXPECT_EQ(error, "a particle of its liquid lies outside the grid");
    SavedRun none = read;
    none.liquid.clear();
    EXPECT_FALSE(FluidSolver(none.scene).restoreState(none, error));
    EXPECT_EQ(error, "it lacks the scene's liquid");
}

TEST(Liquid, TheSameBitsOnOneTwoAndThreeThreads)
{
    const Scene scene = testing_support::sceneFrom(thrownText);
    const int before = parallel::threadCount();
    auto runOn = [&](int threads) {
        parallel::setThreadCount(threads);
        auto solver = std::make_unique<FluidSolver>(scene);
        for (int tick = 0; tick < 30; ++tick)
            solver->step();
        return solver;
    };
    const auto one = runOn(1);
    for (int threads : {2, 3}) {
        const auto many = runOn(threads);
        EXPECT_TRUE(sameParticles(*one, *many)) << threads << " threads";
    }
    parallel::setThreadCount(before);
}

// A disc of water thrown upwards at a slant in an empty box flies as a
// body: its centroid follows the parabola and it keeps its area.
TEST(Liquid, AThrownBlobFollowsItsParabola)
{
    Scene scene = testing_support::sceneFrom(
        "[grid]\ncells = [64, 64]\ncell_size = 0.015625\n[fluid]\ndensity = 1000.0\ngravity = [0.0, 9.8]\n"
        "[time]\nstep = 0.001\n[[liquid]]\ndisc = { centre = [0.3, 0.6], radius = 0.1 }\nvelocity = [1.0, -2.0]\n");
    FluidSolver blob(scene);
    auto centroid = [&] {
        double x = 0.0, y = 0.0;
        for (const LiquidParticle& p : blob.liquid->particles())
            x += p.x, y += p.y;
        const double n = double(blob.liquid->particles().size());
        return std::pair<double, double>{x / n, y / n};
    };
    const auto [x0, y0] = centroid();
    const double area0 = blob.liquid->area();
    double farthest = 0.0, areaChange = 0.0;
    for (int tick = 1; tick <= 400; ++tick) {  // 0.4 units of time: up and on its way down, clear of the walls
        blob.step();
        const double t = tick * scene.timeStep;
        const auto [x, y] = centroid();
        farthest = std::fmax(farthest, std::hypot(x - (x0 + 1.0 * t), y - (y0 - 2.0 * t + 0.5 * 9.8 * t * t)));
        areaChange = std::fmax(areaChange, std::fabs(blob.liquid->area() / area0 - 1.0));
    }
    std::printf("centroid at most %.3f cells from the parabola, area within %.3f %%\n", farthest / scene.cellSize,
                100.0 * areaChange);
    EXPECT_LT(farthest, 0.25 * scene.cellSize);  // measured 0.12 cells
    EXPECT_LT(areaChange, 0.008);                 // measured 0.63 %, where 0.5 % is the aim
}

// The shipped liquid scenes: every solve converges, the liquid cells are
// left without divergence, and the water keeps its area.
TEST(Liquid, TheShippedScenesRunWithTheirAreaKept)
{
    for (const char* name : {"dam-break", "sloshing"}) {
        SCOPED_TRACE(name);
        Scene scene;
        std::string error;
        ASSERT_TRUE(loadSceneFile(std::string(FLOWBOX_SCENES "/") + name + ".toml", scene, error)) << error;
        FluidSolver solver(scene);
        const double start = solver.liquid->area();
        for (int tick = 0; tick < 300; ++tick) {
            solver.step();
            ASSERT_TRUE(solver.lastPressureSolve().converged) << "tick " << tick;
        }
        double largest = 0.0;
        const VelocityField& v = *solver.velocity;
        for (uint32_t i = 0; i < solver.nx; ++i)
            for (uint32_t j = 0; j < solver.ny; ++j)
                if (solver.liquid->liquidCell(i, j))
                    largest = std::fmax(largest, std::fabs(v.u.at(i + 1, j) - v.u.at(i, j) + v.v.at(i, j + 1) -
                                                           v.v.at(i, j)));
        std::printf("%s: area %.6f to %.6f, largest divergence %.3g\n", name, start, solver.liquid->area(), largest);
        // Measured: the dam's +1.4 % as its surge strikes the far wall (its
        // splash, thin, is seen a little thick), within 0.6 % once it settles.
        EXPECT_NEAR(solver.liquid->area(), start, 0.02 * start);
        // What the projection leaves is the crowded cells' spreading, a few hundredths of a cell a tick.
        EXPECT_LT(largest * scene.timeStep / solver.dx, 0.05);
    }
}

}  // namespace
