#include "view/frame.h"

#include "sim/measure/cell_fields.h"
#include "sim/flow/fluid_solver.h"
#include "view/colour_map.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <cstddef>

namespace {

// A colour per cell, each channel from 0 to 1 to a byte, row after row from the top.
class CellPainter {
public:
    CellPainter(Frame& frame, uint32_t nx, uint32_t ny) : frame(frame), nx(nx)
    {
        frame.cellColumns = nx;
        frame.cellRows = ny;
        frame.cellColours.resize(size_t(nx) * ny * 3);
    }
    void paint(uint32_t i, uint32_t j, FrameColour colour) { paint(i, j, colour.red, colour.green, colour.blue); }
    void paint(uint32_t i, uint32_t j, double red, double green, double blue)
    {
        const double channels[3] = {red, green, blue};
        for (int c = 0; c < 3; ++c)
            frame.cellColours[(size_t(j) * nx + i) * 3 + c] = toByte(channels[c]);
    }
    static uint8_t toByte(double channel) { return uint8_t(std::lround(255.0 * std::fmin(1.0, std::fmax(0.0, channel)))); }

private:
    Frame& frame;
    uint32_t nx;
};

// Of a field view: how far a frame's range moves towards the field's own.
constexpr double rangeFollowing = 0.25;
// The share of a signed field's cells whose size its range spans.
constexpr double signedRangeShare = 0.99;
// The colour bar's panel and the steps of its scale.
constexpr float barWidth = 120.0f, barMargin = 8.0f, barLargestHeight = 220.0f;
// Down the side, two lines of text and a scale of two more at least; across,
// a line of text over the scale and its labels, in 11-pixel type.
constexpr float barShortestHeight = 96.0f, barAcrossWidth = 220.0f, barAcrossHeight = 44.0f,
                barNarrowestAcross = 120.0f;
constexpr int barSteps = 64;
// The smallest cell, in pixels, over which a field view draws the grid.
constexpr double fieldGridCellSize = 8.0;

FrameColour fieldColour(CellField field, bool isSigned, double t)
{
    return isSigned || field == CellField::temperature ? coolToWarm(t) : viridis(t);
}

// The range a field view spans this frame: the scene's, or the field's own
// (symmetric about 0 for a signed field) followed from the last frame's.
void fieldRange(const std::vector<double>& values, CellField field, const FieldRange& fixed, bool isSigned,
                Frame& frame, double& low, double& high)
{
    if (fixed.fixed()) {
        low = fixed.low;
        high = fixed.high;
        frame.lastRange.known = false;
        return;
    }
    double least = INFINITY, most = -INFINITY;
    if (!isSigned) {
        for (double value : values)
            if (std::isfinite(value)) {
                least = std::fmin(least, value);
                most = std::fmax(most, value);
            }
        if (!(least <= most))
            least = most = 0.0;
    } else {
        // Centred on 0, and wide enough for all but the strongest few cells
        // (a signed field peaks in thin layers on walls, which would leave
        // the rest of the flow pale).
        std::vector<double> sizes;
        sizes.reserve(values.size());
        for (double value : values)
            if (std::isfinite(value))
                sizes.push_back(std::fabs(value));
        const size_t at = size_t(signedRangeShare * double(sizes.size()));
        most = 0.0;
        if (at < sizes.size()) {
            std::nth_element(sizes.begin(), sizes.begin() + std::ptrdiff_t(at), sizes.end());
            most = sizes[at];
        }
        least = -most;
    }
    if (!(most > least)) {
        // One value everywhere: in the middle of a range around it.
        const double half = std::fmax(0.5 * std::fabs(most), 1e-12);
        least -= half;
        most += half;
    }
    if (frame.lastRange.known && frame.lastRange.field == field) {
        least = frame.lastRange.low + rangeFollowing * (least - frame.lastRange.low);
        most = frame.lastRange.high + rangeFollowing * (most - frame.lastRange.high);
    }
    frame.lastRange = {true, field, least, most};
    low = least;
    high = most;
}

void composeField(const FluidSolver& solver, CellField field, Frame& frame)
{
    std::vector<double> values = cellValues(solver, field);
    // Of a liquid, the field in the liquid alone (the air's pressure is 0).
    const uint32_t nx = solver.nx, ny = solver.ny;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            if (!solver.flowsIn(i, j))
                values[size_t(i) * ny + j] = std::numeric_limits<double>::quiet_NaN();
    const CellFieldLabel& label = labelOf(field);
    double low, high;
    fieldRange(values, field, solver.scene.viewRange[int(field)], label.isSigned, frame, low, high);
    CellPainter cells(frame, nx, ny);
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j) {
            double value = values[size_t(i) * ny + j];
            if (std::isnan(value) && solver.liquid && !solver.domain.isSolid(i, j)) {
                // An air cell beside the liquid takes its neighbours' mean,
                // so that the colours run on to the surface drawn over them.
                double sum = 0.0;
                int count = 0;
                auto take = [&](bool exists, uint32_t a, uint32_t b) {
                    if (exists && !std::isnan(values[size_t(a) * ny + b]))
                        sum += values[size_t(a) * ny + b], ++count;
                };
                take(i > 0, i - 1, j);
                take(i + 1 < nx, i + 1, j);
                take(j > 0, i, j - 1);
                take(j + 1 < ny, i, j + 1);
                if (count > 0)
                    value = sum / count;
            }
            if (std::isnan(value))
                cells.paint(i, j, 0.0, 0.0, 0.0);  // a solid cell or the air, drawn over
            else
                cells.paint(i, j, fieldColour(field, label.isSigned, (value - low) / (high - low)));
        }
    ColourBar& bar = frame.colourBar;
    bar.shown = true;
    bar.title = label.name;
    bar.units = label.units;
    bar.low = low;
    bar.high = high;
    bar.colours.resize(barSteps * 3);
    for (int k = 0; k < barSteps; ++k) {
        const FrameColour colour = fieldColour(field, label.isSigned, k / double(barSteps - 1));
        bar.colours[size_t(k) * 3] = CellPainter::toByte(colour.red);
        bar.colours[size_t(k) * 3 + 1] = CellPainter::toByte(colour.green);
        bar.colours[size_t(k) * 3 + 2] = CellPainter::toByte(colour.blue);
    }
}

// At the top right of the picture, down its side where it is tall enough
// for two lines of text and a scale that keeps its two labels apart, else
// across; never over more than a corner of the picture (0.4 of its width,
// 0.6 of its height), and not at all where it would not fit there.
void placeColourBar(Frame& frame, double pictureWidth, double pictureHeight)
{
    ColourBar& bar = frame.colourBar;
    const double widest = 0.4 * pictureWidth, tallest = 0.6 * pictureHeight;
    bar.across = tallest < barShortestHeight;
    bar.width = float(bar.across ? std::fmin(barAcrossWidth, widest) : barWidth);
    bar.height = float(bar.across ? barAcrossHeight : std::fmin(barLargestHeight, tallest));
    bar.x = float(pictureWidth) - barMargin - bar.width;
    bar.y = barMargin;
    // (Sizes kept in floats: compared with a little room for their rounding.)
    constexpr double rounding = 1e-3;
    if (bar.width > widest + rounding || bar.height > tallest + rounding || bar.width < barNarrowestAcross)
        bar.shown = false;
}

}  // namespace

bool hasField(const FluidSolver& solver, CellField field)
{
    return (field != CellField::dye || solver.dye) && (field != CellField::temperature || solver.heat);
}

double pictureCellSize(const FluidSolver& solver, uint32_t width, uint32_t height)
{
    return cellSize(width, height, solver.nx, solver.ny, solver.dx, !solver.scene.builtIn);
}

void composeFrame(const FluidSolver& solver, uint32_t width, uint32_t height, Frame& frame,
                  const FrameOptions& options)
{
    frame.cellColours.clear();
    frame.cellColumns = frame.cellRows = 0;
    frame.colourBar.shown = false;
    const bool showField = options.field && hasField(solver, *options.field);
    const bool showTemperature = !showField && solver.heat && options.temperature;
    if (showField) {
        composeField(solver, *options.field, frame);
    } else if (showTemperature) {
        // From the coldest temperature held or at the start to the hottest.
        CellPainter cells(frame, solver.nx, solver.ny);
        const HeatField& heat = *solver.heat;
        const double low = std::fmin(heat.coldest(), solver.scene.heat.initial);
        const double span = std::fmax(heat.hottest(), solver.scene.heat.initial) - low;
        for (uint32_t j = 0; j < solver.ny; ++j)
            for (uint32_t i = 0; i < solver.nx; ++i) {
                const double t = heat.temperature.at(i, j);
                cells.paint(i, j, coolToWarm(span > 0.0 ? (t - low) / span : 0.5 + t - low));
            }
    } else if (solver.dye && options.dye) {
        CellPainter cells(frame, solver.nx, solver.ny);
        for (uint32_t j = 0; j < solver.ny; ++j)
            for (uint32_t i = 0; i < solver.nx; ++i)
                cells.paint(i, j, solver.dye->channel[0].at(i, j), solver.dye->channel[1].at(i, j),
                            solver.dye->channel[2].at(i, j));
    }
    frame.width = width;
    frame.height = height;
    frame.cellSize = pictureCellSize(solver, width, height);
    frame.dx = solver.dx;
    frame.trailColourScale = standardBox::tracerRegionEdge / (solver.nx * solver.dx);
    const uint32_t stride = drawingStride(frame.cellSize);
    // Over a field, the grid only where its cells are large enough to leave
    // the field visible between its lines, and no dots.
    if (!options.grid || (showField && frame.cellSize < fieldGridCellSize))
        frame.grid.clear();
    else
        gridLines(solver.nx, solver.ny, frame.cellSize, frame.grid, stride);
    // Over a field the air is drawn, black, and the field shows through in
    // the liquid; else the liquid is filled.
    frame.liquid.clear();
    frame.air.clear();
    frame.particles.clear();
    auto toScreen = [&](double x, double y) {
        return ScreenPoint{float(x / solver.dx * frame.cellSize), float(y / solver.dx * frame.cellSize)};
    };
    if (solver.liquid) {
        for (const LiquidPoint& corner : showField ? solver.liquid->airTriangles() : solver.liquid->liquidTriangles())
            (showField ? frame.air : frame.liquid).push_back(toScreen(corner.x, corner.y));
        if (options.particles)
            for (const LiquidParticle& p : solver.liquid->particles())
                frame.particles.push_back(toScreen(p.x, p.y));
    }
    frame.solids.clear();
    for (uint32_t i = 0; i < solver.nx && solver.domain.anySolid(); ++i)
        for (uint32_t j = 0; j < solver.ny; ++j)
            if (solver.domain.isSolid(i, j))
                frame.solids.push_back({float(i * frame.cellSize), float(j * frame.cellSize)});
    frame.discOutlines.clear();
    for (const SolidDisc& disc : solver.scene.discs) {
        if (!disc.cut)
            continue;
        // Corners about three pixels apart: round at any size.
        const double radius = disc.radius * frame.cellSize, turn = 2.0 * std::acos(-1.0);
        const int corners = std::max(24, int(std::ceil(turn * radius / 3.0)));
        std::vector<ScreenPoint> outline;
        for (int c = 0; c < corners; ++c) {
            const double angle = turn * c / corners;
            outline.push_back({float(disc.centreX * frame.cellSize + radius * std::cos(angle)),
                               float(disc.centreY * frame.cellSize + radius * std::sin(angle))});
        }
        frame.discOutlines.push_back(std::move(outline));
    }
    if (options.arrows)
        velocityArrows(*solver.velocity, frame.cellSize, frame.arrows, stride,
                       [&](uint32_t i, uint32_t j) { return solver.flowsIn(i, j); });
    else
        frame.arrows.clear();
    frame.dots.clear();
    for (uint32_t i = 0; i < solver.nx && !showField; i += stride)
        for (uint32_t j = 0; j < solver.ny; j += stride)
            frame.dots.push_back(cellCentre(i, j, frame.cellSize));
    if (frame.colourBar.shown)
        placeColourBar(frame, std::fmin(width, solver.nx * frame.cellSize), std::fmin(height, solver.ny * frame.cellSize));
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
