// The domain answers for the border and the solids: each kind of border face,
// solid shapes, and cells drawn and erased, through its queries.
#include "sim/domain/domain.h"
#include "sim/scene/scene_file.h"

#include "tests/support/scenes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

Domain domainOf(const std::string& text)
{
    return Domain(testing_support::sceneFrom(text));
}

// Along each side: which faces are held at what velocity (+x, +y), which are free.
TEST(Domain, BorderFacesAreHeldByWallsAndBandsAndFreedByOutlets)
{
    const Domain domain = domainOf(
        "[grid]\ncells = [8, 6]\n[walls]\ntop = { slide = 2.0 }\nleft = \"no-slip\"\n"
        "[[inflow]]\nside = \"left\"\ncells = [1, 2]\nspeed = 3.0\n"
        "[[inflow]]\nside = \"bottom\"\ncells = [6, 7]\nspeed = 1.0\n"
        "[[outflow]]\nside = \"right\"\ncells = [0, 0]\nspeed = 4.0\n"
        "[[outlet]]\nside = \"right\"\ncells = [4, 5]\n[[outlet]]\nside = \"bottom\"\ncells = [0, 5]\n");
    struct Face {
        Side side;
        uint32_t cell;
        double held;  // NaN: free
    };
    const double free = std::nan("");
    const Face faces[] = {
        {Side::left, 0, 0.0},   {Side::left, 1, 3.0},     {Side::left, 2, 3.0},    {Side::left, 3, 0.0},
        {Side::bottom, 6, -1.0}, {Side::bottom, 7, -1.0}, {Side::bottom, 0, free}, {Side::bottom, 5, free},
        {Side::right, 0, 4.0},  {Side::right, 1, 0.0},    {Side::right, 4, free},  {Side::right, 5, free},
        {Side::top, 3, 0.0},  // a sliding wall holds its normal velocity at rest too
    };
    for (const Face& face : faces) {
        SCOPED_TRACE(std::string(sideName(face.side)) + " " + std::to_string(face.cell));
        const double value = domain.borderFace(face.side, face.cell);
        if (std::isnan(face.held)) {
            EXPECT_TRUE(std::isnan(value));
        } else {
            EXPECT_EQ(value, face.held);
        }
        const bool vertical = face.side == Side::left || face.side == Side::right;
        const uint32_t i = face.side == Side::left ? 0 : face.side == Side::right ? 8 : face.cell;
        const uint32_t j = face.side == Side::top ? 0 : face.side == Side::bottom ? 6 : face.cell;
        EXPECT_EQ(domain.heldFace(vertical ? 0 : 1, i, j), !std::isnan(face.held));
    }
    // Open outlet faces per cell; the bottom right corner has two.
    EXPECT_EQ(domain.outletFaceCounts()[7 * 6 + 5], 1);
    EXPECT_EQ(domain.outletFaceCounts()[5 * 6 + 5], 1);
    EXPECT_EQ(domain.outletFaceCounts()[7 * 6 + 4], 1);
    EXPECT_EQ(domain.outletFaceCounts()[3 * 6 + 3], 0);
    EXPECT_TRUE(domain.atOpening(0, 1));
    EXPECT_FALSE(domain.atOpening(0, 3));
    EXPECT_TRUE(domain.atOpening(7, 0));
    EXPECT_FALSE(domain.atOpening(3, 3));
    EXPECT_EQ(domain.wall(Side::top).tangentSpeed(), 2.0);
    EXPECT_TRUE(domain.wall(Side::left).holdsTangent());
    EXPECT_FALSE(domain.wall(Side::right).holdsTangent());
}

// A parabolic band: zero at its two ends and its speed in the middle, the
// same on both halves, carrying 2/3 of its speed times its width - through
// the faces the domain holds, on every side and width.
TEST(Domain, AParabolicBandCarriesTwoThirdsOfItsPeakAndIsSymmetric)
{
    for (uint32_t width : {2u, 3u, 4u, 7u, 16u, 41u}) {
        for (const char* side : {"left", "right", "top", "bottom"}) {
            SCOPED_TRACE(std::string(side) + ", " + std::to_string(width) + " cells");
            const bool inflow = std::string(side) != "bottom";
            const Domain domain = domainOf("[grid]\ncells = [50, 45]\n[[" + std::string(inflow ? "inflow" : "outflow") +
                                           "]]\nside = \"" + side + "\"\ncells = [2, " + std::to_string(1 + width) +
                                           "]\nspeed = 1.5\nprofile = \"parabolic\"\n[[outlet]]\nside = \"" +
                                           (std::string(side) == "left" ? "right" : "left") + "\"\ncells = [0, 44]\n");
            const Side along = std::string(side) == "left"    ? Side::left
                               : std::string(side) == "right" ? Side::right
                               : std::string(side) == "top"   ? Side::top
                                                              : Side::bottom;
            // Into the box is +x through the left, +y through the top.
            const double inward = along == Side::left || along == Side::top ? 1.0 : -1.0;
            double carried = 0.0, largest = 0.0;
            for (uint32_t m = 0; m < width; ++m) {
                const double speed = domain.borderFace(along, 2 + m) * inward * (inflow ? 1.0 : -1.0);
                EXPECT_GT(speed, 0.0);
                EXPECT_LE(speed, 1.5);
                EXPECT_NEAR(speed, domain.borderFace(along, 1 + width - m) * inward * (inflow ? 1.0 : -1.0), 1e-14);
                carried += speed;
                largest = std::fmax(largest, speed);
            }
            EXPECT_NEAR(carried, 2.0 / 3.0 * 1.5 * width, 1e-12 * width);
            // The middle faces approach the peak as the band widens.
            EXPECT_GT(largest, 1.5 * (1.0 - 1.0 / width));
            EXPECT_EQ(domain.borderFace(along, 1), 0.0);
            EXPECT_EQ(domain.borderFace(along, 2 + width), 0.0);
        }
    }
}

TEST(Domain, SolidShapesHoldEveryFaceOfTheirCellsAndLeaveAPocketFluid)
{
    // A ring of rectangles around a pocket, and a disc whose cells are those
    // whose centres lie inside it; cells of size 0.5.
    Domain domain = domainOf("[grid]\ncells = [12, 10]\ncell_size = 0.5\n"
                             "[[solid]]\nrectangle = { from = [1, 1], to = [5, 1] }\n"
                             "[[solid]]\nrectangle = { from = [1, 5], to = [5, 5] }\n"
                             "[[solid]]\nrectangle = { from = [1, 2], to = [1, 4] }\n"
                             "[[solid]]\nrectangle = { from = [5, 2], to = [5, 4] }\n"
                             "[[solid]]\ndisc = { centre = [9.0, 5.0], radius = 1.5 }\n");
    EXPECT_TRUE(domain.anySolid());
    EXPECT_TRUE(domain.isSolid(1, 1) && domain.isSolid(5, 3) && domain.isSolid(3, 5));
    EXPECT_FALSE(domain.isSolid(3, 3));  // the pocket
    for (uint32_t i = 0; i < 12; ++i) {
        for (uint32_t j = 0; j < 10; ++j) {
            const double x = i + 0.5 - 9.0, y = j + 0.5 - 5.0;
            const bool inRing = (i >= 1 && i <= 5 && (j == 1 || j == 5)) || ((i == 1 || i == 5) && j >= 1 && j <= 5);
            EXPECT_EQ(domain.isSolid(i, j), inRing || x * x + y * y <= 1.5 * 1.5) << i << ", " << j;
        }
    }
    // Faces: between two solids, between a solid and fluid, and inside the pocket.
    EXPECT_TRUE(domain.heldFace(0, 2, 1));
    EXPECT_TRUE(domain.heldFace(1, 3, 2));   // below the ring's top
    EXPECT_TRUE(domain.heldFace(0, 5, 3));   // left of the ring's right side
    EXPECT_FALSE(domain.heldFace(0, 3, 3));  // inside the pocket
    EXPECT_FALSE(domain.heldFace(1, 3, 3));
    // Points in length units: cell (5, 3) spans [2.5, 3) by [1.5, 2).
    EXPECT_TRUE(domain.solidAt(2.75, 1.75));
    EXPECT_FALSE(domain.solidAt(1.75, 1.75));
    EXPECT_FALSE(domain.solidAt(-0.1, 1.0));
    EXPECT_FALSE(domain.solidAt(6.0, 1.0));  // beyond the grid

    const std::vector<uint8_t> heldV = domain.heldFaces(1);
    ASSERT_EQ(heldV.size(), 12u * 11u);
    for (uint32_t i = 0; i < 12; ++i)
        for (uint32_t j = 0; j <= 10; ++j)
            ASSERT_EQ(heldV[i * 11 + j] != 0, domain.heldFace(1, i, j)) << i << ", " << j;
}

TEST(Domain, CellsAreDrawnAndErasedButNotAtOpeningsOrOutside)
{
    Domain domain = domainOf("[grid]\ncells = [6, 4]\n[[inflow]]\nside = \"top\"\ncells = [2, 3]\nspeed = 1.0\n"
                             "[[outlet]]\nside = \"bottom\"\ncells = [0, 5]\n");
    EXPECT_FALSE(domain.anySolid());
    EXPECT_TRUE(domain.setSolid(1, 1, true));
    EXPECT_TRUE(domain.setSolid(1, 1, true));  // again: still one solid
    EXPECT_TRUE(domain.isSolid(1, 1) && domain.anySolid());
    EXPECT_TRUE(domain.heldFace(0, 2, 1));
    EXPECT_TRUE(domain.setSolid(1, 1, false));
    EXPECT_FALSE(domain.anySolid());
    EXPECT_FALSE(domain.heldFace(0, 2, 1));
    EXPECT_FALSE(domain.setSolid(2, 0, true));  // under the band
    EXPECT_FALSE(domain.setSolid(4, 3, true));  // over the outlet
    EXPECT_FALSE(domain.setSolid(6, 1, true));  // outside
    EXPECT_TRUE(domain.setSolid(0, 0, true));   // a wall's corner cell
    EXPECT_FALSE(domain.isSolid(2, 0) || domain.isSolid(4, 3));
}

// A face beside a solid cell is shut to the pressure and to whatever flows,
// at the grid's far edges as anywhere: solids along the last column and the
// last row (and the first), with a cutting disc elsewhere.
TEST(Domain, EveryFaceBesideASolidCellIsShutUpToTheFarEdges)
{
    for (const char* surface : {"cells", "cut"}) {
        SCOPED_TRACE(surface);
        const Domain domain = domainOf(std::string("[grid]\ncells = [14, 11]\n"
                                                   "[[solid]]\nrectangle = { from = [13, 2], to = [13, 8] }\n"
                                                   "[[solid]]\nrectangle = { from = [3, 10], to = [9, 10] }\n"
                                                   "[[solid]]\nrectangle = { from = [0, 0], to = [0, 3] }\n"
                                                   "[[solid]]\nrectangle = { from = [5, 0], to = [6, 0] }\n"
                                                   "[[solid]]\ndisc = { centre = [7.0, 5.0], radius = 2.3, "
                                                   "surface = \"") +
                                       surface + "\" }\n");
        int besideSolid = 0;
        for (int component = 0; component < 2; ++component) {
            const uint32_t lines = component == 0 ? 15 : 14, length = component == 0 ? 11 : 12;
            for (uint32_t i = 0; i < lines; ++i)
                for (uint32_t j = 0; j < length; ++j) {
                    // The cells either side of the face, where the grid has them.
                    const bool before = component == 0 ? i > 0 && domain.isSolid(i - 1, j)
                                                       : j > 0 && domain.isSolid(i, j - 1);
                    const bool after = (component == 0 ? i < 14 : j < 11) && domain.isSolid(i, j);
                    if (!before && !after)
                        continue;
                    ++besideSolid;
                    EXPECT_EQ(domain.aperture(component, i, j), 0.0) << component << ": " << i << ", " << j;
                }
        }
        EXPECT_GT(besideSolid, 60);
    }
}

// A disc that cuts cells opens each face it crosses by the part it leaves
// free: the covered lengths add up to the disc's area (a chord every cell
// across), a second copy of the disc covers nothing more, the cells inside it
// whole are solid and stay so, and a cut cell drawn over and erased opens
// its faces as before.
TEST(Domain, ADiscThatCutsCellsOpensEachFaceByWhatItLeavesFree)
{
    const std::string grid = "[grid]\ncells = [20, 18]\n";
    const std::string disc = "[[solid]]\ndisc = { centre = [10.4, 8.7], radius = 5.3, surface = \"cut\" }\n";
    Domain domain = domainOf(grid + disc);
    const Domain twice = domainOf(grid + disc + disc);
    ASSERT_TRUE(domain.cutsCells());
    const double area = std::acos(-1.0) * 5.3 * 5.3;
    for (int component = 0; component < 2; ++component) {
        SCOPED_TRACE(component);
        const uint32_t lines = component == 0 ? 21 : 20, length = component == 0 ? 18 : 19;
        double covered = 0.0;
        for (uint32_t i = 0; i < lines; ++i) {
            for (uint32_t j = 0; j < length; ++j) {
                const double open = domain.aperture(component, i, j);
                ASSERT_GE(open, 0.0);
                ASSERT_LE(open, 1.0);
                ASSERT_EQ(open, twice.aperture(component, i, j)) << i << ", " << j;
                // Shut whole: held at rest, as a solid cell's faces (the border's are walls).
                const bool border = component == 0 ? i == 0 || i == 20 : j == 0 || j == 18;
                ASSERT_EQ(open == 0.0 || border, domain.heldFace(component, i, j)) << i << ", " << j;
                covered += 1.0 - open;
            }
        }
        EXPECT_NEAR(covered, area, 0.02 * area);
    }
    uint32_t whole = 0, cut = 0;
    for (uint32_t i = 0; i < 20; ++i) {
        for (uint32_t j = 0; j < 18; ++j) {
            const double corners[4][2] = {{i - 10.4, j - 8.7}, {i + 1 - 10.4, j - 8.7}, {i - 10.4, j + 1 - 8.7},
                                          {i + 1 - 10.4, j + 1 - 8.7}};
            int inside = 0;
            for (const auto& c : corners)
                inside += std::hypot(c[0], c[1]) < 5.3;
            ASSERT_EQ(domain.isSolid(i, j), inside == 4) << i << ", " << j;
            whole += inside == 4;
            cut += inside > 0 && inside < 4;
            // The inside of the disc is solid to a point, cut cells or not.
            EXPECT_EQ(domain.solidAt((i + 0.5) * domain.cellSize(), (j + 0.5) * domain.cellSize()),
                      std::hypot(i + 0.5 - 10.4, j + 0.5 - 8.7) < 5.3)
                << i << ", " << j;
        }
    }
    EXPECT_GT(whole, 50u);
    EXPECT_GT(cut, 20u);
    // The faces it shuts whole are held at rest, those between two cells it
    // only cuts among them (below the small disc's centre, which lies on a
    // grid line); every other face is left as the flow has it.
    const Domain withSmall =
        domainOf(grid + disc + "[[solid]]\ndisc = { centre = [3.0, 14.5], radius = 1.0, surface = \"cut\" }\n");
    VelocityField field(20, 18, 1.0);
    std::fill(field.u.data.get(), field.u.data.get() + field.u.size(), 0.5);
    std::fill(field.v.data.get(), field.v.data.get() + field.v.size(), 0.5);
    withSmall.holdFaces(field);
    int shutBetweenCutCells = 0;
    for (int component = 0; component < 2; ++component) {
        const uint32_t lines = component == 0 ? 21 : 20, length = component == 0 ? 18 : 19;
        for (uint32_t i = 0; i < lines; ++i)
            for (uint32_t j = 0; j < length; ++j) {
                const bool inside = component == 0 ? i > 0 && i < 20 : j > 0 && j < 18;
                const bool shut = inside && withSmall.aperture(component, i, j) == 0.0;
                shutBetweenCutCells += shut &&
                                       !withSmall.isSolid(component == 0 ? i - 1 : i, component == 0 ? j : j - 1) &&
                                       !withSmall.isSolid(i, j);
                const double expected = !inside || shut ? 0.0 : 0.5;
                ASSERT_EQ(field.component(component).at(i, j), expected) << component << ": " << i << ", " << j;
            }
    }
    EXPECT_GT(shutBetweenCutCells, 0);
    // A cell inside whole stays solid; a cut cell drawn over shuts its faces.
    EXPECT_FALSE(domain.setSolid(10, 8, false));
    EXPECT_TRUE(domain.isSolid(10, 8));
    const uint32_t i = 5, j = 8;  // cut: its left corners outside, its right ones inside
    ASSERT_FALSE(domain.isSolid(i, j));
    const double upperOpen = domain.aperture(1, i, j), lowerOpen = domain.aperture(1, i, j + 1);
    ASSERT_GT(upperOpen, 0.0);
    ASSERT_LT(upperOpen, 1.0);
    EXPECT_TRUE(domain.setSolid(i, j, true));
    EXPECT_EQ(domain.aperture(1, i, j), 0.0);
    EXPECT_EQ(domain.aperture(1, i, j + 1), 0.0);
    EXPECT_EQ(domain.aperture(0, i, j), 0.0);
    EXPECT_TRUE(domain.setSolid(i, j, false));
    EXPECT_EQ(domain.aperture(1, i, j), upperOpen);
    EXPECT_EQ(domain.aperture(1, i, j + 1), lowerOpen);
    EXPECT_EQ(domain.aperture(0, i, j), 1.0);
}

}  // namespace
