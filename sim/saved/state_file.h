#pragma once
// A run saved after a tick, to be resumed later: its scene and everything
// the next tick reads, so that a resumed run goes on bit for bit as if it
// had never stopped. A state file is untrusted input: whatever is wrong with
// it - truncated, damaged, foreign, from a newer flowbox - comes back as one
// line naming the file, before anything runs.
//
// The file: "flowbox state\n", the format version (4 bytes), the length of
// the body (8 bytes), the body, and the body's SHA-256; every number little
// endian. The body holds the scene file's text, then the fields, each array
// with its length, then the tracers.

#include "sim/scene/scene.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr uint32_t stateFormatVersion = 4;

struct SavedTracer {
    float x = 0.0f, y = 0.0f;
    uint32_t trailLimit = 0;
    int32_t age = 0, lifetime = 0;
    bool dying = false;
    std::vector<float> trail;  // x and y of each trail point, oldest first
};

struct SavedRun {
    Scene scene;              // written as its file's text (Scene::text, empty for the standard box) and name
    uint64_t tick = 0;        // ticks run
    std::vector<uint8_t> solid;  // per cell (k = i*ny + j), as drawn in a window
    std::vector<double> u, v, pressure;
    bool pressureKnown = false;
    std::vector<double> pressureChange;      // of a viscous scene, else empty (or saved before it had one)
    std::vector<double> diffused[2];      // the last viscosity solves' answers, or empty
    std::vector<double> diffusedStep[2];  // how they changed from the ones before, or empty
    std::vector<double> diffusedStepBefore[2];  // how the ones before had changed, or empty
    // Per component, whether the next viscosity solve starts from the last
    // step grown as it grew, or the last step held.
    bool stepsGrow[2] = {false, false};
    std::vector<double> dye[3];              // empty without dye
    std::vector<double> temperature, balanced;  // empty without heat
    // A liquid's particles, each x, y, u, v and the gradients of u and v
    // (d/dx, d/dy): 8 values a particle; empty without liquid.
    std::vector<double> liquid;
    uint32_t randomState = 1;                   // the tracers' generator
    std::vector<SavedTracer> tracers;
};

// The file's bytes.
std::string writeState(const SavedRun& run);

// Reads a state file's bytes; source names it in messages. On failure
// returns false and sets error to one line, "SOURCE: what is wrong". The
// arrays it accepts have the sizes of the scene's grid, finite values and
// solid flags of 0 or 1; tracers finite, their trails no longer than
// maxTrailPoints.
bool readState(std::string_view bytes, const std::string& source, uint32_t maxTrailPoints, SavedRun& run,
               std::string& error);

// The same from and to a file; a file is replaced whole or not at all.
bool loadStateFile(const std::string& path, uint32_t maxTrailPoints, SavedRun& run, std::string& error);
bool saveStateFile(const std::string& path, const SavedRun& run, std::string& error);
