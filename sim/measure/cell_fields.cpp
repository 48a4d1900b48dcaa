#include "sim/measure/cell_fields.h"

#include "sim/flow/fluid_solver.h"
#include "sim/grid/hypotenuse.h"

#include <algorithm>
#include <cmath>
#include <limits>

const CellFieldLabel& labelOf(CellField field)
{
    static const CellFieldLabel labels[cellFieldCount] = {
        {cellFieldName(CellField::speed), "length/time", false},
        {cellFieldName(CellField::vorticity), "1/time, + is ccw", true},
        {cellFieldName(CellField::pressure), "density \u00d7 speed\u00b2", false},
        {cellFieldName(CellField::dye), "strongest colour, 0 to 1", false},
        {cellFieldName(CellField::temperature), "degrees", false},
    };
    return labels[int(field)];
}

CellVelocity cellVelocity(const VelocityField& field)
{
    CellVelocity centre;
    const size_t cells = size_t(field.nx) * field.ny;
    centre.u.resize(cells);
    centre.v.resize(cells);
    for (uint32_t i = 0; i < field.nx; ++i)
        for (uint32_t j = 0; j < field.ny; ++j) {
            const Velocity w = field.velocityAt((i + 0.5) * field.dx, (j + 0.5) * field.dx);
            centre.u[size_t(i) * field.ny + j] = w.x;
            centre.v[size_t(i) * field.ny + j] = w.y;
        }
    return centre;
}

std::vector<double> cellVorticity(const CellVelocity& velocity, uint32_t nx, uint32_t ny, double dx)
{
    // The derivative along one axis: central, or one-sided at the ends.
    auto derivative = [dx](const std::vector<double>& values, uint32_t at, uint32_t count, size_t stride,
                           size_t base) {
        const uint32_t before = at > 0 ? at - 1 : at, after = at + 1 < count ? at + 1 : at;
        return (values[base + after * stride] - values[base + before * stride]) / (double(after - before) * dx);
    };
    std::vector<double> vorticity(size_t(nx) * ny);
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            vorticity[size_t(i) * ny + j] = derivative(velocity.u, j, ny, 1, size_t(i) * ny) -
                                            derivative(velocity.v, i, nx, ny, j);
    return vorticity;
}

std::vector<double> cellValues(const FluidSolver& solver, CellField field, const CellVelocity* velocity)
{
    const size_t cells = size_t(solver.nx) * solver.ny;
    CellVelocity ownVelocity;
    if (!velocity && (field == CellField::speed || field == CellField::vorticity)) {
        ownVelocity = cellVelocity(*solver.velocity);
        velocity = &ownVelocity;
    }
    std::vector<double> values;
    switch (field) {
    case CellField::speed:
        values.resize(cells);
        for (size_t k = 0; k < cells; ++k)
            values[k] = hypotenuse(velocity->u[k], velocity->v[k]);
        break;
    case CellField::vorticity:
        values = cellVorticity(*velocity, solver.nx, solver.ny, solver.dx);
        break;
    case CellField::pressure:
        values = solver.pressure->values.values();
        break;
    case CellField::dye:
        if (solver.dye) {
            values.resize(cells);
            for (size_t k = 0; k < cells; ++k)
                values[k] = std::max({solver.dye->channel[0].data[k], solver.dye->channel[1].data[k],
                                      solver.dye->channel[2].data[k]});
        }
        break;
    case CellField::temperature:
        if (solver.heat)
            values = solver.heat->temperature.values();
        break;
    }
    if (!values.empty())
        for (size_t k = 0; k < cells; ++k)
            if (solver.domain.solidCells()[k])
                values[k] = std::numeric_limits<double>::quiet_NaN();
    return values;
}
