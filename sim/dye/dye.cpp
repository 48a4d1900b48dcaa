#include "sim/dye/dye.h"

#include "parallel/thread_pool.h"
#include "sim/domain/scene_kernels.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

DyeField::DyeField(uint32_t nx, uint32_t ny) : channel{{nx, ny}, {nx, ny}, {nx, ny}}
{
    for (GridArray& c : channel)
        std::fill(c.data.get(), c.data.get() + c.size(), 0.0);
}

void pourDye(DyeField& dye, const Domain& domain, double x, double y, double radius, const float colour[3])
{
    if (!(radius > 0.0))
        return;
    const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
    const double dx = domain.cellSize();
    for (uint32_t i = 0; i < nx; ++i) {
        for (uint32_t j = 0; j < ny; ++j) {
            const double rx = (i + 0.5) * dx - x, ry = (j + 0.5) * dx - y;
            const double fall = 1.0 - (rx * rx + ry * ry) / (radius * radius);
            if (fall <= 0.0 || domain.isSolid(i, j))
                continue;
            for (int c = 0; c < 3; ++c) {
                double& value = dye.channel[c].at(i, j);
                value = std::fmin(1.0, value + fall * colour[c]);
            }
        }
    }
}

double dyeTotal(const DyeField& dye, const Domain& domain, int channel)
{
    const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
    const double dx = domain.cellSize();
    double total = 0.0;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            if (!domain.isSolid(i, j))
                total += dye.channel[channel].at(i, j);
    return total * dx * dx;
}

void advectDye(DyeField& dye, const VelocityField& field, const Domain& domain, double dt)
{
    // Dye moves with the fluid through the faces, each face passing on the dye
    // of the cell upstream of it: what one cell loses its neighbour gains, so
    // dye is neither made nor lost but where it enters through a band or
    // leaves through an opening. (Traced back and sampled as the velocity is,
    // it would lose up to three quarters of itself against walls in a stirred
    // box.) Sub-steps keep every cell from giving more than it holds.
    const uint32_t nx = field.nx, ny = field.ny;
    const double dx = field.dx;
    const int steps = cellToCellSubSteps(field, dt);
    const double share = dt / steps / dx;  // of a face's speed that crosses it in a sub-step, in cells
    DyeField next(nx, ny);
    const sim::SceneKernels& kernels = sim::sceneKernels();
    // Each channel with a ring of the dye that flows in beyond each side
    // around it, so that every face finds the cell upstream of it.
    const size_t length = size_t(ny) + 2;
    std::vector<double> ringed((size_t(nx) + 2) * length, 0.0);
    for (int step = 0; step < steps; ++step) {
        for (int c = 0; c < 3; ++c) {
            const GridArray& now = dye.channel[c];
            for (uint32_t j = 0; j < ny; ++j) {
                ringed[j + 1] = domain.inflowDye(Side::left, j, c);
                ringed[(size_t(nx) + 1) * length + j + 1] = domain.inflowDye(Side::right, j, c);
            }
            for (uint32_t i = 0; i < nx; ++i) {
                double* line = ringed.data() + (size_t(i) + 1) * length;
                line[0] = domain.inflowDye(Side::top, i, c);
                std::copy(now.data.get() + size_t(i) * ny, now.data.get() + size_t(i + 1) * ny, line + 1);
                line[ny + 1] = domain.inflowDye(Side::bottom, i, c);
            }
            // Every cell is computed alone: the lines split over the threads.
            parallel::forLines(nx, ny, [&](size_t first, size_t last) {
                kernels.moveDyeLines(ringed.data(), field.u.data.get(), field.v.data.get(), nx, ny, share,
                                     uint32_t(first), uint32_t(last), next.channel[c].data.get());
            });
        }
        std::swap(dye, next);
    }
}
