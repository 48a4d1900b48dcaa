#pragma once
// Checks on a solver's state that several suites make.

#include "sim/flow/fluid_solver.h"

#include <cmath>

namespace testing_support {

// The largest |divergence| of a fluid cell, in the field's own units: of the
// flow through the faces' open parts where discs cut cells.
inline double largestFluidDivergence(const FluidSolver& solver)
{
    const VelocityField open = solver.domain.openFlow(*solver.velocity);
    double largest = 0.0;
    for (uint32_t i = 0; i < solver.nx; ++i)
        for (uint32_t j = 0; j < solver.ny; ++j)
            if (!solver.domain.isSolid(i, j))
                largest = std::fmax(largest, std::fabs(cellDivergence(open, i, j)));
    return largest;
}

}  // namespace testing_support
