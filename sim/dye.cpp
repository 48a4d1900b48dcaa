#include "sim/dye.h"

#include "parallel/thread_pool.h"

#include <algorithm>
#include <cmath>
#include <utility>

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
    DyeField next(nx, ny);
    // One sub-step of one channel: the channels move alone, each on a thread
    // of its own when there are enough cells.
    auto moveChannel = [&](size_t c) {
        const GridArray& now = dye.channel[c];
        GridArray& after = next.channel[c];
        std::copy(now.data.get(), now.data.get() + now.size(), after.data.get());
        for (uint32_t i = 0; i <= nx; ++i) {
            for (uint32_t j = 0; j < ny; ++j) {
                const double speed = field.u.at(i, j);
                if (speed == 0.0)
                    continue;
                const double upstream =
                    speed > 0.0 ? (i > 0 ? now.at(i - 1, j) : domain.inflowDye(Side::left, j, int(c)))
                                : (i < nx ? now.at(i, j) : domain.inflowDye(Side::right, j, int(c)));
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
                const double upstream =
                    speed > 0.0 ? (j > 0 ? now.at(i, j - 1) : domain.inflowDye(Side::top, i, int(c)))
                                : (j < ny ? now.at(i, j) : domain.inflowDye(Side::bottom, i, int(c)));
                const double flux = speed * share * upstream;
                if (j > 0)
                    after.at(i, j - 1) -= flux;
                if (j < ny)
                    after.at(i, j) += flux;
            }
        }
    };
    for (int step = 0; step < steps; ++step) {
        parallel::forLines(3, size_t(nx) * ny, [&](size_t first, size_t last) {
            for (size_t c = first; c < last; ++c)
                moveChannel(c);
        });
        std::swap(dye, next);
    }
}
