#pragma once
// Running a solver tick after tick, up to a limit or until its flow is
// steady: the one loop of the headless runner and the validation flows.

#include "sim/fluid_solver.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

// How fast the flow changes over one tick: the largest change of any
// velocity sample, or of any temperature in a scene with heat, per unit of time.
class ChangeRate {
public:
    void before(const FluidSolver& solver);
    double after(const FluidSolver& solver) const;

private:
    std::vector<double> samples;
};

struct RunOutcome {
    uint64_t ticks = 0;   // stepped
    bool steady = false;  // stopped because the flow no longer changed fast enough
    bool stopped = false; // stopped because afterTick said so
    double changeRate = std::numeric_limits<double>::infinity();  // over the last tick, with a steady rate
};

// Steps the solver up to tickLimit times, calling afterTick(tick, the step's
// microseconds) after each step; afterTick returning false ends the run.
// With steadyRate above 0 the run also ends once no velocity sample (nor
// temperature) changed faster than steadyRate per unit of time over a tick.
RunOutcome runTicks(FluidSolver& solver, uint64_t tickLimit, double steadyRate,
                    const std::function<bool(uint64_t tick, double stepMicroseconds)>& afterTick = {});
