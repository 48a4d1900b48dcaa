#include "view/frame.h"

#include "sim/fluid_solver.h"

void composeFrame(const FluidSolver& solver, uint32_t width, uint32_t height, Frame& frame)
{
    frame.width = width;
    frame.height = height;
    frame.cellSize = cellSize(width, height, solver.nx, solver.ny, solver.dx);
    gridLines(solver.nx, solver.ny, frame.cellSize, frame.grid);
    velocityArrows(*solver.velocity, frame.cellSize, frame.arrows);
    frame.dots.clear();
    for (uint32_t i = 0; i < solver.nx; ++i)
        for (uint32_t j = 0; j < solver.ny; ++j)
            frame.dots.push_back(cellCentre(i, j, frame.cellSize));
}

void composeTrails(const TracerList& tracers, Frame& frame)
{
    frame.trailVertices.clear();
    frame.trailStarts.clear();
    for (const Tracer& tracer : tracers) {
        frame.trailStarts.push_back(uint32_t(frame.trailVertices.size()));
        const uint32_t n = tracer.trail.size();
        for (uint32_t k = 0; k < n; ++k) {
            const TracerPoint& point = tracer.trail[k];
            frame.trailVertices.push_back({{float(frame.cellSize * point.x), float(frame.cellSize * point.y)},
                                           trailColour(point.x, k, n)});
        }
    }
    frame.trailStarts.push_back(uint32_t(frame.trailVertices.size()));
}
