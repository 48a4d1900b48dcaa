#include "sim/tracers/tracers.h"

#include "sim/flow/fluid_solver.h"
#include "sim/saved/state_file.h"
#include "sim/grid/velocity_field.h"

#include <cmath>
#include <string>

namespace {

Tracer spawnTracer(TracerRandom& random, int lifetime, const TracerRegion& region)
{
    const float xmin = float(region.xmin);
    const float xmax = float(region.xmax);
    const float ymin = float(region.ymin);
    const float ymax = float(region.ymax);
    const float scale = float(TracerRandom::maximum);
    Tracer tracer;
    const int r1 = random.next();
    tracer.position.x = xmin + float(r1) * (xmax - xmin) / scale;
    const int r2 = random.next();
    tracer.position.y = ymin + float(r2) * (ymax - ymin) / scale;
    tracer.lifetime = lifetime;
    return tracer;
}

TracerPoint velocityAt(const VelocityField& velocity, TracerPoint p)
{
    const Velocity w = velocity.velocityAt(p.x, p.y);
    return {float(w.x), float(w.y)};
}

bool outsideRegion(TracerPoint p, const TracerRegion& region)
{
    return p.x > region.xmax || p.x < region.xmin || p.y > region.ymax || p.y < region.ymin;
}

bool insideSolid(TracerPoint p, const TracerSettings& settings)
{
    return settings.solids && settings.solids->solidAt(p.x, p.y);
}

}  // namespace

int tracerLifetime()
{
    return 200;
}

TracerSettings tracerSettings(const FluidSolver& solver)
{
    TracerSettings settings;
    if (!solver.scene.builtIn)
        settings.region = {0.0, solver.nx * solver.dx, 0.0, solver.ny * solver.dx};
    settings.count = solver.scene.tracerCount;
    settings.step = float(solver.scene.timeStep);
    settings.solids = solver.domain.anySolid() ? &solver.domain : nullptr;
    return settings;
}

TracerPoint advanceTracer(TracerPoint p, const VelocityField& velocity, float h)
{
    const TracerPoint k1 = velocityAt(velocity, p);
    const TracerPoint d1{h * k1.x, h * k1.y};
    const TracerPoint k2 = velocityAt(velocity, {p.x + d1.x / 2.0f, p.y + d1.y / 2.0f});
    const TracerPoint d2{h * k2.x, h * k2.y};
    const TracerPoint k3 = velocityAt(velocity, {p.x + d2.x / 2.0f, p.y + d2.y / 2.0f});
    const TracerPoint d3{h * k3.x, h * k3.y};
    const TracerPoint k4 = velocityAt(velocity, {p.x + d3.x, p.y + d3.y});
    const TracerPoint d4{h * k4.x, h * k4.y};
    const float sumX = ((d1.x + 2.0f * d2.x) + 2.0f * d3.x) + d4.x;
    const float sumY = ((d1.y + 2.0f * d2.y) + 2.0f * d3.y) + d4.y;
    return {p.x + sumX / 6.0f, p.y + sumY / 6.0f};
}

void updateTracers(TracerList& tracers, TracerRandom& random, const VelocityField& velocity, int lifetime,
                   const TracerSettings& settings)
{
    while (tracers.size() < settings.count) {
        // None is born inside a solid; the solids leave some fluid, so a place is found.
        Tracer tracer = spawnTracer(random, lifetime, settings.region);
        while (insideSolid(tracer.position, settings))
            tracer = spawnTracer(random, lifetime, settings.region);
        tracers.push_back(tracer);
    }

    // Walk front to back, compacting in place so that the survivors keep their order.
    size_t kept = 0;
    for (size_t index = 0; index < tracers.size(); ++index) {
        Tracer& tracer = tracers[index];
        if (tracer.dying && tracer.trail.empty())
            continue;

        ++tracer.age;
        if (tracer.age > tracer.lifetime)
            tracer.dying = true;

        if (tracer.dying) {
            tracer.trail.dropOldest();
        } else {
            if (tracer.trail.size() > tracer.trailLimit)
                tracer.trail.dropOldest();
            tracer.trail.append(tracer.position);
        }

        tracer.position = advanceTracer(tracer.position, velocity, settings.step);
        if (outsideRegion(tracer.position, settings.region) || insideSolid(tracer.position, settings))
            tracer.dying = true;

        if (kept != index)
            tracers[kept] = tracer;
        ++kept;
    }
    tracers.erase(tracers.begin() + ptrdiff_t(kept), tracers.end());
}

TrailColour trailColour(float x, uint32_t k, uint32_t n)
{
    const double t = std::tanh(double(x) / 7.0);
    return {float(0.5 - 0.5 * t), 1.0f, float(0.5 + 0.5 * t), float(double(k) / double(n))};
}

void saveTracers(const TracerList& tracers, const TracerRandom& random, SavedRun& run)
{
    run.randomState = random.position();
    run.tracers.clear();
    for (const Tracer& tracer : tracers) {
        SavedTracer saved;
        saved.x = tracer.position.x;
        saved.y = tracer.position.y;
        saved.trailLimit = tracer.trailLimit;
        saved.age = tracer.age;
        saved.lifetime = tracer.lifetime;
        saved.dying = tracer.dying;
        for (uint32_t k = 0; k < tracer.trail.size(); ++k) {
            saved.trail.push_back(tracer.trail[k].x);
            saved.trail.push_back(tracer.trail[k].y);
        }
        run.tracers.push_back(std::move(saved));
    }
}

bool restoreTracers(const SavedRun& run, uint32_t count, TracerList& tracers, TracerRandom& random,
                    std::string& problem)
{
    if (run.tracers.size() > count) {
        problem = "it has " + std::to_string(run.tracers.size()) + " tracers, the scene at most " + std::to_string(count);
        return false;
    }
    tracers.clear();
    for (const SavedTracer& saved : run.tracers) {
        if (saved.trail.size() > 2 * Trail::capacity || saved.trailLimit >= Trail::capacity) {
            problem = "a tracer's trail is longer than a trail can be";
            return false;
        }
        Tracer tracer;
        tracer.position = {saved.x, saved.y};
        tracer.trailLimit = saved.trailLimit;
        tracer.age = saved.age;
        tracer.lifetime = saved.lifetime;
        tracer.dying = saved.dying;
        for (size_t k = 0; k + 1 < saved.trail.size(); k += 2)
            tracer.trail.append({saved.trail[k], saved.trail[k + 1]});
        tracers.push_back(tracer);
    }
    random.resumeAt(run.randomState);
    return true;
}
