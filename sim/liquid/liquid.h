#pragma once
// A liquid with a free surface in a scene's box: particles carry the liquid
// and its velocity (APIC: each particle's velocity and its affine part), the
// surface is a level set built from them each tick, and the pressure is 0 in
// the air, its condition placed where the surface lies between two cell
// centres (a ghost fluid of second order), not at whole cells. The velocity
// is carried on into the air near the liquid, where particles may move.
// Walls and solids hold the faces as in any scene.

#include "sim/domain/domain.h"
#include "sim/grid/grid_array.h"
#include "sim/solve/linear_solve.h"
#include "sim/grid/scalar_field.h"
#include "sim/scene/scene.h"
#include "sim/grid/velocity_field.h"

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
    // How many parts the viscosity's explicit diffusion takes a step in.
    static int diffusionParts(const Scene& scene);
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
    // The rest of the box, but its solid cells: the air, as triangles.
    std::vector<LiquidPoint> airTriangles() const;
    // The largest speed of a particle.
    double largestSpeed() const;
    // Half the squared speed of each particle times the area it stands for,
    // per unit density and depth.
    double kineticEnergy() const;
    // Where the surface crosses the column of cells i, from above: the depth
    // (y) at which the level set changes sign going down from the top, or
    // NaN where the column has no liquid.
    double surfaceInColumn(uint32_t i) const;

    const std::vector<LiquidParticle>& particles() const { return particleList; }
    // The area the particles stand for: the liquid's area at the start,
    // shared among its particles, times how many there are now (a tap's
    // or an outlet's change counted in).
    double particleArea() const;
    // Fills the cells whose centres lie within `reach` of (x, y) (length
    // units) and that hold no particle, as the start seeds a cell, moving at
    // `velocity`; never a solid cell, never beyond the particles a scene may hold.
    void pourAt(double x, double y, double reach, Velocity velocity);
    // Adds to each particle's velocity what `added` gives at its place.
    void addVelocity(const std::function<Velocity(double x, double y)>& added);
    // Takes particles saved from a run of the same scene after `ticks` ticks
    // (what the taps have poured follows from them).
    void setParticles(std::vector<LiquidParticle> particles, uint64_t ticks);
    // The level set at the cell centres, length units: below 0 in the liquid.
    const GridArray& levelSet() const { return phi.values; }
    bool liquidCell(uint32_t i, uint32_t j) const { return phi.values.at(i, j) < 0.0 && !domain.isSolid(i, j); }
    const SolveOutcome& lastSolve() const { return solveOutcome; }
    // How far the last level set's surface was moved out to hold the
    // particles' area (in, where negative), length units.
    double lastSurfaceShift() const { return surfaceShift; }

private:
    const Scene& scene;
    const Domain& domain;
    const double dx;
    const uint32_t nx, ny;
    std::vector<LiquidParticle> particleList;
    uint64_t ticksRun = 0;
    // Where the taps pour: each face of an inflow band and its speed into the box.
    struct TapFace {
        Side side;
        uint32_t cell;
        double speed;
    };
    std::vector<TapFace> taps;
    double startArea = 0.0;
    size_t startCount = 0;
    // Per cell centre: the particles near it, each weighed bilinearly by its
    // place; seededCrowding, what the seeds of a liquid filling the box give.
    std::vector<double> crowdingOf(const std::vector<LiquidPoint>& places) const;
    std::vector<double> seededCrowding;
    bool holdsArea = false;     // once the start's area is known
    double surfaceShift = 0.0;  // by which the last level set was moved out (length units)
    ScalarField phi;
    SolveOutcome solveOutcome;
    // The level set's kernel reaches this far (length units); the surface
    // lies `radius` beyond the particles' mean near it.
    double levelSetReach() const;
    double areaPerParticle() const;
    double calibratedRadius() const;
    const double radius;

    void seed(const LiquidStart& start);
    void particlesToGrid(VelocityField& velocity, std::vector<uint8_t> known[2]) const;
    void buildLevelSet();
    // The particles' places, and their mirror images across the walls and
    // the solids' surfaces near them.
    std::vector<LiquidPoint> particlesAndMirrors() const;
    // Moves the level set's surface out or in until the area under it is the particles'.
    void holdArea();
    // Where the level set times `sign` is below 0.
    std::vector<LiquidPoint> trianglesWhere(double sign) const;
    // Each triangle where the level set, less `shift`, times `sign` is below 0.
    template <typename Visit>
    void visitTriangles(double sign, double shift, Visit&& visit) const;
    double areaUnder(double shift) const;
    void project(VelocityField& velocity, ScalarField& pressure);
    // Per cell, where the liquid meets the air: the pressure that balances
    // the viscous normal stress at its surface; empty without viscosity.
    std::vector<double> viscousSurfacePressure(const VelocityField& velocity) const;
    // The viscosity's diffusion of the faces known, explicit.
    void applyViscosity(VelocityField& velocity, const std::vector<uint8_t> known[2]) const;
    // Carries the velocity of the faces known into those beside them, layer
    // by layer, for `layers` layers.
    static void extend(VelocityField& velocity, std::vector<uint8_t> known[2], int layers);
    void gridToParticles(const VelocityField& velocity);
    // Moves each particle; those that leave through an outlet or an outflow
    // band are gone.
    void moveParticles(const VelocityField& velocity);
    // The rows of particles the taps have filled this tick.
    void pour();
    // Whether a point beyond the border left the box through an opening
    // that lets liquid out.
    bool leavesBox(double x, double y) const;
    // Whether the border face of cell `cell` along a side lets liquid out.
    bool letsOut(Side side, uint32_t cell) const;
    // The cell a coordinate (length units) lies in, clamped to the grid's `cells`.
    uint32_t cellAlong(double at, uint32_t cells) const;
    // The velocity of the grid at a point: bilinear in each component, clamped
    // to the grid.
    Velocity gridVelocityAt(const VelocityField& velocity, double x, double y) const;
};
