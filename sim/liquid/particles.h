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
};

// A cell is seeded with particlesPerSide x particlesPerSide particles.
constexpr int particlesPerSide = 2;

// How far a seed may lie from the middle of its part of a cell, as a share of
// that part's side: enough to break the lattice, little enough that the
// level set's surface over a still liquid stays flat.
constexpr double jitterShare = 0.1;

// A fixed stream of numbers in [0, 1), the same on every build (splitmix64).
class Jitter {
public:
    explicit Jitter(uint64_t seed = 0x2545F4914F6CDD1Dull) : state(seed) {}
    double next()
    {
        state += 0x9E3779B97F4A7C15ull;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return double(z >> 11) * 0x1.0p-53;
    }

private:
    uint64_t state;
};

// The cell a coordinate (length units) lies in, clamped to the grid's `cells`.
uint32_t cellAlong(double at, double dx, uint32_t cells);

// Particles jittered in the start's liquid, cell by cell, never inside a
// solid; from a fixed seed, so that a particle's jitter depends on its place alone.
std::vector<LiquidParticle> seedParticles(const Domain& domain, const LiquidStart& start);

// Fills the cells whose centres lie within `reach` of (x, y) and that hold
// no particle, as the start seeds a cell, moving at `velocity`; never a solid
// cell, never beyond the particles a scene may hold. The jitter follows from
// the cell and the tick.
void pourParticles(std::vector<LiquidParticle>& particles, const Domain& domain, double x, double y, double reach,
                   Velocity velocity, uint64_t tick);

// Moves each particle through the grid's velocity by the midpoint rule, kept
// as far from the walls as the seeds were; a particle that would enter a
// solid stays where it was, and those that leave through an outlet or an
// outflow band are gone.
void moveParticles(std::vector<LiquidParticle>& particles, const VelocityField& velocity, const Domain& domain,
                   double dt);
