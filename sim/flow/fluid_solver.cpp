#include "sim/flow/fluid_solver.h"

#include "sim/grid/advection_kernels.h"
#include "sim/solve/five_point_system.h"
#include "sim/solve/tick_stages.h"
#include "sim/flow/scene_steps.h"
#include "sim/scene/standard_box.h"
#include "parallel/thread_pool.h"
#include "simd/dispatch.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

namespace {

// The standard box on another grid: its bands as far as the grid reaches.
Scene standardOn(uint32_t nx, uint32_t ny)
{
    Scene scene = Scene::standard();
    scene.nx = nx;
    scene.ny = ny;
    for (std::vector<Band>* bands : {&scene.inflows, &scene.outflows}) {
        std::vector<Band> kept;
        for (Band band : *bands) {
            if (band.range.first >= ny)
                continue;
            band.range.last = std::min(band.range.last, ny - 1);
            kept.push_back(band);
        }
        *bands = kept;
    }
    return scene;
}

bool anyBandPours(const Scene& scene)
{
    return std::any_of(scene.inflows.begin(), scene.inflows.end(), [](const Band& band) { return band.pours; });
}

}  // namespace

FluidSolver::FluidSolver(uint32_t nx, uint32_t ny) : FluidSolver(standardOn(nx, ny)) {}

FluidSolver::FluidSolver(const Scene& scene)
    : dx(scene.cellSize),
      nx(scene.nx),
      ny(scene.ny),
      velocity(std::make_unique<VelocityField>(nx, ny, dx)),
      velocityTemp(std::make_unique<VelocityField>(nx, ny, dx)),
      pressure(std::make_unique<ScalarField>(nx, ny, dx)),
      density(scene.density),
      scene(scene),
      domain(scene)
{
    assert(nx >= 2 && ny >= 2);  // the sampling rule needs two samples per axis
    for (uint32_t i = 0; i <= nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            velocity->u.at(i, j) = 0.0;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j <= ny; ++j)
            velocity->v.at(i, j) = 0.0;
    // Nothing reads the pressure before the first solve writes it, but a dump may.
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            pressure->values.at(i, j) = 0.0;
    if (scene.viscosity > 0.0) {
        pressureChange = std::make_unique<ScalarField>(nx, ny, dx);
        std::fill(pressureChange->values.data.get(), pressureChange->values.data.get() + pressureChange->values.size(),
                  0.0);
    }
    if (anyBandPours(scene))
        enableDye();
    if (scene.heat.enabled)
        heat = std::make_unique<HeatField>(scene);
    if (scene.hasLiquid())
        liquid = std::make_unique<LiquidSolver>(this->scene, domain, LiquidSolver::startOf(this->scene));
}

void FluidSolver::step()
{
    if (liquid) {
        // The hand pushes the liquid's particles, which carry its velocity.
        for (const Push& p : pushes)
            liquid->addVelocity([&](double x, double y) {
                const double w = pushWeight(p, x, y);
                return Velocity{w * p.vx, w * p.vy};
            });
        pushes.clear();
        liquid->tick(*velocity, *pressure);
        lastSolve = liquid->lastSolve();
        pressureKnown = true;
        return;
    }
    const double dt = scene.timeStep;
    // Advection swaps the two fields, so every step reads the current one anew.
    advect(*velocity, dt);
    stageEnded("advection");
    const bool viscous = scene.viscosity > 0.0;
    const bool incremental = pressureChange && pressureKnown;
    if (viscous)
        applyBoundaryConditions(*velocity, dt);
    if (incremental) {
        // The diffusion sees the forces that the last tick's pressure
        // balances, with that pressure: where they balance (still water) it
        // diffuses nothing, and a steady flow is the same whatever the time
        // step - which a flow driven by its buoyancy needs (without it, a
        // heated square's Nusselt number moved by 3 % with the step). What
        // the buoyancy changed since comes after it.
        // A sample inside a cutting disc is held at rest by the diffusion:
        // what these forces gave it is given back after it.
        const bool cut = domain.cutsCells();
        std::vector<double> unforced[2], forced[2];
        for (int c = 0; c < 2 && cut; ++c)
            unforced[c] = velocity->component(c).values();
        subtractPressureGradient(*velocity, *pressure, dt);
        applyGravity(*velocity, dt);
        if (heat)
            heat->addBuoyancy(*velocity, domain, dt, HeatField::Buoyancy::last);
        applyBoundaryConditions(*velocity, dt);
        for (int c = 0; c < 2 && cut; ++c)
            forced[c] = velocity->component(c).values();
        stageEnded("forces");
        diffuse(*velocity, dt);
        for (int c = 0; c < 2 && cut; ++c) {
            GridArray& component = velocity->component(c);
            for (uint32_t a = 0; a < component.extent[0]; ++a)
                for (uint32_t b = 0; b < component.extent[1]; ++b)
                    if (domain.sampleInsideCutDisc(c, a, b)) {
                        const size_t k = size_t(a) * component.extent[1] + b;
                        component.data[k] = forced[c][k] - unforced[c][k];
                    }
        }
        if (heat)
            heat->addBuoyancy(*velocity, domain, dt, HeatField::Buoyancy::change);
        stageEnded("viscosity");
    } else {
        // Without a pressure yet, gravity's push, diffused against a wall or
        // solid that holds the fluid at rest, would stir water that the
        // pressure alone holds still: it comes after the diffusion.
        if (viscous) {
            diffuse(*velocity, dt);
            stageEnded("viscosity");
        }
        applyGravity(*velocity, dt);
        if (heat)
            heat->addBuoyancy(*velocity, domain, dt, HeatField::Buoyancy::now);
    }
    if (pressureChange && heat)
        heat->buoyancyBalanced();  // what the next tick's pressure balances
    applyPushes(*velocity);
    applyBoundaryConditions(*velocity, dt);
    stageEnded("forces");
    if (incremental) {
        solvePressureChange(*velocity, dt);
        stageEnded("pressure solve");
        subtractPressureGradient(*velocity, *pressureChange, dt);
        double* whole = pressure->values.data.get();
        const double* change = pressureChange->values.data.get();
        const uint8_t* solid = domain.solidCells().data();
        parallel::forRanges(pressure->values.size(), parallel::cellsWorthAThread, [&](size_t first, size_t last) {
            for (size_t k = first; k < last; ++k)
                whole[k] = solid[k] ? 0.0 : whole[k] + change[k];
        });
    } else {
        solvePressure(*velocity, *pressure, dt);
        stageEnded("pressure solve");
        subtractPressureGradient(*velocity, *pressure, dt);
    }
    pressureKnown = true;
    applyBoundaryConditions(*velocity, dt);
    stageEnded("projection");
    if (!dye && !heat)
        return;
    // Dye and heat move with the velocity the projection has just made
    // divergence-free: through the faces' open parts where discs cut cells.
    std::optional<VelocityField> open;
    if (domain.cutsCells())
        open.emplace(domain.openFlow(*velocity));
    const VelocityField& carrier = open ? *open : *velocity;
    if (dye)
        advectDye(*dye, carrier, domain, dt);
    if (heat)
        heat->step(carrier, domain, dt, viscositySolve());
    stageEnded("dye and heat");
}

namespace sim {
FLOWBOX_KERNEL_TABLE(AdvectionKernels, advectionKernels)
}  // namespace sim

void FluidSolver::advect(const VelocityField& field, double dt)
{
    if (scene.needsGeneralSteps() || domain.anySolid())
        advectInScene(field, domain, scene.advection, scene.viscosity, dt, *velocityTemp);
    else
        sim::advectionKernels().advectFaces(field.samples(), dt, velocityTemp->u.data.get(),
                                            velocityTemp->v.data.get());
    std::swap(velocity, velocityTemp);
}

void FluidSolver::applyGravity(VelocityField& field, double dt)
{
    // A component without gravity is left as it is, not added 0.0.
    if (scene.gravityY != 0.0)
        for (uint32_t i = 0; i < nx; ++i)
            for (uint32_t j = 0; j <= ny; ++j)
                field.v.at(i, j) = field.v.at(i, j) + dt * scene.gravityY;
    if (scene.gravityX != 0.0)
        for (uint32_t i = 0; i <= nx; ++i)
            for (uint32_t j = 0; j < ny; ++j)
                field.u.at(i, j) = field.u.at(i, j) + dt * scene.gravityX;
}

double FluidSolver::pushWeight(const Push& p, double x, double y) const
{
    // A smooth bump: full at the pointer, nothing from the radius on.
    const double radius = scene.interaction.radius * dx;
    const double r2 = ((x - p.x) * (x - p.x) + (y - p.y) * (y - p.y)) / (radius * radius);
    return r2 < 1.0 ? (1.0 - r2) * (1.0 - r2) * scene.interaction.strength : 0.0;
}

void FluidSolver::applyPushes(VelocityField& field)
{
    // Nothing to do but in a window's scene, where the pointer pushes.
    if (pushes.empty())
        return;
    for (const Push& p : pushes) {
        auto weight = [&](double x, double y) { return pushWeight(p, x, y); };
        for (uint32_t i = 0; i <= nx; ++i)
            for (uint32_t j = 0; j < ny; ++j)
                field.u.at(i, j) += weight(i * dx, (j + 0.5) * dx) * p.vx;
        for (uint32_t i = 0; i < nx; ++i)
            for (uint32_t j = 0; j <= ny; ++j)
                field.v.at(i, j) += weight((i + 0.5) * dx, j * dx) * p.vy;
    }
    pushes.clear();
}

void FluidSolver::applyBoundaryConditions(VelocityField& field, double /*dt*/)
{
    domain.holdFaces(field);
}

void FluidSolver::diffuse(VelocityField& field, double dt)
{
    const LinearSolve settings = viscositySolve();
    const SystemKey key{domain.solidRevision(), scene.viscosity, dt};
    if (!heldFacesKnown || heldFacesRevision != domain.solidRevision()) {
        for (int c = 0; c < 2; ++c)
            heldFaces[c] = domain.heldFaces(c);
        heldFacesKnown = true;
        heldFacesRevision = domain.solidRevision();
    }
    // The two components' solves are apart from each other: each on a thread
    // of its own where they are large enough.
    SolveOutcome outcomes[2];
    parallel::forLines(2, field.u.size(), [&](size_t first, size_t last) {
        for (size_t number = first; number < last; ++number) {
            GridArray& component = field.component(int(number));
            RepeatedSolve& solves = viscositySolves[number];
            const bool held = solves.holds(settings, key);
            DiffusionSystem system =
                diffusionSystem(component, int(number), domain, heldFaces[number], scene.viscosity, dx, dt,
                                held ? SystemForm::rightHandSideOnly : SystemForm::fastest,
                                std::move(viscosityRhs[number]));
            if (!held)
                solves.take(settings, key, std::move(system.matrix));
            const std::vector<double>& rhs = system.rhs;
            std::vector<double>& result = diffusing[number];
            const bool fromGuess = startViscositySolve(int(number), rhs.size());
            outcomes[number] = solves.solve(settings, rhs, result, fromGuess);
            keepViscosityAnswer(int(number), fromGuess, component.data.get());
            viscosityRhs[number] = std::move(system.rhs);
        }
    });
    lastDiffusion = outcomes[0].with(outcomes[1]);
}

// The velocity diffused changes smoothly from tick to tick: the solve
// starts from the last answer moved on by its last step, or by that step
// grown as it grew from the step before - which of the two would have come
// nearer the last answer (where the flow barely moves, its steps are the
// solves' rounding, and growing them only adds to it).
bool FluidSolver::startViscositySolve(int number, size_t n)
{
    const std::vector<double>& last = diffused[number];
    const std::vector<double>& lastStep = diffusedStep[number];
    const std::vector<double>& stepBefore = diffusedStepBefore[number];
    std::vector<double>& result = diffusing[number];  // the answer before last, or nothing
    const bool fromGuess = scene.viscosityFromPrevious && last.size() == n;
    result.resize(n);
    if (fromGuess && lastStep.size() == n && stepBefore.size() == n && stepsGrow[number]) {
        for (size_t k = 0; k < n; ++k)
            result[k] = last[k] + (2.0 * lastStep[k] - stepBefore[k]);
    } else if (fromGuess && lastStep.size() == n) {
        for (size_t k = 0; k < n; ++k)
            result[k] = last[k] + lastStep[k];
    } else if (fromGuess) {
        std::copy(last.begin(), last.end(), result.begin());
    } else {
        std::fill(result.begin(), result.end(), 0.0);
    }
    return fromGuess;
}

// Writes the answer out as the velocity and keeps it, with its step, for
// the next solve's start; in the same pass, finds which start would have
// come nearer it.
void FluidSolver::keepViscosityAnswer(int number, bool fromGuess, double* velocityOut)
{
    std::vector<double>& last = diffused[number];
    std::vector<double>& lastStep = diffusedStep[number];
    std::vector<double>& stepBefore = diffusedStepBefore[number];
    std::vector<double>& result = diffusing[number];
    const size_t n = result.size();
    if (fromGuess && lastStep.size() == n) {
        const bool compared = stepBefore.size() == n;
        stepBefore.swap(lastStep);  // the step before, kept without a copy
        lastStep.resize(n);         // the step before that, where known, overwritten
        double heldMiss = 0.0, grownMiss = 0.0;
        for (size_t k = 0; k < n; ++k) {
            const double step = result[k] - last[k];
            if (compared) {
                const double held = std::fabs(step - stepBefore[k]);
                const double grown = std::fabs((step - stepBefore[k]) - (stepBefore[k] - lastStep[k]));
                heldMiss = held > heldMiss ? held : heldMiss;
                grownMiss = grown > grownMiss ? grown : grownMiss;
            }
            lastStep[k] = step;
            velocityOut[k] = result[k];
        }
        stepsGrow[number] = compared && grownMiss < heldMiss;
    } else if (fromGuess) {
        lastStep.resize(n);
        for (size_t k = 0; k < n; ++k) {
            lastStep[k] = result[k] - last[k];
            velocityOut[k] = result[k];
        }
    } else {
        std::copy(result.begin(), result.end(), velocityOut);
    }
    if (scene.viscosityFromPrevious)
        last.swap(result);  // kept for the next tick without a copy
}

void FluidSolver::solvePressure(const VelocityField& field, ScalarField& pressureOut, double dt)
{
    std::vector<double> rhs = sceneRightHandSide(field, dt);
    if (scene.builtIn) {
        std::vector<double> result(rhs.size(), 0.0);
        lastSolve = pressureSolve().solve(assemblePressureMatrix(nx, ny), rhs, result);
        pressureOut.values.assign(result);
        return;
    }
    solveInScene(rhs, pressureOut, 0.0);
}

void FluidSolver::solvePressureChange(const VelocityField& field, double dt)
{
    std::vector<double> rhs = sceneRightHandSide(field, dt);
    holdPressureSystem();
    // Rounding leaves the change's right-hand side a part no pressure
    // answers where the fluid is closed in; as the flow settles, that part
    // is all there is, and the iteration wanders after it.
    for (const std::vector<uint32_t>& part : closedParts) {
        double sum = 0.0;
        for (uint32_t k : part)
            sum += rhs[k];
        const double mean = sum / double(part.size());
        for (uint32_t k : part)
            rhs[k] -= mean;
    }
    // The change is solved as accurately as the whole pressure would be:
    // to the tolerance of the right-hand side the whole pressure answers,
    // the change's plus the last pressure's. A settled flow's change then
    // takes one iteration, not a chase after rounding.
    std::vector<double>& last = changeScratch[0];
    std::vector<double>& lastAnswered = changeScratch[1];
    const size_t n = rhs.size();
    last.resize(n);
    lastAnswered.resize(n);
    const double* lastPressure = pressure->values.data.get();
    const uint8_t* solid = domain.solidCells().data();
    parallel::forRanges(n, parallel::cellsWorthAThread, [&](size_t first, size_t end) {
        for (size_t k = first; k < end; ++k)
            last[k] = solid[k] ? 0.0 : lastPressure[k];
    });
    pressureSolves.multiply(last, lastAnswered);
    double whole = 0.0;
    for (size_t k = 0; k < n; ++k) {
        const double size = std::fabs(rhs[k] + lastAnswered[k]);
        whole = size > whole ? size : whole;  // as fmax, without its call
    }
    solveInScene(rhs, *pressureChange, whole);
}

std::vector<double> FluidSolver::sceneRightHandSide(const VelocityField& field, double dt) const
{
    // Where discs cut cells, what flows through the faces' open parts has no divergence.
    std::vector<double> rhs = domain.cutsCells() ? pressureRightHandSide(domain.openFlow(field), dx, density, dt)
                                                 : pressureRightHandSide(field, dx, density, dt);
    if (!scene.builtIn)
        for (size_t k = 0; k < rhs.size(); ++k)
            if (domain.solidCells()[k])
                rhs[k] = 0.0;
    return rhs;
}

void FluidSolver::holdPressureSystem()
{
    const LinearSolve settings = pressureSolve();
    const SystemKey key{domain.solidRevision()};
    if (pressureSolves.holds(settings, key))
        return;
    pressureSolves.take(settings, key, pressureSystem(domain));
    closedParts = domain.closedParts();
}

void FluidSolver::solveInScene(const std::vector<double>& rhs, ScalarField& pressureOut, double rhsScale)
{
    // A scene's matrix goes to the solver in its grid form, without row lists.
    holdPressureSystem();
    std::vector<double>& result = pressureScratch;
    result.resize(rhs.size());
    // The pressure changes little from tick to tick: the last one (or the
    // last change) is where the solve starts, if the scene says so (0 in a
    // solid cell, whose row says so). Carrying the change on along a line
    // instead was tried: a 1024-cell cavity's first ticks took one
    // iteration instead of two, but a settled flow's changes are the
    // solves' rounding, and there it doubled the viscosity's iterations.
    const double* before = pressureOut.values.data.get();
    const uint8_t* solid = domain.solidCells().data();
    const bool fromLast = scene.pressureFromPrevious;
    parallel::forRanges(result.size(), parallel::cellsWorthAThread, [&](size_t first, size_t last) {
        for (size_t k = first; k < last; ++k)
            result[k] = fromLast && !solid[k] ? before[k] : 0.0;
    });
    lastSolve = pressureSolves.solve(pressureSolve(), rhs, result, fromLast, rhsScale);
    pressureOut.values.assign(result);
}

void FluidSolver::subtractPressureGradient(VelocityField& field, const ScalarField& pressureIn,
                                           double dt)
{
    const double g = dt / density;
    const double h = dx;
    const uint32_t rows = ny;
    const uint32_t columns = nx;
    const double* p = pressureIn.values.data.get();
    // Line i holds the u faces on the left of cells (i, j) and the v faces
    // below them; beyond the border the pressure counts as 0.0.
    parallel::forLines(nx + 1, ny, [&](size_t first, size_t last) {
        for (size_t i = first; i < last; ++i) {
            const double* here = p + i * rows;  // one line past the last at i == columns, not read
            const double* left = i > 0 ? p + (i - 1) * rows : p;
            if (i < columns) {
                double* v = field.v.data.get() + i * (rows + 1);
                v[0] = v[0] - ((here[0] - 0.0) * g) / h;
                for (uint32_t j = 1; j < rows; ++j)
                    v[j] = v[j] - ((here[j] - here[j - 1]) * g) / h;
                v[rows] = v[rows] - ((0.0 - here[rows - 1]) * g) / h;
            }
            double* u = field.u.data.get() + i * rows;
            if (i == 0)
                for (uint32_t j = 0; j < rows; ++j)
                    u[j] = u[j] - ((here[j] - 0.0) * g) / h;
            else if (i == columns)
                for (uint32_t j = 0; j < rows; ++j)
                    u[j] = u[j] - ((0.0 - left[j]) * g) / h;
            else
                for (uint32_t j = 0; j < rows; ++j)
                    u[j] = u[j] - ((here[j] - left[j]) * g) / h;
        }
    });
}

bool FluidSolver::setSolid(uint32_t i, uint32_t j, bool makeSolid)
{
    const bool changes = i < nx && j < ny && domain.isSolid(i, j) != makeSolid;
    if (!domain.setSolid(i, j, makeSolid))
        return false;
    if (!changes)
        return true;
    // A new solid holds its faces at rest from now, not from the next step's
    // border update on; a cell given back to the fluid starts at rest.
    Domain::stillCell(*velocity, i, j);
    if (dye)
        for (GridArray& c : dye->channel)
            c.at(i, j) = 0.0;
    if (heat)
        heat->cellChanged(i, j, domain);
    return true;
}

void FluidSolver::enableDye()
{
    if (!dye && !liquid)
        dye = std::make_unique<DyeField>(nx, ny);
}

void FluidSolver::pourDye(double x, double y, double radius, const float colour[3])
{
    if (dye)
        ::pourDye(*dye, domain, x, y, radius, colour);
}

double FluidSolver::dyeTotal(int channel) const
{
    return dye ? ::dyeTotal(*dye, domain, channel) : 0.0;
}
