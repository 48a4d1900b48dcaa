#include "sim/flow/fluid_solver.h"
#include "tests/support/fields.h"
#include "view/flow_view.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

struct ShownView {
    FluidSolver solver{50, 50};
    FlowView view;

    explicit ShownView(QSize size)
    {
        view.setSolver(&solver);
        view.resize(size);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
};

bool isGrid(QRgb pixel)
{
    return qRed(pixel) > 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0;
}

bool isBlack(QRgb pixel)
{
    return (pixel & 0xffffff) == 0;
}

TEST(FlowView, FirstFrameShowsTheGridWhereTheCellSizePutsItAndBlackBeyond)
{
    ShownView shown(QSize(600, 340));
    const QImage frame = shown.view.grabFramebuffer();
    ASSERT_EQ(frame.size(), QSize(600, 340));
    EXPECT_EQ(shown.view.viewWidth, 600u);
    EXPECT_EQ(shown.view.viewHeight, 340u);
    const int cell = 6;  // 600/50 = 12 across, 340/50 = 6 down

    // A smoothed one-pixel line on a pixel edge covers the pixels on both sides.
    auto lineAtColumn = [&](int x, int y) {
        return (x < 600 && isGrid(frame.pixel(x, y))) || (x > 0 && isGrid(frame.pixel(x - 1, y)));
    };
    auto lineAtRow = [&](int x, int y) {
        return (y < 340 && isGrid(frame.pixel(x, y))) || (y > 0 && isGrid(frame.pixel(x, y - 1)));
    };
    int vertical = 0, horizontal = 0;
    for (int k = 0; k <= 50; ++k) {
        vertical += lineAtColumn(k * cell, 10 * cell + 5);
        horizontal += lineAtRow(10 * cell + 5, k * cell);
    }
    EXPECT_EQ(vertical, 51);
    EXPECT_EQ(horizontal, 51);

    // Lines cover pixels 5 and 0 of a cell and dots pixels 2 and 3: pixels 1 and 4 stay
    // black, as a resting field draws no arrows.
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(isBlack(frame.pixel(i * cell + 4, 20 * cell + 1))) << i;
        ASSERT_TRUE(isBlack(frame.pixel(20 * cell + 1, i * cell + 4))) << i;
    }
    // Dots at the cell centres are dark green.
    EXPECT_GT(qGreen(frame.pixel(10 * cell + 3, 10 * cell + 3)), 0);

    int coloured = 0;
    for (int y = 0; y < 340; ++y)
        for (int x = 50 * cell + 2; x < 600; ++x)
            coloured += !isBlack(frame.pixel(x, y));
    for (int y = 50 * cell + 2; y < 340; ++y)
        for (int x = 0; x < 600; ++x)
            coloured += !isBlack(frame.pixel(x, y));
    EXPECT_EQ(coloured, 0);
}

TEST(FlowView, GridArrowsAndDotsEachInTheirOwnColour)
{
    // Flow to the right everywhere: from each cell centre an arrow half a cell
    // long along the row. The first frame's trails are single points and draw nothing.
    FluidSolver solver(50, 50);
    testing_support::fillField(*solver.velocity, 1.0, 0.0);
    FlowView view;
    view.setSolver(&solver);
    view.resize(600, 600);  // cell size 12
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QImage frame = view.grabFramebuffer();
    const int centre = 10 * 12 + 6;

    // Grid, dark red (0.1, 0, 0): a vertical line away from arrows and dots.
    const QRgb grid = std::max(frame.pixel(120, centre - 4), frame.pixel(119, centre - 4));
    EXPECT_GT(qRed(grid), 5);
    EXPECT_EQ(qGreen(grid), 0);
    EXPECT_EQ(qBlue(grid), 0);
    // Dot, dark green (0, 0.1, 0), drawn over the arrow's start.
    const QRgb dot = frame.pixel(centre - 1, centre - 1);
    EXPECT_EQ(qRed(dot), 0);
    EXPECT_NEAR(qGreen(dot), 26, 3);
    EXPECT_EQ(qBlue(dot), 0);
    // Arrow, green (0, 0.5, 0): the brighter of the two rows its smoothed line covers.
    const QRgb arrow = std::max(frame.pixel(centre + 3, centre - 1), frame.pixel(centre + 3, centre),
                                [](QRgb a, QRgb b) { return qGreen(a) < qGreen(b); });
    EXPECT_EQ(qRed(arrow), 0);
    EXPECT_GT(qGreen(arrow), 50);
    EXPECT_EQ(qBlue(arrow), 0);
}

TEST(FlowView, HighDpiScreensShowTheSamePictureInDevicePixels)
{
    // Run by CTest with QT_SCALE_FACTOR=2 (window_scaled); at ratio 1 there is nothing to see.
    ShownView shown(QSize(300, 300));  // logical: cell size 6
    const qreal ratio = shown.view.devicePixelRatioF();
    if (ratio != 2.0)
        GTEST_SKIP() << "device pixel ratio " << ratio;
    // A resize after the first show, which the view's own viewport follows.
    shown.view.resize(320, 320);  // logical: still cell size 6
    shown.view.repaint();
    const QImage frame = shown.view.grabFramebuffer();
    ASSERT_EQ(frame.size(), QSize(640, 640));
    // The grid spans the same logical area: lines every 12 device pixels across
    // all of it, in the top rows as in the bottom ones.
    auto lineAtColumn = [&](int x, int y) {
        return (x < 640 && isGrid(frame.pixel(x, y))) || (x > 0 && isGrid(frame.pixel(x - 1, y)));
    };
    for (int y : {15, 303, 579}) {
        int lines = 0;
        for (int k = 0; k <= 50; ++k)
            lines += lineAtColumn(k * 12, y);
        EXPECT_EQ(lines, 51) << "at device row " << y;
    }
}

TEST(FlowView, TrailsAppearInTheirColoursOverTheGrid)
{
    ShownView shown(QSize(600, 600));  // cell size 12
    VelocityField& field = *shown.solver.velocity;
    // Straight down: each trail keeps the colour of its x.
    for (size_t k = 0; k < field.u.size(); ++k)
        field.u.data[k] = 0.0;
    for (size_t k = 0; k < field.v.size(); ++k)
        field.v.data[k] = 2.0;
    // repaint() draws at once once a frame interval has passed since the last
    // composition, as it has between two ticks of the window's timer.
    for (int frame = 0; frame < 30; ++frame) {
        QTest::qWait(25);
        const uint32_t before = shown.view.tracers[0].trail.size();
        shown.view.repaint();
        ASSERT_EQ(shown.view.tracers[0].trail.size(), before + 1) << frame;
    }
    const QImage image = shown.view.grabFramebuffer();

    // Half way along each living trail, the brightest of the pixels across the
    // smoothed line is cyan far right and pale green near the left border.
    int cyanCandidates = 0, cyan = 0, paleCandidates = 0, pale = 0;
    for (const Tracer& tracer : shown.view.tracers) {
        if (tracer.dying || tracer.trail.size() < 20)
            continue;
        const TracerPoint& point = tracer.trail[tracer.trail.size() / 2];
        const int x = int(std::lround(12.0 * point.x)), y = int(std::lround(12.0 * point.y));
        if (x < 1 || x >= 599 || y >= 599)
            continue;
        QRgb brightest = image.pixel(x - 1, y);
        for (int dx : {0, 1})
            if (qGreen(image.pixel(x + dx, y)) > qGreen(brightest))
                brightest = image.pixel(x + dx, y);
        if (point.x > 20.0f) {
            ++cyanCandidates;
            cyan += qGreen(brightest) > 60 && qBlue(brightest) > 2 * qRed(brightest) + 20;
        } else if (point.x < 2.0f) {
            ++paleCandidates;
            pale += qGreen(brightest) > 60 && qRed(brightest) > 20 && std::abs(qRed(brightest) - qBlue(brightest)) < 30;
        }
    }
    EXPECT_GT(cyanCandidates, 100);
    EXPECT_GT(cyan, cyanCandidates * 9 / 10) << cyan << " of " << cyanCandidates;
    EXPECT_GT(paleCandidates, 3);
    EXPECT_GT(pale, paleCandidates * 9 / 10) << pale << " of " << paleCandidates;
}

TEST(FlowView, HostileSizesDrawWithoutHarmAndLeaveTheSimulationAlone)
{
    ShownView shown(QSize(600, 400));
    for (int tick = 0; tick < 5; ++tick)
        shown.solver.step();
    const GridArray& u = shown.solver.velocity->u;
    const std::vector<double> before(u.data.get(), u.data.get() + u.size());
    for (QSize size : {QSize(1, 1), QSize(30, 30), QSize(4000, 3000), QSize(600, 400)}) {
        shown.view.resize(size);
        shown.view.repaint();
        const QImage frame = shown.view.grabFramebuffer();
        EXPECT_EQ(frame.size(), size);
        EXPECT_EQ(shown.view.viewWidth, uint32_t(size.width()));
    }
    EXPECT_EQ(std::vector<double>(u.data.get(), u.data.get() + u.size()), before);
    EXPECT_EQ(shown.view.tracers.size(), 400u);
}

}  // namespace
