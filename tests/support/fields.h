#pragma once
// Velocity fields for tests.

#include "sim/scene/standard_box.h"
#include "sim/grid/velocity_field.h"

#include <cstddef>

namespace testing_support {

// Samples of each velocity component, and cells, on the scene's square grid.
constexpr size_t facesPerComponent = size_t(standardBox::gridCells + 1) * standardBox::gridCells;
constexpr size_t cellCount = size_t(standardBox::gridCells) * standardBox::gridCells;

// Every u sample set to u, every v sample to v.
inline void fillField(VelocityField& field, double u, double v)
{
    for (size_t k = 0; k < field.u.size(); ++k)
        field.u.data[k] = u;
    for (size_t k = 0; k < field.v.size(); ++k)
        field.v.data[k] = v;
}

}  // namespace testing_support
