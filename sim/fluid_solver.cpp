#include "sim/fluid_solver.h"

#include "PCG/pcg_solver.h"
#include "sim/advection_kernels.h"
#include "simd/dispatch.h"

#include <QDebug>

#include "sim/scene_steps.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace {

// The standard box on another grid: its bands as far as the grid reaches.
Scene standardOn(uint32_t nx, uint32_t ny)
{
    Scene scene = Scene::standard();
    scene.nx = nx;
    scene.ny = ny;
    for (std::vector<Band>* bands : {&scene.inflows, &scene.outflows}) {
        std::vector<Band> kept;
        for (Band band : *bands) {
            if (band.range.first >= ny)
                continue;
            band.range.last = std::min(band.range.last, ny - 1);
            kept.push_back(band);
        }
        *bands = kept;
    }
    return scene;
}

// Velocity of the faces along one side, normal to it: 0.0 at a wall, a band's
// speed (positive into the box), NaN where an outlet leaves the face free.
std::vector<double> sideFaces(const Scene& scene, Side side)
{
    std::vector<double> faces(scene.cellsAlong(side), 0.0);
    // u and v point right and down: into the box through the left and top.
    const double inward = side == Side::left || side == Side::top ? 1.0 : -1.0;
    for (const Band& band : scene.inflows)
        if (band.range.side == side)
            for (uint32_t c = band.range.first; c <= band.range.last; ++c)
                faces[c] = inward * band.speed;
    for (const Band& band : scene.outflows)
        if (band.range.side == side)
            for (uint32_t c = band.range.first; c <= band.range.last; ++c)
                faces[c] = -inward * band.speed;
    for (const SideRange& outlet : scene.outlets)
        if (outlet.side == side)
            for (uint32_t c = outlet.first; c <= outlet.last; ++c)
                faces[c] = std::numeric_limits<double>::quiet_NaN();
    return faces;
}

}  // namespace

FluidSolver::FluidSolver(uint32_t nx, uint32_t ny) : FluidSolver(standardOn(nx, ny)) {}

FluidSolver::FluidSolver(const Scene& scene)
    : dx(scene.cellSize),
      nx(scene.nx),
      ny(scene.ny),
      velocity(std::make_unique<VelocityField>(nx, ny, dx)),
      velocityTemp(std::make_unique<VelocityField>(nx, ny, dx)),
      pressure(std::make_unique<ScalarField>(nx, ny, dx)),
      density(scene.density),
      scene(scene),
      solid(scene.solidCells()),
      leftFaces(sideFaces(scene, Side::left)),
      rightFaces(sideFaces(scene, Side::right)),
      topFaces(sideFaces(scene, Side::top)),
      bottomFaces(sideFaces(scene, Side::bottom)),
      outletFaces(size_t(nx) * ny, 0)
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
    for (uint32_t j = 0; j < ny; ++j) {
        outletFaces[j] += std::isnan(leftFaces[j]);
        outletFaces[size_t(nx - 1) * ny + j] += std::isnan(rightFaces[j]);
    }
    for (uint32_t i = 0; i < nx; ++i) {
        outletFaces[size_t(i) * ny] += std::isnan(topFaces[i]);
        outletFaces[size_t(i) * ny + ny - 1] += std::isnan(bottomFaces[i]);
    }
    for (uint8_t cell : solid)
        solidCount += cell;
}

DyeField::DyeField(uint32_t nx, uint32_t ny) : channel{{nx, ny}, {nx, ny}, {nx, ny}}
{
    for (GridArray& c : channel)
        std::fill(c.data.get(), c.data.get() + c.size(), 0.0);
}

bool FluidSolver::atOpening(uint32_t i, uint32_t j) const
{
    // A border cell whose border face is a band's or an outlet's.
    const bool bandOrOutlet[] = {i == 0 && leftFaces[j] != 0.0, i == nx - 1 && rightFaces[j] != 0.0,
                                 j == 0 && topFaces[i] != 0.0, j == ny - 1 && bottomFaces[i] != 0.0};
    return bandOrOutlet[0] || bandOrOutlet[1] || bandOrOutlet[2] || bandOrOutlet[3];
}

bool FluidSolver::setSolid(uint32_t i, uint32_t j, bool makeSolid)
{
    if (i >= nx || j >= ny || atOpening(i, j))
        return false;
    uint8_t& cell = solid[size_t(i) * ny + j];
    if (cell == uint8_t(makeSolid))
        return true;
    cell = uint8_t(makeSolid);
    solidCount = makeSolid ? solidCount + 1 : solidCount - 1;
    // A new solid holds its faces at rest; a cell given back to the fluid
    // starts at rest, as its faces were held.
    VelocityField& field = *velocity;
    field.u.at(i, j) = field.u.at(i + 1, j) = 0.0;
    field.v.at(i, j) = field.v.at(i, j + 1) = 0.0;
    if (dye)
        for (GridArray& c : dye->channel)
            c.at(i, j) = 0.0;
    return true;
}

void FluidSolver::enableDye()
{
    if (!dye)
        dye = std::make_unique<DyeField>(nx, ny);
}

void FluidSolver::pourDye(double x, double y, double radius, const float colour[3])
{
    if (!dye || !(radius > 0.0))
        return;
    for (uint32_t i = 0; i < nx; ++i) {
        for (uint32_t j = 0; j < ny; ++j) {
            const double rx = (i + 0.5) * dx - x, ry = (j + 0.5) * dx - y;
            const double fall = 1.0 - (rx * rx + ry * ry) / (radius * radius);
            if (fall <= 0.0 || isSolid(i, j))
                continue;
            for (int c = 0; c < 3; ++c) {
                double& value = dye->channel[c].at(i, j);
                value = std::fmin(1.0, value + fall * colour[c]);
            }
        }
    }
}

double FluidSolver::dyeTotal(int channel) const
{
    if (!dye)
        return 0.0;
    double total = 0.0;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            if (!isSolid(i, j))
                total += dye->channel[channel].at(i, j);
    return total * dx * dx;
}

void FluidSolver::applyPushes(VelocityField& field)
{
    const double radius = scene.interaction.radius * dx;
    for (const Push& p : pushes) {
        // A smooth bump: full at the pointer, nothing from radius on.
        auto weight = [&](double x, double y) {
            const double r2 = ((x - p.x) * (x - p.x) + (y - p.y) * (y - p.y)) / (radius * radius);
            return r2 < 1.0 ? (1.0 - r2) * (1.0 - r2) * scene.interaction.strength : 0.0;
        };
        for (uint32_t i = 0; i <= nx; ++i)
            for (uint32_t j = 0; j < ny; ++j)
                field.u.at(i, j) += weight(i * dx, (j + 0.5) * dx) * p.vx;
        for (uint32_t i = 0; i < nx; ++i)
            for (uint32_t j = 0; j <= ny; ++j)
                field.v.at(i, j) += weight((i + 0.5) * dx, j * dx) * p.vy;
    }
    pushes.clear();
}

void FluidSolver::advectDye(double dt)
{
    // Dye moves with the fluid through the faces, each face passing on the dye
    // of the cell upstream of it: what one cell loses its neighbour gains, so
    // dye is neither made nor lost but where it enters through a band or
    // leaves through an opening. (Traced back and sampled as the velocity is,
    // it would lose up to three quarters of itself against walls in a stirred
    // box.) Sub-steps keep every cell from giving more than it holds.
    const VelocityField& field = *velocity;
    double fastestOutflow = 0.0;  // of any cell, in cells per unit of time
    for (uint32_t i = 0; i < nx; ++i) {
        for (uint32_t j = 0; j < ny; ++j) {
            const double out = std::fmax(0.0, -field.u.at(i, j)) + std::fmax(0.0, field.u.at(i + 1, j)) +
                               std::fmax(0.0, -field.v.at(i, j)) + std::fmax(0.0, field.v.at(i, j + 1));
            fastestOutflow = std::fmax(fastestOutflow, out / dx);
        }
    }
    const int steps = std::max(1, int(std::ceil(fastestOutflow * dt)));
    const double share = dt / steps / dx;  // of a face's speed that crosses it in a sub-step, in cells
    // The colour flowing in through a border face: a pouring band's, else clear.
    auto inflowColour = [&](Side side, uint32_t cell, int channel) {
        for (const Band& band : scene.inflows)
            if (band.pours && band.range.side == side && band.range.contains(cell))
                return double(band.dye[channel]);
        return 0.0;
    };
    DyeField next(nx, ny);
    for (int step = 0; step < steps; ++step) {
        for (int c = 0; c < 3; ++c) {
            const GridArray& now = dye->channel[c];
            GridArray& after = next.channel[c];
            std::copy(now.data.get(), now.data.get() + now.size(), after.data.get());
            for (uint32_t i = 0; i <= nx; ++i) {
                for (uint32_t j = 0; j < ny; ++j) {
                    const double speed = field.u.at(i, j);
                    if (speed == 0.0)
                        continue;
                    const double upstream = speed > 0.0 ? (i > 0 ? now.at(i - 1, j) : inflowColour(Side::left, j, c))
                                                        : (i < nx ? now.at(i, j) : inflowColour(Side::right, j, c));
                    const double flux = speed * share * upstream;
                    if (i > 0)
                        after.at(i - 1, j) -= flux;
                    if (i < nx)
                        after.at(i, j) += flux;
                }
            }
            for (uint32_t i = 0; i < nx; ++i) {
                for (uint32_t j = 0; j <= ny; ++j) {
                    const double speed = field.v.at(i, j);
                    if (speed == 0.0)
                        continue;
                    const double upstream = speed > 0.0 ? (j > 0 ? now.at(i, j - 1) : inflowColour(Side::top, i, c))
                                                        : (j < ny ? now.at(i, j) : inflowColour(Side::bottom, i, c));
                    const double flux = speed * share * upstream;
                    if (j > 0)
                        after.at(i, j - 1) -= flux;
                    if (j < ny)
                        after.at(i, j) += flux;
                }
            }
        }
        std::swap(*dye, next);
    }
}

bool FluidSolver::heldFace(int component, uint32_t i, uint32_t j) const
{
    if (component == 0) {
        if (i == 0 || i == nx)
            return !std::isnan(i == 0 ? leftFaces[j] : rightFaces[j]);
        return isSolid(i - 1, j) || isSolid(i, j);
    }
    if (j == 0 || j == ny)
        return !std::isnan(j == 0 ? topFaces[i] : bottomFaces[i]);
    return isSolid(i, j - 1) || isSolid(i, j);
}

void FluidSolver::step(double dt)
{
    // Advection swaps the two fields, so every step reads the current one anew.
    advect(*velocity, dt);
    applyGravity(*velocity, dt);
    if (!pushes.empty())
        applyPushes(*velocity);
    applyBoundaryConditions(*velocity, dt);
    if (scene.viscosity > 0.0)
        diffuse(*velocity, dt);
    solvePressure(*velocity, *pressure, dt);
    subtractPressureGradient(*velocity, *pressure, dt);
    applyBoundaryConditions(*velocity, dt);
    if (dye)
        advectDye(dt);
}

namespace sim {
FLOWBOX_KERNEL_TABLE(AdvectionKernels, advectionKernels)
}  // namespace sim

void FluidSolver::advect(const VelocityField& field, double dt)
{
    if (scene.needsGeneralSteps() || anySolid())
        advectInScene(field, {scene, solid}, dt, *velocityTemp);
    else
        sim::advectionKernels().advectFaces(field.samples(), dt, velocityTemp->u.data.get(),
                                            velocityTemp->v.data.get());
    std::swap(velocity, velocityTemp);
}

void FluidSolver::applyGravity(VelocityField& field, double dt)
{
    // A component without gravity is left as it is, not added 0.0.
    if (scene.gravityY != 0.0)
        for (uint32_t i = 0; i < nx; ++i)
            for (uint32_t j = 0; j <= ny; ++j)
                field.v.at(i, j) = field.v.at(i, j) + dt * scene.gravityY;
    if (scene.gravityX != 0.0)
        for (uint32_t i = 0; i <= nx; ++i)
            for (uint32_t j = 0; j < ny; ++j)
                field.u.at(i, j) = field.u.at(i, j) + dt * scene.gravityX;
}

void FluidSolver::applyBoundaryConditions(VelocityField& field, double /*dt*/)
{
    // Outlet faces (NaN) keep what the flow gives them.
    auto hold = [](double& face, double value) {
        if (!std::isnan(value))
            face = value;
    };
    for (uint32_t i = 0; i < nx; ++i) {
        hold(field.v.at(i, 0), topFaces[i]);
        hold(field.v.at(i, ny), bottomFaces[i]);
    }
    for (uint32_t j = 0; j < ny; ++j) {
        hold(field.u.at(0, j), leftFaces[j]);
        hold(field.u.at(nx, j), rightFaces[j]);
    }
    if (!anySolid())
        return;
    // Solids are at rest: no flow through, along or inside them.
    for (uint32_t i = 0; i < nx; ++i) {
        for (uint32_t j = 0; j < ny; ++j) {
            if (!isSolid(i, j))
                continue;
            field.u.at(i, j) = field.u.at(i + 1, j) = 0.0;
            field.v.at(i, j) = field.v.at(i, j + 1) = 0.0;
        }
    }
}

double kineticEnergy(const VelocityField& field)
{
    double sumOfSquares = 0.0;
    for (size_t k = 0; k < field.u.size(); ++k)
        sumOfSquares += field.u.data[k] * field.u.data[k];
    for (size_t k = 0; k < field.v.size(); ++k)
        sumOfSquares += field.v.data[k] * field.v.data[k];
    return 0.5 * sumOfSquares * field.dx * field.dx;
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
    return assemblePressureMatrix(nx, ny, {}, {});
}

pcg::RowListMatrix assemblePressureMatrix(uint32_t nx, uint32_t ny, const std::vector<uint8_t>& solid,
                                          const std::vector<uint8_t>& outletFaces)
{
    pcg::RowListMatrix matrix(nx * ny);
    std::vector<uint32_t> columns;
    std::vector<double> values;
    columns.reserve(pcg::RowListMatrix::reservedEntriesPerRow);
    values.reserve(pcg::RowListMatrix::reservedEntriesPerRow);
    auto fluid = [&](uint32_t k) { return solid.empty() || !solid[k]; };
    uint32_t previousShape = ~0u;
    for (uint32_t i = 0; i < nx; ++i) {
        for (uint32_t j = 0; j < ny; ++j) {
            const uint32_t k = i * ny + j;
            const bool left = i > 0, up = j > 0, down = j < ny - 1, right = i < nx - 1;
            const bool self = fluid(k);
            // Neighbours that take part: inside the grid, fluid, beside a fluid cell.
            const bool leftFluid = left && self && fluid(k - ny), upFluid = up && self && fluid(k - 1);
            const bool downFluid = down && self && fluid(k + 1), rightFluid = right && self && fluid(k + ny);
            const uint32_t open = outletFaces.empty() || !self ? 0u : outletFaces[k];
            const uint32_t shape = uint32_t(left) | uint32_t(up) << 1 | uint32_t(down) << 2 | uint32_t(right) << 3 |
                                   uint32_t(leftFluid) << 4 | uint32_t(upFluid) << 5 | uint32_t(downFluid) << 6 |
                                   uint32_t(rightFluid) << 7 | uint32_t(self) << 8 | open << 9;
            if (shape == previousShape) {
                // The next cell of a run with the same neighbours (most of a
                // column): the same values, every column one further on.
                for (uint32_t& column : columns)
                    ++column;
            } else {
                columns.clear();
                values.clear();
                auto neighbour = [&](bool exists, bool takesPart, uint32_t column) {
                    if (!exists)
                        return;
                    columns.push_back(column);
                    values.push_back(takesPart ? -1.0 : 0.0);
                };
                neighbour(left, leftFluid, k - ny);
                neighbour(up, upFluid, k - 1);
                columns.push_back(k);
                values.push_back(self ? double(int(leftFluid) + int(upFluid) + int(downFluid) + int(rightFluid) +
                                               int(open))
                                      : 1.0);
                neighbour(down, downFluid, k + 1);
                neighbour(right, rightFluid, k + ny);
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

void FluidSolver::diffuse(VelocityField& field, double dt)
{
    lastDiffusion = {true, 0, 0.0, 0.0};
    for (int number = 0; number < 2; ++number) {
        GridArray& component = field.component(number);
        const DiffusionSystem system = diffusionSystem(
            component, number, scene, dx, dt, [&](uint32_t a, uint32_t b) { return heldFace(number, a, b); });
        std::vector<double> result(system.rhs.size(), 0.0);
        pcg::PcgSolver solver;
        solver.relativeTolerance = scene.tolerance;
        solver.iterationLimit = scene.iterationLimit;
        double residual = 0.0;
        int iterations = 0;
        const bool converged = solver.solveSystem(system.matrix, system.rhs, result, residual, iterations);
        if (!converged)
            qDebug("WARNING: PCG solver failed.");
        lastDiffusion.converged = lastDiffusion.converged && converged;
        lastDiffusion.iterations = std::max(lastDiffusion.iterations, iterations);
        lastDiffusion.residual = std::max(lastDiffusion.residual, residual);
        lastDiffusion.tolerance = std::max(lastDiffusion.tolerance, solver.lastTolerance());
        std::copy(result.begin(), result.end(), component.data.get());
    }
}

void FluidSolver::solvePressure(const VelocityField& field, ScalarField& pressureOut, double dt)
{
    const bool plainBox = scene.outlets.empty() && !anySolid();
    const pcg::RowListMatrix matrix =
        plainBox ? assemblePressureMatrix(nx, ny) : assemblePressureMatrix(nx, ny, solid, outletFaces);
    std::vector<double> rhs = pressureRightHandSide(field, dx, density, dt);
    if (!plainBox)
        for (size_t k = 0; k < rhs.size(); ++k)
            if (solid[k])
                rhs[k] = 0.0;
    std::vector<double> result(rhs.size(), 0.0);

    pcg::PcgSolver solver;
    solver.relativeTolerance = scene.tolerance;
    solver.iterationLimit = scene.iterationLimit;
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
