// The software renderer against the OpenGL view on the same state: the
// pictures that flowbox-headless --frames writes must be those of the window.
#include "sim/measure/cell_fields.h"
#include "sim/flow/fluid_solver.h"
#include "view/flow_view.h"
#include "view/frame_painter.h"

#include "tests/support/scenes.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int width = 600, height = 361;  // the view in the window at its default size

// What the view drew, and the same state drawn in software.
struct TwoPictures {
    QImage window;
    QImage software;
};

TwoPictures drawBoth(FluidSolver& solver, const FrameOptions& options = {})
{
    FlowView view;
    view.setSolver(&solver);
    view.options = options;
    view.resize(width, height);
    view.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    for (int frame = 0; frame < 40; ++frame) {  // trails of some length
        QTest::qWait(20);
        view.repaint();
    }
    // Grabbing draws a frame of its own: the tracers are then as it drew them.
    TwoPictures pictures{view.grabFramebuffer(), QImage()};
    Frame frame;
    composeFrame(solver, width, height, frame, options);
    composeTrails(view.tracers, frame);
    pictures.software = paintFrame(frame);
    EXPECT_EQ(pictures.window.size(), pictures.software.size());
    return pictures;
}

// Whether a pixel shows a colour of the frame, to the renderers' rounding.
bool drawnIn(QRgb pixel, const FrameColour& colour)
{
    auto near = [](int channel, float value) { return std::abs(channel - int(value * 255.0f + 0.5f)) <= 3; };
    return near(qRed(pixel), colour.red) && near(qGreen(pixel), colour.green) && near(qBlue(pixel), colour.blue);
}

bool gridOnly(QRgb pixel)
{
    return qRed(pixel) > 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0;
}

// Drawn brightly enough to count as an arrow or a trail.
bool lit(QRgb pixel)
{
    return qGreen(pixel) > 60 || qBlue(pixel) > 60;
}

TEST(FramePainter, AtRestGridAndDotsLandOnTheWindowsPixels)
{
    FluidSolver solver(50, 50);
    FlowView view;
    view.setSolver(&solver);
    view.resize(width, height);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QImage window = view.grabFramebuffer();
    Frame frame;
    composeFrame(solver, width, height, frame);
    composeTrails(view.tracers, frame);  // single points: nothing to draw yet
    const QImage software = paintFrame(frame);
    ASSERT_EQ(window.size(), software.size());
    int gridPixels = 0, gridDisagreements = 0, dotDisagreements = 0, beyond = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb a = window.pixel(x, y), b = software.pixel(x, y);
            gridPixels += gridOnly(a);
            gridDisagreements += gridOnly(a) != gridOnly(b);
            dotDisagreements += (qGreen(a) > 0) != (qGreen(b) > 0);
            beyond += (x > 351 || y > 351) && (b & 0xffffff) != 0;
        }
    }
    EXPECT_GT(gridPixels, 10000);
    EXPECT_EQ(gridDisagreements, 0);
    EXPECT_EQ(dotDisagreements, 0);
    EXPECT_EQ(beyond, 0);  // black beyond the grid (cell size 7: 350 pixels and the line's edge)
}

// The share of the bright pixels of one picture that have a bright pixel of
// the other within `reach` pixels.
double matched(const QImage& from, const QImage& in, int reach, int& count)
{
    int found = 0;
    count = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!lit(from.pixel(x, y)))
                continue;
            ++count;
            bool near = false;
            for (int dy = -reach; dy <= reach && !near; ++dy)
                for (int dx = -reach; dx <= reach && !near; ++dx)
                    near = in.valid(x + dx, y + dy) && lit(in.pixel(x + dx, y + dy));
            found += near;
        }
    }
    return count > 0 ? double(found) / count : 0.0;
}

TEST(FramePainter, ArrowsAndTrailsOverlapTheWindowsPicture)
{
    // Both pictures smooth one-pixel lines, but Mesa spreads a line's coverage
    // over a wider footprint than QPainter's exact areas, so pixels at the
    // edge of a line fall either side of the brightness threshold. Measured
    // with Mesa's llvmpipe: 0.867 of the bright pixels are bright in both, and
    // 0.997 of the window's and 0.992 of the software's bright pixels have one
    // of the other within one pixel; where both are bright the colours differ
    // by 5.8 of 255 per channel on average, mostly the edges' coverage. The
    // bounds leave room for another Mesa, not for lines drawn elsewhere, in
    // another colour or not at all.
    FluidSolver solver(50, 50);
    for (int tick = 0; tick < 60; ++tick)
        solver.step();
    const TwoPictures pictures = drawBoth(solver);
    int both = 0, either = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool a = lit(pictures.window.pixel(x, y)), b = lit(pictures.software.pixel(x, y));
            both += a && b;
            either += a || b;
        }
    }
    // Where both pictures are bright, the colours agree: how far apart, per channel.
    double colourDifference = 0.0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb a = pictures.window.pixel(x, y), b = pictures.software.pixel(x, y);
            if (lit(a) && lit(b))
                colourDifference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                                    std::abs(qBlue(a) - qBlue(b));
        }
    }
    colourDifference /= 3.0 * both;
    std::printf("mean colour difference where both are bright: %.2f of 255\n", colourDifference);
    int inWindow = 0, inSoftware = 0;
    const double windowFound = matched(pictures.window, pictures.software, 1, inWindow);
    const double softwareFound = matched(pictures.software, pictures.window, 1, inSoftware);
    std::printf("bright pixels: %d in either picture, %.3f of them in both; within one pixel: %.3f of the "
                "window's %d, %.3f of the software's %d\n",
                either, double(both) / either, windowFound, inWindow, softwareFound, inSoftware);
    ASSERT_GT(either, 5000);
    EXPECT_GT(double(both) / either, 0.8);
    EXPECT_GT(windowFound, 0.98);
    EXPECT_GT(softwareFound, 0.98);
    EXPECT_LT(colourDifference, 8.0);
}

}  // namespace

namespace {

Frame blackFrame(uint32_t side)
{
    Frame frame;
    frame.width = frame.height = side;
    frame.trailStarts.push_back(0);
    return frame;
}

void addTrail(Frame& frame, std::initializer_list<TrailVertex> vertices)
{
    frame.trailVertices.insert(frame.trailVertices.end(), vertices);
    frame.trailStarts.push_back(uint32_t(frame.trailVertices.size()));
}

TEST(FramePainter, AxisAlignedTrailSegmentsArePaintedAlongTheirLength)
{
    Frame frame = blackFrame(40);
    const TrailColour white{1.0f, 1.0f, 1.0f, 1.0f};
    addTrail(frame, {{{5.0f, 10.5f}, white}, {{35.0f, 10.5f}, white}});  // along row 10
    addTrail(frame, {{{20.5f, 15.0f}, white}, {{20.5f, 35.0f}, white}});  // down column 20
    const QImage picture = paintFrame(frame);
    for (int x = 6; x < 35; ++x)
        EXPECT_GT(qGreen(picture.pixel(x, 10)), 200) << "row 10, x " << x;
    for (int y = 16; y < 35; ++y)
        EXPECT_GT(qGreen(picture.pixel(20, y)), 200) << "column 20, y " << y;
    EXPECT_EQ(picture.pixel(20, 5) & 0xffffff, 0u);
}

TEST(FramePainter, TrailColourAndAlphaShadeSeparatelyAsOpenGLInterpolatesThem)
{
    // From transparent red to opaque blue: halfway OpenGL has (0.5, 0, 0.5) at
    // alpha 0.5, a purple of a quarter of full brightness on black. Shading the
    // premultiplied colours instead would give pure blue there.
    Frame frame = blackFrame(40);
    addTrail(frame, {{{0.0f, 20.5f}, {1.0f, 0.0f, 0.0f, 0.0f}}, {{40.0f, 20.5f}, {0.0f, 0.0f, 1.0f, 1.0f}}});
    const QRgb middle = paintFrame(frame).pixel(20, 20);
    EXPECT_NEAR(qRed(middle), 64, 4);
    EXPECT_NEAR(qBlue(middle), 64, 4);
}

// A disc that cuts cells is drawn round in both pictures: solid just inside
// its circle and not just beyond it, all the way round, whatever cells it
// crosses (a disc of whole cells is a staircase, off the circle by up to
// half a cell).
TEST(FramePainter, ADiscThatCutsCellsIsDrawnRound)
{
    FluidSolver solver(testing_support::sceneFrom(
        "[grid]\ncells = [30, 18]\n[fluid]\ngravity = [0.0, 0.0]\n[tracers]\ncount = 0\n"
        "[[solid]]\ndisc = { centre = [12.3, 8.6], radius = 5.2, surface = \"cut\" }\n"));
    const TwoPictures pictures = drawBoth(solver);
    Frame frame;
    composeFrame(solver, width, height, frame);
    const double size = frame.cellSize, x0 = 12.3 * size, y0 = 8.6 * size, radius = 5.2 * size;
    ASSERT_GT(size, 10.0);
    auto solid = [](QRgb pixel) {
        return std::abs(qRed(pixel) - int(solidColour.red * 255.0f + 0.5f)) <= 3 &&
               std::abs(qGreen(pixel) - int(solidColour.green * 255.0f + 0.5f)) <= 3 &&
               std::abs(qBlue(pixel) - int(solidColour.blue * 255.0f + 0.5f)) <= 3;
    };
    for (const QImage* picture : {&pictures.window, &pictures.software}) {
        SCOPED_TRACE(picture == &pictures.window ? "window" : "software");
        int inside = 0, outside = 0;
        const int points = 360;
        for (int k = 0; k < points; ++k) {
            const double angle = 2.0 * std::acos(-1.0) * k / points;
            auto at = [&](double r) {
                return picture->pixel(int(x0 + r * std::cos(angle)), int(y0 + r * std::sin(angle)));
            };
            inside += solid(at(radius - 2.5));
            outside += solid(at(radius + 2.5));
        }
        // The dots at the cell centres cover a few of the points inside.
        EXPECT_GE(inside, points * 9 / 10);
        EXPECT_EQ(outside, 0);
    }
}

// Water below a line, and a disc of it above: the window and the software
// picture both fill the liquid up to its surface and leave the air black.
TEST(FramePainter, ALiquidIsFilledUpToItsSurface)
{
    FluidSolver solver(testing_support::sceneFrom(
        "[grid]\ncells = [30, 18]\n[fluid]\ngravity = [0.0, 9.8]\n[tracers]\ncount = 0\n"
        "[[liquid]]\nrectangle = { from = [0.0, 11.0], to = [30.0, 18.0] }\n"
        "[[liquid]]\ndisc = { centre = [15.0, 5.0], radius = 3.0 }\n"));
    const TwoPictures pictures = drawBoth(solver);
    Frame frame;
    composeFrame(solver, width, height, frame);
    const double size = frame.cellSize;
    auto liquid = [](QRgb pixel) { return drawnIn(pixel, liquidColour); };
    for (const QImage* picture : {&pictures.window, &pictures.software}) {
        SCOPED_TRACE(picture == &pictures.window ? "window" : "software");
        // Liquid around a point, beside the grid's lines and dots drawn over it.
        auto liquidNear = [&](int x, int y) {
            bool seen = false;
            for (int dx = -2; dx <= 2; ++dx)
                for (int dy = -2; dy <= 2; ++dy)
                    seen = seen || liquid(picture->pixel(x + dx, y + dy));
            return seen;
        };
        int under = 0, above = 0, inDisc = 0, beside = 0;
        for (int k = 0; k < 30; ++k) {
            // Off the cell centres' dots and the grid's lines.
            const int x = int((k + 0.3) * size);
            under += liquidNear(x, int(11.6 * size));
            above += liquid(picture->pixel(x, int(10.4 * size)));
        }
        for (int k = 0; k < 36; ++k) {
            const double angle = 2.0 * std::acos(-1.0) * k / 36;
            inDisc += liquidNear(int((15.0 + 2.3 * std::cos(angle)) * size), int((5.0 + 2.3 * std::sin(angle)) * size));
            beside += liquid(picture->pixel(int((15.0 + 3.8 * std::cos(angle)) * size),
                                            int((5.0 + 3.8 * std::sin(angle)) * size)));
        }
        EXPECT_EQ(under, 30);
        EXPECT_EQ(above, 0);
        EXPECT_EQ(inDisc, 36);
        EXPECT_EQ(beside, 0);
    }
}

// Over a field view the field shows in the liquid alone, the air above it
// black, and the range is the liquid's; on request the particles are dots,
// in the liquid, in both pictures.
TEST(FramePainter, AFieldViewOfALiquidShowsTheLiquidAndItsParticlesOnRequest)
{
    FluidSolver solver(testing_support::sceneFrom(
        "[grid]\ncells = [30, 18]\n[fluid]\ngravity = [0.0, 9.8]\n[time]\nstep = 0.05\n[tracers]\ncount = 0\n"
        "[[liquid]]\nrectangle = { from = [0.0, 11.0], to = [30.0, 18.0] }\n"));
    solver.step();
    FrameOptions options;
    options.field = CellField::speed;
    options.arrows = options.grid = false;
    options.particles = true;
    const TwoPictures pictures = drawBoth(solver, options);
    Frame frame;
    composeFrame(solver, width, height, frame, options);
    EXPECT_TRUE(frame.liquid.empty());
    EXPECT_FALSE(frame.air.empty());
    EXPECT_EQ(frame.particles.size(), solver.liquid->particles().size());
    // The range is the liquid cells' alone.
    const std::vector<double> speeds = cellValues(solver, CellField::speed);
    double fastest = 0.0;
    for (uint32_t i = 0; i < solver.nx; ++i)
        for (uint32_t j = 0; j < solver.ny; ++j)
            if (solver.liquid->liquidCell(i, j))
                fastest = std::fmax(fastest, speeds[size_t(i) * solver.ny + j]);
    EXPECT_EQ(frame.colourBar.high, fastest);
    const double size = frame.cellSize;
    auto particle = [](QRgb pixel) { return drawnIn(pixel, particleColour); };
    for (const QImage* picture : {&pictures.window, &pictures.software}) {
        SCOPED_TRACE(picture == &pictures.window ? "window" : "software");
        int airLit = 0, liquidDark = 0, dotsInAir = 0, dotsInLiquid = 0;
        for (int x = 0; x < int(30 * size); ++x) {
            for (int y = 0; y < int(10.5 * size); ++y) {
                const QRgb pixel = picture->pixel(x, y);
                const ColourBar& bar = frame.colourBar;
                const bool underBar = x >= bar.x - 1 && x <= bar.x + bar.width + 1 && y <= bar.y + bar.height + 1;
                airLit += (qRed(pixel) | qGreen(pixel) | qBlue(pixel)) != 0 && !underBar;
                dotsInAir += particle(pixel);
            }
            for (int y = int(11.5 * size); y < int(17.5 * size); ++y) {
                const QRgb pixel = picture->pixel(x, y);
                liquidDark += (qRed(pixel) | qGreen(pixel) | qBlue(pixel)) == 0;
                dotsInLiquid += particle(pixel);
            }
        }
        EXPECT_EQ(airLit, 0);  // the colour bar's corner aside
        EXPECT_EQ(liquidDark, 0);
        EXPECT_EQ(dotsInAir, 0);
        EXPECT_GT(dotsInLiquid, int(solver.liquid->particles().size()));
    }
}

}  // namespace

// Across a low picture, the bar's two values stand at its two ends and the
// scale runs between them from the low colour to the high one, with no text over it.
TEST(FramePainter, AColourBarAcrossALowPictureKeepsItsValuesApart)
{
    ColourBar bar;
    bar.shown = bar.across = true;
    bar.title = "vorticity";
    bar.units = "1/time";
    bar.low = -47.73;
    bar.high = 47.73;
    bar.colours = {0, 0, 255, 128, 128, 128, 255, 0, 0};
    bar.width = 176.0f;
    bar.height = 44.0f;
    const QImage image = paintColourBar(bar, 1.0).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), QSize(176, 44));
    // The scale's row: find its coloured run, and the text on either side of it.
    int row = -1, first = -1, last = -1;
    for (int y = 20; y < 44 && row < 0; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == qRgb(255, 0, 0) || image.pixel(x, y) == qRgb(0, 0, 255)) {
                row = y;
                break;
            }
    ASSERT_GE(row, 0) << "no scale drawn";
    for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = image.pixel(x, row);
        const bool scale = pixel == qRgb(0, 0, 255) || pixel == qRgb(128, 128, 128) || pixel == qRgb(255, 0, 0);
        if (scale && first < 0)
            first = x;
        if (scale)
            last = x;
    }
    EXPECT_EQ(image.pixel(first, row), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(last, row), qRgb(255, 0, 0));
    auto lightInColumns = [&](int from, int to) {
        int light = 0;
        for (int y = row - 6; y <= row + 6; ++y)
            for (int x = std::max(from, 0); x < std::min(to, image.width()); ++x)
                light += qGray(image.pixel(x, y)) > 160 && qRed(image.pixel(x, y)) == qBlue(image.pixel(x, y));
        return light;
    };
    EXPECT_GT(lightInColumns(0, first - 1), 10) << "the low value is missing";
    EXPECT_GT(lightInColumns(last + 2, image.width()), 10) << "the high value is missing";
    EXPECT_GT(last - first, 40) << "the values crowd out the scale";
}
