#pragma once

#include <cstdint>

// A staggered velocity field's samples as the sampling rule (sampling.h) reads them.
struct FieldSamples {
    const double* u;  // at (i*dx, (j + 0.5)*dx), extents (nx + 1, ny), j fastest
    const double* v;  // at ((i + 0.5)*dx, j*dx), extents (nx, ny + 1), j fastest
    double dx;
    uint32_t nx;
    uint32_t ny;
};
