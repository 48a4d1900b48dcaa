#include "sim/grid/velocity_field.h"
#include "tests/support/fields.h"
#include "view/frame_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using testing_support::fillField;

TEST(CellSize, WholePixelsPerCellThatFitBothDirections)
{
    struct Case {
        uint32_t width, height;
        double expected;
    };
    for (const Case c : {Case{600, 340, 6.0}, Case{649, 700, 12.0}, Case{600, 400, 8.0}, Case{49, 700, 0.0},
                         Case{700, 49, 0.0}, Case{1, 1, 0.0}, Case{50, 50, 1.0}, Case{4000, 3000, 60.0}}) {
        EXPECT_EQ(cellSize(c.width, c.height, 50, 50, 1.0), c.expected) << c.width << "x" << c.height;
    }
    // The integer quotient is taken before the division by dx.
    EXPECT_EQ(cellSize(649, 700, 50, 50, 0.5), 12.0);
}

TEST(GridLines, FiftyOneEachWayEndingAtTheGridsEdge)
{
    std::vector<ScreenSegment> lines;
    gridLines(50, 50, 6.0, lines);
    ASSERT_EQ(lines.size(), 102u);
    EXPECT_EQ(lines[0].from.x, 0.0f);
    EXPECT_EQ(lines[50].from.x, 300.0f);
    EXPECT_EQ(lines[50].to.y, 300.0f);
    EXPECT_EQ(lines[51].from.y, 0.0f);
    EXPECT_EQ(lines[101].from.y, 300.0f);
    EXPECT_EQ(lines[101].to.x, 300.0f);
}

TEST(VelocityArrows, RestingFieldDrawsNoArrows)
{
    VelocityField field(50, 50, 1.0);
    fillField(field, 0.0, 0.0);
    std::vector<ScreenSegment> arrows{{{1, 1}, {2, 2}}};
    velocityArrows(field, 6.0, arrows);
    EXPECT_TRUE(arrows.empty());
}

TEST(VelocityArrows, UniformFlowDrawsHalfCellArrowsToTheRight)
{
    VelocityField field(50, 50, 1.0);
    fillField(field, 1.0, 0.0);
    std::vector<ScreenSegment> arrows;
    velocityArrows(field, 8.0, arrows);
    ASSERT_EQ(arrows.size(), 2500u);
    for (const ScreenSegment& arrow : arrows) {
        ASSERT_EQ(arrow.to.x - arrow.from.x, 4.0f);
        ASSERT_EQ(arrow.to.y, arrow.from.y);
    }
    EXPECT_EQ(arrows[0].from.x, 4.0f);
    EXPECT_EQ(arrows[1].from.y, 12.0f);  // j runs innermost
}

TEST(VelocityArrows, StrongestComponentSetsTheScaleAndUpIsNegative)
{
    VelocityField field(50, 50, 1.0);
    fillField(field, 0.0, 0.0);
    field.u.at(3, 4) = 0.5;
    field.v.at(10, 20) = -2.0;
    field.v.at(10, 21) = -2.0;  // centre of cell (10, 20) samples -2.0
    std::vector<ScreenSegment> arrows;
    velocityArrows(field, 6.0, arrows);
    const ScreenSegment& up = arrows[10 * 50 + 20];
    EXPECT_EQ(up.from.x, 63.0f);
    EXPECT_EQ(up.from.y, 123.0f);
    EXPECT_EQ(up.to.x, 63.0f);
    EXPECT_EQ(up.to.y, 120.0f);
    const ScreenSegment& right = arrows[3 * 50 + 4];  // mean of 0.5 and 0.0, scaled by 6/2/2
    EXPECT_FLOAT_EQ(right.to.x - right.from.x, 0.375f);
}

// A liquid's arrows: the fast velocity carried into the air beside it
// neither gets arrows nor shrinks the liquid's own.
TEST(VelocityArrows, OnlyTheShownCellsHaveArrowsAndSetTheScale)
{
    VelocityField field(50, 50, 1.0);
    fillField(field, 0.0, 0.0);
    field.u.at(3, 4) = 0.5;
    field.v.at(10, 20) = -2.0;
    field.v.at(10, 21) = -2.0;
    std::vector<ScreenSegment> arrows;
    velocityArrows(field, 6.0, arrows, 1, [](uint32_t i, uint32_t) { return i != 10; });
    ASSERT_EQ(arrows.size(), 2450u);
    for (const ScreenSegment& arrow : arrows)
        ASSERT_NE(arrow.from.x, 63.0f);
    const ScreenSegment& right = arrows[3 * 50 + 4];  // 0.25 at the centre, now the largest: half a cell
    EXPECT_FLOAT_EQ(right.to.x - right.from.x, 3.0f);
}

TEST(VelocityArrows, NonFiniteSamplesNeverBecomeVertices)
{
    VelocityField field(50, 50, 1.0);
    fillField(field, 1.0, 0.0);
    field.u.at(5, 5) = std::numeric_limits<double>::infinity();
    field.v.at(7, 7) = std::numeric_limits<double>::quiet_NaN();
    std::vector<ScreenSegment> arrows;
    velocityArrows(field, 6.0, arrows);
    EXPECT_LT(arrows.size(), 2500u);
    for (const ScreenSegment& arrow : arrows)
        ASSERT_TRUE(std::isfinite(arrow.to.x) && std::isfinite(arrow.to.y));
}

TEST(CellCentres, SitHalfACellIn)
{
    const ScreenPoint centre = cellCentre(10, 20, 6.0);
    EXPECT_EQ(centre.x, 63.0f);
    EXPECT_EQ(centre.y, 123.0f);
}

}  // namespace
