#pragma once

#include "PCG/sparse_matrix.h"
#include "sim/domain/domain.h"
#include "sim/flow/pressure_system.h"
#include "sim/dye/dye.h"
#include "sim/solve/five_point_system.h"
#include "sim/heat/heat.h"
#include "sim/liquid/liquid.h"
#include "sim/solve/linear_solve.h"
#include "sim/grid/scalar_field.h"
#include "sim/scene/scene.h"
#include "sim/saved/state_file.h"
#include "sim/grid/velocity_field.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A push of the pointer's: velocity (vx, vy) added around (x, y), in length
// units, at the next step.
struct Push {
    double x, y, vx, vy;
};

// Incompressible flow on a staggered grid of nx by ny square cells, in a scene.
class FluidSolver {
public:
    double dx;                                   // edge of a cell
    uint32_t nx;                                 // cells along x
    uint32_t ny;                                 // cells along y
    std::unique_ptr<VelocityField> velocity;     // the newest velocity
    std::unique_ptr<VelocityField> velocityTemp; // advection's target; swapped with velocity
    std::unique_ptr<ScalarField> pressure;       // pressure of the last projection
    double density;
    Scene scene;
    Domain domain;                  // the solids and the border; change cells through setSolid
    std::unique_ptr<DyeField> dye;  // when the scene pours it, or on request (enableDye)
    std::unique_ptr<HeatField> heat;  // when the scene has heat
    std::unique_ptr<LiquidSolver> liquid;  // when the scene has liquid: it then steps the flow

    // Every velocity sample starts at rest. Needs a scene without problems.
    explicit FluidSolver(const Scene& scene);
    // The standard box on nx by ny cells (nx, ny >= 2), its bands cut to the grid.
    FluidSolver(uint32_t nx, uint32_t ny);

    // One tick of the scene's time step: advect, gravity, (buoyancy,) the
    // pointer's pushes, borders, pressure solve, gradient, borders, (dye,
    // heat). With viscosity, the velocity is diffused after the advection,
    // before gravity and buoyancy; from the second tick on, together with
    // the last tick's pressure gradient, gravity and buoyancy, the
    // projection then solving for the pressure's change (a steady flow does
    // not depend on the time step).
    void step();
    // Whether cell (i, j) counts as the flow where it is measured or drawn:
    // any cell, but of a liquid only those under its surface (the velocity
    // carried into the air is only where the particles may go).
    bool flowsIn(uint32_t i, uint32_t j) const { return !liquid || liquid->liquidCell(i, j); }
    // Whether the velocity in cell (i, j) was made free of divergence: any
    // cell, but of a liquid those the last projection held liquid.
    bool projectedIn(uint32_t i, uint32_t j) const { return !liquid || liquid->projectedCell(i, j); }

    void advect(const VelocityField& field, double dt);
    void applyGravity(VelocityField& field, double dt);
    void applyPushes(VelocityField& field);
    // How much of a push reaches (x, y).
    double pushWeight(const Push& push, double x, double y) const;
    // Sets the faces the domain holds; takes dt like the other steps and does not use it.
    void applyBoundaryConditions(VelocityField& field, double dt);
    // Implicit viscous diffusion of each component; only for a viscosity above 0.
    void diffuse(VelocityField& field, double dt);
    void solvePressure(const VelocityField& field, ScalarField& pressureOut, double dt);
    void subtractPressureGradient(VelocityField& field, const ScalarField& pressureIn, double dt);

    // Makes cell (i, j) solid or fluid from the next step on; a changed cell
    // starts at rest, without dye. A cell at an inflow or outflow band or an
    // outlet stays as it is: false then.
    bool setSolid(uint32_t i, uint32_t j, bool makeSolid);
    // Pushes the flow at the next step, before the pressure projection.
    void push(const Push& push) { pushes.push_back(push); }
    // Gives the solver a dye field (all clear), if it has none, for pourDye;
    // none to a liquid, which is poured itself.
    void enableDye();
    // Adds dye of the colour within radius (length units) of (x, y), fading out.
    void pourDye(double x, double y, double radius, const float colour[3]);
    // The dye's total of each channel over the fluid cells, times the cell area.
    double dyeTotal(int channel) const;

    // What the next tick reads, for a state file, after `tick` ticks: the
    // scene, the cells as drawn, the fields, and what the solves start from.
    // The tracers are the caller's to add.
    SavedRun saveState(uint64_t tick) const;
    // Takes the state a run of the same scene saved. False, saying what does
    // not fit, where a cell is solid at an opening or fluid inside a disc
    // that cuts cells, or the state has dye or heat where the scene has none
    // (or lacks it where the scene has it).
    bool restoreState(const SavedRun& run, std::string& problem);

    const SolveOutcome& lastPressureSolve() const { return lastSolve; }
    const SolveOutcome& lastDiffusionSolve() const { return lastDiffusion; }
    // The last solve of the heat's diffusion, when the scene has heat.
    SolveOutcome lastHeatSolve() const { return heat ? heat->lastSolve() : SolveOutcome{}; }

private:
    // The viscosity's systems are close to the identity: the factor takes them
    // in a few iterations, with less set-up than a multigrid hierarchy.
    LinearSolve viscositySolve() const
    {
        return {scene.tolerance, scene.iterationLimit, pcg::Preconditioner::incompleteCholesky, true};
    }
    LinearSolve pressureSolve() const
    {
        return {scene.tolerance, scene.iterationLimit, scene.preconditioner, !scene.builtIn};
    }
    // Where component `number`'s viscosity solve starts, into diffusing[number]
    // (n values); whether from a guess. Then the answer kept and written out.
    bool startViscositySolve(int number, size_t n);
    void keepViscosityAnswer(int number, bool fromGuess, double* velocityOut);
    // The pressure's change from the last one, into pressureChange.
    void solvePressureChange(const VelocityField& field, double dt);
    // The pressure's right-hand side, 0 in a scene's solid cells.
    std::vector<double> sceneRightHandSide(const VelocityField& field, double dt) const;
    // Builds the scene's pressure matrix anew where its cells have changed.
    void holdPressureSystem();
    void solveInScene(const std::vector<double>& rhs, ScalarField& pressureOut, double rhsScale);

    std::vector<Push> pushes;
    std::unique_ptr<ScalarField> pressureChange;  // of the last projection, in a viscous scene
    std::vector<double> changeScratch[2];          // the last pressure and what it answers, kept from tick to tick
    bool pressureKnown = false;                   // whether a projection has made the pressure
    // A scene's pressure and viscosity matrices, with their preconditioners,
    // from tick to tick (the standard box builds its own each tick).
    RepeatedSolve pressureSolves;
    std::vector<std::vector<uint32_t>> closedParts;  // of the domain, when pressureSolves took its matrix
    RepeatedSolve viscositySolves[2];
    // Per component, the last viscosity solve's answer, how it changed
    // from the one before and how that one had changed: where the next
    // solve starts.
    std::vector<double> diffused[2], diffusedStep[2], diffusedStepBefore[2];
    bool stepsGrow[2] = {false, false};  // whether the next starts from the steps grown
    std::vector<double> diffusing[2];  // where each solve works: the answer before last
    std::vector<double> viscosityRhs[2];  // each solve's right-hand side, written over tick after tick
    std::vector<double> pressureScratch;  // where a scene's pressure solve works
    // The faces each component's diffusion holds, as the solids last stood.
    std::vector<uint8_t> heldFaces[2];
    uint64_t heldFacesRevision = 0;
    bool heldFacesKnown = false;
    SolveOutcome lastSolve;
    SolveOutcome lastDiffusion;
};
