#pragma once
// The liquid's pressure: 0 in the air, its condition placed where the
// surface lies between a liquid cell's centre and an air cell's (a ghost
// fluid of second order), the discs that cut cells taking part by their
// faces' open parts. With viscosity the pressure at the surface balances the
// viscous normal stress, which is what damps a wave on a viscous liquid.

#include "sim/domain/domain.h"
#include "sim/grid/grid_array.h"
#include "sim/grid/scalar_field.h"
#include "sim/grid/velocity_field.h"
#include "sim/liquid/level_set.h"
#include "sim/liquid/particles.h"
#include "sim/scene/scene.h"
#include "sim/solve/linear_solve.h"

#include <cstdint>
#include <vector>

// Per cell centre, the places near it, each shared among the four centres
// around it bilinearly.
std::vector<double> crowdingOf(const std::vector<LiquidPoint>& places, uint32_t nx, uint32_t ny, double dx);

// The crowding of a liquid filling the box as seeded, every seed outside the
// solids: by the walls and the solids it is less.
std::vector<double> seededCrowdingOf(const Domain& domain);

// Per cell (k = i*ny + j), in the liquid cells of the level set away from the
// border: the viscous normal stress 2 rho nu n.(grad u).n, n the level set's
// normal; empty without viscosity.
std::vector<double> viscousSurfacePressure(const VelocityField& velocity, const GridArray& levelSet,
                                           const Domain& domain, double density, double viscosity);

// Solves for the pressure in the liquid cells and takes its gradient from
// every face beside one.
SolveOutcome projectLiquid(VelocityField& velocity, ScalarField& pressure, const LevelSet& surface, const Scene& scene,
                           const Domain& domain);

// Particles carried through a velocity that is divergence-free only at the
// faces drift together and apart, and the level set then sees less liquid
// or more. Adds to `moving` (the velocity the particles move by) a drift
// that spreads a cell holding more particles than it was seeded with over a
// few ticks (and draws one holding fewer, deep in the liquid, together): the
// gradient of a potential solved as the pressure is. The drift moves the
// particles but is no part of the flow: neither the velocity they carry nor
// the pressure sees it, so the pressure does not jump as cells crowd and
// empty at the surface.
void addSpreadingDrift(VelocityField& moving, const LevelSet& surface, const std::vector<LiquidParticle>& particles,
                       const std::vector<double>& seededCrowding, const Scene& scene, const Domain& domain);
