#include "sim/fluid_solver.h"

#include "PCG/pcg_solver.h"
#include "sim/advection_kernels.h"
#include "simd/dispatch.h"

#include <QDebug>

#include <cassert>
#include <utility>
#include <vector>

FluidSolver::FluidSolver(uint32_t nx, uint32_t ny)
    : dx(cellSize),
      nx(nx),
      ny(ny),
      velocity(std::make_unique<VelocityField>(nx, ny, dx)),
      velocityTemp(std::make_unique<VelocityField>(nx, ny, dx)),
      pressure(std::make_unique<ScalarField>(nx, ny, dx)),
      density(fluidDensity)
{
    assert(nx >= 2 && ny >= 2);  // the sampling rule needs two samples per axis
    for (uint32_t i = 0; i <= nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            velocity->u.at(i, j) = 0.0;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j <= ny; ++j)
            velocity->v.at(i, j) = 0.0;
    // Nothing reads the pressure before the first solve writes it, but a dump may.
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            pressure->values.at(i, j) = 0.0;
}

void FluidSolver::step(double dt)
{
    // Advection swaps the two fields, so every step reads the current one anew.
    advect(*velocity, dt);
    applyGravity(*velocity, dt);
    applyBoundaryConditions(*velocity, dt);
    solvePressure(*velocity, *pressure, dt);
    subtractPressureGradient(*velocity, *pressure, dt);
    applyBoundaryConditions(*velocity, dt);
}

namespace sim {
FLOWBOX_KERNEL_TABLE(AdvectionKernels, advectionKernels)
}  // namespace sim

void FluidSolver::advect(const VelocityField& field, double dt)
{
    sim::advectionKernels().advectFaces(field.samples(), dt, velocityTemp->u.data.get(), velocityTemp->v.data.get());
    std::swap(velocity, velocityTemp);
}

void FluidSolver::applyGravity(VelocityField& field, double dt)
{
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j <= ny; ++j)
            field.v.at(i, j) = field.v.at(i, j) + dt * gravity;
}

void FluidSolver::applyBoundaryConditions(VelocityField& field, double /*dt*/)
{
    for (uint32_t i = 0; i < nx; ++i) {
        field.v.at(i, 0) = 0.0;
        field.v.at(i, ny) = 0.0;
    }
    for (uint32_t j = 0; j < ny; ++j) {
        field.u.at(0, j) = j <= lastInflowRow ? borderSpeed : 0.0;
        field.u.at(nx, j) = j >= firstOutflowRow ? borderSpeed : 0.0;
    }
}

double cellDivergence(const VelocityField& field, uint32_t i, uint32_t j)
{
    const double h = field.dx;
    double divergence = 0.0;
    divergence += (field.u.at(i + 1, j) - field.u.at(i, j)) / h;
    divergence += (field.v.at(i, j + 1) - field.v.at(i, j)) / h;
    return divergence;
}

pcg::RowListMatrix assemblePressureMatrix(uint32_t nx, uint32_t ny)
{
    pcg::RowListMatrix matrix(nx * ny);
    std::vector<uint32_t> columns;
    std::vector<double> values;
    columns.reserve(pcg::RowListMatrix::reservedEntriesPerRow);
    values.reserve(pcg::RowListMatrix::reservedEntriesPerRow);
    uint32_t previousShape = ~0u;
    for (uint32_t i = 0; i < nx; ++i) {
        for (uint32_t j = 0; j < ny; ++j) {
            const uint32_t k = i * ny + j;
            const bool left = i > 0, up = j > 0, down = j < ny - 1, right = i < nx - 1;
            const uint32_t shape = uint32_t(left) | uint32_t(up) << 1 | uint32_t(down) << 2 | uint32_t(right) << 3;
            if (shape == previousShape) {
                // The next cell of a run with the same neighbours (most of a
                // column): the same values, every column one further on.
                for (uint32_t& column : columns)
                    ++column;
            } else {
                columns.clear();
                values.clear();
                if (left) {
                    columns.push_back(k - ny);
                    values.push_back(-1.0);
                }
                if (up) {
                    columns.push_back(k - 1);
                    values.push_back(-1.0);
                }
                columns.push_back(k);
                values.push_back(double(int(left) + int(up) + int(down) + int(right)));
                if (down) {
                    columns.push_back(k + 1);
                    values.push_back(-1.0);
                }
                if (right) {
                    columns.push_back(k + ny);
                    values.push_back(-1.0);
                }
                previousShape = shape;
            }
            matrix.addToRow(k, columns, values);
        }
    }
    return matrix;
}

std::vector<double> pressureRightHandSide(const VelocityField& field, double dx, double density, double dt)
{
    std::vector<double> rhs(size_t(field.nx) * field.ny, 0.0);
    const double scale = ((-dx * dx) * density) / dt;
    for (uint32_t i = 0; i < field.nx; ++i)
        for (uint32_t j = 0; j < field.ny; ++j)
            rhs[size_t(i) * field.ny + j] = scale * cellDivergence(field, i, j);
    return rhs;
}

void FluidSolver::solvePressure(const VelocityField& field, ScalarField& pressureOut, double dt)
{
    const pcg::RowListMatrix matrix = assemblePressureMatrix(nx, ny);
    const std::vector<double> rhs = pressureRightHandSide(field, dx, density, dt);
    std::vector<double> result(rhs.size(), 0.0);

    pcg::PcgSolver solver;
    double residual = 0.0;
    int iterations = 0;
    const bool converged = solver.solveSystem(matrix, rhs, result, residual, iterations);
    lastSolve = {converged, iterations, residual, solver.lastTolerance()};
    if (!converged)
        qDebug("WARNING: PCG solver failed.");

    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            pressureOut.values.at(i, j) = result[i * ny + j];
}

void FluidSolver::subtractPressureGradient(VelocityField& field, const ScalarField& pressureIn,
                                           double dt)
{
    const double g = dt / density;
    // Beyond the border the pressure counts as 0.0.
    auto pressureAt = [&](int64_t i, int64_t j) {
        if (i < 0 || j < 0 || i >= int64_t(nx) || j >= int64_t(ny))
            return 0.0;
        return pressureIn.values.at(uint32_t(i), uint32_t(j));
    };
    for (int64_t i = 0; i <= int64_t(nx); ++i) {
        for (int64_t j = 0; j <= int64_t(ny); ++j) {
            const double p = pressureAt(i, j);
            if (i < int64_t(nx)) {
                double& v = field.v.at(uint32_t(i), uint32_t(j));
                v = v - ((p - pressureAt(i, j - 1)) * g) / dx;
            }
            if (j < int64_t(ny)) {
                double& u = field.u.at(uint32_t(i), uint32_t(j));
                u = u - ((p - pressureAt(i - 1, j)) * g) / dx;
            }
        }
    }
}
