// Field views of flows whose fields are known: a solid-body rotation has one
// vorticity everywhere and so one colour, its sign shown by the side of the
// diverging map; a uniform stream has one speed; a scene's fixed range holds
// whatever the field does, a following range moves towards a new one gently.
#include "sim/measure/cell_fields.h"
#include "sim/flow/fluid_solver.h"
#include "view/colour_map.h"
#include "view/frame.h"

#include "tests/support/scenes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>

namespace {

using testing_support::sceneFrom;

const char* closedBox = "[grid]\ncells = [20, 16]\ncell_size = 0.5\n[fluid]\ngravity = [0.0, 0.0]\n";

// Every face at the velocity of a turn at omega about the box's centre,
// counterclockwise in the picture for omega above 0 (y down).
void rotate(FluidSolver& solver, double omega)
{
    const double cx = 0.5 * solver.nx * solver.dx, cy = 0.5 * solver.ny * solver.dx;
    for (uint32_t i = 0; i <= solver.nx; ++i)
        for (uint32_t j = 0; j < solver.ny; ++j)
            solver.velocity->u.at(i, j) = omega * ((j + 0.5) * solver.dx - cy);
    for (uint32_t i = 0; i < solver.nx; ++i)
        for (uint32_t j = 0; j <= solver.ny; ++j)
            solver.velocity->v.at(i, j) = -omega * ((i + 0.5) * solver.dx - cx);
}

std::set<std::tuple<int, int, int>> coloursOf(const Frame& frame)
{
    std::set<std::tuple<int, int, int>> colours;
    for (size_t k = 0; k + 2 < frame.cellColours.size(); k += 3)
        colours.insert({frame.cellColours[k], frame.cellColours[k + 1], frame.cellColours[k + 2]});
    return colours;
}

}  // namespace

TEST(FieldView, ASolidBodyRotationHasOneVorticityAndOneColourOnItsSide)
{
    for (double omega : {1.5, -0.7}) {
        SCOPED_TRACE(omega);
        FluidSolver solver(sceneFrom(closedBox));
        rotate(solver, omega);
        // The curl of a turn is twice its rate, in every cell, at the border too.
        for (double vorticity : cellValues(solver, CellField::vorticity))
            EXPECT_NEAR(vorticity, 2.0 * omega, 1e-12);
        Frame frame;
        FrameOptions options;
        options.field = CellField::vorticity;
        composeFrame(solver, 400, 320, frame, options);
        const auto colours = coloursOf(frame);
        ASSERT_EQ(colours.size(), 1u);
        // Centred on 0, the range reaches the field's own value: its end of the map.
        EXPECT_DOUBLE_EQ(frame.colourBar.high, 2.0 * std::fabs(omega));
        EXPECT_DOUBLE_EQ(frame.colourBar.low, -frame.colourBar.high);
        const auto [red, green, blue] = *colours.begin();
        EXPECT_TRUE(omega > 0 ? red > blue + 100 : blue > red + 100) << red << " " << blue;
        EXPECT_TRUE(frame.colourBar.shown);
        EXPECT_EQ(frame.colourBar.title, "vorticity");
    }
}

TEST(FieldView, AUniformStreamHasOneSpeedAndSolidsShowNone)
{
    FluidSolver solver(sceneFrom(std::string(closedBox) + "[[solid]]\nrectangle = { from = [3, 3], to = [4, 5] }\n"));
    for (size_t k = 0; k < solver.velocity->u.size(); ++k)
        solver.velocity->u.data[k] = 0.6;
    for (size_t k = 0; k < solver.velocity->v.size(); ++k)
        solver.velocity->v.data[k] = -0.8;
    const std::vector<double> speed = cellValues(solver, CellField::speed);
    for (uint32_t i = 0; i < solver.nx; ++i)
        for (uint32_t j = 0; j < solver.ny; ++j) {
            const double value = speed[size_t(i) * solver.ny + j];
            if (solver.domain.isSolid(i, j))
                EXPECT_TRUE(std::isnan(value));
            else
                EXPECT_DOUBLE_EQ(value, 1.0);
        }
    // A field the solver lacks is drawn as the flow, without a bar.
    EXPECT_TRUE(cellValues(solver, CellField::temperature).empty());
    Frame frame;
    FrameOptions options;
    options.field = CellField::temperature;
    composeFrame(solver, 400, 320, frame, options);
    EXPECT_FALSE(frame.colourBar.shown);
    EXPECT_FALSE(frame.dots.empty());
}

TEST(FieldView, AFixedRangeHoldsAndAFollowingOneMovesGently)
{
    FluidSolver fixed(sceneFrom(std::string(closedBox) + "[view.range]\nspeed = [0.0, 4.0]\n"));
    FluidSolver following(sceneFrom(closedBox));
    Frame fixedFrame, followingFrame;
    FrameOptions options;
    options.field = CellField::speed;
    for (double omega : {1.0, 3.0, 3.0}) {
        rotate(fixed, omega);
        rotate(following, omega);
        composeFrame(fixed, 400, 320, fixedFrame, options);
        composeFrame(following, 400, 320, followingFrame, options);
        EXPECT_EQ(fixedFrame.colourBar.low, 0.0);
        EXPECT_EQ(fixedFrame.colourBar.high, 4.0);
    }
    // The fastest cell of the turn tripled; the range went a part of the way, twice.
    const double first = std::hypot(9.5, 7.5) * 0.5;
    EXPECT_GT(followingFrame.colourBar.high, 1.3 * first);
    EXPECT_LT(followingFrame.colourBar.high, 3.0 * first);

    // Its low end follows as gently: a stream of one speed, 1 then 3, spans
    // 0.5 to 1.5 and then moves towards 1.5 to 4.5 at both ends.
    FluidSolver stream(sceneFrom(closedBox));
    Frame streamFrame;
    for (double speed : {1.0, 3.0}) {
        std::fill(stream.velocity->u.data.get(), stream.velocity->u.data.get() + stream.velocity->u.size(), speed);
        composeFrame(stream, 400, 320, streamFrame, options);
    }
    EXPECT_GT(streamFrame.colourBar.low, 0.6);
    EXPECT_LT(streamFrame.colourBar.low, 1.4);
    EXPECT_GT(streamFrame.colourBar.high, 1.6);
    EXPECT_LT(streamFrame.colourBar.high, 4.4);
}

// The bar's ends are the colours of the field's ends: its top that of the
// hottest cells, its bottom that of the coldest.
TEST(FieldView, TheColourBarRunsFromTheColdestCellsColourToTheHottests)
{
    FluidSolver solver(sceneFrom(std::string(closedBox) + "[heat]\ninitial = 0.0\n"));
    for (uint32_t i = 0; i < solver.nx; ++i)
        for (uint32_t j = 0; j < solver.ny; ++j)
            solver.heat->temperature.at(i, j) = 0.1 * i - 0.05 * j;
    for (CellField field : {CellField::temperature, CellField::speed}) {
        if (field == CellField::speed)
            rotate(solver, 1.0);
        Frame frame;
        FrameOptions options;
        options.field = field;
        composeFrame(solver, 400, 320, frame, options);
        ASSERT_TRUE(frame.colourBar.shown);
        const std::vector<double> values = cellValues(solver, field);
        const auto [coldest, hottest] = std::minmax_element(values.begin(), values.end());
        auto colourOfCell = [&](std::vector<double>::const_iterator cell) {
            const auto k = size_t(cell - values.begin());
            const uint32_t i = uint32_t(k / solver.ny), j = uint32_t(k % solver.ny);
            const size_t at = (size_t(j) * frame.cellColumns + i) * 3;
            return std::vector<uint8_t>(frame.cellColours.begin() + std::ptrdiff_t(at),
                                        frame.cellColours.begin() + std::ptrdiff_t(at + 3));
        };
        const std::vector<uint8_t>& bar = frame.colourBar.colours;
        EXPECT_EQ(std::vector<uint8_t>(bar.begin(), bar.begin() + 3), colourOfCell(coldest));
        EXPECT_EQ(std::vector<uint8_t>(bar.end() - 3, bar.end()), colourOfCell(hottest));
    }
}

// The colour bar keeps to a corner of any picture: down the side where the
// picture is tall enough for its text and a scale whose two labels stand
// apart, across where it is low (a channel's strip), not at all where even
// that would not fit.
TEST(FieldView, TheColourBarKeepsToACornerOfAnyPicture)
{
    struct Case {
        uint32_t width, height;
        bool shown, across;
    };
    for (const Case c : {Case{600, 360, true, false}, Case{2000, 1200, true, false}, Case{440, 82, true, true},
                         Case{880, 164, true, false}, Case{600, 150, true, true}, Case{240, 300, false, false},
                         Case{200, 80, false, false}, Case{600, 60, false, false}, Case{100, 400, false, false}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        // A grid of the picture's proportions, two pixels a cell.
        FluidSolver solver(sceneFrom("[grid]\ncells = [" + std::to_string(c.width / 2) + ", " +
                                     std::to_string(c.height / 2) + "]\n[fluid]\ngravity = [0.0, 0.0]\n"));
        rotate(solver, 1.0);
        Frame frame;
        FrameOptions options;
        options.field = CellField::vorticity;
        composeFrame(solver, c.width, c.height, frame, options);
        const ColourBar& bar = frame.colourBar;
        ASSERT_EQ(bar.shown, c.shown);
        if (!c.shown)
            continue;
        EXPECT_EQ(bar.across, c.across);
        EXPECT_LE(bar.width, 0.4 * c.width);
        EXPECT_LE(bar.height, 0.6 * c.height + 1e-3);
        EXPECT_GE(bar.x, 0.0f);
        EXPECT_LE(bar.x + bar.width, float(c.width));
        // Down the side: the scale between the two labels is taller than a line of text.
        if (!bar.across) {
            EXPECT_GE(bar.height, 96.0f);
        }
    }
}
