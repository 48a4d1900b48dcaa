#include "sim/liquid/particles.h"

#include "parallel/thread_pool.h"
#include "sim/grid/hypotenuse.h"
#include "sim/liquid/taps.h"
#include "sim/liquid/transfer.h"

#include <algorithm>
#include <cmath>

uint32_t cellAlong(double at, double dx, uint32_t cells)
{
    return std::min(uint32_t(std::max(0.0, at / dx)), cells - 1);
}

double startArea(const Domain& domain, const LiquidStart& start)
{
    if (!start.areaWithin)
        return std::nan("");
    const double dx = domain.cellSize();
    double area = 0.0;
    for (uint32_t i = 0; i < domain.cellsX(); ++i)
        for (uint32_t j = 0; j < domain.cellsY(); ++j)
            if (!domain.isSolid(i, j))
                area += start.areaWithin(i * dx, j * dx, (i + 1) * dx, (j + 1) * dx);
    return area;
}

std::vector<LiquidParticle> seedParticles(const Domain& domain, const LiquidStart& start)
{
    std::vector<LiquidParticle> particles;
    const double dx = domain.cellSize();
    for (uint32_t i = 0; i < domain.cellsX(); ++i)
        for (uint32_t j = 0; j < domain.cellsY(); ++j)
            for (int p = 0; p < particlesPerSide; ++p)
                for (int q = 0; q < particlesPerSide; ++q) {
                    const double x = seedAt(i, p, dx), y = seedAt(j, q, dx);
                    if (!start.inside(x, y) || domain.solidAt(x, y))
                        continue;
                    const Velocity moving = start.velocity ? start.velocity(x, y) : Velocity{0.0, 0.0};
                    particles.push_back({x, y, moving.x, moving.y, {0.0, 0.0}, {0.0, 0.0}});
                }
    return particles;
}

void pourParticles(std::vector<LiquidParticle>& particles, const Domain& domain, double x, double y, double reach,
                   Velocity velocity)
{
    const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
    const double dx = domain.cellSize();
    std::vector<uint8_t> held(size_t(nx) * ny, 0);
    for (const LiquidParticle& p : particles)
        held[size_t(cellAlong(p.x, dx, nx)) * ny + cellAlong(p.y, dx, ny)] = 1;
    const uint32_t fromI = cellAlong(x - reach, dx, nx), toI = cellAlong(x + reach, dx, nx);
    const uint32_t fromJ = cellAlong(y - reach, dx, ny), toJ = cellAlong(y + reach, dx, ny);
    for (uint32_t i = fromI; i <= toI; ++i)
        for (uint32_t j = fromJ; j <= toJ; ++j) {
            const double cx = (i + 0.5) * dx, cy = (j + 0.5) * dx;
            if (held[size_t(i) * ny + j] || domain.isSolid(i, j) || hypotenuse(cx - x, cy - y) > reach ||
                particles.size() + particlesPerSide * particlesPerSide > largestParticleCount)
                continue;
            for (int p = 0; p < particlesPerSide; ++p)
                for (int q = 0; q < particlesPerSide; ++q) {
                    const double px = seedAt(i, p, dx), py = seedAt(j, q, dx);
                    if (!domain.solidAt(px, py))
                        particles.push_back({px, py, velocity.x, velocity.y, {0.0, 0.0}, {0.0, 0.0}});
                }
        }
}

void moveParticles(std::vector<LiquidParticle>& particles, const VelocityField& velocity, const Domain& domain,
                   double dt)
{
    const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
    const double dx = domain.cellSize();
    // Kept as far from the walls as the seeds were: a particle pressed
    // closer falls out of the level set, which then sees air by the wall.
    const double margin = 0.5 * dx / particlesPerSide, width = nx * dx, height = ny * dx;
    // Each particle moves on its own, over the threads; those that leave
    // the box are dropped after, in order.
    std::vector<uint8_t> leaves(particles.size(), 0);
    parallel::forRanges(particles.size(), parallel::cellsWorthAThread / 4, [&](size_t first, size_t last) {
        for (size_t k = first; k < last; ++k) {
            LiquidParticle& p = particles[k];
            // The midpoint rule through the grid's velocity.
            const Velocity start = gridVelocityAt(velocity, p.x, p.y);
            const Velocity middle = gridVelocityAt(velocity, p.x + 0.5 * dt * start.x, p.y + 0.5 * dt * start.y);
            double x = p.x + dt * middle.x, y = p.y + dt * middle.y;
            if (leavesBox(domain, x, y)) {
                leaves[k] = 1;
                continue;
            }
            // Up to an opening that lets liquid out a particle goes on freely.
            const uint32_t column = cellAlong(x, dx, nx), row = cellAlong(y, dx, ny);
            x = std::clamp(x, letsOut(domain, Side::left, row) ? 0.0 : margin,
                           letsOut(domain, Side::right, row) ? width : width - margin);
            y = std::clamp(y, letsOut(domain, Side::top, column) ? 0.0 : margin,
                           letsOut(domain, Side::bottom, column) ? height : height - margin);
            // A particle never enters a solid: it stays where it was.
            if (!domain.solidAt(x, y)) {
                p.x = x;
                p.y = y;
            }
        }
    });
    size_t kept = 0;
    for (size_t k = 0; k < particles.size(); ++k)
        if (!leaves[k])
            particles[kept++] = particles[k];
    particles.resize(kept);
}
