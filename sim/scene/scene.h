#pragma once
// What a simulation is run on: the box, its walls and openings, the fluid, the
// time step and the solver's settings. Scene::standard() is the standard box;
// other scenes come from files (scene_file.h).

#include "PCG/preconditioner.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

enum class Side : uint8_t { left, right, top, bottom };

// How a wall treats the velocity along it; the velocity through it is always 0.
struct Wall {
    enum class Kind : uint8_t { slip, noSlip, sliding };
    Kind kind = Kind::slip;
    double slideSpeed = 0.0;  // of a sliding wall, along +x or +y

    bool holdsTangent() const { return kind != Kind::slip; }
    double tangentSpeed() const { return kind == Kind::sliding ? slideSpeed : 0.0; }
};

// Cells first..last along one side: along a left or right side they are rows
// (j), along the top or bottom columns (i).
struct SideRange {
    Side side = Side::left;
    uint32_t first = 0;
    uint32_t last = 0;

    uint32_t count() const { return last - first + 1; }
    bool contains(uint32_t cell) const { return cell >= first && cell <= last; }
};

// How the speed through a band's faces varies along it.
enum class BandProfile : uint8_t {
    uniform,    // `speed` through every face
    parabolic,  // 0 at the band's two ends, `speed` at its middle
};

// Fluid crosses the range's border faces at `speed`: into the box for an
// inflow band, out of it for an outflow band.
struct Band {
    SideRange range;
    double speed = 0.0;
    BandProfile profile = BandProfile::uniform;
    bool pours = false;  // whether an inflow band pours dye, of colour dye
    bool poursLiquid = false;  // an inflow band that pours liquid into a box with a free surface: a tap
    float dye[3] = {0.0f, 0.0f, 0.0f};
    double temperature = std::nan("");  // of the fluid an inflow band brings; NaN: the scene's initial one

    // The speed through the border face of cell `cell` of the side (in the
    // range). A parabolic band gives each face the parabola's mean over its
    // cell, so that the band carries exactly 2/3 of speed times its width.
    double speedAt(uint32_t cell) const;
    // What the band carries, in speed times cells: the sum of its faces' speeds.
    double carried() const;
};

// What the pointer does to the flow in a window given a scene: a drag pushes
// the faces within `radius` cells of the pointer, with a smooth fall-off, by
// the pointer's velocity times `strength`.
struct Interaction {
    double radius = 3.0;
    double strength = 1.0;
};

// The fields a view can show at the cell centres besides the flow itself.
enum class CellField : uint8_t { speed, vorticity, pressure, dye, temperature };
constexpr int cellFieldCount = 5;
const char* cellFieldName(CellField field);  // "speed", ...

// The range of values a field view spans, fixed by the scene; NaN at both
// ends: the range follows the field.
struct FieldRange {
    double low = std::numeric_limits<double>::quiet_NaN();
    double high = std::numeric_limits<double>::quiet_NaN();
    bool fixed() const { return low == low; }
};

// Solids in cell units: a cell is solid when its centre lies inside - but
// for a disc that cuts the cells it crosses, when it lies inside whole; the
// cells it cuts stay fluid, their faces open by the part the disc leaves free.
// A solid with a temperature is held at it (a heater or a cooler); NaN: insulated.
struct SolidRectangle {
    uint32_t fromI = 0, fromJ = 0, toI = 0, toJ = 0;  // inclusive corner cells
    double temperature = std::nan("");
};
struct SolidDisc {
    double centreX = 0.0, centreY = 0.0, radius = 0.0;
    double temperature = std::nan("");
    bool cut = false;  // cuts the cells it crosses, rather than taking those whose centres it holds
};
// One [[solid]] entry: a rectangle or a disc, by its place among its kind.
struct SolidEntry {
    bool disc = false;
    uint32_t index = 0;
};

// A point whose velocity and pressure are read after every tick (probes.h),
// in length units from the top-left corner: x to the right, y down.
struct Probe {
    double x = 0.0, y = 0.0;
};

// The most particles a liquid may have (2 x 2 a liquid cell), from its start,
// its taps and the hand together.
constexpr uint64_t largestParticleCount = 4194304;

// Where liquid starts, in length units from the top-left corner (x to the
// right, y down): a rectangle between two corners or a disc, moving at a
// velocity of its own. A scene with liquid leaves the rest of its box empty.
struct LiquidRegion {
    bool disc = false;
    double fromX = 0.0, fromY = 0.0, toX = 0.0, toY = 0.0;  // a rectangle's corners
    double centreX = 0.0, centreY = 0.0, radius = 0.0;      // a disc's
    double velocityX = 0.0, velocityY = 0.0;

    bool contains(double x, double y) const
    {
        if (disc)
            return (x - centreX) * (x - centreX) + (y - centreY) * (y - centreY) <= radius * radius;
        return x >= fromX && x <= toX && y >= fromY && y <= toY;
    }
    // The shape's area within the rectangle [x0, x1] x [y0, y1], exactly.
    double areaWithin(double x0, double y0, double x1, double y1) const;
};

// A temperature at the cell centres, carried and diffused by the flow, and
// the buoyancy it gives (Boussinesq: the density stays constant but in the
// force, where warmer fluid is lighter by expansion * (T - reference)).
struct Heat {
    bool enabled = false;     // a scene without heat has no temperature
    double diffusivity = 0.0; // thermal, kappa
    double expansion = 0.0;   // beta: the buoyancy per degree
    double reference = 0.0;   // the temperature without buoyancy
    double initial = 0.0;     // everywhere at the start
    // Per Side: the temperature a wall is held at; NaN: insulated.
    double wall[4] = {std::nan(""), std::nan(""), std::nan(""), std::nan("")};
};

// How advection samples the field it carries.
enum class AdvectionScheme : uint8_t {
    linear,      // one bilinear sample at the departure point
    macCormack,  // a forward and a backward trace, half their error taken back, clamped (second order)
    hybrid,      // differences on the grid: central where viscosity rules a cell, upstream where it does not
};

// The first rule a scene breaks, in a scene file's words, and the key of the
// file that says it, as toml writes a path: "fluid.density",
// "inflow[1].speed" (the entries of each kind counted from 0); solids as
// "rectangle[k]" and "disc[k]", counted in their own kind; empty for the
// scene as a whole.
struct SceneProblem {
    std::string key;
    std::string message;  // empty when the scene breaks none
};

struct Scene {
    std::string name;
    std::string file;      // where the scene was read from, if it was
    std::string text;      // the file's text, if it was: what a saved run keeps of its scene
    bool builtIn = false;  // the standard box as the program builds it: drawn and run as specified, untouchable
    uint32_t nx = 0;
    uint32_t ny = 0;
    double cellSize = 0.0;
    double density = 0.0;
    double viscosity = 0.0;  // kinematic; 0 skips the diffusion step
    double gravityX = 0.0;
    double gravityY = 0.0;   // down the picture
    double timeStep = 0.0;
    AdvectionScheme advection = AdvectionScheme::linear;
    Wall left, right, top, bottom;
    std::vector<Band> inflows;
    std::vector<Band> outflows;
    std::vector<SideRange> outlets;  // the pressure beyond them is 0
    std::vector<SolidRectangle> rectangles;
    std::vector<SolidDisc> discs;
    std::vector<SolidEntry> solidOrder;  // the [[solid]] entries in the file's order
    std::vector<Probe> probes;
    std::vector<LiquidRegion> liquid;  // where liquid starts; none: the fluid fills the box
    Heat heat;
    double tolerance = 0.0;  // of the pressure and diffusion solves, relative
    int32_t iterationLimit = 0;
    pcg::Preconditioner preconditioner = pcg::Preconditioner::incompleteCholesky;  // of the pressure solve
    bool pressureFromPrevious = false;  // each pressure solve starts from the last tick's pressure, not zero
    bool viscosityFromPrevious = false;  // each viscosity solve starts from the velocity plus the last tick's change, not zero
    uint32_t tracerCount = 0;
    Interaction interaction;
    FieldRange viewRange[cellFieldCount];  // by CellField

    // The standard box, from its constants.
    static Scene standard();

    const Wall& wall(Side side) const;
    // Cells along a side: ny along the left and right, nx along the top and bottom.
    uint32_t cellsAlong(Side side) const { return side == Side::left || side == Side::right ? ny : nx; }
    // Whether anything beyond the standard box's kind of border is asked for:
    // solids, walls that hold the tangential velocity, viscosity.
    bool needsGeneralSteps() const;
    // A liquid scene: liquid where it starts, or a tap that pours it.
    bool hasLiquid() const { return !liquid.empty() || hasTaps(); }
    bool hasTaps() const;

    // nx*ny flags, k = i*ny + j: whether cell (i, j) is solid.
    std::vector<uint8_t> solidCells() const;
    // The solids in the file's order: solidOrder when it names each of them
    // once, else (a scene built in code) the rectangles, then the discs.
    std::vector<SolidEntry> solidsInOrder() const;
    // The cells of one solid, k = i*ny + j: those whose centres lie inside
    // it (a disc that cuts cells: those inside it whole).
    std::vector<uint32_t> cellsOf(const SolidEntry& solid) const;
    // A solid's temperature: what it is held at, NaN for insulated.
    double temperatureOf(const SolidEntry& solid) const
    {
        return solid.disc ? discs[solid.index].temperature : rectangles[solid.index].temperature;
    }

    // Every rule a scene's values keep, files and scenes built in code alike.
    SceneProblem firstProblem() const;
    // Those of its liquid, given its solid cells.
    SceneProblem firstLiquidProblem(const std::vector<uint8_t>& solid) const;
    // Its message alone: an empty string for a usable scene.
    std::string problem() const;
};

const char* sideName(Side side);

// The cell (i, j) of an nx by ny grid whose border face is the `cell`-th along a side.
inline std::pair<uint32_t, uint32_t> borderCell(uint32_t nx, uint32_t ny, Side side, uint32_t cell)
{
    return {side == Side::left ? 0 : side == Side::right ? nx - 1 : cell,
            side == Side::top ? 0 : side == Side::bottom ? ny - 1 : cell};
}
