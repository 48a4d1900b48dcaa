#pragma once
// Advection's face loop, one table per instruction-set form
// (advection_kernels.cpp); every form gives each face the bits that sampling
// it alone gives.

#include "sim/grid/field_samples.h"

namespace sim {

struct AdvectionKernels {
    // Each face's velocity sampled at its centre, then `field` sampled where
    // the flow came from, dt before; u and v receive the faces' new components
    // (extents as in `field`).
    void (*advectFaces)(const FieldSamples& field, double dt, double* u, double* v);
};

const AdvectionKernels& advectionKernels();

}  // namespace sim
