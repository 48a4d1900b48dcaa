#include "sim/velocity_field.h"

#include <cmath>
#include <limits>

namespace {

struct AxisStencil {
    uint32_t base;  // index of the lower sample
    double weight;  // weight of the lower sample; the upper one gets 1 - weight
};

// lastIndex is the last valid sample index along the axis.
AxisStencil axisStencil(double g, uint32_t lastIndex)
{
    const double cell = std::floor(g);
    // NaN, infinities and values beyond int32 count as negative: first sample.
    if (!(cell >= 0.0) || cell > double(std::numeric_limits<int32_t>::max()))
        return {0, 1.0};
    const uint32_t n = uint32_t(cell);
    if (n < lastIndex)
        return {n, 1.0 - (g - double(n))};
    return {lastIndex - 1, 0.0};
}

}  // namespace

VelocityField::VelocityField(uint32_t nx, uint32_t ny, double dx)
    : u(nx + 1, ny), v(nx, ny + 1), dx(dx), nx(nx), ny(ny)
{
}

double VelocityField::interpolate(int component, double x, double y) const
{
    const GridArray& samples = this->component(component);
    // Samples sit half a cell in along the axis that is not the component's own.
    const double gx = component == 0 ? x / dx : x / dx - 0.5;
    const double gy = component == 1 ? y / dx : y / dx - 0.5;
    const AxisStencil sx = axisStencil(gx, component == 0 ? nx : nx - 1);
    const AxisStencil sy = axisStencil(gy, component == 1 ? ny : ny - 1);

    double sum = 0.0;
    sum += samples.at(sx.base, sy.base) * (sx.weight * sy.weight);
    sum += samples.at(sx.base + 1, sy.base) * ((1.0 - sx.weight) * sy.weight);
    sum += samples.at(sx.base, sy.base + 1) * (sx.weight * (1.0 - sy.weight));
    sum += samples.at(sx.base + 1, sy.base + 1) * ((1.0 - sx.weight) * (1.0 - sy.weight));
    return sum;
}
