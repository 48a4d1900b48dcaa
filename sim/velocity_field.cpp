#include "sim/velocity_field.h"

#include "sim/sampling.h"

VelocityField::VelocityField(uint32_t nx, uint32_t ny, double dx)
    : u(nx + 1, ny), v(nx, ny + 1), dx(dx), nx(nx), ny(ny)
{
}

double VelocityField::interpolate(int component, double x, double y) const
{
    return sampling::sample(samples(), component, x, y);
}
