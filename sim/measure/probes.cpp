#include "sim/measure/probes.h"

#include "sim/grid/sampling.h"
#include "sim/flow/scene_steps.h"

#include <cmath>
#include <limits>

double samplePressure(const ScalarField& pressure, const Domain& domain, double x, double y)
{
    const uint32_t nx = pressure.nx, ny = pressure.ny;
    // Cell centres lie at (i + 1/2, j + 1/2) cells.
    const sampling::AxisWeights<double> across = sampling::axisWeights(x / pressure.dx - 0.5, nx - 1);
    const sampling::AxisWeights<double> down = sampling::axisWeights(y / pressure.dx - 0.5, ny - 1);
    const uint32_t i = uint32_t(across.base), j = uint32_t(down.base);
    double sum = 0.0, weights = 0.0;
    for (uint32_t a = 0; a < 2; ++a) {
        for (uint32_t b = 0; b < 2; ++b) {
            const double weight = (a == 0 ? across.weight : 1.0 - across.weight) * (b == 0 ? down.weight : 1.0 - down.weight);
            if (weight == 0.0 || domain.isSolid(i + a, j + b))
                continue;
            sum += weight * pressure.values.at(i + a, j + b);
            weights += weight;
        }
    }
    if (weights > 0.0)
        return sum / weights;
    // Inside a solid: the nearest fluid cell, by the distance of its centre.
    double nearest = std::numeric_limits<double>::infinity(), value = 0.0;
    for (uint32_t a = 0; a < nx; ++a) {
        for (uint32_t b = 0; b < ny; ++b) {
            const double dx = (a + 0.5) * pressure.dx - x, dy = (b + 0.5) * pressure.dx - y;
            if (!domain.isSolid(a, b) && dx * dx + dy * dy < nearest) {
                nearest = dx * dx + dy * dy;
                value = pressure.values.at(a, b);
            }
        }
    }
    return value;
}

std::vector<ProbeReading> readProbes(const std::vector<Probe>& probes, const VelocityField& velocity,
                                     const ScalarField& pressure, const Domain& domain)
{
    std::vector<ProbeReading> readings;
    readings.reserve(probes.size());
    for (const Probe& probe : probes)
        readings.push_back({sampleInScene(velocity, domain, 0, probe.x, probe.y),
                            sampleInScene(velocity, domain, 1, probe.x, probe.y),
                            samplePressure(pressure, domain, probe.x, probe.y)});
    return readings;
}
