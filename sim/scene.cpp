#include "sim/scene.h"

#include "sim/standard_box.h"

#include <cmath>

Scene Scene::standard()
{
    Scene scene;
    scene.name = "standard";
    scene.builtIn = true;
    scene.nx = scene.ny = standardBox::gridCells;
    scene.cellSize = standardBox::cellSize;
    scene.density = standardBox::density;
    scene.gravityY = standardBox::gravity;
    scene.timeStep = standardBox::timeStep;
    scene.inflows.push_back({{Side::left, 0, standardBox::lastInflowRow}, standardBox::borderSpeed});
    scene.outflows.push_back(
        {{Side::right, standardBox::firstOutflowRow, standardBox::gridCells - 1}, standardBox::borderSpeed});
    scene.tolerance = standardBox::solverTolerance;
    scene.iterationLimit = standardBox::solverIterationLimit;
    scene.tracerCount = standardBox::tracerCount;
    return scene;
}

const Wall& Scene::wall(Side side) const
{
    switch (side) {
    case Side::left: return left;
    case Side::right: return right;
    case Side::top: return top;
    case Side::bottom: break;
    }
    return bottom;
}

bool Scene::needsGeneralSteps() const
{
    return !rectangles.empty() || !discs.empty() || viscosity > 0.0 || advection != AdvectionScheme::linear ||
           left.holdsTangent() ||
           right.holdsTangent() || top.holdsTangent() || bottom.holdsTangent();
}

std::vector<uint8_t> Scene::solidCells() const
{
    std::vector<uint8_t> solid(size_t(nx) * ny, 0);
    for (const SolidRectangle& r : rectangles)
        for (uint32_t i = r.fromI; i <= r.toI && i < nx; ++i)
            for (uint32_t j = r.fromJ; j <= r.toJ && j < ny; ++j)
                solid[size_t(i) * ny + j] = 1;
    for (const SolidDisc& d : discs) {
        for (uint32_t i = 0; i < nx; ++i) {
            for (uint32_t j = 0; j < ny; ++j) {
                const double x = i + 0.5 - d.centreX, y = j + 0.5 - d.centreY;
                if (x * x + y * y <= d.radius * d.radius)
                    solid[size_t(i) * ny + j] = 1;
            }
        }
    }
    return solid;
}

const char* sideName(Side side)
{
    switch (side) {
    case Side::left: return "left";
    case Side::right: return "right";
    case Side::top: return "top";
    case Side::bottom: break;
    }
    return "bottom";
}

namespace {

bool positive(double value)
{
    return std::isfinite(value) && value > 0.0;
}

std::string cellsText(const SideRange& range)
{
    return "cells " + std::to_string(range.first) + " to " + std::to_string(range.last) + " of the " +
           sideName(range.side) + " side";
}

}  // namespace

std::string Scene::problem() const
{
    constexpr uint32_t largestGrid = 4096;
    if (nx < 2 || ny < 2 || nx > largestGrid || ny > largestGrid)
        return "the grid needs 2 to 4096 cells each way";
    if (!positive(cellSize))
        return "the cell size must be a positive number";
    if (!positive(density))
        return "the density must be a positive number";
    if (!std::isfinite(viscosity) || viscosity < 0.0)
        return "the viscosity must be 0 or a positive number";
    if (!std::isfinite(gravityX) || !std::isfinite(gravityY))
        return "gravity must be finite";
    if (!positive(timeStep))
        return "the time step must be a positive number";
    if (!positive(tolerance) || tolerance >= 1.0)
        return "the solver's tolerance must lie between 0 and 1";
    if (iterationLimit < 1)
        return "the solver's iteration limit must be at least 1";
    for (Side side : {Side::left, Side::right, Side::top, Side::bottom})
        if (!std::isfinite(wall(side).slideSpeed))
            return std::string("the ") + sideName(side) + " wall's slide speed must be finite";

    // Every opening lies inside its side, on a wall that does not slide, and
    // apart from the others.
    std::vector<const SideRange*> openings;
    for (const std::vector<Band>* bands : {&inflows, &outflows}) {
        for (const Band& band : *bands) {
            if (!std::isfinite(band.speed) || band.speed < 0.0)
                return "a band's speed must be 0 or a positive number (" + cellsText(band.range) + ")";
            openings.push_back(&band.range);
        }
    }
    for (const SideRange& outlet : outlets)
        openings.push_back(&outlet);
    for (size_t a = 0; a < openings.size(); ++a) {
        const SideRange& range = *openings[a];
        if (range.first > range.last || range.last >= cellsAlong(range.side))
            return "an opening lies outside the grid (" + cellsText(range) + ", which has " +
                   std::to_string(cellsAlong(range.side)) + ")";
        if (wall(range.side).kind == Wall::Kind::sliding)
            return "an opening on the sliding " + std::string(sideName(range.side)) + " wall (" + cellsText(range) + ")";
        for (size_t b = 0; b < a; ++b) {
            const SideRange& other = *openings[b];
            if (other.side == range.side && other.first <= range.last && range.first <= other.last)
                return "two openings overlap (" + cellsText(other) + " and " + cellsText(range) + ")";
        }
    }

    for (const SolidRectangle& r : rectangles)
        if (r.fromI > r.toI || r.fromJ > r.toJ || r.toI >= nx || r.toJ >= ny)
            return "a rectangle lies outside the grid, or its corners are the wrong way round";
    for (const SolidDisc& d : discs)
        if (!std::isfinite(d.centreX) || !std::isfinite(d.centreY) || !positive(d.radius) || d.centreX < 0.0 ||
            d.centreY < 0.0 || d.centreX > nx || d.centreY > ny)
            return "a disc needs a positive radius and its centre inside the grid";
    const std::vector<uint8_t> solid = solidCells();
    bool anyFluid = false;
    for (uint8_t cell : solid)
        anyFluid = anyFluid || !cell;
    if (!anyFluid)
        return "the solids leave no fluid cell";
    for (const SideRange* range : openings) {
        for (uint32_t c = range->first; c <= range->last; ++c) {
            const uint32_t i = range->side == Side::left ? 0 : range->side == Side::right ? nx - 1 : c;
            const uint32_t j = range->side == Side::top ? 0 : range->side == Side::bottom ? ny - 1 : c;
            if (solid[size_t(i) * ny + j])
                return "an opening leads into a solid cell (" + cellsText(*range) + ")";
        }
    }

    // A closed box must take in what it lets out, or no pressure can make the
    // flow divergence-free.
    if (outlets.empty()) {
        double in = 0.0, out = 0.0;
        for (const Band& band : inflows)
            in += band.speed * band.range.count();
        for (const Band& band : outflows)
            out += band.speed * band.range.count();
        if (std::fabs(in - out) > 1e-9 * std::fmax(in, out))
            return "without an outlet the bands must balance: inflow " + std::to_string(in) + " and outflow " +
                   std::to_string(out) + " (speed times cells) differ";
    }
    return std::string();
}
