#include "simd/kernel_form.h"

#include "sim/domain/scene_kernels.h"
#include "sim/domain/scene_sampling.h"

#include <cstddef>

namespace sim::FLOWBOX_FORM {

namespace {

using scene_sampling::PaddedSamples;
using scene_sampling::Stencil;

template <typename Real>
Stencil<Real> stencilAt(const SceneField& field, int component, Real x, Real y)
{
    return scene_sampling::stencilAt(PaddedSamples{field.u, field.v, field.nx, field.ny}, field.solid, field.nx,
                                     field.ny, field.dx, component, x, y);
}

template <typename Real>
Real sampleAt(const SceneField& field, int component, Real x, Real y)
{
    const Stencil<Real> s = stencilAt(field, component, x, y);
    return scene_sampling::where(s.inSolid != 0.0, scene_sampling::splatLike(x, 0.0), s.value());
}

// The faces of line i of a component: how many, where the first is, and
// where the line's samples start in the padded layout.
struct Line {
    uint32_t faces;
    double x, offset;  // the faces lie at (x, (j + offset)*dx)
    size_t padded;     // index of face j = 0 in PaddedSamples' layout
};

Line lineOf(const SceneField& field, int component, uint32_t i)
{
    const double dx = field.dx;
    if (component == 0)
        return {field.ny, i * dx, 0.5, size_t(i) * (field.ny + 2) + 1};
    return {field.ny + 1, (i + 0.5) * dx, 0.0, size_t(i + 1) * (field.ny + 1)};
}

// Calls face(x, y, j) for the faces of a line, four at a time in the wide
// forms (x, y Lanes) and one at a time for the rest.
template <typename Face>
void alongLine(const SceneField& field, const Line& line, Face face)
{
    const double dx = field.dx;
    uint32_t j = 0;
#if FLOWBOX_FORM_WIDE
    using simd::lanes::Lanes;
    for (; j + simd::lanes::count <= line.faces; j += simd::lanes::count) {
        const Lanes y = Lanes{j + line.offset, j + 1 + line.offset, j + 2 + line.offset, j + 3 + line.offset} * dx;
        face(simd::lanes::splat(line.x), y, j);
    }
#endif
    for (; j < line.faces; ++j)
        face(line.x, (j + line.offset) * dx, j);
}

inline double loadAt(const double* from, double)
{
    return *from;
}
inline void storeAt(double* to, double value)
{
    *to = value;
}
#if FLOWBOX_FORM_WIDE
inline simd::lanes::Lanes loadAt(const double* from, simd::lanes::Lanes)
{
    return simd::lanes::load(from);
}
inline void storeAt(double* to, simd::lanes::Lanes value)
{
    simd::lanes::store(to, value);
}
#endif

void traceLines(const SceneField& field, double dt, int component, uint32_t first, uint32_t last, double* out)
{
    for (uint32_t i = first; i < last; ++i) {
        const Line line = lineOf(field, component, i);
        double* to = out + size_t(i) * line.faces;
        alongLine(field, line, [&](auto x, auto y, uint32_t j) {
            const auto wx = sampleAt(field, 0, x, y), wy = sampleAt(field, 1, x, y);
            storeAt(to + j, sampleAt(field, component, x - dt * wx, y - dt * wy));
        });
    }
}

void correctLines(const SceneField& field, const SceneField& forward, double dt, int component, uint32_t first,
                  uint32_t last, double* out)
{
    const double* ownSamples = component == 0 ? field.u : field.v;
    const double* forwardSamples = component == 0 ? forward.u : forward.v;
    for (uint32_t i = first; i < last; ++i) {
        const Line line = lineOf(field, component, i);
        double* to = out + size_t(i) * line.faces;
        alongLine(field, line, [&](auto x, auto y, uint32_t j) {
            const auto wx = sampleAt(field, 0, x, y), wy = sampleAt(field, 1, x, y);
            const auto departure = stencilAt(field, component, x - dt * wx, y - dt * wy);
            const auto back = sampleAt(forward, component, x + dt * wx, y + dt * wy);
            const auto own = loadAt(ownSamples + line.padded + j, x);
            const auto traced = loadAt(forwardSamples + line.padded + j, x);
            const auto value = traced + 0.5 * (own - back);
            const auto clamped =
                scene_sampling::smaller(scene_sampling::larger(value, departure.lowest()), departure.highest());
            storeAt(to + j, scene_sampling::where(departure.inSolid != 0.0, traced, clamped));
        });
    }
}

// One cell's dye after a sub-step: through its left, right, top and bottom
// faces in that order, each face that moves passing on the dye upstream of it.
template <typename Real>
Real movedCell(Real cell, Real left, Real right, Real above, Real below, Real uLeft, Real uRight, Real vTop,
               Real vBottom, double share)
{
    using scene_sampling::where;
    auto flux = [&](Real speed, Real before, Real after) {
        return speed * share * where(speed > 0.0, before, after);
    };
    Real value = cell;
    value = where(uLeft != 0.0, value + flux(uLeft, left, cell), value);
    value = where(uRight != 0.0, value - flux(uRight, cell, right), value);
    value = where(vTop != 0.0, value + flux(vTop, above, cell), value);
    value = where(vBottom != 0.0, value - flux(vBottom, cell, below), value);
    return value;
}

void moveDyeLines(const double* now, const double* u, const double* v, uint32_t /*nx*/, uint32_t ny, double share,
                  uint32_t first, uint32_t last, double* after)
{
    const size_t padded = size_t(ny) + 2;
    for (uint32_t i = first; i < last; ++i) {
        const double* line = now + (size_t(i) + 1) * padded + 1;  // cell (i, 0)
        const double* uLine = u + size_t(i) * ny;
        const double* vLine = v + size_t(i) * (ny + 1);
        double* to = after + size_t(i) * ny;
        auto cellsFrom = [&](uint32_t j, auto lanes) {
            storeAt(to + j, movedCell(loadAt(line + j, lanes), loadAt(line + j - padded, lanes),
                                      loadAt(line + j + padded, lanes), loadAt(line + j - 1, lanes),
                                      loadAt(line + j + 1, lanes), loadAt(uLine + j, lanes),
                                      loadAt(uLine + ny + j, lanes), loadAt(vLine + j, lanes),
                                      loadAt(vLine + j + 1, lanes), share));
        };
        uint32_t j = 0;
#if FLOWBOX_FORM_WIDE
        for (; j + simd::lanes::count <= ny; j += simd::lanes::count)
            cellsFrom(j, simd::lanes::Lanes{});
#endif
        for (; j < ny; ++j)
            cellsFrom(j, 0.0);
    }
}

}  // namespace

extern const SceneKernels sceneKernels = {traceLines, correctLines, moveDyeLines};

}  // namespace sim::FLOWBOX_FORM
