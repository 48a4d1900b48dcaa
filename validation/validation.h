#pragma once
// Flows to hold the simulation against: the lid-driven cavity beside Ghia,
// Ghia and Shin's table, and flows whose answer is known exactly. Used by
// flowbox-validate (scripts/validate) and by the tests, which run them coarse.

#include "run/run.h"
#include "sim/liquid/liquid.h"
#include "sim/scene/scene.h"

#include <cstdint>
#include <string>
#include <vector>

namespace validation {

// One value of a published table: component 'u' or 'v' at a coordinate.
struct ReferencePoint {
    char component;
    double coordinate;
    double value;
};

// Reads "component,coordinate,value" lines; '#' starts a comment.
bool readReference(const std::string& path, std::vector<ReferencePoint>& points, std::string& error);

// The cavity family: the base scene (the shipped cavity, a unit square with a
// lid at speed 1) on n by n cells at a Reynolds number (1 / viscosity), its
// time step scaled with the cells so that a tick crosses the same share of a
// cell, with the given advection.
Scene cavityOn(const Scene& base, uint32_t n, double reynolds, AdvectionScheme scheme);

// Steps until no velocity sample changes faster than rate per unit of time,
// or until timeLimit has passed.
struct SteadyRun {
    bool steady = false;
    double time = 0.0;
    uint64_t ticks = 0;
    double changeRate = 0.0;  // of the last tick
};
SteadyRun runUntilSteady(Run& run, double rate, double timeLimit);

// The velocity in Ghia's coordinates: y up from the bottom wall, v up.
// u along the vertical centre line at height y, v along the horizontal
// centre line at x, both interpolated from the staggered samples (with the
// walls' own speeds on the walls).
double cavityU(const FluidSolver& solver, double y);
double cavityV(const FluidSolver& solver, double x);

struct Differences {
    double largestU = 0.0, rmsU = 0.0;
    double largestV = 0.0, rmsV = 0.0;
};
Differences compareWithReference(const FluidSolver& solver, const std::vector<ReferencePoint>& reference);

// The Taylor-Green vortex u = sin(pi x) cos(pi y), v = -cos(pi x) sin(pi y) in
// a slip-walled unit square on n by n cells, run for `duration` in steps that
// carry the fastest fluid `courant` cells: its kinetic energy decays as
// exp(-4 pi^2 viscosity t). Returns the decay rate measured from the energy
// at the start and at the end.
struct Decay {
    double measured = 0.0;
    double exact = 0.0;
    double relativeError() const { return (measured - exact) / exact; }
};
Decay taylorGreenDecay(uint32_t n, double viscosity, double duration, AdvectionScheme scheme, double courant = 0.5);

// A channel of height 1 and length 6 on n cells across, no-slip above and
// below, a uniform inflow at speed 1 on the left and an open outlet on the
// right, run to a steady state. Returns the largest difference of u near the
// outlet (x = 5) from the parabola 6 (y / H)(1 - y / H), and whether it was steady.
struct ChannelProfile {
    bool steady = false;
    double largestDifference = 0.0;
};
ChannelProfile poiseuille(uint32_t n, double viscosity, AdvectionScheme scheme);

// The cylinder benchmark of Schaefer and Turek (1996): the channel of the
// shipped cylinder-re20 or cylinder-re100 scene on n cells per diameter (a
// multiple of 10, so that the channel's 4.1 diameters are whole cells), its
// time step scaled with the cell.
Scene cylinderOn(const Scene& base, uint32_t cellsPerDiameter, AdvectionScheme scheme);

// The benchmark's numbers at one moment, from the force on the disc and its
// two probes: c = 2F/(density * mean^2 * D), lift up the channel, and the
// pressure just ahead of the disc less the pressure just behind it.
struct CylinderCoefficients {
    double drag = 0.0, lift = 0.0, pressureDrop = 0.0;
};
CylinderCoefficients cylinderCoefficients(const FluidSolver& solver, const BodyForce& force, double meanSpeed);

// Behind the disc, along its centre line: how far the flow runs back
// towards it (the length of the recirculation, from the disc's back).
double recirculationLength(const FluidSolver& solver);

// Case 2D-1: stepped until no velocity sample changes faster than `rate`.
struct SteadyCylinder {
    bool steady = false;
    double time = 0.0;
    CylinderCoefficients coefficients;
    double recirculation = 0.0;
};
SteadyCylinder steadyCylinder(Run& run, double meanSpeed, double rate, double timeLimit);

// Case 2D-2: stepped for `duration`, then its lift's last periods: the
// Strouhal number D/(period * mean), the largest drag and lift over the last
// period, the pressure drop half a period after the lift's largest value.
struct PeriodicCylinder {
    bool periodic = false;  // the last three periods within 1 % of each other
    double strouhal = 0.0, largestDrag = 0.0, largestLift = 0.0, pressureDrop = 0.0;
    std::vector<CylinderCoefficients> history;  // tick by tick
};
PeriodicCylinder periodicCylinder(Run& run, double meanSpeed, double duration);

// Natural convection in a square cavity (de Vahl Davis 1983): the unit square
// on n by n cells, the left wall held at 1 and the right at 0, floor and lid
// insulated, every wall no-slip, gravity 1 down, expansion 1, Prandtl number
// 0.71 and Rayleigh number `rayleigh` (viscosity sqrt(0.71 / Ra), thermal
// diffusivity viscosity / 0.71). The time step carries fluid at the flow's
// speed, about 0.2 sqrt(Ra) in units of diffusivity over the side, `courant`
// cells.
Scene heatedCavity(uint32_t n, double rayleigh, AdvectionScheme scheme, double courant = 1.4);
// De Vahl Davis's numbers, in his units (velocities over diffusivity / side,
// y up from the floor, v up): the hot wall's mean Nusselt number, the largest
// u on the vertical centre line and its height, the largest v on the
// horizontal one and its x; each largest value from the parabola through
// the largest sample and its neighbours.
struct Convection {
    bool steady = false;
    double time = 0.0;
    double nusselt = 0.0;
    double largestU = 0.0, atY = 0.0;
    double largestV = 0.0, atX = 0.0;
};
Convection steadyConvection(Run& run, double rate, double timeLimit);

// The onset of convection: a layer of height 1 (n cells) and one critical
// wavelength, 2.016, wide between a floor held at 1 and a lid held at 0
// (no-slip), slip side walls; Prandtl number 0.71. It starts from conduction
// (the linear profile, at rest) with a small disturbance of the critical
// roll's shape in the temperature.
Scene convectionLayer(uint32_t n, double rayleigh, double timeStep);
void disturbLayer(FluidSolver& solver, double amplitude);
// The growth rate of the velocity's size, from the kinetic energy at half
// the duration and at its end (the energy grows at twice the rate).
double growthRate(Run& run, double duration);

// A liquid in a scene's box, from any start, with the fields it steps (at
// rest at first). The scene must outlive it.
struct LiquidTank {
    Domain domain;
    VelocityField velocity;
    ScalarField pressure;
    LiquidSolver liquid;

    LiquidTank(const Scene& scene, const LiquidStart& start);
    void step() { liquid.tick(velocity, pressure); }
};

// Liquids in a closed tank of width 1 under gravity 9.8 down the picture,
// `cells` across and `rows` high, each of its own step.
Scene liquidTank(uint32_t cells, uint32_t rows, double step);

// Still water `depth` deep (a rectangle, as a scene file gives it; its
// surface anywhere in a cell) left alone for `duration`: its area at the
// start against the rectangle's (a share, less 1), and over every tick its
// largest speed and how far its surface lay from level (cells, highest less
// lowest column); at the end the pressure at the floor's middle cell against
// rho g times its depth above that cell's centre.
struct StillLiquid {
    double depth = 0.0, startArea = 0.0, largestSpeed = 0.0, surfaceSpread = 0.0;
    double floorPressure = 0.0, hydrostatic = 0.0;
};
StillLiquid stillLiquid(uint32_t cells, uint32_t rows, double depth, double step, double duration);

// The first standing wave of a tank `depth` deep, its surface raised by
// a cos(pi x), let go: the time between the surface's crossings of its mean
// level at the two walls, against linear theory's period
// 2 pi / sqrt(g k tanh(k h)), k = pi, over three periods; the wave's last
// half swing; the area at the start and at the end.
// With a viscosity, the amplitude decays as exp(-decayRate t), which Lamb
// gives as 2 nu k^2 for slip walls (the peaks of the half swings, from the
// second to the last, in swings).
// The pressure in the floor's cell by the left wall: how far it swings, and
// the most it changes from one tick to the next (from the second tick on).
struct StandingWave {
    double period = 0.0, theory = 0.0, lastAmplitude = 0.0, area[2] = {0.0, 0.0};
    std::vector<double> swings;
    double decayRate = 0.0;
    double floorSwing = 0.0, floorLargestChange = 0.0;
};
StandingWave standingWave(uint32_t cells, double depth, double amplitude = 0.01, double viscosity = 0.0);

// A disc of water (radius 0.1, in a box 1 across) thrown up at a slant, for
// 0.4 units of time: the farthest its particles' centroid strays from the
// parabola after a tick (cells), and the farthest the centroid of the region
// under its surface does, from the parabola and from the particles' centroid
// (cells); its area from the start (a share), and the farthest its surface
// was moved to hold its particles' area (cells).
struct ThrownBlob {
    double farthest = 0.0, surfaceFarthest = 0.0, surfaceFromParticles = 0.0;
    double areaChange = 0.0, largestShift = 0.0;
};
ThrownBlob thrownBlob(uint32_t cells, double step);

// A dam that breaks: a column a wide and 2a high at the left wall of a tank
// 4a wide, `cells` across, let go. The surge front (where the surface meets
// the floor row) in Martin and Moyce's dimensionless form, Z = z / a against
// T = t sqrt(2 g / a), each tick until it nears the far wall; and the
// largest change of the liquid's area from its start and the farthest its
// surface was moved to hold the particles' area (cells), over the whole run,
// `settle` units of T after the front left.
struct DamBreak {
    std::vector<std::pair<double, double>> front;  // (T, Z)
    double areaChange = 0.0, largestShift = 0.0;
    double lastSpeed = 0.0;  // the largest particle speed at the end, of sqrt(g a)
};
DamBreak damBreak(uint32_t cells, double settle = 0.0);
// Z at T by straight lines between the front's samples; NaN beyond them.
double frontAt(const DamBreak& dam, double t);
// Martin and Moyce's (1952, n^2 = 2, a = 2.25 in) and Koshizuka and Oka's
// (1996) measurements of the front, (T, Z), as points read off their figures.
extern const std::vector<std::pair<double, double>> martinMoyceFront, koshizukaOkaFront;

}  // namespace validation
