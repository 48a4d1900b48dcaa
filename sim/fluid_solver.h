#pragma once

#include "PCG/sparse_matrix.h"
#include "sim/scalar_field.h"
#include "sim/scene.h"
#include "sim/velocity_field.h"

#include <cstdint>
#include <memory>
#include <vector>

// Outcome of the last pressure solve, kept for diagnostics only.
struct PressureSolveOutcome {
    bool converged = true;
    int iterations = 0;
    double residual = 0.0;  // largest |residual| at the solver's last test
    double tolerance = 0.0; // the residual it had to reach
};

// Incompressible flow on a staggered grid of nx by ny square cells.
class FluidSolver {
public:
    static constexpr double cellSize = scene::cellSize;
    static constexpr double fluidDensity = scene::density;
    static constexpr double timeStep = scene::timeStep;
    static constexpr double gravity = scene::gravity;
    static constexpr double borderSpeed = scene::borderSpeed;
    static constexpr uint32_t lastInflowRow = scene::lastInflowRow;
    static constexpr uint32_t firstOutflowRow = scene::firstOutflowRow;

    double dx;                                   // edge of a cell
    uint32_t nx;                                 // cells along x
    uint32_t ny;                                 // cells along y
    std::unique_ptr<VelocityField> velocity;     // the newest velocity
    std::unique_ptr<VelocityField> velocityTemp; // advection's target; swapped with velocity
    std::unique_ptr<ScalarField> pressure;       // pressure of the last projection
    double density;

    // Every velocity sample starts at rest. Needs nx, ny >= 2.
    FluidSolver(uint32_t nx, uint32_t ny);

    // One tick: advect, gravity, borders, pressure solve, gradient, borders.
    void step(double dt = timeStep);

    void advect(const VelocityField& field, double dt);
    void applyGravity(VelocityField& field, double dt);
    void applyBoundaryConditions(VelocityField& field, double dt);
    void solvePressure(const VelocityField& field, ScalarField& pressureOut, double dt);
    void subtractPressureGradient(VelocityField& field, const ScalarField& pressureIn, double dt);

    const PressureSolveOutcome& lastPressureSolve() const { return lastSolve; }

private:
    PressureSolveOutcome lastSolve;
};

// Divergence of cell (i, j) in the field's own units: x term first.
double cellDivergence(const VelocityField& field, uint32_t i, uint32_t j);

// The pressure equation: one row per cell k = i*ny + j, -1 for each neighbour
// inside the grid and their count on the diagonal, so every row sums to zero.
pcg::RowListMatrix assemblePressureMatrix(uint32_t nx, uint32_t ny);

// Each cell's divergence times -dx*dx*density/dt, indexed like the matrix rows.
std::vector<double> pressureRightHandSide(const VelocityField& field, double dx, double density, double dt);
