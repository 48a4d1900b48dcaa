#pragma once
// A liquid with a free surface in a scene's box: particles carry the liquid
// and its velocity (APIC: each particle's velocity and its affine part), the
// surface is a level set built from them each tick, and the pressure is 0 in
// the air, its condition placed where the surface lies between two cell
// centres (a ghost fluid of second order), not at whole cells. The velocity
// is carried on into the air near the liquid, where particles may move.
// Walls and solids hold the faces as in any scene.

#include "sim/domain.h"
#include "sim/grid_array.h"
#include "sim/linear_solve.h"
#include "sim/scalar_field.h"
#include "sim/scene.h"
#include "sim/velocity_field.h"

#include <cstdint>
#include <functional>
#include <vector>

struct LiquidParticle {
    double x, y;         // length units from the top-left corner, y down
    double u, v;         // velocity
    double du[2], dv[2]; // the velocity's affine part: the gradients of u and v (d/dx, d/dy)
};

struct LiquidPoint {
    double x, y;  // length units
};

// Where the liquid starts and how it moves there: whether a point (length
// units) is liquid, and its velocity.
struct LiquidStart {
    std::function<bool(double x, double y)> inside;
    std::function<Velocity(double x, double y)> velocity;  // at rest where empty
};

class LiquidSolver {
public:
    static constexpr int particlesPerSide = 2;  // a cell is seeded with 2 x 2

    // The scene gives the grid, gravity, density, the solves' settings and
    // the time step; the domain its walls and solids. Particles are seeded
    // jittered in the liquid's cells, never inside solids, from a fixed seed.
    LiquidSolver(const Scene& scene, const Domain& domain, const LiquidStart& start);
    // Where a scene's [[liquid]] entries say.
    static LiquidStart startOf(const Scene& scene);

    // One tick: the particles' velocity to the grid, the level set, gravity,
    // the walls, the projection, the velocity carried into the air, back to
    // the particles, which then move. velocity and pressure are the run's.
    void tick(VelocityField& velocity, ScalarField& pressure);

    // The liquid's area (its volume per unit depth), from the level set.
    double area() const;
    // The region under the surface as triangles, three points each: what
    // the area sums and a picture fills.
    std::vector<LiquidPoint> liquidTriangles() const;
    // The largest speed of a particle.
    double largestSpeed() const;
    // Where the surface crosses the column of cells i, from above: the depth
    // (y) at which the level set changes sign going down from the top, or
    // NaN where the column has no liquid.
    double surfaceInColumn(uint32_t i) const;

    const std::vector<LiquidParticle>& particles() const { return particleList; }
    // Adds to each particle's velocity what `added` gives at its place.
    void addVelocity(const std::function<Velocity(double x, double y)>& added);
    // Takes particles saved from a run of the same scene.
    void setParticles(std::vector<LiquidParticle> particles);
    // The level set at the cell centres, length units: below 0 in the liquid.
    const GridArray& levelSet() const { return phi.values; }
    bool liquidCell(uint32_t i, uint32_t j) const { return phi.values.at(i, j) < 0.0 && !domain.isSolid(i, j); }
    const SolveOutcome& lastSolve() const { return solveOutcome; }

private:
    const Scene& scene;
    const Domain& domain;
    const double dx;
    const uint32_t nx, ny;
    std::vector<LiquidParticle> particleList;
    ScalarField phi;
    SolveOutcome solveOutcome;
    // The level set's kernel reaches this far (length units); the surface
    // lies `radius` beyond the particles' mean near it.
    double levelSetReach() const;
    double calibratedRadius() const;
    const double radius;

    void seed(const LiquidStart& start);
    void particlesToGrid(VelocityField& velocity, std::vector<uint8_t> known[2]) const;
    void buildLevelSet();
    void project(VelocityField& velocity, ScalarField& pressure);
    // Carries the velocity of the faces known into those beside them, layer
    // by layer, for `layers` layers.
    static void extend(VelocityField& velocity, std::vector<uint8_t> known[2], int layers);
    void gridToParticles(const VelocityField& velocity);
    void moveParticles(const VelocityField& velocity);
    // The velocity of the grid at a point: bilinear in each component, clamped
    // to the grid.
    Velocity gridVelocityAt(const VelocityField& velocity, double x, double y) const;
};
