#pragma once
// Velocity fields for tests.

#include "sim/velocity_field.h"

namespace testing_support {

// Every u sample set to u, every v sample to v.
inline void fillField(VelocityField& field, double u, double v)
{
    for (size_t k = 0; k < field.u.size(); ++k)
        field.u.data[k] = u;
    for (size_t k = 0; k < field.v.size(); ++k)
        field.v.data[k] = v;
}

}  // namespace testing_support
