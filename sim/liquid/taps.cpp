#include "sim/liquid/taps.h"

#include <cmath>

std::vector<TapFace> tapFacesOf(const Scene& scene)
{
    std::vector<TapFace> taps;
    for (const Band& band : scene.inflows)
        for (uint32_t cell = band.range.first; cell <= band.range.last; ++cell)
            taps.push_back({band.range.side, cell, band.speedAt(cell)});
    return taps;
}

void pourFromTaps(const std::vector<TapFace>& taps, uint64_t tick, double dt, const Domain& domain,
                  std::vector<LiquidParticle>& particles)
{
    const double dx = domain.cellSize();
    const double part = dx / particlesPerSide, width = domain.cellsX() * dx, height = domain.cellsY() * dx;
    for (size_t t = 0; t < taps.size(); ++t) {
        const TapFace& tap = taps[t];
        // What the face has poured, in rows of particles: a row enters once
        // the liquid behind it has passed the face whole, and lies in the
        // middle of the part it has come in since. The count follows from
        // the tick alone, so a resumed run pours the same rows.
        const double before = double(tick) * tap.speed * dt / part;
        const double now = double(tick + 1) * tap.speed * dt / part;
        for (uint64_t row = uint64_t(before); row < uint64_t(now); ++row) {
            const double depth = (now - double(row) - 0.5) * part;
            for (int p = 0; p < particlesPerSide && particles.size() < largestParticleCount; ++p) {
                const double along = seedAt(tap.cell, p, dx);
                LiquidParticle particle{along, along, 0.0, 0.0, {0.0, 0.0}, {0.0, 0.0}};
                switch (tap.side) {
                case Side::left: particle.x = depth, particle.u = tap.speed; break;
                case Side::right: particle.x = width - depth, particle.u = -tap.speed; break;
                case Side::top: particle.y = depth, particle.v = tap.speed; break;
                case Side::bottom: particle.y = height - depth, particle.v = -tap.speed; break;
                }
                particles.push_back(particle);
            }
        }
    }
}

bool letsOut(const Domain& domain, Side side, uint32_t cell)
{
    // An outlet's face is free (NaN); an outflow band's is held pointing out of the box.
    const double held = domain.borderFace(side, cell);
    const double outward = side == Side::left || side == Side::top ? -1.0 : 1.0;
    return std::isnan(held) || held * outward > 0.0;
}

bool leavesBox(const Domain& domain, double x, double y)
{
    const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
    const double dx = domain.cellSize();
    if (x < 0.0)
        return letsOut(domain, Side::left, cellAlong(y, dx, ny));
    if (x > nx * dx)
        return letsOut(domain, Side::right, cellAlong(y, dx, ny));
    if (y < 0.0)
        return letsOut(domain, Side::top, cellAlong(x, dx, nx));
    if (y > ny * dx)
        return letsOut(domain, Side::bottom, cellAlong(x, dx, nx));
    return false;
}
