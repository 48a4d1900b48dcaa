// Heated flows: the heated cavity beside de Vahl Davis, the layer heated from below.
#include "validation/validation.h"

#include "sim/flow/scene_steps.h"
#include "sim/liquid/liquid.h"
#include "sim/measure/probes.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace validation {

namespace {

constexpr double prandtl = 0.71;

// Viscosity and thermal diffusivity of a unit box at a Rayleigh number with
// gravity, expansion and temperature difference 1.
void heatAtRayleigh(Scene& scene, double rayleigh)
{
    scene.viscosity = std::sqrt(prandtl / rayleigh);
    scene.heat.enabled = true;
    scene.heat.diffusivity = scene.viscosity / prandtl;
    scene.heat.expansion = 1.0;
    scene.heat.reference = 0.5;
    scene.heat.initial = 0.5;
    scene.gravityX = 0.0;
    scene.gravityY = 1.0;
}

// The largest of samples taken `spacing` apart from `first` on, and where it
// lies: the vertex of the parabola through the largest and its neighbours.
std::pair<double, double> peak(const std::vector<double>& samples, double first, double spacing)
{
    size_t top = 0;
    for (size_t k = 1; k < samples.size(); ++k)
        if (samples[k] > samples[top])
            top = k;
    if (top == 0 || top + 1 == samples.size())
        return {samples[top], first + top * spacing};
    const double before = samples[top - 1], middle = samples[top], after = samples[top + 1];
    const double curvature = before - 2.0 * middle + after;
    const double shift = curvature < 0.0 ? 0.5 * (before - after) / curvature : 0.0;
    return {middle - 0.25 * (before - after) * shift, first + (double(top) + shift) * spacing};
}

}  // namespace

Scene heatedCavity(uint32_t n, double rayleigh, AdvectionScheme scheme, double courant)
{
    Scene scene = Scene::standard();
    scene.builtIn = false;
    scene.name = "heated cavity";
    scene.nx = scene.ny = n;
    scene.cellSize = 1.0 / n;
    scene.density = 1.0;
    heatAtRayleigh(scene, rayleigh);
    scene.heat.wall[int(Side::left)] = 1.0;
    scene.heat.wall[int(Side::right)] = 0.0;
    scene.left = scene.right = scene.top = scene.bottom = {Wall::Kind::noSlip, 0.0};
    scene.inflows.clear();
    scene.outflows.clear();
    scene.advection = scheme;
    const double speed = 0.2 * std::sqrt(rayleigh) * scene.heat.diffusivity;
    scene.timeStep = courant * scene.cellSize / speed;
    scene.preconditioner = pcg::Preconditioner::multigrid;
    scene.pressureFromPrevious = scene.viscosityFromPrevious = true;
    scene.iterationLimit = 1000;
    scene.tracerCount = 0;
    return scene;
}

Convection steadyConvection(Run& run, double rate, double timeLimit)
{
    const SteadyRun steady = runUntilSteady(run, rate, timeLimit);
    const FluidSolver& solver = run.solver();
    Convection result;
    result.steady = steady.steady;
    result.time = steady.time;
    for (const WallNusselt& wall : solver.heat->nusselt(solver.domain))
        if (wall.side == Side::left)
            result.nusselt = wall.value;
    const double unit = 1.0 / solver.scene.heat.diffusivity;  // de Vahl Davis's velocity unit
    const double dx = solver.dx, side = solver.nx * dx;
    std::vector<double> u, v;
    for (uint32_t j = 0; j < solver.ny; ++j)  // from the lid down
        u.push_back(unit * sampleInScene(*solver.velocity, solver.domain, 0, 0.5 * side, (j + 0.5) * dx));
    for (uint32_t i = 0; i < solver.nx; ++i)
        v.push_back(-unit * sampleInScene(*solver.velocity, solver.domain, 1, (i + 0.5) * dx, 0.5 * side));
    const auto [largestU, downTo] = peak(u, 0.5 * dx, dx);
    const auto [largestV, across] = peak(v, 0.5 * dx, dx);
    result.largestU = largestU;
    result.atY = 1.0 - downTo / side;
    result.largestV = largestV;
    result.atX = across / side;
    return result;
}

Scene convectionLayer(uint32_t n, double rayleigh, double timeStep)
{
    Scene scene = heatedCavity(n, rayleigh, AdvectionScheme::macCormack);
    scene.name = "convection layer";
    scene.nx = uint32_t(std::lround(2.016 * n));
    scene.heat.wall[int(Side::left)] = scene.heat.wall[int(Side::right)] = std::nan("");
    scene.heat.wall[int(Side::top)] = 0.0;
    scene.heat.wall[int(Side::bottom)] = 1.0;
    scene.left = scene.right = {Wall::Kind::slip, 0.0};
    scene.timeStep = timeStep;
    return scene;
}

void disturbLayer(FluidSolver& solver, double amplitude)
{
    const double dx = solver.dx, width = solver.nx * dx, height = solver.ny * dx;
    const double pi = std::acos(-1.0);
    for (uint32_t i = 0; i < solver.nx; ++i) {
        for (uint32_t j = 0; j < solver.ny; ++j) {
            const double x = (i + 0.5) * dx, down = (j + 0.5) * dx / height;
            solver.heat->temperature.at(i, j) =
                down + amplitude * std::cos(2.0 * pi * x / width) * std::sin(pi * down);
        }
    }
}

double growthRate(Run& run, double duration)
{
    const FluidSolver& solver = run.solver();
    const uint64_t ticks = uint64_t(std::ceil(duration / solver.scene.timeStep)), half = ticks / 2;
    double energyAtHalf = 0.0;
    run.advance(ticks, 0.0, [&](uint64_t tick, double) {
        if (tick == half)
            energyAtHalf = kineticEnergy(*solver.velocity);
        return true;
    });
    const double elapsed = double(ticks - half) * solver.scene.timeStep;
    return 0.5 * std::log(kineticEnergy(*solver.velocity) / energyAtHalf) / elapsed;
}

}  // namespace validation
