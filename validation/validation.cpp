#include "validation/validation.h"

#include "sim/liquid/liquid.h"
#include "sim/measure/probes.h"
#include "sim/flow/scene_steps.h"

#include <cmath>
#include <utility>
#include <fstream>
#include <sstream>

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

LiquidTank::LiquidTank(const Scene& scene, const LiquidStart& start)
    : domain(scene),
      velocity(scene.nx, scene.ny, scene.cellSize),
      pressure(scene.nx, scene.ny, scene.cellSize),
      liquid(scene, domain, start)
{
    std::fill(velocity.u.data.get(), velocity.u.data.get() + velocity.u.size(), 0.0);
    std::fill(velocity.v.data.get(), velocity.v.data.get() + velocity.v.size(), 0.0);
}

Scene liquidTank(uint32_t cells, uint32_t rows, double step)
{
    Scene scene = Scene::standard();
    scene.builtIn = false;
    scene.name = "liquid tank";
    scene.inflows.clear();
    scene.outflows.clear();
    scene.nx = cells;
    scene.ny = rows;
    scene.cellSize = 1.0 / cells;
    scene.density = 1000.0;
    scene.gravityX = 0.0;
    scene.gravityY = 9.8;
    scene.timeStep = step;
    scene.tolerance = 1e-8;
    scene.iterationLimit = 400;
    scene.preconditioner = pcg::Preconditioner::multigrid;
    scene.tracerCount = 0;
    return scene;
}

namespace {

// Liquid below the surface y = level(x) (y down), at rest.
LiquidStart below(std::function<double(double)> level)
{
    return {[level](double x, double y) { return y > level(x); }, {}};
}

}  // namespace

StillLiquid stillLiquid(uint32_t cells, uint32_t rows, double depth, double step, double duration)
{
    const Scene scene = liquidTank(cells, rows, step);
    const double dx = scene.cellSize, top = rows * dx - depth;
    LiquidTank tank(scene, below([&](double) { return top; }));
    StillLiquid still;
    still.depth = rows * dx - tank.liquid.surfaceInColumn(cells / 2);
    for (int tick = 0; tick < int(std::lround(duration / step)); ++tick)
        tank.step();
    still.largestSpeed = tank.liquid.largestSpeed();
    double highest = -1.0, lowest = 1e300;
    for (uint32_t i = 0; i < cells; ++i) {
        highest = std::fmax(highest, tank.liquid.surfaceInColumn(i));
        lowest = std::fmin(lowest, tank.liquid.surfaceInColumn(i));
    }
    still.surfaceSpread = (highest - lowest) / dx;
    still.floorPressure = tank.pressure.values.at(cells / 2, rows - 1);
    still.hydrostatic = scene.density * 9.8 * ((rows - 0.5) * dx - tank.liquid.surfaceInColumn(cells / 2));
    return still;
}

StandingWave standingWave(uint32_t cells, double depth, double amplitude, double viscosity)
{
    const double pi = std::acos(-1.0);
    const uint32_t rows = uint32_t(std::lround(cells * depth * 1.5));
    const double step = 0.15 / cells;
    Scene scene = liquidTank(cells, rows, step);
    scene.viscosity = viscosity;
    const double top = rows * scene.cellSize - depth;
    LiquidTank tank(scene, below([&](double x) { return top - amplitude * std::cos(pi * x); }));
    StandingWave wave;
    wave.theory = 2.0 * pi / std::sqrt(9.8 * pi * std::tanh(pi * depth));
    wave.area[0] = tank.liquid.area();
    // Half the height at the left wall's column above that at the right
    // wall's: the mode's amplitude, whatever the mean level.
    auto height = [&] { return 0.5 * (tank.liquid.surfaceInColumn(cells - 1) - tank.liquid.surfaceInColumn(0)); };
    std::vector<double> crossings;
    double before = height(), peak = 0.0;
    const int ticks = int(std::ceil(3.2 * wave.theory / step));
    for (int tick = 1; tick <= ticks; ++tick) {
        tank.step();
        const double now = height();
        peak = std::fmax(peak, std::fabs(now));
        if ((before > 0.0) != (now > 0.0)) {
            crossings.push_back((tick - 1 + before / (before - now)) * step);
            wave.lastAmplitude = peak;
            wave.swings.push_back(peak);
            peak = 0.0;
        }
        before = now;
    }
    wave.area[1] = tank.liquid.area();
    // Half a period from each crossing to the next.
    if (crossings.size() >= 3)
        wave.period = 2.0 * (crossings.back() - crossings.front()) / double(crossings.size() - 1);
    // From the second half swing (the first starts at the top) to the last.
    if (wave.swings.size() >= 3)
        wave.decayRate = std::log(wave.swings[1] / wave.swings.back()) / ((wave.swings.size() - 2) * 0.5 * wave.period);
    return wave;
}

ThrownBlob thrownBlob(uint32_t cells, double step)
{
    Scene scene = liquidTank(cells, cells, step);
    LiquidRegion disc;
    disc.disc = true;
    disc.centreX = 0.3;
    disc.centreY = 0.6;
    disc.radius = 0.1;
    disc.velocityX = 1.0;
    disc.velocityY = -2.0;
    scene.liquid = {disc};
    LiquidTank tank(scene, LiquidSolver::startOf(scene));
    auto centroid = [&] {
        double x = 0.0, y = 0.0;
        for (const LiquidParticle& p : tank.liquid.particles())
            x += p.x, y += p.y;
        const double n = double(tank.liquid.particles().size());
        return std::pair<double, double>{x / n, y / n};
    };
    const auto [x0, y0] = centroid();
    const double area0 = tank.liquid.area();
    ThrownBlob blob;
    // 0.4 units of time: up and on its way down, clear of the walls.
    for (int tick = 1; tick <= int(std::lround(0.4 / step)); ++tick) {
        tank.step();
        const double t = tick * step;
        const auto [x, y] = centroid();
        blob.farthest = std::fmax(blob.farthest, std::hypot(x - (x0 + 1.0 * t), y - (y0 - 2.0 * t + 0.5 * 9.8 * t * t)));
        blob.areaChange = std::fmax(blob.areaChange, std::fabs(tank.liquid.area() / area0 - 1.0));
        blob.largestShift = std::fmax(blob.largestShift, std::fabs(tank.liquid.lastSurfaceShift()) / scene.cellSize);
    }
    blob.farthest /= scene.cellSize;
    return blob;
}

// Points read off the published figures by others, as public validation
// data tabulates them (a column of height 2a; Martin and Moyce's Figure 3,
// a = 2.25 in; Koshizuka and Oka's experiment beside their method), short
// of where a tank 4a wide ends.
const std::vector<std::pair<double, double>> martinMoyceFront = {
    {0.832, 1.217}, {1.219, 1.474}, {1.997, 2.292}, {2.547, 2.995}};
const std::vector<std::pair<double, double>> koshizukaOkaFront = {
    {0.0, 1.000},   {0.381, 1.111}, {0.769, 1.252}, {1.153, 1.505}, {1.537, 1.892},
    {1.935, 2.241}, {2.323, 2.615}, {2.719, 3.003}, {3.096, 3.624}};

DamBreak damBreak(uint32_t cells, double settle)
{
    // The tank is 1 wide, so a = 1/4; 3/4 high, room for the splash.
    const double a = 0.25, g = 9.8, step = 0.1 / cells;
    Scene scene = liquidTank(cells, cells * 3 / 4, step);
    const double height = scene.ny * scene.cellSize;
    LiquidRegion column;
    column.fromX = 0.0;
    column.toX = a;
    column.fromY = height - 2.0 * a;
    column.toY = height;
    scene.liquid = {column};
    LiquidTank tank(scene, LiquidSolver::startOf(scene));
    const double area0 = tank.liquid.area(), scale = std::sqrt(2.0 * g / a), dx = scene.cellSize;
    // Where the surface crosses the floor row's centres, from the right.
    auto front = [&] {
        const GridArray& phi = tank.liquid.levelSet();
        const uint32_t j = scene.ny - 1;
        for (uint32_t i = scene.nx - 1; i > 0; --i) {
            const double right = phi.at(i, j), left = phi.at(i - 1, j);
            if (left < 0.0 && right >= 0.0)
                return (i - 0.5 + left / (left - right)) * dx;
        }
        return phi.at(scene.nx - 1, j) < 0.0 ? scene.nx * dx : 0.0;
    };
    DamBreak dam;
    dam.front.push_back({0.0, front() / a});
    int tick = 0;
    while (dam.front.back().second < 3.9 && tick * step * scale < 6.0) {
        tank.step();
        ++tick;
        dam.front.push_back({tick * step * scale, front() / a});
        dam.areaChange = std::fmax(dam.areaChange, std::fabs(tank.liquid.area() / area0 - 1.0));
        dam.largestShift = std::fmax(dam.largestShift, std::fabs(tank.liquid.lastSurfaceShift()) / dx);
    }
    for (const double end = tick * step * scale + settle; tick * step * scale < end;) {
        tank.step();
        ++tick;
        dam.areaChange = std::fmax(dam.areaChange, std::fabs(tank.liquid.area() / area0 - 1.0));
        dam.largestShift = std::fmax(dam.largestShift, std::fabs(tank.liquid.lastSurfaceShift()) / dx);
    }
    dam.lastSpeed = tank.liquid.largestSpeed() / std::sqrt(g * a);
    return dam;
}

double frontAt(const DamBreak& dam, double t)
{
    for (size_t k = 1; k < dam.front.size(); ++k)
        if (dam.front[k].first >= t) {
            const auto [t0, z0] = dam.front[k - 1];
            const auto [t1, z1] = dam.front[k];
            return z0 + (z1 - z0) * (t - t0) / (t1 - t0);
        }
    return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace validation
