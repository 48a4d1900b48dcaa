#pragma once
// Where liquid enters and leaves the box: the taps (a liquid scene's inflow
// bands) fill rows of particles at their speed, and the outlets and outflow
// bands let out the particles that reach them.

#include "sim/domain/domain.h"
#include "sim/liquid/particles.h"
#include "sim/scene/scene.h"

#include <cstdint>
#include <vector>

// One face of a tap and its speed into the box.
struct TapFace {
    Side side;
    uint32_t cell;
    double speed;
};

// The faces of a scene's taps.
std::vector<TapFace> tapFacesOf(const Scene& scene);

// The rows of particles the taps fill in tick `tick` (counted from 0), each
// moving into the box at its tap's speed; never beyond the particles a scene may hold.
void pourFromTaps(const std::vector<TapFace>& taps, uint64_t tick, double dt, const Domain& domain,
                  std::vector<LiquidParticle>& particles);

// Whether the border face of cell `cell` along a side lets liquid out.
bool letsOut(const Domain& domain, Side side, uint32_t cell);

// Whether a point beyond the border left the box through an opening that lets liquid out.
bool leavesBox(const Domain& domain, double x, double y);
