#pragma once

#include "PCG/sparse_matrix.h"
#include "sim/scalar_field.h"
#include "sim/scene.h"
#include "sim/standard_box.h"
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

// A passive colour carried by the flow: red, green and blue per cell, at the
// cell centres, 0 (no dye) to 1.
struct DyeField {
    GridArray channel[3];  // extents (nx, ny)
    DyeField(uint32_t nx, uint32_t ny);
};

// A push of the pointer's: velocity (vx, vy) added around (x, y), in length
// units, at the next step.
struct Push {
    double x, y, vx, vy;
};

// Incompressible flow on a staggered grid of nx by ny square cells, in a scene.
class FluidSolver {
public:
    static constexpr double timeStep = standardBox::timeStep;  // of the standard box

    double dx;                                   // edge of a cell
    uint32_t nx;                                 // cells along x
    uint32_t ny;                                 // cells along y
    std::unique_ptr<VelocityField> velocity;     // the newest velocity
    std::unique_ptr<VelocityField> velocityTemp; // advection's target; swapped with velocity
    std::unique_ptr<ScalarField> pressure;       // pressure of the last projection
    double density;
    Scene scene;
    std::vector<uint8_t> solid;  // per cell, k = i*ny + j: 1 where the scene puts a solid
    std::unique_ptr<DyeField> dye;  // only when asked for (enableDye): the standard box has none

    // Every velocity sample starts at rest. Needs a scene without problems.
    explicit FluidSolver(const Scene& scene);
    // The standard box on nx by ny cells (nx, ny >= 2), its bands cut to the grid.
    FluidSolver(uint32_t nx, uint32_t ny);

    // One tick: advect, gravity, borders, (diffusion,) pressure solve, gradient, borders.
    void step() { step(scene.timeStep); }
    void step(double dt);

    void advect(const VelocityField& field, double dt);
    void applyGravity(VelocityField& field, double dt);
    void applyBoundaryConditions(VelocityField& field, double dt);
    // Implicit viscous diffusion of each component; only for a viscosity above 0.
    void diffuse(VelocityField& field, double dt);
    void solvePressure(const VelocityField& field, ScalarField& pressureOut, double dt);
    void subtractPressureGradient(VelocityField& field, const ScalarField& pressureIn, double dt);

    bool isSolid(uint32_t i, uint32_t j) const { return solid[size_t(i) * ny + j] != 0; }
    bool anySolid() const { return solidCount > 0; }
    // Makes cell (i, j) solid or fluid from the next step on. A cell at an
    // inflow or outflow band or an outlet stays as it is: false then.
    bool setSolid(uint32_t i, uint32_t j, bool makeSolid);

    // Pushes the flow at the next step, before the pressure projection.
    void push(const Push& push) { pushes.push_back(push); }
    // Gives the solver a dye field (all clear), which inflow bands that pour
    // fill and every step carries along.
    void enableDye();
    // Adds dye of the colour within radius (length units) of (x, y), fading out.
    void pourDye(double x, double y, double radius, const float colour[3]);
    // The dye's total of each channel over the fluid cells, times the cell area.
    double dyeTotal(int channel) const;
    // Faces held by the borders or the solids: the border's normal faces and
    // every face of a solid cell. A face of an open outlet is not held.
    bool heldFace(int component, uint32_t i, uint32_t j) const;

    const PressureSolveOutcome& lastPressureSolve() const { return lastSolve; }
    const PressureSolveOutcome& lastDiffusionSolve() const { return lastDiffusion; }

private:
    void applyPushes(VelocityField& field);
    void advectDye(double dt);
    bool atOpening(uint32_t i, uint32_t j) const;

    std::vector<Push> pushes;
    size_t solidCount = 0;
    PressureSolveOutcome lastSolve;
    PressureSolveOutcome lastDiffusion;
    // Per border face, normal to the border: the velocity it is held at, or
    // NaN where an outlet leaves it free. Indexed along the side.
    std::vector<double> leftFaces, rightFaces, topFaces, bottomFaces;
    std::vector<uint8_t> outletFaces;  // per cell: how many of its border faces are open outlets
};

// Half the sum of every squared velocity sample, times the area of a cell.
double kineticEnergy(const VelocityField& field);

// Divergence of cell (i, j) in the field's own units: x term first.
double cellDivergence(const VelocityField& field, uint32_t i, uint32_t j);

// The pressure equation: one row per cell k = i*ny + j, -1 for each neighbour
// inside the grid and their count on the diagonal, so every row sums to zero.
pcg::RowListMatrix assemblePressureMatrix(uint32_t nx, uint32_t ny);

// The same in a scene: a fluid cell counts its fluid neighbours and its open
// outlet faces (pressure 0 beyond them) on the diagonal; a solid neighbour
// keeps its place in the row as 0.0, so that every row has the five-point
// pattern of the grid. A solid cell's row is 1 on the diagonal and 0.0 beside:
// its pressure is 0 and takes no part. solid and outletFaces are per cell.
pcg::RowListMatrix assemblePressureMatrix(uint32_t nx, uint32_t ny, const std::vector<uint8_t>& solid,
                                          const std::vector<uint8_t>& outletFaces);

// Each cell's divergence times -dx*dx*density/dt, indexed like the matrix rows.
std::vector<double> pressureRightHandSide(const VelocityField& field, double dx, double density, double dt);
