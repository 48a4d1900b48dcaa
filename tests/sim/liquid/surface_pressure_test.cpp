// The pressure the liquid's surface holds against its viscous normal stress,
// 2 rho nu n.(grad u).n: for velocities linear in x and y, which the grid's
// differences take exactly, under surfaces facing along the axes and aslant.
#include "sim/domain/domain.h"
#include "sim/liquid/surface_pressure.h"

#include "tests/support/scenes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

TEST(LiquidSurface, ItsViscousPressureIsTheNormalPartOfTheRateOfStrain)
{
    const Scene scene = testing_support::sceneFrom("[grid]\ncells = [12, 12]\ncell_size = 0.1\n");
    const Domain domain(scene);
    const double dx = scene.cellSize, density = 1000.0, viscosity = 0.02, a = 0.5;
    const struct {
        const char* name;
        double ux, uy, vx, vy;  // the velocity's gradient
    } flows[] = {{"a shear", 0.0, a, a, 0.0}, {"a strain", a, 0.0, 0.0, -a}, {"a turn", 0.0, -a, a, 0.0},
                 {"a shear and a strain", 0.3, 0.7, -0.1, -0.3}};
    const double diagonal = std::sqrt(0.5);
    const struct {
        const char* name;
        double nx, ny;  // the normal out of the liquid
    } surfaces[] = {{"facing up", 0.0, -1.0}, {"facing right", 1.0, 0.0}, {"facing down and right", diagonal, diagonal},
                    {"aslant", -0.6, 0.8}};
    for (const auto& flow : flows)
        for (const auto& surface : surfaces) {
            SCOPED_TRACE(std::string(flow.name) + ", " + surface.name);
            VelocityField velocity(scene.nx, scene.ny, dx);
            for (uint32_t i = 0; i <= scene.nx; ++i)
                for (uint32_t j = 0; j < scene.ny; ++j)
                    velocity.u.at(i, j) = flow.ux * (i * dx) + flow.uy * ((j + 0.5) * dx);
            for (uint32_t i = 0; i < scene.nx; ++i)
                for (uint32_t j = 0; j <= scene.ny; ++j)
                    velocity.v.at(i, j) = flow.vx * ((i + 0.5) * dx) + flow.vy * (j * dx);
            // A plane through the box's middle, the liquid on the side the normal points away from.
            GridArray levelSet(scene.nx, scene.ny);
            for (uint32_t i = 0; i < scene.nx; ++i)
                for (uint32_t j = 0; j < scene.ny; ++j)
                    levelSet.at(i, j) = surface.nx * ((i + 0.5) * dx - 0.6) + surface.ny * ((j + 0.5) * dx - 0.6);
            const double expected = 2.0 * density * viscosity *
                                    (surface.nx * surface.nx * flow.ux + surface.nx * surface.ny * (flow.uy + flow.vx) +
                                     surface.ny * surface.ny * flow.vy);
            const std::vector<double> stress = viscousSurfacePressure(velocity, levelSet, domain, density, viscosity);
            ASSERT_EQ(stress.size(), size_t(scene.nx) * scene.ny);
            int liquidCells = 0;
            for (uint32_t i = 1; i + 1 < scene.nx; ++i)
                for (uint32_t j = 1; j + 1 < scene.ny; ++j) {
                    const double at = stress[size_t(i) * scene.ny + j];
                    if (levelSet.at(i, j) < 0.0) {
                        ++liquidCells;
                        EXPECT_NEAR(at, expected, 1e-9 * density * viscosity) << "cell " << i << ", " << j;
                    } else {
                        EXPECT_EQ(at, 0.0) << "cell " << i << ", " << j;
                    }
                }
            EXPECT_GT(liquidCells, 30);
            EXPECT_TRUE(viscousSurfacePressure(velocity, levelSet, domain, density, 0.0).empty());
        }
}

}  // namespace
