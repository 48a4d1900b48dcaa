// Work split over threads: every index once, and the same bits from a scene
// whatever the number of threads.
#include "parallel/thread_pool.h"
#include "sim/flow/fluid_solver.h"

#include "tests/support/scenes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::sceneFrom;
using testing_support::values;

// Puts the thread count back for the tests that follow.
class ThreadCount : public ::testing::Test {
protected:
    void TearDown() override { parallel::setThreadCount(before); }
    const int before = parallel::threadCount();
};

TEST_F(ThreadCount, EveryIndexIsVisitedOnceWhateverTheCountAndSize)
{
    for (int threads : {1, 2, 3, 5}) {
        parallel::setThreadCount(threads);
        ASSERT_EQ(parallel::threadCount(), threads);
        for (size_t count : {size_t(0), size_t(1), size_t(4), size_t(7), size_t(1000), size_t(100003)}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(count) + " indices");
            std::vector<std::atomic<int>> visits(count);
            parallel::forRanges(count, 1, [&](size_t first, size_t last) {
                EXPECT_LT(first, last);
                for (size_t k = first; k < last; ++k)
                    ++visits[k];
            });
            for (size_t k = 0; k < count; ++k)
                ASSERT_EQ(visits[k].load(), 1) << "index " << k;
        }
    }
    // More threads than indices worth one: the indices still get a thread each
    // (the two velocity components' viscosity solves on any machine).
    parallel::setThreadCount(5);
    std::thread::id ranOn[2];
    parallel::forRanges(2, 1, [&](size_t first, size_t last) {
        for (size_t k = first; k < last; ++k)
            ranOn[k] = std::this_thread::get_id();
    });
    EXPECT_NE(ranOn[0], ranOn[1]);
    // A loop split inside a range runs there, whole, and returns: the workers
    // it would wait for are busy with the outer loop.
    parallel::setThreadCount(2);
    std::vector<std::atomic<int>> inner(2 * 20000);
    parallel::forRanges(2, 1, [&](size_t first, size_t last) {
        for (size_t outer = first; outer < last; ++outer)
            parallel::forRanges(20000, 1, [&](size_t from, size_t to) {
                for (size_t k = from; k < to; ++k)
                    ++inner[outer * 20000 + k];
            });
    });
    for (size_t k = 0; k < inner.size(); ++k)
        ASSERT_EQ(inner[k].load(), 1) << "index " << k;
    // Out of range asks are held to 1 and 64.
    parallel::setThreadCount(0);
    EXPECT_EQ(parallel::threadCount(), 1);
    parallel::setThreadCount(1000);
    EXPECT_EQ(parallel::threadCount(), 64);
}

struct State {
    std::vector<double> u, v, pressure, dye, temperature;
};

// A scene run from rest on a given number of threads; large enough that
// every split loop is split.
State runOn(int threads, const std::string& text, int ticks)
{
    parallel::setThreadCount(threads);
    FluidSolver solver(sceneFrom(text));
    const float colour[3] = {0.9f, 0.4f, 0.1f};
    solver.enableDye();
    solver.pourDye(0.3 * solver.nx * solver.dx, 0.5 * solver.ny * solver.dx, 20 * solver.dx, colour);
    for (int tick = 0; tick < ticks; ++tick) {
        solver.push({0.5 * solver.nx * solver.dx, 0.4 * solver.ny * solver.dx, 30 * solver.dx, 10 * solver.dx});
        solver.step();
        EXPECT_TRUE(solver.lastPressureSolve().converged);
    }
    State state{values(solver.velocity->u), values(solver.velocity->v), values(solver.pressure->values), {}, {}};
    for (const GridArray& channel : solver.dye->channel) {
        const std::vector<double> channelValues = values(channel);
        state.dye.insert(state.dye.end(), channelValues.begin(), channelValues.end());
    }
    if (solver.heat)
        state.temperature = values(solver.heat->temperature);
    return state;
}

TEST_F(ThreadCount, ScenesGiveTheSameBitsOnOneTwoAndThreeThreads)
{
    const std::string scenes[] = {
        // A closed box (a singular pressure matrix), a sliding lid, viscosity, MacCormack.
        "[grid]\ncells = [200, 170]\ncell_size = 0.01\n[fluid]\nviscosity = 0.001\ngravity = [0.0, 0.0]\n"
        "[time]\nstep = 0.002\n[advection]\nscheme = \"maccormack\"\n[walls]\ntop = { slide = 1.0 }\n"
        "left = \"no-slip\"\nright = \"no-slip\"\nbottom = \"no-slip\"\n",
        // A channel past solids to an outlet, a band pouring dye, gravity, odd sides, heat.
        "[grid]\ncells = [251, 163]\ncell_size = 0.02\n[time]\nstep = 0.004\n"
        "[[inflow]]\nside = \"left\"\ncells = [10, 150]\nspeed = 2.0\ndye = [0.2, 0.6, 1.0]\n"
        "[[outlet]]\nside = \"right\"\ncells = [0, 162]\n"
        "[[solid]]\ndisc = { centre = [60.0, 80.0], radius = 15.0 }\ntemperature = 2.0\n"
        "[[solid]]\nrectangle = { from = [120, 0], to = [125, 90] }\n"
        "[heat]\ndiffusivity = 0.002\nexpansion = 0.1\n[heat.walls]\nbottom = 1.0\n",
        // Hybrid differences past a disc that cuts cells, at a step they take in parts.
        "[grid]\ncells = [190, 77]\ncell_size = 0.01\n[fluid]\nviscosity = 0.002\n[time]\nstep = 0.012\n"
        "[advection]\nscheme = \"hybrid\"\n[[inflow]]\nside = \"left\"\ncells = [0, 76]\nspeed = 1.5\n"
        "[[outlet]]\nside = \"right\"\ncells = [0, 76]\n"
        "[[solid]]\ndisc = { centre = [50.3, 38.2], radius = 11.7, surface = \"cut\" }\n",
    };
    for (const std::string& text : scenes) {
        SCOPED_TRACE(text);
        const State one = runOn(1, text, 4);
        for (int threads : {2, 3}) {
            SCOPED_TRACE(std::to_string(threads) + " threads");
            const State many = runOn(threads, text, 4);
            // Bit for bit: EXPECT_EQ on the vectors compares with ==, and no value here is NaN.
            EXPECT_EQ(many.u, one.u);
            EXPECT_EQ(many.v, one.v);
            EXPECT_EQ(many.pressure, one.pressure);
            EXPECT_EQ(many.dye, one.dye);
            EXPECT_EQ(many.temperature, one.temperature);
        }
    }
}

}  // namespace
