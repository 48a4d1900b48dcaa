#pragma once
// One run of a scene: the solver, the tracers and their generator, the
// forces on the scene's solids and the tick count. Every front end (the
// window, flowbox-headless, flowbox-validate, the Python module) steps,
// measures, saves and resumes a run through this one type, so that a run
// is the same run whichever of them drives it.

#include "sim/measure/body_forces.h"
#include "sim/flow/fluid_solver.h"
#include "sim/heat/heat.h"
#include "sim/measure/probes.h"
#include "sim/saved/state_file.h"
#include "sim/tracers/tracers.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

// The flow's state after a tick, as the tick line reports it; in a liquid,
// over the cells under its surface, and the energy over its particles.
struct FlowSummary {
    double maxDivergence = 0.0;  // of the flow through the faces' open parts, over the cells
    double maxSpeed = 0.0;       // at the cell centres
    double kineticEnergy = 0.0;
};

struct RunOutcome {
    uint64_t ticks = 0;   // stepped
    bool steady = false;  // stopped because the flow no longer changed fast enough
    bool stopped = false; // stopped because afterTick said so
    double changeRate = std::numeric_limits<double>::infinity();  // over the last tick, with a steady rate
};

class Run {
public:
    // Who moves the tracers: the run, once a tick (as flowbox-headless), or
    // its front end, once a frame drawn (the window's view keeps its own).
    enum class Tracers { moved, drawn };

    // The scene from its start, every velocity at rest; needs a scene without problems.
    explicit Run(const Scene& scene, Tracers tracers = Tracers::moved);
    // Goes on from a saved run, with the scene saved in it. False, saying
    // why, where the state does not fit its scene; the run is then as it was.
    // A run given dye to pour keeps it.
    bool resume(const SavedRun& saved, std::string& problem);

    FluidSolver& solver() { return *flow; }
    const FluidSolver& solver() const { return *flow; }
    const Scene& scene() const { return flow->scene; }
    uint64_t tick() const { return ticks; }
    double time() const { return double(ticks) * flow->scene.timeStep; }
    const TracerList& tracers() const { return tracerList; }

    // One tick: the flow, then its forces, then (moved) the tracers.
    void step();
    // Steps up to tickLimit times, calling afterTick(ticks stepped, the flow
    // step's microseconds) after each; afterTick returning false ends the
    // run. With steadyRate above 0 the run also ends once no velocity sample
    // (nor temperature) changed faster than steadyRate per unit of time over a tick.
    RunOutcome advance(uint64_t tickLimit, double steadyRate = 0.0,
                       const std::function<bool(uint64_t ticks, double stepMicroseconds)>& afterTick = {});
    // Goes on from this tick with the scene changed (its grid and its
    // solids as they were): as if the run so far were saved and resumed
    // with the changed scene, bit for bit. False, saying why, where the
    // run does not fit it; the run is then as it was.
    bool changeScene(const Scene& changed, std::string& problem);
    // The same with one live setting (live_settings.h) typed as text, read
    // by the scene file's rules: false, with the line that refused it.
    bool changeSetting(const std::string& path, const std::string& text, std::string& problem);
    // The scene from its start again, tick 0, no tracers; a run given dye
    // to pour keeps it.
    void restart();

    // The force on each solid of the scene (Scene::solidsInOrder) over the
    // last tick; NaN before the first, empty without solids.
    const std::vector<BodyForce>& forces() const { return lastForces; }
    std::vector<ProbeReading> probes() const;
    std::vector<WallNusselt> nusselt() const;  // empty without heat
    FlowSummary summary() const;

    // Everything the next tick reads, the tracers included when the run moves them.
    SavedRun save() const;

private:
    void startMeasuring();

    std::unique_ptr<FluidSolver> flow;
    Tracers tracing;
    TracerList tracerList;
    TracerRandom random;
    std::unique_ptr<ForceMeter> meter;  // with solids only
    std::vector<BodyForce> lastForces;
    uint64_t ticks = 0;
};
