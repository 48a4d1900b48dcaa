#include "sim/grid/velocity_field.h"

#include "sim/grid/sampling.h"

#include <algorithm>
#include <cmath>

VelocityField::VelocityField(uint32_t nx, uint32_t ny, double dx)
    : u(nx + 1, ny), v(nx, ny + 1), dx(dx), nx(nx), ny(ny)
{
}

double VelocityField::interpolate(int component, double x, double y) const
{
    return sampling::sample(samples(), component, x, y);
}

int cellToCellSubSteps(const VelocityField& field, double dt)
{
    double fastestOutflow = 0.0;
    for (uint32_t i = 0; i < field.nx; ++i) {
        for (uint32_t j = 0; j < field.ny; ++j) {
            const double out = std::fmax(0.0, -field.u.at(i, j)) + std::fmax(0.0, field.u.at(i + 1, j)) +
                               std::fmax(0.0, -field.v.at(i, j)) + std::fmax(0.0, field.v.at(i, j + 1));
            fastestOutflow = std::fmax(fastestOutflow, out / field.dx);
        }
    }
    return std::max(1, int(std::ceil(fastestOutflow * dt)));
}
