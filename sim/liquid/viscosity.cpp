#include "sim/liquid/viscosity.h"

#include <algorithm>
#include <cmath>

int liquidDiffusionParts(const Scene& scene)
{
    // Explicit diffusion holds while nu dt / dx^2 stays under 1/4 a part.
    return std::max(1, int(std::ceil(scene.viscosity * scene.timeStep / (scene.cellSize * scene.cellSize) / 0.2)));
}

void applyLiquidViscosity(VelocityField& velocity, const std::vector<uint8_t> known[2], const Scene& scene,
                          const Domain& domain)
{
    const double dx = domain.cellSize();
    // Explicitly, in equal parts of the step, on the faces the liquid's
    // particles reached and those the velocity was carried on to. A face
    // beside one that holds nothing takes its own value there: no stress
    // across the surface. Beyond a wall the tangential velocity takes the
    // wall's rule (at rest, sliding, or mirrored where the wall slips).
    const int parts = liquidDiffusionParts(scene);
    const double rate = scene.viscosity * scene.timeStep / (dx * dx) / parts;
    const Wall &left = domain.wall(Side::left), &right = domain.wall(Side::right);
    const Wall &top = domain.wall(Side::top), &bottom = domain.wall(Side::bottom);
    for (int c = 0; c < 2; ++c) {
        GridArray& component = velocity.component(c);
        const uint32_t lines = component.extent[0], length = component.extent[1];
        const std::vector<uint8_t>& have = known[c];
        const std::vector<uint8_t> held = domain.heldFaces(c);
        std::vector<double> next(component.size());
        for (int part = 0; part < parts; ++part) {
            for (uint32_t a = 0; a < lines; ++a)
                for (uint32_t b = 0; b < length; ++b) {
                    const size_t k = size_t(a) * length + b;
                    const double here = component.data[k];
                    next[k] = here;
                    if (!have[k] || held[k])
                        continue;
                    // Past the border lies a wall the component runs along.
                    auto beside = [&](bool inside, size_t n, const Wall& wall) {
                        return inside ? (have[n] ? component.data[n] : here) : ghostSample(wall, here);
                    };
                    const double around = beside(a > 0, k - length, left) + beside(a + 1 < lines, k + length, right) +
                                          beside(b > 0, k - 1, top) + beside(b + 1 < length, k + 1, bottom);
                    next[k] = here + rate * (around - 4.0 * here);
                }
            for (size_t k = 0; k < next.size(); ++k)
                component.data[k] = next[k];
        }
    }
}
