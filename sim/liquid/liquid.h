#pragma once
// A liquid with a free surface in a scene's box: particles carry the liquid
// and its velocity (APIC: each particle's velocity and its affine part), the
// surface is a level set built from them each tick, and the pressure is 0 in
// the air, its condition placed where the surface lies between two cell
// centres (a ghost fluid of second order), not at whole cells. The velocity
// is carried on into the air near the liquid, where particles may move.
// Walls and solids hold the faces as in any scene.
//
// Each stage is a file of this folder: particles.h (seeding, moving),
// transfer.h (particles to grid and back), level_set.h (the surface),
// surface_pressure.h (the projection), viscosity.h, taps.h (taps and openings).

#include "sim/domain/domain.h"
#include "sim/grid/scalar_field.h"
#include "sim/grid/velocity_field.h"
#include "sim/liquid/level_set.h"
#include "sim/liquid/particles.h"
#include "sim/liquid/taps.h"
#include "sim/scene/scene.h"
#include "sim/solve/linear_solve.h"

#include <cstdint>
#include <functional>
#include <vector>

class LiquidSolver {
public:
    // The scene gives the grid, gravity, density, the solves' settings and
    // the time step; the domain its walls and solids. Particles are seeded on
    // a lattice in the liquid's cells, never inside solids, and the surface
    // holds the start's area from the first tick.
    LiquidSolver(const Scene& scene, const Domain& domain, const LiquidStart& start);
    // Where a scene's [[liquid]] entries say.
    static LiquidStart startOf(const Scene& scene);

    // One tick: the particles' velocity to the grid, gravity, the walls, the
    // projection under the surface of the particles where they are, the
    // velocity carried into the air, back to the particles, which then move;
    // and the surface of the particles where they now are, which the next
    // tick projects under. velocity and pressure are the run's.
    void tick(VelocityField& velocity, ScalarField& pressure);

    // The liquid's area (its volume per unit depth), from the level set.
    double area() const { return surface.area(); }
    // The region under the surface as triangles, three points each: what
    // the area sums and a picture fills.
    std::vector<LiquidPoint> liquidTriangles() const { return surface.liquidTriangles(); }
    // The rest of the box, but its solid cells: the air, as triangles.
    std::vector<LiquidPoint> airTriangles() const { return surface.airTriangles(); }
    // The largest speed of a particle.
    double largestSpeed() const;
    // Half the squared speed of each particle times the area it stands for,
    // per unit density and depth.
    double kineticEnergy() const;
    // Where the surface crosses the column of cells i, from above: the depth
    // (y) at which the level set changes sign going down from the top, or
    // NaN where the column has no liquid.
    double surfaceInColumn(uint32_t i) const { return surface.surfaceInColumn(i); }
    double surfaceAt(double x) const { return surface.surfaceAt(x); }

    const std::vector<LiquidParticle>& particles() const { return particleList; }
    // The area the particles stand for: the liquid's area at the start,
    // shared among its particles, times how many there are now (a tap's
    // or an outlet's change counted in).
    double particleArea() const;

    // Fills the cells whose centres lie within `reach` of (x, y) (length
    // units) and that hold no particle, as the start seeds a cell, moving at
    // `velocity`; never a solid cell, never beyond the particles a scene may
    // hold. The surface takes them in at once.
    void pourAt(double x, double y, double reach, Velocity velocity);
    // Adds to each particle's velocity what `added` gives at its place.
    void addVelocity(const std::function<Velocity(double x, double y)>& added);
    // Takes particles saved from a run of the same scene after `ticks` ticks
    // (what the taps have poured follows from them).
    void setParticles(std::vector<LiquidParticle> particles, uint64_t ticks);

    // The level set at the cell centres, length units: below 0 in the liquid.
    const GridArray& levelSet() const { return surface.values(); }
    bool liquidCell(uint32_t i, uint32_t j) const { return surface.liquidCell(i, j); }
    // Whether cell (i, j) was liquid in the last projection (before any, in
    // the first): where the velocity has no divergence, one tick's move
    // behind the surface.
    bool projectedCell(uint32_t i, uint32_t j) const { return projected[size_t(i) * domain.cellsY() + j] != 0; }
    const SolveOutcome& lastSolve() const { return solveOutcome; }
    // How far the last level set's surface was moved out to hold the
    // particles' area (in, where negative), length units.
    double lastSurfaceShift() const { return surface.lastShift(); }

private:
    const Scene& scene;
    const Domain& domain;
    std::vector<LiquidParticle> particleList;
    uint64_t ticksRun = 0;
    std::vector<TapFace> taps;
    // What a cell's crowding comes to where the liquid is as seeded.
    std::vector<double> seededCrowding;
    LevelSet surface;
    double startArea = 0.0;
    size_t startCount = 0;
    bool holdsArea = false;  // once the start's area is known
    SolveOutcome solveOutcome;
    std::vector<uint8_t> projected;  // by cell, i * ny + j

    double areaPerParticle() const;
    // The surface of the particles where they are, holding their area once the start's is known.
    void buildSurface();
    void markProjectedCells();
};
