#include "sim/liquid/liquid.h"

#include "sim/grid/hypotenuse.h"
#include "sim/liquid/surface_pressure.h"
#include "sim/liquid/transfer.h"
#include "sim/liquid/viscosity.h"
#include "sim/solve/tick_stages.h"

#include <algorithm>
#include <cmath>
#include <utility>

LiquidSolver::LiquidSolver(const Scene& scene, const Domain& domain, const LiquidStart& start)
    : scene(scene),
      domain(domain),
      taps(tapFacesOf(scene)),
      seededCrowding(seededCrowdingOf(domain)),
      surface(scene, domain)
{
    particleList = seedParticles(domain, start);
    startCount = particleList.size();
    // The seeds stand on a lattice of half cells, so their own surface may
    // lie up to a quarter of a cell from the shape's edge: the surface is
    // held to the shape's area from the first tick.
    startArea = ::startArea(domain, start);
    if (std::isnan(startArea)) {
        surface.build(particleList);
        startArea = area();
    }
    holdsArea = true;
    buildSurface();
    markProjectedCells();
}

void LiquidSolver::tick(VelocityField& velocity, ScalarField& pressure)
{
    const double dt = scene.timeStep;
    std::vector<uint8_t> known[2];
    particlesToGrid(particleList, velocity, known);
    stageEnded("particles to grid");
    extendVelocity(velocity, known, 2);
    stageEnded("extension");
    // The surface is the particles' where the last tick (or a pour) left them.
    if (scene.viscosity > 0.0)
        applyLiquidViscosity(velocity, known, scene, domain);
    stageEnded("viscosity");
    // Gravity on every face; the walls and solids hold theirs.
    for (size_t k = 0; k < velocity.u.size(); ++k)
        velocity.u.data[k] += dt * scene.gravityX;
    for (size_t k = 0; k < velocity.v.size(); ++k)
        velocity.v.data[k] += dt * scene.gravityY;
    domain.holdFaces(velocity);
    stageEnded("forces");
    solveOutcome = projectLiquid(velocity, pressure, surface, scene, domain);
    markProjectedCells();
    stageEnded("pressure solve");
    // The faces the projection set are those beside a liquid cell; the rest
    // take the velocity carried out from them, as far as a particle may go
    // in a tick and then some.
    const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
    for (int c = 0; c < 2; ++c) {
        const GridArray& component = velocity.component(c);
        known[c].assign(component.size(), 0);
        for (uint32_t a = 0; a < component.extent[0]; ++a)
            for (uint32_t b = 0; b < component.extent[1]; ++b) {
                // The cells on either side of face (a, b).
                const bool first = c == 0 ? a > 0 && liquidCell(a - 1, b) : b > 0 && liquidCell(a, b - 1);
                const bool second = c == 0 ? a < nx && liquidCell(a, b) : b < ny && liquidCell(a, b);
                known[c][size_t(a) * component.extent[1] + b] = first || second;
            }
    }
    extendVelocity(velocity, known, 3);
    domain.holdFaces(velocity);
    stageEnded("extension");
    gridToParticles(velocity, particleList);
    stageEnded("grid to particles");
    VelocityField moving(velocity.nx, velocity.ny, velocity.dx);
    moving.u.assign(velocity.u.values());
    moving.v.assign(velocity.v.values());
    addSpreadingDrift(moving, surface, particleList, seededCrowding, scene, domain);
    stageEnded("spreading drift");
    moveParticles(particleList, moving, domain, dt);
    pourFromTaps(taps, ticksRun, dt, domain, particleList);
    ++ticksRun;
    stageEnded("particles move");
    buildSurface();
}

void LiquidSolver::markProjectedCells()
{
    const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
    projected.assign(size_t(nx) * ny, 0);
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            projected[size_t(i) * ny + j] = liquidCell(i, j);
}

void LiquidSolver::buildSurface()
{
    surface.build(particleList);
    stageEnded("surface");
    if (holdsArea)
        surface.holdArea(particleArea());
    stageEnded("area hold");
}

double LiquidSolver::areaPerParticle() const
{
    // Without liquid at the start, a particle stands for its share of a cell.
    const double dx = scene.cellSize;
    return startCount > 0 ? startArea / double(startCount) : dx * dx / (particlesPerSide * particlesPerSide);
}

double LiquidSolver::particleArea() const
{
    return areaPerParticle() * double(particleList.size());
}

LiquidStart LiquidSolver::startOf(const Scene& scene)
{
    const std::vector<LiquidRegion> regions = scene.liquid;
    auto regionAt = [regions](double x, double y) -> const LiquidRegion* {
        for (const LiquidRegion& region : regions)
            if (region.contains(x, y))
                return &region;
        return nullptr;
    };
    auto areaWithin = [regions, regionAt](double x0, double y0, double x1, double y1) {
        const LiquidRegion* only = nullptr;
        int touching = 0;
        for (const LiquidRegion& region : regions)
            if (region.areaWithin(x0, y0, x1, y1) > 0.0) {
                only = &region;
                ++touching;
            }
        if (touching <= 1)
            return only ? only->areaWithin(x0, y0, x1, y1) : 0.0;
        // Where shapes meet, their union by the midpoints of a fine lattice.
        constexpr int samples = 64;
        const double wide = (x1 - x0) / samples, high = (y1 - y0) / samples;
        int inside = 0;
        for (int a = 0; a < samples; ++a)
            for (int b = 0; b < samples; ++b)
                inside += regionAt(x0 + (a + 0.5) * wide, y0 + (b + 0.5) * high) != nullptr;
        return inside * wide * high;
    };
    return {[regionAt](double x, double y) { return regionAt(x, y) != nullptr; },
            [regionAt](double x, double y) {
                const LiquidRegion* region = regionAt(x, y);
                return region ? Velocity{region->velocityX, region->velocityY} : Velocity{0.0, 0.0};
            },
            areaWithin};
}

void LiquidSolver::addVelocity(const std::function<Velocity(double x, double y)>& added)
{
    for (LiquidParticle& p : particleList) {
        const Velocity more = added(p.x, p.y);
        p.u += more.x;
        p.v += more.y;
    }
}

void LiquidSolver::pourAt(double x, double y, double reach, Velocity velocity)
{
    pourParticles(particleList, domain, x, y, reach, velocity);
    buildSurface();
}

void LiquidSolver::setParticles(std::vector<LiquidParticle> particles, uint64_t ticks)
{
    particleList = std::move(particles);
    ticksRun = ticks;
    buildSurface();
    markProjectedCells();
}

double LiquidSolver::largestSpeed() const
{
    double largest = 0.0;
    for (const LiquidParticle& p : particleList)
        largest = std::max(largest, hypotenuse(p.u, p.v));
    return largest;
}

double LiquidSolver::kineticEnergy() const
{
    double sumOfSquares = 0.0;
    for (const LiquidParticle& p : particleList)
        sumOfSquares += p.u * p.u + p.v * p.v;
    return 0.5 * sumOfSquares * areaPerParticle();
}
