// What a scene measures: the force on each solid and what its probes read,
// held to what cannot be otherwise - Archimedes, symmetry, an exact field.
#include "sim/measure/body_forces.h"
#include "sim/measure/probes.h"

#include "tests/support/scenes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using testing_support::sceneFrom;

// Still water under gravity pushes each solid up with the weight of the water
// it displaces: its cells' area times density times gravity (a disc that cuts
// cells: its own area) - whatever the viscosity, the direction of gravity,
// the shape, the disc's surface and the order in the file.
TEST(BodyForces, StillWaterBuoysEachSolidByTheWeightItDisplaces)
{
    struct Case {
        const char* what;
        std::string fluid;
        std::string surface;
    };
    const Case cases[] = {
        {"no viscosity, gravity down", "density = 1000.0\ngravity = [0.0, 9.8]\n", "cells"},
        {"viscosity, gravity down", "density = 1000.0\nviscosity = 0.01\ngravity = [0.0, 9.8]\n", "cells"},
        {"viscosity, gravity to the left and down", "density = 2.5\nviscosity = 0.2\ngravity = [-3.0, 1.5]\n",
         "cells"},
        {"a cut disc, no viscosity, gravity down", "density = 1000.0\ngravity = [0.0, 9.8]\n", "cut"},
        {"a cut disc, viscosity, gravity to the left and down",
         "density = 2.5\nviscosity = 0.2\ngravity = [-3.0, 1.5]\n", "cut"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The disc comes first in the file, the rectangle second; the disc's
        // centre off the grid's lines, so that it cuts cells unevenly.
        const Scene scene = sceneFrom("[grid]\ncells = [30, 24]\ncell_size = 0.1\n[fluid]\n" + c.fluid +
                                      "[walls]\nbottom = \"no-slip\"\nleft = \"no-slip\"\n"
                                      "[[solid]]\ndisc = { centre = [17.3, 12.2], radius = 4.1, surface = \"" +
                                      c.surface + "\" }\n"
                                      "[[solid]]\nrectangle = { from = [4, 4], to = [6, 9] }\n");
        FluidSolver solver(scene);
        ForceMeter meter(solver);
        std::vector<BodyForce> forces;
        for (int tick = 0; tick < 30; ++tick) {
            solver.step();
            forces = meter.measure(solver, scene.timeStep);
        }
        ASSERT_EQ(forces.size(), 2u);
        const double cellArea = scene.cellSize * scene.cellSize;
        const double discArea = c.surface == "cut" ? std::acos(-1.0) * 4.1 * 4.1
                                                   : double(scene.cellsOf(scene.solidOrder[0]).size());
        const double areas[2] = {discArea * cellArea, 18.0 * cellArea};
        for (int k = 0; k < 2; ++k) {
            const double weightX = scene.density * scene.gravityX * areas[k];
            const double weightY = scene.density * scene.gravityY * areas[k];
            EXPECT_NEAR(forces[k].x, -weightX, 1e-6 * std::hypot(weightX, weightY)) << "solid " << k;
            EXPECT_NEAR(forces[k].y, -weightY, 1e-6 * std::hypot(weightX, weightY)) << "solid " << k;
        }
    }
}

// A body on the centre line of a channel feels drag along the flow and no
// lift; the same channel run the other way pushes it back as hard - a disc of
// cells and one that cuts them alike.
TEST(BodyForces, ASymmetricBodyFeelsNoLiftAndItsDragTurnsWithTheFlow)
{
    for (const std::string surface : {"cells", "cut"}) {
        SCOPED_TRACE(surface);
        auto channel = [&surface](const char* in, const char* out, double centreX) {
            return sceneFrom(std::string("[grid]\ncells = [48, 20]\ncell_size = 0.05\n[fluid]\ndensity = 1.0\n"
                                         "viscosity = 0.002\ngravity = [0.0, 0.0]\n[time]\nstep = 0.01\n"
                                         "[walls]\ntop = \"no-slip\"\nbottom = \"no-slip\"\n[[inflow]]\nside = \"") +
                             in + "\"\ncells = [0, 19]\nspeed = 1.0\nprofile = \"parabolic\"\n[[outlet]]\nside = \"" + out +
                             "\"\ncells = [0, 19]\n[[solid]]\ndisc = { centre = [" + std::to_string(centreX) +
                             ", 10.0], radius = 3.5, surface = \"" + surface + "\" }\n");
        };
        FluidSolver rightwards(channel("left", "right", 16.0)), leftwards(channel("right", "left", 32.0));
        ForceMeter rightMeter(rightwards), leftMeter(leftwards);
        BodyForce right, left;
        for (int tick = 0; tick < 80; ++tick) {
            rightwards.step();
            leftwards.step();
            right = rightMeter.measure(rightwards, 0.01)[0];
            left = leftMeter.measure(leftwards, 0.01)[0];
        }
        EXPECT_GT(right.x, 0.0);
        EXPECT_NEAR(left.x, -right.x, 1e-6 * right.x);
        // Mirror images to the solves' tolerance, not to the bit.
        EXPECT_LT(std::fabs(right.y), 1e-4 * right.x);
        EXPECT_LT(std::fabs(left.y), 1e-4 * right.x);
    }
}

// In a steady flow the momentum balance holds for any box around the body:
// boxes of 1, 2 and 4 cells of fluid around a disc give the same force, to
// what the advection loses of the momentum it carries (MacCormack's, small),
// whether the disc takes whole cells or cuts them.
TEST(BodyForces, EveryBoxAroundABodyInASteadyFlowGivesTheSameForce)
{
    for (const std::string surface : {"cells", "cut"}) {
        SCOPED_TRACE(surface);
        const Scene scene = sceneFrom("[grid]\ncells = [90, 25]\ncell_size = 0.02\n[fluid]\ndensity = 1.0\n"
                                      "viscosity = 0.002\ngravity = [0.0, 0.0]\n[time]\nstep = 0.02\n[advection]\n"
                                      "scheme = \"maccormack\"\n[walls]\ntop = \"no-slip\"\nbottom = \"no-slip\"\n"
                                      "[[inflow]]\nside = \"left\"\ncells = [0, 24]\nspeed = 0.3\nprofile = \"parabolic\"\n"
                                      "[[outlet]]\nside = \"right\"\ncells = [0, 24]\n"
                                      "[[solid]]\ndisc = { centre = [20.0, 13.0], radius = 4.0, surface = \"" +
                                      surface + "\" }\n");
        FluidSolver solver(scene);
        ForceMeter meters[3] = {ForceMeter(solver, 1), ForceMeter(solver, 2), ForceMeter(solver, 4)};
        BodyForce forces[3];
        for (int tick = 0; tick < 400; ++tick) {
            solver.step();
            for (int m = 0; m < 3; ++m)
                forces[m] = meters[m].measure(solver, scene.timeStep)[0];
            // While the flow starts, what the boxes' fluid gains tells them apart.
            if (tick == 8) {
                EXPECT_NEAR(forces[0].x, forces[1].x, 0.02 * forces[1].x);
                EXPECT_NEAR(forces[2].x, forces[1].x, 0.02 * forces[1].x);
            }
        }
        ASSERT_GT(forces[1].x, 0.0);
        for (int m : {0, 2}) {
            SCOPED_TRACE(m);
            EXPECT_NEAR(forces[m].x, forces[1].x, 0.01 * forces[1].x);
            EXPECT_NEAR(forces[m].y, forces[1].y, 0.01 * forces[1].x);
        }
        // The disc sits below the centre line (y down): the flow lifts it up, towards it.
        EXPECT_LT(forces[1].y, 0.0);
    }
}

// Without a box of fluid of its own - against the border, or beside another
// solid - a solid's force is not measured.
TEST(BodyForces, ASolidWithoutRoomAroundItIsNotMeasured)
{
    const Scene scene = sceneFrom("[grid]\ncells = [30, 20]\n[fluid]\nviscosity = 0.1\n"
                                  "[[solid]]\nrectangle = { from = [0, 5], to = [3, 8] }\n"
                                  "[[solid]]\nrectangle = { from = [12, 5], to = [14, 8] }\n"
                                  "[[solid]]\nrectangle = { from = [17, 5], to = [18, 8] }\n"
                                  "[[solid]]\ndisc = { centre = [10.0, 16.0], radius = 1.5 }\n");
    FluidSolver solver(scene);
    ForceMeter meter(solver);
    solver.step();
    const std::vector<BodyForce> forces = meter.measure(solver, scene.timeStep);
    ASSERT_EQ(forces.size(), 4u);
    EXPECT_TRUE(std::isnan(forces[0].x) && std::isnan(forces[0].y));  // on the border
    EXPECT_TRUE(std::isnan(forces[1].x) && std::isnan(forces[2].x));  // two cells apart
    EXPECT_TRUE(std::isfinite(forces[3].x) && std::isfinite(forces[3].y));
    // Erasing the rectangle beside the second one gives it its box.
    for (uint32_t i = 17; i <= 18; ++i)
        for (uint32_t j = 5; j <= 8; ++j)
            ASSERT_TRUE(solver.setSolid(i, j, false));
    solver.step();
    EXPECT_TRUE(std::isfinite(meter.measure(solver, scene.timeStep)[1].x));
}

// Probes read a linear velocity and pressure exactly; beside a solid, the
// pressure comes from the fluid cells alone, whatever the solid's cells hold.
TEST(Probes, ReadALinearFieldExactlyAndTheFluidBesideASolid)
{
    const Scene scene = sceneFrom("[grid]\ncells = [12, 10]\ncell_size = 0.5\n"
                                  "[[solid]]\nrectangle = { from = [8, 2], to = [9, 4] }\n");
    FluidSolver solver(scene);
    VelocityField& field = *solver.velocity;
    ScalarField& pressure = *solver.pressure;
    auto linear = [](double x, double y, double a, double b, double c) { return a + b * x + c * y; };
    for (uint32_t i = 0; i <= 12; ++i)
        for (uint32_t j = 0; j < 10; ++j)
            field.u.at(i, j) = linear(i * 0.5, (j + 0.5) * 0.5, 0.25, 1.5, -0.75);
    for (uint32_t i = 0; i < 12; ++i)
        for (uint32_t j = 0; j <= 10; ++j)
            field.v.at(i, j) = linear((i + 0.5) * 0.5, j * 0.5, -1.0, 0.5, 2.0);
    for (uint32_t i = 0; i < 12; ++i)
        for (uint32_t j = 0; j < 10; ++j)
            pressure.values.at(i, j) = linear((i + 0.5) * 0.5, (j + 0.5) * 0.5, 3.0, -2.0, 0.5);
    const std::vector<Probe> probes = {{1.3, 2.2}, {2.75, 0.9}, {0.6, 4.3}};
    const std::vector<ProbeReading> readings = readProbes(probes, field, pressure, solver.domain);
    ASSERT_EQ(readings.size(), probes.size());
    for (size_t k = 0; k < probes.size(); ++k) {
        const double x = probes[k].x, y = probes[k].y;
        EXPECT_NEAR(readings[k].u, linear(x, y, 0.25, 1.5, -0.75), 1e-12);
        EXPECT_NEAR(readings[k].v, linear(x, y, -1.0, 0.5, 2.0), 1e-12);
        EXPECT_NEAR(readings[k].p, linear(x, y, 3.0, -2.0, 0.5), 1e-12);
    }
    // On the rectangle's left face (x = 4) and half a cell inside it: the
    // two fluid cells to its left, whatever the solid cells say.
    for (uint32_t i = 8; i <= 9; ++i)
        for (uint32_t j = 2; j <= 4; ++j)
            pressure.values.at(i, j) = 1e9;
    const double onFace = samplePressure(pressure, solver.domain, 4.0, 1.75);
    EXPECT_DOUBLE_EQ(onFace, linear(3.75, 1.75, 3.0, -2.0, 0.5));
    EXPECT_DOUBLE_EQ(samplePressure(pressure, solver.domain, 4.25, 1.75), onFace);
    // Deep inside, the nearest fluid cell.
    EXPECT_DOUBLE_EQ(samplePressure(pressure, solver.domain, 4.5, 1.75), onFace);
}

TEST(Probes, AreRefusedOutsideTheGridAndDeepInsideASolid)
{
    const std::string grid = "[grid]\ncells = [20, 10]\ncell_size = 0.1\n"
                             "[[solid]]\nrectangle = { from = [5, 2], to = [12, 8] }\n";
    struct Case {
        std::string probe;
        std::string message;  // empty: accepted
    };
    const Case cases[] = {
        {"point = [2.05, 0.5]", "test.toml:7:9: a probe must lie inside the grid, 0 to 2 across and 0 to 1 down"},
        {"point = [1.0, -0.01]", "a probe must lie inside the grid"},
        {"point = [0.9, 0.5]", "test.toml:7:9: a probe lies inside a solid, farther than a cell from any fluid"},
        {"point = [0.6, 0.5]", ""},   // one cell inside the solid's left face
        {"point = [0.5, 0.5]", ""},   // on it
        {"point = [2.0, 1.0]", ""},   // the grid's far corner
        {"point = 3", "a probe's point must be an array of two numbers"},
        {"at = [1.0, 1.0]", "unknown key \"at\" in [[probe]]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.probe);
        Scene scene;
        std::string error;
        const bool read = parseScene(grid + "[[probe]]\n" + c.probe + "\n", "test.toml", scene, error);
        if (c.message.empty()) {
            EXPECT_TRUE(read) << error;
            EXPECT_EQ(scene.probes.size(), 1u);
        } else {
            EXPECT_FALSE(read);
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
        }
    }
}

}  // namespace
