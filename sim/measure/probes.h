#pragma once
// What a scene's probes read after a tick: the velocity by the grid's own
// sampling, and the pressure from the fluid cells around the point.

#include "sim/domain/domain.h"
#include "sim/grid/scalar_field.h"
#include "sim/scene/scene.h"
#include "sim/grid/velocity_field.h"

#include <vector>

struct ProbeReading {
    double u = 0.0, v = 0.0, p = 0.0;
};

// The pressure at (x, y), in length units: bilinear between the four
// nearest cell centres, from the fluid cells among them, their weights scaled
// to sum to 1 - so that a point on a solid's surface reads the fluid beside
// it, not the solid's pressure, which means nothing. With none of the four
// fluid (a point inside a solid), the nearest fluid cell's pressure.
double samplePressure(const ScalarField& pressure, const Domain& domain, double x, double y);

// Each probe's reading, in the order of the list: u and v as advection
// samples them (sampleInScene: 0 inside a solid), p by samplePressure.
std::vector<ProbeReading> readProbes(const std::vector<Probe>& probes, const VelocityField& velocity,
                                     const ScalarField& pressure, const Domain& domain);
