#include "run/run.h"

#include "sim/grid/hypotenuse.h"
#include "sim/scene/live_settings.h"
#include "sim/scene/scene_file.h"

#include <chrono>
#include <cmath>
#include <optional>

namespace {

// How fast the flow changes over one tick: the largest change of any
// velocity sample, or of any temperature in a scene with heat, per unit of time.
class ChangeRate {
public:
    void before(const FluidSolver& solver)
    {
        const VelocityField& field = *solver.velocity;
        samples.assign(field.u.data.get(), field.u.data.get() + field.u.size());
        samples.insert(samples.end(), field.v.data.get(), field.v.data.get() + field.v.size());
        if (solver.heat) {
            const GridArray& t = solver.heat->temperature;
            samples.insert(samples.end(), t.data.get(), t.data.get() + t.size());
        }
    }

    double after(const FluidSolver& solver) const
    {
        const VelocityField& field = *solver.velocity;
        double largest = 0.0;
        for (size_t k = 0; k < field.u.size(); ++k)
            largest = std::fmax(largest, std::fabs(field.u.data[k] - samples[k]));
        for (size_t k = 0; k < field.v.size(); ++k)
            largest = std::fmax(largest, std::fabs(field.v.data[k] - samples[field.u.size() + k]));
        if (solver.heat) {
            const GridArray& t = solver.heat->temperature;
            const size_t start = field.u.size() + field.v.size();
            for (size_t k = 0; k < t.size(); ++k)
                largest = std::fmax(largest, std::fabs(t.data[k] - samples[start + k]));
        }
        return largest / solver.scene.timeStep;
    }

private:
    std::vector<double> samples;
};

}  // namespace

Run::Run(const Scene& scene, Tracers tracers) : flow(std::make_unique<FluidSolver>(scene)), tracing(tracers)
{
    if (tracing == Tracers::moved) {
        tracerList.reserve(tracerSettings(*flow).count);
        // As in the window: one frame on show before the first tick.
        updateTracers(tracerList, random, *flow->velocity, tracerLifetime(), tracerSettings(*flow));
    }
    startMeasuring();
}

bool Run::resume(const SavedRun& saved, std::string& problem)
{
    auto resumed = std::make_unique<FluidSolver>(saved.scene);
    if (!resumed->restoreState(saved, problem))
        return false;
    // Dye to pour, where the run had it; a state saved without dye has none to restore.
    if (flow->dye)
        resumed->enableDye();
    TracerList tracersThen;
    TracerRandom randomThen;
    // Checked even where the front end keeps the tracers, so that they cannot fail it afterwards.
    if (!restoreTracers(saved, tracerSettings(*resumed).count, tracersThen, randomThen, problem))
        return false;
    flow = std::move(resumed);
    if (tracing == Tracers::moved) {
        tracerList = std::move(tracersThen);
        random = randomThen;
    }
    ticks = saved.tick;
    // The forces' momentum is taken from the flow as it resumes.
    startMeasuring();
    return true;
}

bool Run::changeSetting(const std::string& path, const std::string& text, std::string& problem)
{
    SceneValue value;
    std::string why;
    if (!liveSettingValue(text, value, why))
        return problem = path + ": " + why, false;
    Scene changed;
    return sceneWithValues(scene(), {{path, value}}, changed, problem) && changeScene(changed, problem);
}

bool Run::changeScene(const Scene& changed, std::string& problem)
{
    SavedRun saved = save();
    saved.scene = changed;
    return resume(saved, problem);
}

void Run::startMeasuring()
{
    const size_t solids = flow->scene.solidsInOrder().size();
    meter = solids > 0 ? std::make_unique<ForceMeter>(*flow) : nullptr;
    lastForces.assign(solids, BodyForce{std::nan(""), std::nan("")});
}

void Run::step()
{
    advance(1);
}

RunOutcome Run::advance(uint64_t tickLimit, double steadyRate,
                        const std::function<bool(uint64_t ticks, double stepMicroseconds)>& afterTick)
{
    RunOutcome outcome;
    ChangeRate change;
    while (outcome.ticks < tickLimit) {
        if (steadyRate > 0.0)
            change.before(*flow);
        const auto start = std::chrono::steady_clock::now();
        flow->step();
        const auto stop = std::chrono::steady_clock::now();
        ++ticks;
        ++outcome.ticks;
        if (meter)
            lastForces = meter->measure(*flow, flow->scene.timeStep);
        if (tracing == Tracers::moved)
            updateTracers(tracerList, random, *flow->velocity, tracerLifetime(), tracerSettings(*flow));
        if (afterTick && !afterTick(outcome.ticks, std::chrono::duration<double, std::micro>(stop - start).count())) {
            outcome.stopped = true;
            break;
        }
        if (steadyRate > 0.0) {
            outcome.changeRate = change.after(*flow);
            if (outcome.changeRate < steadyRate) {
                outcome.steady = true;
                break;
            }
        }
    }
    return outcome;
}

void Run::restart()
{
    const bool pourable = flow->dye != nullptr;
    flow = std::make_unique<FluidSolver>(flow->scene);  // made before the old one goes
    if (pourable)
        flow->enableDye();
    tracerList.clear();
    random = TracerRandom();
    ticks = 0;
    startMeasuring();
}

std::vector<ProbeReading> Run::probes() const
{
    return readProbes(flow->scene.probes, *flow->velocity, *flow->pressure, flow->domain);
}

std::vector<WallNusselt> Run::nusselt() const
{
    return flow->heat ? flow->heat->nusselt(flow->domain) : std::vector<WallNusselt>();
}

FlowSummary Run::summary() const
{
    const FluidSolver& solver = *flow;
    const VelocityField& field = *solver.velocity;
    // Where discs cut cells, the flow through the faces' open parts is what has no divergence.
    std::optional<VelocityField> open;
    if (solver.domain.cutsCells())
        open.emplace(solver.domain.openFlow(field));
    const VelocityField& through = open ? *open : field;
    FlowSummary summary;
    for (uint32_t i = 0; i < solver.nx; ++i) {
        for (uint32_t j = 0; j < solver.ny; ++j) {
            if (!solver.projectedIn(i, j))
                continue;
            summary.maxDivergence = std::fmax(summary.maxDivergence, std::fabs(cellDivergence(through, i, j)));
            const Velocity w = field.velocityAt((i + 0.5) * solver.dx, (j + 0.5) * solver.dx);
            summary.maxSpeed = std::fmax(summary.maxSpeed, hypotenuse(w.x, w.y));
        }
    }
    summary.kineticEnergy = solver.liquid ? solver.liquid->kineticEnergy() : kineticEnergy(field);
    return summary;
}

SavedRun Run::save() const
{
    SavedRun saved = flow->saveState(ticks);
    if (tracing == Tracers::moved)
        saveTracers(tracerList, random, saved);
    return saved;
}
