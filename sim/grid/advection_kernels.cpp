#include "simd/kernel_form.h"

#include "sim/grid/advection_kernels.h"
#include "sim/grid/sampling.h"

#include <cstddef>

namespace sim::FLOWBOX_FORM {

namespace {

// Samples component `component` of the faces j in [0, faces) of one line,
// centred at (px, (j + offset)*dx), into `out`; four faces at a time in the
// wide forms.
void advectLine(const FieldSamples& field, double dt, int component, double px, double offset, uint32_t faces,
                double* out)
{
    const double dx = field.dx;
    uint32_t j = 0;
#if FLOWBOX_FORM_WIDE
    using simd::lanes::Lanes;
    for (; j + simd::lanes::count <= faces; j += simd::lanes::count) {
        const Lanes x = {px, px, px, px};
        const Lanes y = Lanes{j + offset, j + 1 + offset, j + 2 + offset, j + 3 + offset} * dx;
        const Lanes wx = sampling::sample(field, 0, x, y), wy = sampling::sample(field, 1, x, y);
        simd::lanes::store(out + j, sampling::sample(field, component, x - dt * wx, y - dt * wy));
    }
#endif
    for (; j < faces; ++j) {
        const double y = (j + offset) * dx;
        const double wx = sampling::sample(field, 0, px, y), wy = sampling::sample(field, 1, px, y);
        out[j] = sampling::sample(field, component, px - dt * wx, y - dt * wy);
    }
}

void advectFaces(const FieldSamples& field, double dt, double* u, double* v)
{
    const uint32_t nx = field.nx, ny = field.ny;
    for (uint32_t i = 0; i <= nx; ++i) {
        if (i < nx)
            advectLine(field, dt, 1, (i + 0.5) * field.dx, 0.0, ny + 1, v + size_t(i) * (ny + 1));
        advectLine(field, dt, 0, i * field.dx, 0.5, ny, u + size_t(i) * ny);
    }
}

}  // namespace

extern const AdvectionKernels advectionKernels = {advectFaces};

}  // namespace sim::FLOWBOX_FORM
