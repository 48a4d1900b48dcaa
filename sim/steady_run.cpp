#include "sim/steady_run.h"

#include <chrono>
#include <cmath>

void ChangeRate::before(const FluidSolver& solver)
{
    const VelocityField& field = *solver.velocity;
    samples.assign(field.u.data.get(), field.u.data.get() + field.u.size());
    samples.insert(samples.end(), field.v.data.get(), field.v.data.get() + field.v.size());
    if (solver.heat) {
        const GridArray& t = solver.heat->temperature;
        samples.insert(samples.end(), t.data.get(), t.data.get() + t.size());
    }
}

double ChangeRate::after(const FluidSolver& solver) const
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

RunOutcome runTicks(FluidSolver& solver, uint64_t tickLimit, double steadyRate,
                    const std::function<bool(uint64_t tick, double stepMicroseconds)>& afterTick)
{
    RunOutcome run;
    ChangeRate change;
    while (run.ticks < tickLimit) {
        if (steadyRate > 0.0)
            change.before(solver);
        const auto start = std::chrono::steady_clock::now();
        solver.step();
        const auto stop = std::chrono::steady_clock::now();
        ++run.ticks;
        if (afterTick && !afterTick(run.ticks, std::chrono::duration<double, std::micro>(stop - start).count())) {
            run.stopped = true;
            break;
        }
        if (steadyRate > 0.0) {
            run.changeRate = change.after(solver);
            if (run.changeRate < steadyRate) {
                run.steady = true;
                break;
            }
        }
    }
    return run;
}
