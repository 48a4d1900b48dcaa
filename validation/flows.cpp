// The gas flows: the lid-driven cavity beside Ghia, Taylor-Green, the channel, the cylinder.
#include "validation/validation.h"

#include "sim/flow/scene_steps.h"
#include "sim/measure/probes.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <utility>

namespace validation {

bool readReference(const std::string& path, std::vector<ReferencePoint>& points, std::string& error)
{
    std::ifstream file(path);
    if (!file) {
        error = path + ": cannot be read";
        return false;
    }
    points.clear();
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        ReferencePoint point{};
        char comma1 = 0, comma2 = 0;
        if (!(fields >> point.component >> comma1 >> point.coordinate >> comma2 >> point.value) || comma1 != ',' ||
            comma2 != ',' || (point.component != 'u' && point.component != 'v')) {
            error = path + ":" + std::to_string(number) + ": not component,coordinate,value";
            return false;
        }
        points.push_back(point);
    }
    return true;
}

Scene cavityOn(const Scene& base, uint32_t n, double reynolds, AdvectionScheme scheme)
{
    Scene scene = base;
    const double side = base.nx * base.cellSize;
    scene.nx = scene.ny = n;
    scene.cellSize = side / n;
    scene.timeStep = base.timeStep * base.nx / n;
    scene.viscosity = scene.top.tangentSpeed() * side / reynolds;
    scene.advection = scheme;
    scene.tracerCount = 0;
    return scene;
}

namespace {

// The ticks it takes to reach the time limit.
uint64_t ticksUntil(const Run& run, double timeLimit)
{
    uint64_t tickLimit = 0;
    while (double(tickLimit) * run.scene().timeStep < timeLimit)
        ++tickLimit;
    return tickLimit;
}

}  // namespace

SteadyRun runUntilSteady(Run& run, double rate, double timeLimit)
{
    const RunOutcome outcome = run.advance(ticksUntil(run, timeLimit), rate);
    return {outcome.steady, run.time(), outcome.ticks, outcome.changeRate};
}

double cavityU(const FluidSolver& solver, double y)
{
    const double side = solver.ny * solver.dx;
    return sampleInScene(*solver.velocity, solver.domain, 0, 0.5 * solver.nx * solver.dx,
                         (1.0 - y) * side);
}

double cavityV(const FluidSolver& solver, double x)
{
    const double side = solver.nx * solver.dx;
    return -sampleInScene(*solver.velocity, solver.domain, 1, x * side, 0.5 * solver.ny * solver.dx);
}

Differences compareWithReference(const FluidSolver& solver, const std::vector<ReferencePoint>& reference)
{
    Differences d;
    int countU = 0, countV = 0;
    for (const ReferencePoint& point : reference) {
        const bool isU = point.component == 'u';
        const double ours = isU ? cavityU(solver, point.coordinate) : cavityV(solver, point.coordinate);
        const double difference = std::fabs(ours - point.value);
        (isU ? d.largestU : d.largestV) = std::fmax(isU ? d.largestU : d.largestV, difference);
        (isU ? d.rmsU : d.rmsV) += difference * difference;
        ++(isU ? countU : countV);
    }
    d.rmsU = countU ? std::sqrt(d.rmsU / countU) : 0.0;
    d.rmsV = countV ? std::sqrt(d.rmsV / countV) : 0.0;
    return d;
}

namespace {

Scene unitBox(uint32_t n, double viscosity, AdvectionScheme scheme)
{
    Scene scene = Scene::standard();
    scene.name = "validation";
    scene.builtIn = false;
    scene.nx = scene.ny = n;
    scene.cellSize = 1.0 / n;
    scene.density = 1.0;
    scene.viscosity = viscosity;
    scene.gravityY = 0.0;
    scene.inflows.clear();
    scene.outflows.clear();
    scene.advection = scheme;
    scene.tracerCount = 0;
    scene.tolerance = 1e-8;
    scene.iterationLimit = 10000;
    return scene;
}

}  // namespace

Decay taylorGreenDecay(uint32_t n, double viscosity, double duration, AdvectionScheme scheme, double courant)
{
    const double pi = std::acos(-1.0);
    Scene scene = unitBox(n, viscosity, scheme);
    scene.timeStep = courant / n;  // the largest speed is 1
    Run run(scene);
    const FluidSolver& solver = run.solver();
    VelocityField& field = *run.solver().velocity;
    const double h = solver.dx;
    // Flowbox's y runs down the picture; with y measured down the field is
    // still an exact solution, with v's sign as written.
    for (uint32_t i = 0; i <= n; ++i)
        for (uint32_t j = 0; j < n; ++j)
            field.u.at(i, j) = std::sin(pi * i * h) * std::cos(pi * (j + 0.5) * h);
    for (uint32_t i = 0; i < n; ++i)
        for (uint32_t j = 0; j <= n; ++j)
            field.v.at(i, j) = -std::cos(pi * (i + 0.5) * h) * std::sin(pi * j * h);
    const double start = kineticEnergy(field);
    const auto ticks = uint64_t(std::llround(duration / scene.timeStep));
    run.advance(ticks);
    const double time = ticks * scene.timeStep;
    return {-std::log(kineticEnergy(*solver.velocity) / start) / time, 4.0 * pi * pi * viscosity};
}

ChannelProfile poiseuille(uint32_t n, double viscosity, AdvectionScheme scheme)
{
    Scene scene = unitBox(n, viscosity, scheme);
    scene.nx = 6 * n;
    scene.top = scene.bottom = {Wall::Kind::noSlip, 0.0};
    scene.inflows.push_back({{Side::left, 0, n - 1}, 1.0});
    scene.outlets.push_back({Side::right, 0, n - 1});
    scene.timeStep = 0.4 / n;  // the centre runs at 1.5
    Run run(scene);
    const FluidSolver& solver = run.solver();
    ChannelProfile profile;
    profile.steady = runUntilSteady(run, 1e-4, 200.0).steady;
    const uint32_t i = 5 * n;
    for (uint32_t j = 0; j < n; ++j) {
        const double y = (j + 0.5) / n;
        profile.largestDifference =
            std::fmax(profile.largestDifference, std::fabs(solver.velocity->u.at(i, j) - 6.0 * y * (1.0 - y)));
    }
    return profile;
}

namespace {

constexpr double diameter = 0.1;
constexpr double channelHeight = 0.41;

}  // namespace

Scene cylinderOn(const Scene& base, uint32_t cellsPerDiameter, AdvectionScheme scheme)
{
    Scene scene = base;
    const double dx = diameter / cellsPerDiameter;
    scene.cellSize = dx;
    scene.nx = uint32_t(std::lround(2.2 / dx));
    scene.ny = uint32_t(std::lround(channelHeight / dx));
    scene.timeStep = base.timeStep * dx / base.cellSize;
    scene.inflows[0].range.last = scene.ny - 1;
    scene.outlets[0].last = scene.ny - 1;
    // 0.2 from the inlet, 0.2 above the floor: 0.21 below the top.
    SolidDisc& disc = scene.discs[0];
    disc.centreX = 0.2 / dx;
    disc.centreY = (channelHeight - 0.2) / dx;
    disc.radius = 0.5 * diameter / dx;
    scene.advection = scheme;
    scene.tracerCount = 0;
    scene.iterationLimit = 1000;
    return scene;
}

CylinderCoefficients cylinderCoefficients(const FluidSolver& solver, const BodyForce& force, double meanSpeed)
{
    const double scale = 2.0 / (solver.density * meanSpeed * meanSpeed * diameter);
    const std::vector<ProbeReading> probes =
        readProbes(solver.scene.probes, *solver.velocity, *solver.pressure, solver.domain);
    return {scale * force.x, -scale * force.y, probes.size() == 2 ? probes[0].p - probes[1].p : 0.0};
}

double recirculationLength(const FluidSolver& solver)
{
    const double back = 0.25, y = channelHeight - 0.2, step = solver.dx / 8.0;
    double x = back;
    // Through the wall's half cell and the flow running back, to where it runs on again.
    while (x < 2.2 && sampleInScene(*solver.velocity, solver.domain, 0, x, y) >= 0.0 && x < back + solver.dx)
        x += step;
    while (x < 2.2 && sampleInScene(*solver.velocity, solver.domain, 0, x, y) < 0.0)
        x += step;
    return x - back;
}

SteadyCylinder steadyCylinder(Run& run, double meanSpeed, double rate, double timeLimit)
{
    const RunOutcome outcome = run.advance(ticksUntil(run, timeLimit), rate);
    const FluidSolver& solver = run.solver();
    return {outcome.steady, run.time(), cylinderCoefficients(solver, run.forces()[0], meanSpeed),
            recirculationLength(solver)};
}

PeriodicCylinder periodicCylinder(Run& run, double meanSpeed, double duration)
{
    const double dt = run.scene().timeStep;
    const uint64_t ticks = uint64_t(std::ceil(duration / dt));
    std::vector<CylinderCoefficients> history;
    history.reserve(ticks);
    run.advance(ticks, 0.0, [&](uint64_t, double) {
        history.push_back(cylinderCoefficients(run.solver(), run.forces()[0], meanSpeed));
        return true;
    });
    // The lift's upward zero crossings, between ticks by a straight line.
    std::vector<double> crossings;
    for (size_t k = 1; k < history.size(); ++k)
        if (history[k - 1].lift < 0.0 && history[k].lift >= 0.0)
            crossings.push_back(double(k) - history[k].lift / (history[k].lift - history[k - 1].lift));
    PeriodicCylinder result;
    result.history = history;
    if (crossings.size() < 5)
        return result;
    const size_t last = crossings.size() - 1;
    const double periods[3] = {crossings[last] - crossings[last - 1], crossings[last - 1] - crossings[last - 2],
                               crossings[last - 2] - crossings[last - 3]};
    result.periodic = std::fabs(periods[1] - periods[0]) < 0.01 * periods[0] &&
                      std::fabs(periods[2] - periods[0]) < 0.01 * periods[0];
    result.strouhal = diameter / (periods[0] * dt * meanSpeed);
    // Over the last period: the largest drag and lift, and the pressure drop
    // half a period after the largest lift.
    const size_t from = size_t(std::ceil(crossings[last - 1])), to = size_t(crossings[last]);
    size_t top = from;
    for (size_t k = from; k <= to; ++k) {
        result.largestDrag = std::fmax(result.largestDrag, history[k].drag);
        if (history[k].lift > history[top].lift)
            top = k;
    }
    result.largestLift = history[top].lift;
    const size_t half = top + size_t(std::lround(periods[0] / 2.0));
    result.pressureDrop = history[half < history.size() ? half : half - size_t(std::lround(periods[0]))].pressureDrop;
    return result;
}

}  // namespace validation
