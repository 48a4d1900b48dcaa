#pragma once
// Everything one frame of the picture shows, in logical pixels (origin top
// left, y down), with its colours: computed once, without OpenGL, and drawn by
// the OpenGL view and the software renderer (frame_painter.h) alike, so that
// the two cannot drift apart.

#include "view/frame_geometry.h"
#include "view/tracers.h"

#include <cstdint>
#include <vector>

class FluidSolver;

struct FrameColour {
    float red;
    float green;
    float blue;
};

// Drawn in this order, over black.
constexpr FrameColour gridColour{0.1f, 0.0f, 0.0f};
constexpr FrameColour arrowColour{0.0f, 0.5f, 0.0f};
constexpr FrameColour dotColour{0.0f, 0.1f, 0.0f};
constexpr FrameColour solidColour{0.3f, 0.3f, 0.36f};  // filled cells, drawn after the grid
constexpr float dotSize = 2.0f;  // pixels across a square dot

struct TrailVertex {
    ScreenPoint point;
    TrailColour colour;  // blended into the picture by its alpha
};

struct Frame {
    uint32_t width = 0;   // logical pixels
    uint32_t height = 0;
    double cellSize = 0.0;   // pixels per cell
    double dx = 1.0;         // length of a cell
    double trailColourScale = 1.0;  // x of a trail point, in the standard box's units
    // A colour per cell under everything else - the temperature, when the
    // solver has one and it is shown, else the dye, when it carries one and
    // it is shown: red, green, blue bytes per cell, row after row from the
    // top (cellColumns by cellRows), stretched smoothly over the grid.
    std::vector<uint8_t> cellColours;
    uint32_t cellColumns = 0;
    uint32_t cellRows = 0;
    std::vector<ScreenSegment> grid;
    std::vector<ScreenPoint> solids;  // top left corner of each solid cell, cellSize across
    std::vector<ScreenSegment> arrows;
    std::vector<ScreenPoint> dots;
    // One line strip per tracer: trail t is trailVertices[trailStarts[t]] up
    // to trailVertices[trailStarts[t + 1]], oldest point first.
    std::vector<TrailVertex> trailVertices;
    std::vector<uint32_t> trailStarts;
};

// What a frame leaves out at the viewer's wish.
struct FrameOptions {
    bool temperature = true;
    bool dye = true;
    bool arrows = true;
};

// Temperature or dye, grid, solids, arrows and dots of the solver's state in a view of width
// by height logical pixels; the lists are reused from frame to frame.
void composeFrame(const FluidSolver& solver, uint32_t width, uint32_t height, Frame& frame,
                  const FrameOptions& options = {});

// The tracers' trails at the frame's cell size.
void composeTrails(const TracerList& tracers, Frame& frame);
