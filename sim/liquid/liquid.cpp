#include "sim/liquid/liquid.h"

#include "sim/grid/hypotenuse.h"
#include "sim/liquid/surface_pressure.h"
#include "sim/liquid/transfer.h"
#include "sim/liquid/viscosity.h"

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
    buildSurface();
    startArea = area();
    startCount = particleList.size();
    holdsArea = true;
}

void LiquidSolver::tick(VelocityField& velocity, ScalarField& pressure)
{
    const double dt = scene.timeStep;
    std::vector<uint8_t> known[2];
    particlesToGrid(particleList, velocity, known);
    extendVelocity(velocity, known, 2);
    buildSurface();
    if (scene.viscosity > 0.0)
        applyLiquidViscosity(velocity, known, scene, domain);
    // Gravity on every face; the walls and solids hold theirs.
    for (size_t k = 0; k < velocity.u.size(); ++k)
        velocity.u.data[k] += dt * scene.gravityX;
    for (size_t k = 0; k < velocity.v.size(); ++k)
        velocity.v.data[k] += dt * scene.gravityY;
    domain.holdFaces(velocity);
    solveOutcome = projectLiquid(velocity, pressure, surface, particleList, seededCrowding, scene, domain);
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
    gridToParticles(velocity, particleList);
    moveParticles(particleList, velocity, domain, dt);
    pourFromTaps(taps, ticksRun, dt, domain, particleList);
    ++ticksRun;
}

void LiquidSolver::buildSurface()
{
    surface.build(particleList);
    if (holdsArea)
        surface.holdArea(particleArea());
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
    return {[regionAt](double x, double y) { return regionAt(x, y) != nullptr; },
            [regionAt](double x, double y) {
                const LiquidRegion* region = regionAt(x, y);
                return region ? Velocity{region->velocityX, region->velocityY} : Velocity{0.0, 0.0};
            }};
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
    pourParticles(particleList, domain, x, y, reach, velocity, ticksRun);
}

void LiquidSolver::setParticles(std::vector<LiquidParticle> particles, uint64_t ticks)
{
    particleList = std::move(particles);
    ticksRun = ticks;
    buildSurface();
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
