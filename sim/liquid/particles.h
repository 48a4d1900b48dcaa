#pragma once
// The liquid's particles: what each carries, where they are seeded (in the
// liquid's cells at the start, or poured by hand), and how they move through
// the grid's velocity, out through the openings and never into a solid.

#include "sim/domain/domain.h"
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
    // The liquid's area within the rectangle [x0, x1] x [y0, y1]; where not
    // given, the start's area is what its particles' first surface holds.
    std::function<double(double x0, double y0, double x1, double y1)> areaWithin;
};

// A cell is seeded with particlesPerSide x particlesPerSide particles.
constexpr int particlesPerSide = 2;

// Where a cell's seed number p (of particlesPerSide) lies along an axis,
// length units: the middle of its part of the cell. On this lattice, and not
// jittered off it, still liquid's surface is level however its cells are
// filled: jitter, even a tenth of a part, tilted the surface from column to
// column and stirred still water at the start.
inline double seedAt(uint32_t cell, int p, double dx)
{
    return cell * dx + (p + 0.5) * (dx / particlesPerSide);
}

// The cell a coordinate (length units) lies in, clamped to the grid's `cells`.
uint32_t cellAlong(double at, double dx, uint32_t cells);

// The start's liquid area inside the box, outside the solid cells (as the
// level set measures it, a cell that a disc cuts counting whole), or NaN
// where the start does not give its area.
double startArea(const Domain& domain, const LiquidStart& start);

// Particles on the seeds' lattice in the start's liquid, never inside a solid.
std::vector<LiquidParticle> seedParticles(const Domain& domain, const LiquidStart& start);

// Fills the cells whose centres lie within `reach` of (x, y) and that hold
// no particle, as the start seeds a cell, moving at `velocity`; never a solid
// cell, never beyond the particles a scene may hold.
void pourParticles(std::vector<LiquidParticle>& particles, const Domain& domain, double x, double y, double reach,
                   Velocity velocity);

// Moves each particle through the grid's velocity by the midpoint rule, kept
// as far from the walls as the seeds were; a particle that would enter a
// solid stays where it was, and those that leave through an outlet or an
// outflow band are gone.
void moveParticles(std::vector<LiquidParticle>& particles, const VelocityField& velocity, const Domain& domain,
                   double dt);
