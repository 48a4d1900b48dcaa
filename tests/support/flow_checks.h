#pragma once
// Checks on a solver's state that several suites make.

#include "sim/fluid_solver.h"

#include <cmath>

namespace testing_support {

// The largest |divergence| of a fluid cell, in the field's own units.
inline double largestFluidDivergence(const FluidSolver& solver)
{
    double largest = 0.0;
    for (uint32_t i = 0; i < solver.nx; ++i)
        for (uint32_t j = 0; j < solver.ny; ++j)
            if (!solver.domain.isSolid(i, j))
                largest = std::fmax(largest, std::fabs(cellDivergence(*solver.velocity, i, j)));
    return largest;
}

}  // namespace testing_support
