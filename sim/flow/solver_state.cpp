// What a solver keeps in a saved run, and going on from one.
#include "sim/flow/fluid_solver.h"

#include <string>
#include <utility>
#include <vector>

SavedRun FluidSolver::saveState(uint64_t tick) const
{
    SavedRun run;
    run.scene = scene;
    run.tick = tick;
    run.solid = domain.solidCells();
    run.u = velocity->u.values();
    run.v = velocity->v.values();
    run.pressure = pressure->values.values();
    run.pressureKnown = pressureKnown;
    if (pressureChange)
        run.pressureChange = pressureChange->values.values();
    for (int c = 0; c < 2; ++c) {
        run.diffused[c] = diffused[c];
        run.diffusedStep[c] = diffusedStep[c];
        run.diffusedStepBefore[c] = diffusedStepBefore[c];
        run.stepsGrow[c] = stepsGrow[c];
    }
    for (int c = 0; c < 3 && dye; ++c)
        run.dye[c] = dye->channel[c].values();
    if (heat) {
        run.temperature = heat->temperature.values();
        run.balanced = heat->balancedTemperature().values();
    }
    if (liquid)
        for (const LiquidParticle& p : liquid->particles())
            run.liquid.insert(run.liquid.end(), {p.x, p.y, p.u, p.v, p.du[0], p.du[1], p.dv[0], p.dv[1]});
    return run;
}

bool FluidSolver::restoreState(const SavedRun& run, std::string& problem)
{
    if (run.solid.size() != size_t(nx) * ny || run.u.size() != velocity->u.size() ||
        run.v.size() != velocity->v.size() || run.pressure.size() != pressure->values.size())
        return problem = "its fields do not fit the scene's grid", false;
    // A run saved before viscous scenes solved for the pressure's change
    // lacks it: the change is where the next solve starts, and zero will do.
    if (!run.pressureChange.empty() && !pressureChange)
        return problem = "its pressure change does not fit the scene", false;
    if (bool(dye) && run.dye[0].empty())
        return problem = "it lacks the dye the scene pours", false;
    if (run.temperature.empty() == bool(heat))
        return problem = heat ? "it lacks the scene's temperature" : "it has a temperature, the scene no heat", false;
    // A box with openings may have poured or lost all of its liquid; a
    // closed one keeps what it started with.
    const bool openBox = !scene.inflows.empty() || !scene.outflows.empty() || !scene.outlets.empty();
    if (!liquid && !run.liquid.empty())
        return problem = "it has liquid, the scene none", false;
    if (liquid && run.liquid.empty() && !openBox)
        return problem = "it lacks the scene's liquid", false;
    std::vector<LiquidParticle> particles;
    for (size_t k = 0; k + 8 <= run.liquid.size(); k += 8) {
        const double* values = run.liquid.data() + k;
        if (!(values[0] >= 0.0 && values[0] <= nx * dx && values[1] >= 0.0 && values[1] <= ny * dx))
            return problem = "a particle of its liquid lies outside the grid", false;
        particles.push_back({values[0], values[1], values[2], values[3], {values[4], values[5]}, {values[6], values[7]}});
    }
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            if (domain.isSolid(i, j) != (run.solid[size_t(i) * ny + j] != 0) &&
                !setSolid(i, j, run.solid[size_t(i) * ny + j] != 0))
                return problem = "cell (" + std::to_string(i) + ", " + std::to_string(j) +
                                 (run.solid[size_t(i) * ny + j] ? ") is solid at an opening of the border"
                                                                 : ") is fluid inside a disc that cuts cells"),
                                 false;
    velocity->u.assign(run.u);
    velocity->v.assign(run.v);
    pressure->values.assign(run.pressure);
    pressureKnown = run.pressureKnown;
    if (pressureChange && !run.pressureChange.empty())
        pressureChange->values.assign(run.pressureChange);
    else if (pressureChange)
        pressureChange->values.assign(std::vector<double>(pressureChange->values.size(), 0.0));
    // Saved before the viscosity's solves looked three answers back, a
    // run's next solves look two back, within their tolerance.
    for (int c = 0; c < 2; ++c) {
        diffused[c] = run.diffused[c];
        diffusedStep[c] = run.diffusedStep[c];
        diffusedStepBefore[c] = run.diffusedStepBefore[c];
        stepsGrow[c] = run.stepsGrow[c];
    }
    if (liquid)
        liquid->setParticles(std::move(particles), run.tick);
    // A liquid's run saved with a clear dye field (as the window once gave one) goes on without it.
    if (!run.dye[0].empty() && !liquid) {
        enableDye();
        for (int c = 0; c < 3; ++c)
            dye->channel[c].assign(run.dye[c]);
    }
    if (heat) {
        heat->temperature.assign(run.temperature);
        heat->restoreBalanced(run.balanced);
    }
    return true;
}
