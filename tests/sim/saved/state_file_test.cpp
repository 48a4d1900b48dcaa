// A saved state: what a window drew, poured and ran comes back bit for bit
// and runs on as before; a file sealed with a good checksum but holding what
// no run writes is refused, as is a state that does not fit its scene.
#include "sim/flow/fluid_solver.h"
#include "sim/saved/sha256.h"
#include "sim/saved/state_file.h"

#include "tests/support/scenes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

namespace {

using testing_support::sceneFrom;
using testing_support::values;

const std::string sceneText =
    "[grid]\ncells = [12, 9]\ncell_size = 0.5\n[time]\nstep = 0.03\n"
    "[fluid]\nviscosity = 0.02\n[advection]\nscheme = \"maccormack\"\n"
    "[[inflow]]\nside = \"left\"\ncells = [2, 5]\nspeed = 1.5\ndye = [1.0, 0.5, 0.0]\n"
    "[[outlet]]\nside = \"right\"\ncells = [0, 8]\n"
    "[[solid]]\ndisc = { centre = [6.0, 4.5], radius = 1.2 }\n"
    "[[solid]]\ndisc = { centre = [9.3, 4.6], radius = 1.6, surface = \"cut\" }\n"
    "[heat]\ndiffusivity = 0.02\nexpansion = 0.3\n[heat.walls]\nbottom = 1.0\n";

bool sameBits(const GridArray& a, const GridArray& b)
{
    return a.size() == b.size() && std::memcmp(a.data.get(), b.data.get(), a.size() * sizeof(double)) == 0;
}

SavedRun savedFrom(const FluidSolver& solver)
{
    return solver.saveState(9);
}

// A solver that has run, with cells drawn and erased and dye poured by hand.
void runAsAWindowWould(FluidSolver& solver)
{
    for (int tick = 0; tick < 4; ++tick)
        solver.step();
    ASSERT_TRUE(solver.domain.isSolid(6, 4) && !solver.domain.isSolid(3, 2));
    ASSERT_TRUE(solver.setSolid(3, 2, true));
    ASSERT_TRUE(solver.setSolid(6, 4, false));  // the disc's centre given back to the fluid
    ASSERT_TRUE(solver.setSolid(8, 3, true));   // a cell the other disc cuts, filled
    const float blue[3] = {0.0f, 0.2f, 1.0f};
    solver.pourDye(4.0, 3.0, 1.0, blue);
    for (int tick = 0; tick < 5; ++tick)
        solver.step();
}

}  // namespace

TEST(StateFile, AWindowsRunWrittenAndReadGoesOnBitForBit)
{
    FluidSolver original(sceneFrom(sceneText));
    runAsAWindowWould(original);
    SavedRun read;
    std::string error;
    ASSERT_TRUE(readState(writeState(savedFrom(original)), "run.state", 51, read, error)) << error;
    EXPECT_EQ(read.tick, 9u);
    FluidSolver resumed(read.scene);
    ASSERT_TRUE(resumed.restoreState(read, error)) << error;
    EXPECT_TRUE(resumed.domain.isSolid(3, 2));
    EXPECT_FALSE(resumed.domain.isSolid(6, 4));
    for (int tick = 0; tick < 6; ++tick) {
        original.step();
        resumed.step();
    }
    EXPECT_TRUE(sameBits(original.velocity->u, resumed.velocity->u));
    EXPECT_TRUE(sameBits(original.velocity->v, resumed.velocity->v));
    EXPECT_TRUE(sameBits(original.pressure->values, resumed.pressure->values));
    EXPECT_TRUE(sameBits(original.heat->temperature, resumed.heat->temperature));
    for (int c = 0; c < 3; ++c)
        EXPECT_TRUE(sameBits(original.dye->channel[c], resumed.dye->channel[c])) << "dye channel " << c;
}

// A lid starting a viscous cavity: the viscosity's solves start from their
// last steps grown, which the saved run must carry on too.
TEST(StateFile, ARunSavedWhileItsViscositysStepsGrowGoesOnBitForBit)
{
    const Scene scene = sceneFrom("[grid]\ncells = [24, 20]\ncell_size = 0.05\n[time]\nstep = 0.01\n"
                                  "[fluid]\nviscosity = 0.05\ngravity = [0.0, 0.0]\n"
                                  "[walls]\ntop = { slide = 1.0 }\n");
    FluidSolver original(scene);
    for (int tick = 0; tick < 6; ++tick)
        original.step();
    SavedRun read;
    std::string error;
    const SavedRun saved = original.saveState(6);
    ASSERT_TRUE(saved.stepsGrow[0] || saved.stepsGrow[1]) << "the case no longer grows its steps";
    ASSERT_TRUE(readState(writeState(saved), "run.state", 51, read, error)) << error;
    FluidSolver resumed(read.scene);
    ASSERT_TRUE(resumed.restoreState(read, error)) << error;
    for (int tick = 0; tick < 3; ++tick) {
        original.step();
        resumed.step();
        EXPECT_EQ(original.lastDiffusionSolve().iterations, resumed.lastDiffusionSolve().iterations);
    }
    EXPECT_TRUE(sameBits(original.velocity->u, resumed.velocity->u));
    EXPECT_TRUE(sameBits(original.velocity->v, resumed.velocity->v));
    EXPECT_TRUE(sameBits(original.pressure->values, resumed.pressure->values));
}

// What a damaged disk or a crafted file could hold behind a good checksum.
TEST(StateFile, WhatNoRunWritesIsRefusedBehindAGoodChecksum)
{
    FluidSolver solver(sceneFrom(sceneText));
    runAsAWindowWould(solver);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    SavedTracer tracer;
    tracer.trail = {1.0f, 1.0f, 1.5f, 1.0f};
    struct Case {
        const char* name;
        std::function<void(SavedRun&)> change;
        const char* says;
    };
    const Case cases[] = {
        {"a scene that is not one", [](SavedRun& r) { r.scene.text = "[grid]\ncells = 3\n"; }, "scene"},
        {"a short velocity", [](SavedRun& r) { r.u.pop_back(); }, "velocity u"},
        {"a tick count past any run's", [](SavedRun& r) { r.tick = ~uint64_t(0); }, "tick count"},
        {"a pressure of NaN", [&](SavedRun& r) { r.pressure[5] = nan; }, "not a finite number"},
        {"a cell flag of 2", [](SavedRun& r) { r.solid[0] = 2; }, "neither solid nor fluid"},
        {"fewer solid flags", [](SavedRun& r) { r.solid.pop_back(); }, "solid cells"},
        {"dye without blue", [](SavedRun& r) { r.dye[2].clear(); }, "dye"},
        {"half the temperatures", [](SavedRun& r) { r.balanced.clear(); }, "temperatures"},
        {"a tracer nowhere",
         [&](SavedRun& r) {
             r.tracers.push_back(tracer);
             r.tracers.back().y = std::numeric_limits<float>::infinity();
         },
         "tracer"},
        {"an endless trail",
         [&](SavedRun& r) {
             r.tracers.push_back(tracer);
             r.tracers.back().trail.resize(2 * 52, 1.0f);
         },
         "trail"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SavedRun changed = savedFrom(solver);
        c.change(changed);
        SavedRun read;
        std::string error;
        EXPECT_FALSE(readState(writeState(changed), "run.state", 51, read, error));
        EXPECT_EQ(error.rfind("run.state: damaged: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

// Format 1 kept what the viscosity solves added where format 2 keeps their
// answers: its files are read past that part, and their runs go on.
TEST(StateFile, AFileOfTheFormatBeforeGoesOn)
{
    SavedRun read;
    std::string error;
    ASSERT_TRUE(loadStateFile(FLOWBOX_OLD_STATE, 51, read, error)) << error;
    ASSERT_GT(read.scene.viscosity, 0.0);
    EXPECT_FALSE(read.tracers.empty());
    EXPECT_TRUE(read.diffused[0].empty() && read.diffusedStep[1].empty());
    FluidSolver resumed(read.scene);
    ASSERT_TRUE(resumed.restoreState(read, error)) << error;
    for (int tick = 0; tick < 5; ++tick) {
        resumed.step();
        ASSERT_TRUE(resumed.lastDiffusionSolve().converged && resumed.lastPressureSolve().converged);
    }
    const SavedRun again = resumed.saveState(read.tick + 5);
    EXPECT_EQ(again.diffused[0].size(), resumed.velocity->u.size());
    EXPECT_EQ(again.diffusedStep[1].size(), resumed.velocity->v.size());
}

TEST(StateFile, AStateThatDoesNotFitItsSceneIsRefused)
{
    FluidSolver solver(sceneFrom(sceneText));
    runAsAWindowWould(solver);
    // A cell of the inflow band, which no window can fill.
    SavedRun atOpening = savedFrom(solver);
    atOpening.solid[3] = 1;
    // The cell inside the cutting disc whole, given to the fluid.
    SavedRun insideDisc = savedFrom(solver);
    ASSERT_EQ(insideDisc.solid[9 * 9 + 4], 1);
    insideDisc.solid[9 * 9 + 4] = 0;
    // The temperature of a scene without heat.
    Scene withoutHeat = sceneFrom(sceneText.substr(0, sceneText.find("[heat]")));
    for (auto [scene, run] : {std::pair<Scene, SavedRun>{solver.scene, atOpening},
                              std::pair<Scene, SavedRun>{solver.scene, insideDisc},
                              std::pair<Scene, SavedRun>{withoutHeat, savedFrom(solver)}}) {
        FluidSolver fresh(scene);
        std::string problem;
        EXPECT_FALSE(fresh.restoreState(run, problem));
        EXPECT_FALSE(problem.empty());
    }
}

// The checksum a saved run ends with is SHA-256: its published examples, and
// lengths on either side of its padding's block edges against Python's hashlib.
TEST(StateFile, TheChecksumIsSha256)
{
    auto hex = [](std::string_view bytes) {
        std::string text;
        char two[3];
        for (uint8_t b : sha256(bytes)) {
            std::snprintf(two, sizeof two, "%02x", b);
            text += two;
        }
        return text;
    };
    EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    const std::pair<size_t, const char*> edges[] = {
        {55, "e7313d333c272e639f790978283f9eb392e843d0f29b7016828bb1daa4aac70b"},
        {56, "4324d65f3c103567f5589c710bc08f8523f929a9272e3af36fc968e52abc6c27"},
        {63, "81c80242132f230c3bd41b3e63bbcff16107339549214a99614ff26664625055"},
        {64, "39e3d7b6b5d075d37d053ad89b24b41bef4f3c29760c84447cab3f3be1882241"},
        {119, "9ce7368e4daf32341631b492e80359dc9f594b48453cd0dd5bf0b19279cc177e"},
        {120, "7836b787757e95e58b3ca5aec90b1b004e8deba1e50e9675af9cabf1a13a04b5"},
    };
    for (const auto& [length, digest] : edges) {
        std::string bytes(length, '\0');
        for (size_t k = 0; k < length; ++k)
            bytes[k] = char((k * 7 + 3) % 256);
        EXPECT_EQ(hex(bytes), digest) << length << " bytes";
    }
}

// Saving over a file replaces it whole, keeps its permissions and leaves
// nothing beside it; a folder that is not there, or a file that cannot be
// read, gets one line with the system's reason, and nothing is written.
TEST(StateFile, ASaveReplacesTheFileWholeOrLeavesItAsItWas)
{
    char folderName[] = "/tmp/flowbox-state-XXXXXX";
    ASSERT_NE(::mkdtemp(folderName), nullptr);
    const std::filesystem::path folder = folderName;
    const std::string path = (folder / "run.state").string();
    FluidSolver solver(sceneFrom(sceneText));
    solver.step();
    std::string error;
    ASSERT_TRUE(saveStateFile(path, solver.saveState(1), error)) << error;
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    solver.step();
    ASSERT_TRUE(saveStateFile(path, solver.saveState(2), error)) << error;
    SavedRun read;
    ASSERT_TRUE(loadStateFile(path, 51, read, error)) << error;
    EXPECT_EQ(read.tick, 2u);
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);

    const std::string nowhere = (folder / "no-such-folder" / "run.state").string();
    EXPECT_FALSE(saveStateFile(nowhere, solver.saveState(2), error));
    EXPECT_EQ(error, nowhere + ": cannot be written (No such file or directory)");
    EXPECT_FALSE(loadStateFile(nowhere, 51, read, error));
    EXPECT_EQ(error, nowhere + ": cannot be read (No such file or directory)");
    EXPECT_FALSE(loadStateFile(folder.string(), 51, read, error));
    EXPECT_EQ(error, folder.string() + ": cannot be read (Is a directory)");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
    std::filesystem::remove_all(folder);
}
