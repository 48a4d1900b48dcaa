#pragma once
// A scene's advection and dye transport, one table per instruction-set form
// (scene_kernels.cpp); every form gives each face and cell the bits that
// computing it alone gives. The callers split the lines over threads.

#include <cstdint>

namespace sim {

// A velocity field as the scene kernels read it: each component with its
// ghost samples around it (scene_sampling.h's PaddedSamples), and the solids.
struct SceneField {
    const double* u;
    const double* v;
    const uint8_t* solid;  // per cell, k = i*ny + j; null where no cell is solid
    double dx;
    uint32_t nx, ny;
};

struct SceneKernels {
    // The faces of lines [first, last) of a component traced back through
    // the field for dt and sampled there, into out (the component's layout).
    void (*traceLines)(const SceneField& field, double dt, int component, uint32_t first, uint32_t last,
                       double* out);
    // The MacCormack step of the same faces: forward is the traced field;
    // half the difference between each face's own value and forward traced
    // ahead again is added, clamped to the samples around the departure point.
    void (*correctLines)(const SceneField& field, const SceneField& forward, double dt, int component,
                         uint32_t first, uint32_t last, double* out);
    // One sub-step of a dye channel over the cells of lines [first, last): each
    // face moves speed*share of the cell upstream of it. now holds the cells
    // with a ring of the dye that flows in beyond each side ((nx + 2) lines
    // of ny + 2); u and v in their own layouts; after in the cells' layout.
    void (*moveDyeLines)(const double* now, const double* u, const double* v, uint32_t nx, uint32_t ny,
                         double share, uint32_t first, uint32_t last, double* after);
};

const SceneKernels& sceneKernels();

}  // namespace sim
