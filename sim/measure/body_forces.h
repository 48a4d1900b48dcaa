#pragma once
// The force the fluid exerts on each solid of a scene, per unit depth, in the
// scene's units: from the momentum balance of a box of fluid cells around the
// solid (docs/VALIDATION.md derives it). What the box's fluid gains, what
// flows out through its sides and the pressure and viscous stress on them
// add up to what the solid does to the fluid; the force on the solid is the
// opposite. The box's sides lie in the fluid, where the flow is resolved,
// not on the staircase of the solid's cells.

#include "sim/flow/fluid_solver.h"

#include <cstdint>
#include <vector>

struct BodyForce {
    double x = 0.0, y = 0.0;  // x to the right, y down the picture (as gravity); NaN: not measured
};

class ForceMeter {
public:
    // A box per solid of the scene, in the file's order (Scene::solidsInOrder):
    // its cells and `margin` cells of fluid around them. A solid closer than
    // margin + 1 cells to the border or to another solid has no box of its
    // own; its force reads NaN.
    explicit ForceMeter(const FluidSolver& solver, uint32_t margin = 2);

    // The forces after the tick just run. Call it after every tick: the
    // change of momentum is taken against the last call (or the start).
    std::vector<BodyForce> measure(const FluidSolver& solver, double dt);

private:
    struct Box {
        bool valid = false;
        uint32_t i0 = 0, i1 = 0, j0 = 0, j1 = 0;  // the cells inside, inclusive
        double momentum[2] = {0.0, 0.0};        // of its fluid at the last call
        double fluidArea = 0.0;  // of the box's fluid, in cells
        double cutArea = 0.0;    // of a cutting disc, in cells; 0 for a solid of whole cells
    };
    std::vector<Box> boxes;
    uint32_t margin = 2;
    uint64_t solidRevision = 0;
};
