#pragma once
// Everything one frame of the picture shows, in logical pixels (origin top
// left, y down), with its colours: computed once, without OpenGL, and drawn by
// the OpenGL view and the software renderer (frame_painter.h) alike, so that
// the two cannot drift apart.

#include "sim/scene/scene.h"
#include "view/frame_geometry.h"
#include "sim/tracers/tracers.h"

#include <cstdint>
#include <optional>
#include <string>
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
constexpr FrameColour liquidColour{0.05f, 0.22f, 0.55f};  // under the surface, drawn before the grid
constexpr FrameColour airColour{0.0f, 0.0f, 0.0f};  // over a field view, the background's black
constexpr FrameColour particleColour{0.55f, 0.8f, 1.0f};  // the liquid's particles, drawn after the arrows
constexpr float dotSize = 2.0f;  // pixels across a square dot

// What the window's view measures at the window's default size of 600 by
// 400: the picture of the standard box when no other size is asked for.
constexpr uint32_t standardViewWidth = 600, standardViewHeight = 361;

// A field view's scale, drawn along the side of the picture: the field's
// name and units, its colours from the low end to the high, and the values
// at the two ends.
struct ColourBar {
    bool shown = false;
    std::string title;
    std::string units;
    double low = 0.0, high = 0.0;
    std::vector<uint8_t> colours;  // red, green, blue bytes from low to high
    // Down the picture's side, high at the top; or, where the picture is
    // too low for that, across: a line of text above the scale, low at the left.
    bool across = false;
    // Where it goes, in logical pixels: its panel's top left corner and size.
    float x = 0.0f, y = 0.0f, width = 0.0f, height = 0.0f;
};

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
    // The liquid under its surface, three corners a triangle, in a scene
    // with liquid; over a field view, the air above it instead (drawn in
    // black after the field), and the liquid's particles when asked for.
    std::vector<ScreenPoint> liquid;
    std::vector<ScreenPoint> air;
    std::vector<ScreenPoint> particles;
    std::vector<ScreenSegment> grid;
    std::vector<ScreenPoint> solids;  // top left corner of each solid cell, cellSize across
    // The discs that cut the cells they cross, as they are: one convex
    // outline each, its corners around it.
    std::vector<std::vector<ScreenPoint>> discOutlines;
    std::vector<ScreenSegment> arrows;
    std::vector<ScreenPoint> dots;
    // One line strip per tracer: trail t is trailVertices[trailStarts[t]] up
    // to trailVertices[trailStarts[t + 1]], oldest point first.
    std::vector<TrailVertex> trailVertices;
    std::vector<uint32_t> trailStarts;
    ColourBar colourBar;  // of a field view
    // The range a field view spanned in the frame before, which the next one
    // follows gently, so that the colours do not flicker.
    struct {
        bool known = false;
        CellField field = CellField::speed;
        double low = 0.0, high = 0.0;
    } lastRange;
};

// What a frame leaves out at the viewer's wish, and the field it shows
// under the grid instead of the temperature or dye: none, the flow alone.
struct FrameOptions {
    bool temperature = true;
    bool dye = true;
    bool arrows = true;
    bool grid = true;
    bool particles = false;  // a liquid's particles as dots
    std::optional<CellField> field;
};

// Pixels per cell of the solver's picture in a view of width by height: a
// scene's grid as large as the view holds it, by any factor; the standard
// box whole pixels a cell.
double pictureCellSize(const FluidSolver& solver, uint32_t width, uint32_t height);

// Whether the solver has the field to show (dye and temperature only some do).
bool hasField(const FluidSolver& solver, CellField field);

// A field, the temperature or the dye; grid, solids, arrows and dots of the
// solver's state in a view of width by height logical pixels; the lists are
// reused from frame to frame. A field the solver lacks is drawn as the flow.
void composeFrame(const FluidSolver& solver, uint32_t width, uint32_t height, Frame& frame,
                  const FrameOptions& options = {});

// The tracers' trails at the frame's cell size.
void composeTrails(const TracerList& tracers, Frame& frame);
