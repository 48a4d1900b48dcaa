// The dye: carried cell to cell through the faces, so that a closed box keeps
// all of it however it is stirred; poured in by bands and let out through
// openings; never inside a solid.
#include "sim/flow/fluid_solver.h"
#include "sim/scene/scene_file.h"

#include "tests/support/scenes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testing_support::sceneFrom;

const float orange[3] = {1.0f, 0.55f, 0.1f};

TEST(Dye, AStirredClosedBoxKeepsEveryBitOfIt)
{
    FluidSolver box(sceneFrom("[grid]\ncells = [30, 20]\n[fluid]\ngravity = [0.0, 0.0]\ndensity = 1.0\n"));
    box.enableDye();
    for (int k = 0; k < 3; ++k)
        box.pourDye(8.5, 10.5, 3.0, orange);
    const double poured = box.dyeTotal(0);
    ASSERT_GT(poured, 1.0);
    // Stirred along the box for ten ticks, then left to swirl.
    for (int k = 0; k < 10; ++k) {
        box.push({5.0 + 2 * k, 10.5, 40.0, 0.0});
        box.step();
    }
    for (int k = 0; k < 50; ++k)
        box.step();
    EXPECT_NEAR(box.dyeTotal(0), poured, 1e-9 * poured);
    EXPECT_GT(box.dye->channel[0].at(25, 10), 0.0);  // and it was carried about
}

// A band pours blue at half a cell a tick: after 80 ticks it has reached the
// outlet, and from then on what comes in only makes up what leaves: the
// channel fills up to full of it, and never fuller.
TEST(Dye, APouringBandFillsAChannelThatLetsItOutAndNeverFuller)
{
    FluidSolver channel(sceneFrom("[grid]\ncells = [30, 10]\n[fluid]\ngravity = [0.0, 0.0]\ndensity = 1.0\n"
                               "[[inflow]]\nside = \"left\"\ncells = [0, 9]\nspeed = 10.0\ndye = [0.0, 0.0, 1.0]\n"
                               "[[outlet]]\nside = \"right\"\ncells = [0, 9]\n"));
    ASSERT_NE(channel.dye, nullptr);  // a scene that pours carries dye
    for (int k = 0; k < 80; ++k)
        channel.step();
    const double full = 30.0 * 10.0;
    EXPECT_GT(channel.dye->channel[2].at(29, 5), 0.9);
    const double settled = channel.dyeTotal(2);
    EXPECT_GT(settled, 0.95 * full);
    EXPECT_LE(settled, full * (1 + 1e-9));
    for (int k = 0; k < 20; ++k)
        channel.step();
    EXPECT_GE(channel.dyeTotal(2), settled);
    EXPECT_LE(channel.dyeTotal(2), full * (1 + 1e-9));
    EXPECT_EQ(channel.dyeTotal(0), 0.0);
}

// A pouring band fills the cells along it with its dye, on whichever side it is.
TEST(Dye, ABandPoursOnEverySide)
{
    const char* opposite[] = {"right", "left", "bottom", "top"};
    for (Side side : {Side::left, Side::right, Side::top, Side::bottom}) {
        SCOPED_TRACE(sideName(side));
        FluidSolver box(sceneFrom(std::string("[grid]\ncells = [12, 10]\n[fluid]\ngravity = [0.0, 0.0]\n"
                                              "density = 1.0\n[[inflow]]\nside = \"") +
                                  sideName(side) + "\"\ncells = [2, 7]\nspeed = 10.0\ndye = [0.0, 0.0, 1.0]\n"
                                                   "[[outlet]]\nside = \"" + opposite[int(side)] +
                                  "\"\ncells = [0, 9]\n"));
        for (int k = 0; k < 10; ++k)
            box.step();
        for (uint32_t cell = 2; cell <= 7; ++cell) {
            const auto [i, j] = borderCell(box.nx, box.ny, side, cell);
            EXPECT_GT(box.dye->channel[2].at(i, j), 0.9) << cell;
            EXPECT_EQ(box.dye->channel[0].at(i, j), 0.0) << cell;
        }
    }
}

TEST(Dye, NeverEntersASolid)
{
    FluidSolver box(sceneFrom("[grid]\ncells = [20, 16]\n[fluid]\ngravity = [0.0, 0.0]\ndensity = 1.0\n"
                           "[[solid]]\nrectangle = { from = [9, 4], to = [10, 11] }\n"
                           "[[solid]]\ndisc = { centre = [15.0, 8.0], radius = 2.0 }\n"));
    box.enableDye();
    box.pourDye(10.0, 8.0, 6.0, orange);  // over the rectangle and beside it
    for (int k = 0; k < 30; ++k) {
        box.push({4.0, 8.0 + (k % 3), 30.0, 0.0});
        box.step();
    }
    double inFluid = 0.0;
    for (uint32_t i = 0; i < box.nx; ++i) {
        for (uint32_t j = 0; j < box.ny; ++j) {
            if (box.domain.isSolid(i, j)) {
                ASSERT_EQ(box.dye->channel[0].at(i, j), 0.0) << i << ", " << j;
            } else {
                inFluid += box.dye->channel[0].at(i, j);
            }
        }
    }
    EXPECT_GT(inFluid, 1.0);
    // A cell drawn solid where dye lies holds none of it.
    ASSERT_GT(box.dye->channel[0].at(8, 8), 0.0);
    ASSERT_TRUE(box.setSolid(8, 8, true));
    EXPECT_EQ(box.dye->channel[0].at(8, 8), 0.0);
}

}  // namespace
