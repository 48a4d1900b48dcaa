#include "sim/liquid/surface_pressure.h"

#include "sim/grid/hypotenuse.h"
#include "sim/solve/five_point_system.h"

#include <algorithm>
#include <cmath>

namespace {

// How much of a cell's crowding (its particles over those it was seeded
// with, less one) the particles' drift spreads in a tick. The drift is no
// part of the flow, so it may spread faster than it could through the
// pressure: at 0.1 a dam on 128 cells came to need its surface moved a
// quarter of a cell, and lost 2.3 % of its area.
constexpr double spreadRate = 0.2;
// The nearest a surface may come to a cell centre, as a share of the way to
// the next one, in the ghost fluid's coefficient (1 / share).
constexpr double nearestSurface = 0.01;

}  // namespace

std::vector<double> crowdingOf(const std::vector<LiquidPoint>& places, uint32_t nx, uint32_t ny, double dx)
{
    // Each place shared among the four cell centres around it, bilinearly.
    std::vector<double> crowding(size_t(nx) * ny, 0.0);
    for (const LiquidPoint& p : places) {
        const double gx = std::clamp(p.x / dx - 0.5, 0.0, double(nx - 1)), gy = std::clamp(p.y / dx - 0.5, 0.0, double(ny - 1));
        const uint32_t i0 = std::min(uint32_t(gx), nx - 2), j0 = std::min(uint32_t(gy), ny - 2);
        const double fx = gx - i0, fy = gy - j0;
        crowding[size_t(i0) * ny + j0] += (1.0 - fx) * (1.0 - fy);
        crowding[size_t(i0 + 1) * ny + j0] += fx * (1.0 - fy);
        crowding[size_t(i0) * ny + j0 + 1] += (1.0 - fx) * fy;
        crowding[size_t(i0 + 1) * ny + j0 + 1] += fx * fy;
    }
    return crowding;
}

std::vector<double> seededCrowdingOf(const Domain& domain)
{
    const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
    const double dx = domain.cellSize();
    std::vector<LiquidPoint> lattice;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            for (int p = 0; p < particlesPerSide; ++p)
                for (int q = 0; q < particlesPerSide; ++q)
                    if (!domain.solidAt(seedAt(i, p, dx), seedAt(j, q, dx)))
                        lattice.push_back({seedAt(i, p, dx), seedAt(j, q, dx)});
    return crowdingOf(lattice, nx, ny, dx);
}

std::vector<double> viscousSurfacePressure(const VelocityField& velocity, const GridArray& phi,
                                           const Domain& domain, double density, double viscosity)
{
    if (!(viscosity > 0.0))
        return {};
    const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
    const double dx = domain.cellSize();
    auto liquidCell = [&](uint32_t i, uint32_t j) { return phi.at(i, j) < 0.0 && !domain.isSolid(i, j); };
    std::vector<double> stress(size_t(nx) * ny, 0.0);
    auto centreU = [&](uint32_t i, uint32_t j) { return 0.5 * (velocity.u.at(i, j) + velocity.u.at(i + 1, j)); };
    auto centreV = [&](uint32_t i, uint32_t j) { return 0.5 * (velocity.v.at(i, j) + velocity.v.at(i, j + 1)); };
    for (uint32_t i = 1; i + 1 < nx; ++i)
        for (uint32_t j = 1; j + 1 < ny; ++j) {
            if (!liquidCell(i, j))
                continue;
            const double nxGrad = phi.at(i + 1, j) - phi.at(i - 1, j);
            const double nyGrad = phi.at(i, j + 1) - phi.at(i, j - 1);
            const double length = hypotenuse(nxGrad, nyGrad);
            if (!(length > 0.0))
                continue;
            const double n[2] = {nxGrad / length, nyGrad / length};
            const double ux = (velocity.u.at(i + 1, j) - velocity.u.at(i, j)) / dx;
            const double vy = (velocity.v.at(i, j + 1) - velocity.v.at(i, j)) / dx;
            const double uy = (centreU(i, j + 1) - centreU(i, j - 1)) / (2.0 * dx);
            const double vx = (centreV(i + 1, j) - centreV(i - 1, j)) / (2.0 * dx);
            stress[size_t(i) * ny + j] = 2.0 * density * viscosity *
                                         (n[0] * n[0] * ux + n[0] * n[1] * (uy + vx) + n[1] * n[1] * vy);
        }
    return stress;
}

namespace {

// The liquid cells' equation for a pressure that is 0 (or the viscous
// stress) at the surface, placed where the level set says it lies, and the
// gradient of such a pressure across each face beside a liquid cell.
class LiquidSystem {
public:
    LiquidSystem(const LevelSet& surface, const Domain& domain) : surface(surface), phi(surface.values()), domain(domain)
    {
    }

    bool liquidCell(uint32_t i, uint32_t j) const { return surface.liquidCell(i, j); }
    // The share of the way from a liquid centre to an air one at which the
    // surface lies, by the level set between them.
    double share(uint32_t i, uint32_t j, uint32_t ni, uint32_t nj) const
    {
        const double inside = phi.at(i, j), outside = phi.at(ni, nj);
        return std::max(nearestSurface, inside / (inside - outside));
    }

    // Beyond a wall or into a solid nothing flows but what the face is held
    // at; into the air the pressure falls to that at the surface.
    FivePointRow rowAt(uint32_t i, uint32_t j) const
    {
        const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
        FivePointRow row;
        if (!liquidCell(i, j)) {
            row.diagonal = 1.0;
            return row;
        }
        // Each face weighs by the part of it open to the flow (0 beside a
        // solid, less than 1 where a disc cuts it).
        auto neighbour = [&](bool exists, uint32_t ni, uint32_t nj, double open, double& coefficient) {
            if (!exists || open == 0.0)
                return;
            if (liquidCell(ni, nj)) {
                coefficient = -open;
                row.diagonal += open;
            } else {
                row.diagonal += open / share(i, j, ni, nj);
            }
        };
        neighbour(i > 0, i - 1, j, domain.aperture(0, i, j), row.beforeA);
        neighbour(j > 0, i, j - 1, domain.aperture(1, i, j), row.beforeB);
        neighbour(j + 1 < ny, i, j + 1, domain.aperture(1, i, j + 1), row.afterB);
        neighbour(i + 1 < nx, i + 1, j, domain.aperture(0, i + 1, j), row.afterA);
        // Beyond an outlet the pressure is 0.
        row.diagonal += domain.outletFaceCounts()[size_t(i) * ny + j];
        if (row.diagonal == 0.0)
            row.diagonal = 1.0;  // shut in by the discs
        return row;
    }

    // Subtracts factor times the gradient of `pressure` (its value at the
    // surface by cell, atSurface) across each face beside a liquid cell:
    // to an air cell's ghost, the pressure carried on to the surface's.
    template <typename AtSurface>
    void subtractGradient(VelocityField& velocity, const GridArray& pressure, double factor, AtSurface atSurface) const
    {
        const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
        auto difference = [&](uint32_t i, uint32_t j, uint32_t ni, uint32_t nj) {
            // The pressure at (ni, nj) less that at (i, j); one of them liquid.
            const bool here = liquidCell(i, j), there = liquidCell(ni, nj);
            if (here && there)
                return pressure.at(ni, nj) - pressure.at(i, j);
            if (here)
                return (atSurface(i, j) - pressure.at(i, j)) / share(i, j, ni, nj);
            return (pressure.at(ni, nj) - atSurface(ni, nj)) / share(ni, nj, i, j);
        };
        for (uint32_t i = 1; i < nx; ++i)
            for (uint32_t j = 0; j < ny; ++j)
                if ((liquidCell(i - 1, j) || liquidCell(i, j)) && domain.aperture(0, i, j) > 0.0)
                    velocity.u.at(i, j) -= factor * difference(i - 1, j, i, j);
        for (uint32_t i = 0; i < nx; ++i)
            for (uint32_t j = 1; j < ny; ++j)
                if ((liquidCell(i, j - 1) || liquidCell(i, j)) && domain.aperture(1, i, j) > 0.0)
                    velocity.v.at(i, j) -= factor * difference(i, j - 1, i, j);
        // An outlet's face beside liquid: to the 0 beyond it.
        for (uint32_t j = 0; j < ny; ++j) {
            if (std::isnan(domain.borderFace(Side::left, j)) && liquidCell(0, j))
                velocity.u.at(0, j) -= factor * pressure.at(0, j);
            if (std::isnan(domain.borderFace(Side::right, j)) && liquidCell(nx - 1, j))
                velocity.u.at(nx, j) += factor * pressure.at(nx - 1, j);
        }
        for (uint32_t i = 0; i < nx; ++i) {
            if (std::isnan(domain.borderFace(Side::top, i)) && liquidCell(i, 0))
                velocity.v.at(i, 0) -= factor * pressure.at(i, 0);
            if (std::isnan(domain.borderFace(Side::bottom, i)) && liquidCell(i, ny - 1))
                velocity.v.at(i, ny) += factor * pressure.at(i, ny - 1);
        }
    }

    SolveOutcome solve(const Scene& scene, const std::vector<double>& rhs, std::vector<double>& result) const
    {
        const LinearSolve solver{scene.tolerance, scene.iterationLimit, scene.preconditioner, true};
        return solver.solve(fastestFivePointSystem(domain.cellsX(), domain.cellsY(),
                                                   [this](uint32_t i, uint32_t j) { return rowAt(i, j); }),
                            rhs, result);
    }

private:
    const LevelSet& surface;
    const GridArray& phi;
    const Domain& domain;
};

}  // namespace

SolveOutcome projectLiquid(VelocityField& velocity, ScalarField& pressure, const LevelSet& surface, const Scene& scene,
                           const Domain& domain)
{
    const double dt = scene.timeStep, density = scene.density, dx = domain.cellSize();
    const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
    const LiquidSystem system(surface, domain);
    // At the surface the pressure balances the viscous normal stress,
    // 2 rho nu n.(grad u).n, n the level set's normal - 0 without viscosity.
    // It is what damps a wave on a viscous liquid.
    const std::vector<double> surfacePressure =
        viscousSurfacePressure(velocity, surface.values(), domain, scene.density, scene.viscosity);
    auto atSurface = [&](uint32_t i, uint32_t j) {
        return surfacePressure.empty() ? 0.0 : surfacePressure[size_t(i) * ny + j];
    };
    std::vector<double> rhs(size_t(nx) * ny, 0.0);
    const double scale = density * dx / dt;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            if (system.liquidCell(i, j)) {
                const size_t k = size_t(i) * ny + j;
                rhs[k] = -scale * (domain.aperture(0, i + 1, j) * velocity.u.at(i + 1, j) -
                                   domain.aperture(0, i, j) * velocity.u.at(i, j) +
                                   domain.aperture(1, i, j + 1) * velocity.v.at(i, j + 1) -
                                   domain.aperture(1, i, j) * velocity.v.at(i, j));
                if (surfacePressure.empty())
                    continue;
                // The surface's pressure, carried to the right-hand side
                // from each face that crosses it.
                auto crossing = [&](bool exists, uint32_t ni, uint32_t nj, double open) {
                    if (exists && open > 0.0 && !system.liquidCell(ni, nj) && !domain.isSolid(ni, nj))
                        rhs[k] += open * atSurface(i, j) / system.share(i, j, ni, nj);
                };
                crossing(i > 0, i - 1, j, domain.aperture(0, i, j));
                crossing(j > 0, i, j - 1, domain.aperture(1, i, j));
                crossing(j + 1 < ny, i, j + 1, domain.aperture(1, i, j + 1));
                crossing(i + 1 < nx, i + 1, j, domain.aperture(0, i + 1, j));
            }
    std::vector<double> result(rhs.size(), 0.0);
    const SolveOutcome outcome = system.solve(scene, rhs, result);
    pressure.values.assign(result);
    system.subtractGradient(velocity, pressure.values, dt / (density * dx), atSurface);
    // A face that the cutting discs shut whole holds nothing: at rest, as the disc.
    for (int c = 0; c < 2 && domain.cutsCells(); ++c) {
        GridArray& component = velocity.component(c);
        for (uint32_t a = 0; a < component.extent[0]; ++a)
            for (uint32_t b = 0; b < component.extent[1]; ++b)
                if (domain.aperture(c, a, b) == 0.0)
                    component.at(a, b) = 0.0;
    }
    return outcome;
}

void addSpreadingDrift(VelocityField& moving, const LevelSet& surface, const std::vector<LiquidParticle>& particles,
                       const std::vector<double>& seededCrowding, const Scene& scene, const Domain& domain)
{
    const double dt = scene.timeStep, dx = domain.cellSize();
    const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
    const LiquidSystem system(surface, domain);
    std::vector<LiquidPoint> places(particles.size());
    for (size_t k = 0; k < particles.size(); ++k)
        places[k] = {particles[k].x, particles[k].y};
    const std::vector<double> crowding = crowdingOf(places, nx, ny, dx);
    // Each liquid cell's divergence of the drift, per unit of time: a share
    // of its crowding a tick; deep in the liquid a sparse cell is drawn
    // together too, by the surface a cell may rightly hold fewer.
    std::vector<double> spread(size_t(nx) * ny, 0.0);
    bool any = false;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            if (system.liquidCell(i, j)) {
                const size_t k = size_t(i) * ny + j;
                const bool deep = (i == 0 || system.liquidCell(i - 1, j)) && (i + 1 == nx || system.liquidCell(i + 1, j)) &&
                                  (j == 0 || system.liquidCell(i, j - 1)) && (j + 1 == ny || system.liquidCell(i, j + 1));
                const double excess = seededCrowding[k] > 0.0 ? crowding[k] / seededCrowding[k] - 1.0 : 0.0;
                spread[k] = spreadRate * (deep ? excess : std::max(0.0, excess)) * dx / dt;
                any = any || spread[k] != 0.0;
            }
    if (!any)
        return;
    // The potential whose gradient has that divergence, 0 at the surface;
    // in the pressure's units, so that the same equation and solve serve.
    const double scale = scene.density * dx / dt;
    for (double& value : spread)
        value *= scale;
    std::vector<double> potential(spread.size(), 0.0);
    system.solve(scene, spread, potential);
    GridArray field(nx, ny);
    field.assign(potential);
    system.subtractGradient(moving, field, dt / (scene.density * dx), [](uint32_t, uint32_t) { return 0.0; });
}
