#pragma once
// What a view or an exported file shows of a run at the cell centres, one
// value per cell (k = i*ny + j): read from the solver's fields and its
// domain, never changing them.

#include "sim/scene/scene.h"
#include "sim/grid/velocity_field.h"

#include <cstdint>
#include <vector>

class FluidSolver;

// How a view labels a field (CellField, scene.h) and maps its values.
struct CellFieldLabel {
    const char* name;   // cellFieldName's
    const char* units;  // in the scene's units
    bool isSigned;      // drawn on a map centred on 0
};

const CellFieldLabel& labelOf(CellField field);

// The velocity at each cell's centre, by the grid's one sampling rule.
struct CellVelocity {
    std::vector<double> u, v;
};
CellVelocity cellVelocity(const VelocityField& field);

// The vorticity at each cell's centre, positive where the flow turns
// counterclockwise in the picture (y down): du/dy - dv/dx of the centre
// velocities, central inside, one-sided at the border.
std::vector<double> cellVorticity(const CellVelocity& velocity, uint32_t nx, uint32_t ny, double dx);

// The field at each cell's centre; NaN in a solid cell. Empty where the
// solver has no such field (dye, temperature). Dye: its strongest channel.
// Speed and vorticity come from the centre velocity, when given, else from
// the solver's.
std::vector<double> cellValues(const FluidSolver& solver, CellField field, const CellVelocity* velocity = nullptr);
