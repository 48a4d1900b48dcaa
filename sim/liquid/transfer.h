#pragma once
// The liquid's velocity between its particles and the grid's faces (APIC):
// each particle gives its velocity and affine part to the faces around it,
// weighted bilinearly, and takes back the grid's velocity and its gradient.

#include "sim/grid/velocity_field.h"
#include "sim/liquid/particles.h"

#include <cstdint>
#include <vector>

// Each component's faces from the particles near them; known[c] marks the
// faces a particle reached (the rest read 0).
void particlesToGrid(const std::vector<LiquidParticle>& particles, VelocityField& velocity,
                     std::vector<uint8_t> known[2]);

// Each particle's velocity and its affine part from the grid.
void gridToParticles(const VelocityField& velocity, std::vector<LiquidParticle>& particles);

// The velocity of the grid at a point: bilinear in each component, clamped to the grid.
Velocity gridVelocityAt(const VelocityField& velocity, double x, double y);

// Carries the velocity of the faces known into those beside them, layer by
// layer, for `layers` layers: each face not yet known takes the mean of the
// known faces beside it, all from the layer before.
void extendVelocity(VelocityField& velocity, std::vector<uint8_t> known[2], int layers);
