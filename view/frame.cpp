#include "view/frame.h"

#include "sim/fluid_solver.h"
#include "view/colour_map.h"

#include <cmath>

void composeFrame(const FluidSolver& solver, uint32_t width, uint32_t height, Frame& frame,
                  const FrameOptions& options)
{
    frame.cellColours.clear();
    frame.cellColumns = frame.cellRows = 0;
    const bool showTemperature = solver.heat && options.temperature;
    if (showTemperature || (solver.dye && options.dye)) {
        frame.cellColumns = solver.nx;
        frame.cellRows = solver.ny;
        frame.cellColours.resize(size_t(solver.nx) * solver.ny * 3);
    }
    // Each channel from 0 to 1, a byte.
    auto paint = [&](uint32_t i, uint32_t j, const double channels[3]) {
        for (int c = 0; c < 3; ++c)
            frame.cellColours[(size_t(j) * solver.nx + i) * 3 + c] =
                uint8_t(std::lround(255.0 * std::fmin(1.0, std::fmax(0.0, channels[c]))));
    };
    if (showTemperature) {
        // From the coldest temperature held or at the start to the hottest.
        const HeatField& heat = *solver.heat;
        const double low = std::fmin(heat.coldest(), solver.scene.heat.initial);
        const double span = std::fmax(heat.hottest(), solver.scene.heat.initial) - low;
        for (uint32_t j = 0; j < solver.ny; ++j) {
            for (uint32_t i = 0; i < solver.nx; ++i) {
                const double t = heat.temperature.at(i, j);
                const FrameColour colour = coolToWarm(span > 0.0 ? (t - low) / span : 0.5 + t - low);
                const double channels[3] = {colour.red, colour.green, colour.blue};
                paint(i, j, channels);
            }
        }
    } else if (solver.dye && options.dye) {
        for (uint32_t j = 0; j < solver.ny; ++j) {
            for (uint32_t i = 0; i < solver.nx; ++i) {
                const double channels[3] = {solver.dye->channel[0].at(i, j), solver.dye->channel[1].at(i, j),
                                            solver.dye->channel[2].at(i, j)};
                paint(i, j, channels);
            }
        }
    }
    frame.width = width;
    frame.height = height;
    // A scene's large grid still gets a picture in a small view; the standard
    // box keeps whole pixels per cell.
    frame.cellSize = cellSize(width, height, solver.nx, solver.ny, solver.dx, !solver.scene.builtIn);
    frame.dx = solver.dx;
    frame.trailColourScale = standardBox::tracerRegionEdge / (solver.nx * solver.dx);
    const uint32_t stride = drawingStride(frame.cellSize);
    gridLines(solver.nx, solver.ny, frame.cellSize, frame.grid, stride);
    frame.solids.clear();
    for (uint32_t i = 0; i < solver.nx && solver.domain.anySolid(); ++i)
        for (uint32_t j = 0; j < solver.ny; ++j)
            if (solver.domain.isSolid(i, j))
                frame.solids.push_back({float(i * frame.cellSize), float(j * frame.cellSize)});
    if (options.arrows)
        velocityArrows(*solver.velocity, frame.cellSize, frame.arrows, stride);
    else
        frame.arrows.clear();
    frame.dots.clear();
    for (uint32_t i = 0; i < solver.nx; i += stride)
        for (uint32_t j = 0; j < solver.ny; j += stride)
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
            // Trail points are in length units; the standard box's cells are 1 long.
            frame.trailVertices.push_back(
                {{float(frame.cellSize * (point.x / frame.dx)), float(frame.cellSize * (point.y / frame.dx))},
                 trailColour(float(point.x * frame.trailColourScale), k, n)});
        }
    }
    frame.trailStarts.push_back(uint32_t(frame.trailVertices.size()));
}
