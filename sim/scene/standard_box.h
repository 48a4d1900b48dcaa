#pragma once
// The standard scene, every number of it in one place: read by the solver, the
// window, the headless runner, the tracers and the tests.

#include <cstdint>

namespace standardBox {

constexpr uint32_t gridCells = 50;        // cells along each axis
constexpr double cellSize = 1.0;          // edge of a cell
constexpr double density = 1000.0;        // of the fluid
constexpr double timeStep = 0.05;         // per tick, whatever the wall-clock time
constexpr double gravity = 9.8;           // along +y, down the picture
constexpr double borderSpeed = 10.0;      // of the inflow and outflow bands
constexpr uint32_t lastInflowRow = 9;     // inflow: left border, rows 0..9
constexpr uint32_t firstOutflowRow = 40;  // outflow: right border, rows 40 to the last
constexpr int tickIntervalMs = 50;        // of the window's timer
constexpr double solverTolerance = 1e-5;  // of the pressure solve, relative to the largest |rhs|
constexpr int32_t solverIterationLimit = 100;

constexpr uint32_t tracerCount = 400;     // dying tracers count too
// Tracers are born inside [0, tracerRegionEdge] on both axes and start dying
// outside it; it coincides with the grid of the scene but is not derived from it.
constexpr double tracerRegionEdge = 50.0;

}  // namespace standardBox
