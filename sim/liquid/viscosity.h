#pragma once
// The liquid's viscosity, diffused explicitly in equal parts of the step on
// the faces its particles reached and those the velocity was carried on to,
// with the walls' rules beyond the border and no stress across the surface.

#include "sim/domain/domain.h"
#include "sim/grid/velocity_field.h"
#include "sim/scene/scene.h"

#include <cstdint>
#include <vector>

// How many parts the step takes: explicit diffusion holds while nu dt / dx^2
// stays under 1/4 a part.
int liquidDiffusionParts(const Scene& scene);

// Diffuses the faces known[c] marks; a face beside one that holds nothing
// takes its own value there.
void applyLiquidViscosity(VelocityField& velocity, const std::vector<uint8_t> known[2], const Scene& scene,
                          const Domain& domain);
