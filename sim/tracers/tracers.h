#pragma once
// Massless tracer particles with fading trails. The update is kept apart from
// the drawing so that it runs, and can be checked, without a display.

#include "sim/scene/standard_box.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Domain;
class FluidSolver;
struct SavedRun;
struct VelocityField;

struct TracerPoint {
    float x;
    float y;
};

constexpr uint32_t maxTracers = standardBox::tracerCount;
constexpr uint32_t defaultTrailLimit = 50;   // a living trail holds one point more
constexpr float tracerStep = 0.05f;          // time step of one tracer update

// Frames of a new tracer's life.
int tracerLifetime();

// Where tracers are born and outside which they start dying.
struct TracerRegion {
    double xmin = 0.0;
    double xmax = standardBox::tracerRegionEdge;
    double ymin = 0.0;
    double ymax = standardBox::tracerRegionEdge;
};
constexpr TracerRegion tracerRegion{};

// The newest positions of a tracer, oldest first, in a fixed ring.
class Trail {
public:
    static constexpr uint32_t capacity = defaultTrailLimit + 1;

    uint32_t size() const { return count; }
    bool empty() const { return count == 0; }
    const TracerPoint& operator[](uint32_t k) const { return points[(first + k) % capacity]; }
    void dropOldest()
    {
        if (count == 0)
            return;
        first = (first + 1) % capacity;
        --count;
    }
    void append(TracerPoint point)
    {
        if (count == capacity)
            dropOldest();
        points[(first + count) % capacity] = point;
        ++count;
    }

private:
    std::array<TracerPoint, capacity> points{};
    uint32_t first = 0;
    uint32_t count = 0;
};

struct Tracer {
    TracerPoint position;
    uint32_t trailLimit = defaultTrailLimit;
    int32_t age = 0;       // frames in which the tracer was updated
    int32_t lifetime = 0;  // age beyond which it starts dying
    Trail trail;
    bool dying = false;    // recording stopped; never cleared
};

// In creation order; removal keeps the order of the rest.
using TracerList = std::vector<Tracer>;

// The C standard's portable example generator (values 0..32767), seeded with 1,
// so that every run on every platform creates the same tracers.
class TracerRandom {
public:
    static constexpr int maximum = 32767;
    int next()
    {
        state = state * 1103515245u + 12345u;
        return int((state / 65536u) % 32768u);
    }
    // Where the sequence stands, to take it up again later.
    uint32_t position() const { return state; }
    void resumeAt(uint32_t position) { state = position; }

private:
    uint32_t state = 1;
};

// How a scene's tracers live: the standard box's by default.
struct TracerSettings {
    TracerRegion region = tracerRegion;
    uint32_t count = maxTracers;
    float step = tracerStep;
    // The solids of the velocity's grid: no tracer is born in one, and one
    // that enters starts dying. None when null.
    const Domain* solids = nullptr;
};

// The settings of the solver's scene: its grid as the region, its tracer
// count and time step, its solids. The standard box keeps its own region.
TracerSettings tracerSettings(const FluidSolver& solver);

// One frame: top the population up to the count, then age, record and move
// every tracer one Runge-Kutta step through the velocity, front to back.
void updateTracers(TracerList& tracers, TracerRandom& random, const VelocityField& velocity, int lifetime,
                   const TracerSettings& settings = {});

// The tracers and their generator into a state file's run, and back from
// one; false, saying what is wrong, for more tracers than count or a trail
// longer than a trail can be.
void saveTracers(const TracerList& tracers, const TracerRandom& random, SavedRun& run);
bool restoreTracers(const SavedRun& run, uint32_t count, TracerList& tracers, TracerRandom& random,
                    std::string& problem);

// One classical fourth-order Runge-Kutta step of size h, in single precision.
TracerPoint advanceTracer(TracerPoint p, const VelocityField& velocity, float h = tracerStep);

struct TrailColour {
    float red;
    float green;
    float blue;
    float alpha;
};

// Point k of n (oldest first) at x: green shading to cyan along x, fading towards the tail.
TrailColour trailColour(float x, uint32_t k, uint32_t n);
