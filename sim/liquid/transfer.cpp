#include "sim/liquid/transfer.h"

#include "parallel/thread_pool.h"

#include <algorithm>

namespace {

// The bilinear weights of the four samples of a component around a point and
// their gradients, on the component's own lattice (clamped to it).
struct Stencil {
    uint32_t a[2], b[2];
    double w[2][2], dwdx[2][2], dwdy[2][2];
};

Stencil stencilOf(int component, double x, double y, double dx, uint32_t nx, uint32_t ny)
{
    // The component's samples: u at (i, j + 1/2), v at (i + 1/2, j), in cells.
    const uint32_t lastA = component == 0 ? nx : nx - 1, lastB = component == 0 ? ny - 1 : ny;
    double ga = x / dx - (component == 0 ? 0.0 : 0.5);
    double gb = y / dx - (component == 0 ? 0.5 : 0.0);
    ga = std::clamp(ga, 0.0, double(lastA));
    gb = std::clamp(gb, 0.0, double(lastB));
    const uint32_t a0 = std::min(uint32_t(ga), lastA > 0 ? lastA - 1 : 0);
    const uint32_t b0 = std::min(uint32_t(gb), lastB > 0 ? lastB - 1 : 0);
    const double fa = ga - a0, fb = gb - b0;
    Stencil s;
    s.a[0] = a0, s.a[1] = std::min(a0 + 1, lastA);
    s.b[0] = b0, s.b[1] = std::min(b0 + 1, lastB);
    const double wa[2] = {1.0 - fa, fa}, wb[2] = {1.0 - fb, fb};
    const double da[2] = {-1.0 / dx, 1.0 / dx};
    for (int p = 0; p < 2; ++p)
        for (int q = 0; q < 2; ++q) {
            s.w[p][q] = wa[p] * wb[q];
            s.dwdx[p][q] = da[p] * wb[q];
            s.dwdy[p][q] = wa[p] * da[q];
        }
    return s;
}

// body(c) for the two components, each on a thread of its own where both
// are large enough: neither reads what the other writes.
template <typename Body>
void forEachComponent(const VelocityField& velocity, Body body)
{
    parallel::forLines(2, velocity.u.size(), [&](size_t first, size_t last) {
        for (size_t c = first; c < last; ++c)
            body(int(c));
    });
}

}  // namespace

void particlesToGrid(const std::vector<LiquidParticle>& particles, VelocityField& velocity,
                     std::vector<uint8_t> known[2])
{
    const double dx = velocity.dx;
    const uint32_t nx = velocity.nx, ny = velocity.ny;
    forEachComponent(velocity, [&](int c) {
        GridArray& component = velocity.component(c);
        std::vector<double> sum(component.size(), 0.0), weights(component.size(), 0.0);
        const uint32_t length = component.extent[1];
        for (const LiquidParticle& p : particles) {
            const Stencil s = stencilOf(c, p.x, p.y, dx, nx, ny);
            const double value = c == 0 ? p.u : p.v;
            const double* gradient = c == 0 ? p.du : p.dv;
            for (int e = 0; e < 2; ++e)
                for (int f = 0; f < 2; ++f) {
                    const uint32_t a = s.a[e], b = s.b[f];
                    // Where the sample lies: u's at (a, b + 1/2), v's at (a + 1/2, b), in cells.
                    const double sx = (a + (c == 0 ? 0.0 : 0.5)) * dx, sy = (b + (c == 0 ? 0.5 : 0.0)) * dx;
                    const double w = s.w[e][f];
                    const size_t k = size_t(a) * length + b;
                    sum[k] += w * (value + gradient[0] * (sx - p.x) + gradient[1] * (sy - p.y));
                    weights[k] += w;
                }
        }
        known[c].assign(component.size(), 0);
        for (size_t k = 0; k < component.size(); ++k) {
            known[c][k] = weights[k] > 0.0;
            component.data[k] = weights[k] > 0.0 ? sum[k] / weights[k] : 0.0;
        }
    });
}

void gridToParticles(const VelocityField& velocity, std::vector<LiquidParticle>& particles)
{
    const double dx = velocity.dx;
    const uint32_t nx = velocity.nx, ny = velocity.ny;
    // Each particle's velocity is its own: the particles go over the threads.
    parallel::forRanges(particles.size(), parallel::cellsWorthAThread, [&](size_t first, size_t last) {
        for (size_t n = first; n < last; ++n) {
            LiquidParticle& p = particles[n];
            for (int c = 0; c < 2; ++c) {
                const GridArray& component = velocity.component(c);
                const Stencil s = stencilOf(c, p.x, p.y, dx, nx, ny);
                double value = 0.0, gx = 0.0, gy = 0.0;
                for (int e = 0; e < 2; ++e)
                    for (int f = 0; f < 2; ++f) {
                        const double sample = component.at(s.a[e], s.b[f]);
                        value += s.w[e][f] * sample;
                        gx += s.dwdx[e][f] * sample;
                        gy += s.dwdy[e][f] * sample;
                    }
                (c == 0 ? p.u : p.v) = value;
                double* gradient = c == 0 ? p.du : p.dv;
                gradient[0] = gx;
                gradient[1] = gy;
            }
        }
    });
}

Velocity gridVelocityAt(const VelocityField& velocity, double x, double y)
{
    const double dx = velocity.dx;
    const uint32_t nx = velocity.nx, ny = velocity.ny;
    Velocity at{0.0, 0.0};
    for (int c = 0; c < 2; ++c) {
        const GridArray& component = velocity.component(c);
        const Stencil s = stencilOf(c, x, y, dx, nx, ny);
        double value = 0.0;
        for (int e = 0; e < 2; ++e)
            for (int f = 0; f < 2; ++f)
                value += s.w[e][f] * component.at(s.a[e], s.b[f]);
        (c == 0 ? at.x : at.y) = value;
    }
    return at;
}

void extendVelocity(VelocityField& velocity, std::vector<uint8_t> known[2], int layers)
{
    forEachComponent(velocity, [&](int c) {
        GridArray& component = velocity.component(c);
        const uint32_t lines = component.extent[0], length = component.extent[1];
        std::vector<uint8_t>& have = known[c];
        for (int layer = 0; layer < layers; ++layer) {
            // Each face not yet known takes the mean of the known faces beside
            // it, all from the layer before.
            std::vector<uint8_t> next = have;
            for (uint32_t a = 0; a < lines; ++a)
                for (uint32_t b = 0; b < length; ++b) {
                    const size_t k = size_t(a) * length + b;
                    if (have[k])
                        continue;
                    double sum = 0.0;
                    int count = 0;
                    auto gather = [&](bool exists, size_t n) {
                        if (exists && have[n]) {
                            sum += component.data[n];
                            ++count;
                        }
                    };
                    gather(a > 0, k - length);
                    gather(a + 1 < lines, k + length);
                    gather(b > 0, k - 1);
                    gather(b + 1 < length, k + 1);
                    if (count > 0) {
                        component.data[k] = sum / count;
                        next[k] = 1;
                    }
                }
            have.swap(next);
        }
    });
}
