#include "sim/scene/scene.h"

#include "sim/scene/number_text.h"
#include "sim/scene/standard_box.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The arc sine of s in [-1, 1], to about 1e-15, by square roots and
// arithmetic alone: the C libraries' asin differ in their last bits from
// build to build (and in the web page), and a liquid's start must not.
// asin(s) = 2 atan(s / (1 + sqrt(1 - s^2))); each halving of an arc tangent,
// atan(z) = 2 atan(z / (1 + sqrt(1 + z^2))), brings z below 0.05, where its
// series converges in a dozen terms.
double arcSine(double s)
{
    double z = s / (1.0 + std::sqrt(std::max(0.0, 1.0 - s * s)));
    double factor = 2.0;
    for (int halving = 0; halving < 4; ++halving) {
        z = z / (1.0 + std::sqrt(1.0 + z * z));
        factor *= 2.0;
    }
    const double square = z * z;
    double sum = 0.0;
    for (int k = 12; k >= 0; --k)
        sum = 1.0 / (2 * k + 1) - square * sum;
    return factor * z * sum;
}

// The integral of sqrt(r^2 - t^2) from 0 to t, |t| <= r.
double circleIntegral(double t, double r)
{
    const double s = std::clamp(t / r, -1.0, 1.0);
    return 0.5 * r * r * (s * std::sqrt(std::max(0.0, 1.0 - s * s)) + arcSine(s));
}

// The area of the disc of radius r about the origin within [x0, x1] x [y0, y1]:
// the integral over x of the chord's part between y0 and y1, in pieces
// between the places where the chord's ends cross y0 or y1, over each of
// which either end is the circle or a side throughout.
double discAreaWithin(double r, double x0, double y0, double x1, double y1)
{
    const double from = std::max(x0, -r), to = std::min(x1, r);
    if (!(from < to) || !(y0 < y1))
        return 0.0;
    std::vector<double> breaks{from, to};
    for (const double y : {y0, y1})
        if (std::fabs(y) < r)
            for (const double x : {-std::sqrt(r * r - y * y), std::sqrt(r * r - y * y)})
                if (x > from && x < to)
                    breaks.push_back(x);
    std::sort(breaks.begin(), breaks.end());
    double area = 0.0;
    for (size_t k = 0; k + 1 < breaks.size(); ++k) {
        const double a = breaks[k], b = breaks[k + 1], middle = 0.5 * (a + b);
        const double half = std::sqrt(std::max(0.0, r * r - middle * middle));
        const bool upperIsCircle = half < y1, lowerIsCircle = -half > y0;
        if (std::min(y1, half) <= std::max(y0, -half))
            continue;  // the chord misses the band here
        const double arc = circleIntegral(b, r) - circleIntegral(a, r);
        area += (upperIsCircle ? arc : y1 * (b - a)) - (lowerIsCircle ? -arc : y0 * (b - a));
    }
    return area;
}

}  // namespace

double LiquidRegion::areaWithin(double x0, double y0, double x1, double y1) const
{
    if (disc)
        return discAreaWithin(radius, x0 - centreX, y0 - centreY, x1 - centreX, y1 - centreY);
    return std::max(0.0, std::min(x1, toX) - std::max(x0, fromX)) * std::max(0.0, std::min(y1, toY) - std::max(y0, fromY));
}

double Band::speedAt(uint32_t cell) const
{
    if (profile == BandProfile::uniform)
        return speed;
    // The parabola 4s(1 - s) across the band (s from 0 to 1), averaged over
    // the cell's stretch [m/n, (m + 1)/n]: (4m + 2)/n - (4m^2 + 4m + 4/3)/n^2.
    const double n = range.count(), m = cell - range.first;
    return speed * ((4.0 * m + 2.0) / n - (4.0 * m * m + 4.0 * m + 4.0 / 3.0) / (n * n));
}

double Band::carried() const
{
    double sum = 0.0;
    for (uint32_t cell = range.first; cell <= range.last; ++cell)
        sum += speedAt(cell);
    return sum;
}

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

bool Scene::hasTaps() const
{
    for (const Band& band : inflows)
        if (band.poursLiquid)
            return true;
    return false;
}

bool Scene::needsGeneralSteps() const
{
    return !rectangles.empty() || !discs.empty() || viscosity > 0.0 || advection != AdvectionScheme::linear ||
           hasLiquid() ||
           left.holdsTangent() ||
           right.holdsTangent() || top.holdsTangent() || bottom.holdsTangent();
}

std::vector<uint8_t> Scene::solidCells() const
{
    std::vector<uint8_t> solid(size_t(nx) * ny, 0);
    for (const SolidEntry& entry : solidsInOrder())
        for (uint32_t k : cellsOf(entry))
            solid[k] = 1;
    return solid;
}

std::vector<SolidEntry> Scene::solidsInOrder() const
{
    std::vector<uint8_t> named(rectangles.size() + discs.size(), 0);
    bool eachOnce = solidOrder.size() == named.size();
    for (const SolidEntry& entry : solidOrder) {
        const size_t slot = entry.disc ? rectangles.size() + entry.index : entry.index;
        eachOnce = eachOnce && entry.index < (entry.disc ? discs.size() : rectangles.size()) && !named[slot];
        if (eachOnce)
            named[slot] = 1;
    }
    if (eachOnce)
        return solidOrder;
    std::vector<SolidEntry> inOrder;
    for (uint32_t k = 0; k < rectangles.size(); ++k)
        inOrder.push_back({false, k});
    for (uint32_t k = 0; k < discs.size(); ++k)
        inOrder.push_back({true, k});
    return inOrder;
}

std::vector<uint32_t> Scene::cellsOf(const SolidEntry& entry) const
{
    std::vector<uint32_t> cells;
    if (!entry.disc) {
        const SolidRectangle& r = rectangles[entry.index];
        for (uint32_t i = r.fromI; i <= r.toI && i < nx; ++i)
            for (uint32_t j = r.fromJ; j <= r.toJ && j < ny; ++j)
                cells.push_back(i * ny + j);
        return cells;
    }
    const SolidDisc& d = discs[entry.index];
    auto inside = [&](double x, double y) {
        return (x - d.centreX) * (x - d.centreX) + (y - d.centreY) * (y - d.centreY) <= d.radius * d.radius;
    };
    for (uint32_t i = 0; i < nx; ++i) {
        for (uint32_t j = 0; j < ny; ++j) {
            // The disc is round: a cell whose four corners it holds lies inside it whole.
            const bool solid = d.cut ? inside(i, j) && inside(i + 1, j) && inside(i, j + 1) && inside(i + 1, j + 1)
                                     : inside(i + 0.5, j + 0.5);
            if (solid)
                cells.push_back(i * ny + j);
        }
    }
    return cells;
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

// "[table] key must lie between lowest and highest, not value"
std::string outsideRange(const char* what, long long lowest, long long highest, long long value)
{
    return std::string(what) + " must lie between " + std::to_string(lowest) + " and " + std::to_string(highest) +
           ", not " + std::to_string(value);
}

// Whether some fluid cell's square lies within one cell of the point (cx, cy), in cells.
bool withinACellOfFluid(const std::vector<uint8_t>& solid, uint32_t nx, uint32_t ny, double cx, double cy)
{
    const int64_t ci = int64_t(cx), cj = int64_t(cy);
    for (int64_t i = std::max<int64_t>(ci - 1, 0); i <= std::min<int64_t>(ci + 1, nx - 1); ++i) {
        for (int64_t j = std::max<int64_t>(cj - 1, 0); j <= std::min<int64_t>(cj + 1, ny - 1); ++j) {
            if (solid[size_t(i) * ny + size_t(j)])
                continue;
            const double ox = std::fmax(std::fmax(double(i) - cx, cx - double(i + 1)), 0.0);
            const double oy = std::fmax(std::fmax(double(j) - cy, cy - double(j + 1)), 0.0);
            if (ox * ox + oy * oy <= 1.0)
                return true;
        }
    }
    return false;
}

}  // namespace

std::string Scene::problem() const
{
    return firstProblem().message;
}

SceneProblem Scene::firstProblem() const
{
    constexpr uint32_t largestGrid = 4096;
    constexpr int32_t largestIterationLimit = 1000000;
    constexpr uint32_t largestTracerCount = 100000;
    constexpr double largestInteractionRadius = 1000.0;  // cells
    constexpr double largestInteractionStrength = 100.0;
    for (int axis = 0; axis < 2; ++axis) {
        const uint32_t cells = axis == 0 ? nx : ny;
        if (cells < 2 || cells > largestGrid)
            return {"grid.cells[" + std::to_string(axis) + "]", outsideRange("[grid] cells", 2, largestGrid, cells)};
    }
    if (!positive(cellSize))
        return {"grid.cell_size", "[grid] cell_size must be positive"};
    if (!positive(density))
        return {"fluid.density", "[fluid] density must be positive"};
    if (!std::isfinite(viscosity) || viscosity < 0.0)
        return {"fluid.viscosity", "[fluid] viscosity must be 0 or positive"};
    if (!std::isfinite(gravityX) || !std::isfinite(gravityY))
        return {"fluid.gravity", "[fluid] gravity must be finite"};
    if (!positive(timeStep))
        return {"time.step", "[time] step must be positive"};
    if (!positive(tolerance) || tolerance >= 1.0)
        return {"solver.tolerance", "[solver] tolerance must lie between 0 and 1"};
    if (iterationLimit < 1 || iterationLimit > largestIterationLimit)
        return {"solver.iteration_limit",
                outsideRange("[solver] iteration_limit", 1, largestIterationLimit, iterationLimit)};
    if (tracerCount > largestTracerCount)
        return {"tracers.count", outsideRange("[tracers] count", 0, largestTracerCount, tracerCount)};
    for (int f = 0; f < cellFieldCount; ++f) {
        const FieldRange& range = viewRange[f];
        if (range.fixed() && !(range.low < range.high))
            return {std::string("view.range.") + cellFieldName(CellField(f)),
                    std::string("[view.range] ") + cellFieldName(CellField(f)) + " must rise: its low end below its high"};
    }
    if (!positive(interaction.radius) || interaction.radius > largestInteractionRadius)
        return {"interaction.radius", "[interaction] radius must lie above 0 and up to 1000 cells"};
    if (!std::isfinite(interaction.strength) || interaction.strength < 0.0 ||
        interaction.strength > largestInteractionStrength)
        return {"interaction.strength", "[interaction] strength must lie between 0 and 100"};
    if (heat.enabled) {
        if (!std::isfinite(heat.diffusivity) || heat.diffusivity < 0.0)
            return {"heat.diffusivity", "[heat] diffusivity must be 0 or positive"};
        if (!std::isfinite(heat.expansion) || !std::isfinite(heat.reference) || !std::isfinite(heat.initial))
            return {"heat", "[heat] expansion, reference and initial must be finite"};
        for (Side side : {Side::left, Side::right, Side::top, Side::bottom})
            if (std::isinf(heat.wall[int(side)]))
                return {std::string("heat.walls.") + sideName(side),
                        std::string("[heat.walls] ") + sideName(side) + " must be finite"};
    }
    for (Side side : {Side::left, Side::right, Side::top, Side::bottom})
        if (!std::isfinite(wall(side).slideSpeed))
            return {std::string("walls.") + sideName(side) + ".slide",
                    std::string("the ") + sideName(side) + " wall's slide speed must be finite"};

    // Every opening lies inside its side, on a wall that does not slide, and
    // apart from the others; a band's speed and dye are in range.
    struct Opening {
        const SideRange* range;
        std::string key;  // of its entry
    };
    std::vector<Opening> openings;
    for (const auto* kind : {&inflows, &outflows}) {
        const char* table = kind == &inflows ? "inflow" : "outflow";
        for (size_t k = 0; k < kind->size(); ++k) {
            const Band& band = (*kind)[k];
            const std::string key = std::string(table) + "[" + std::to_string(k) + "]";
            if (!std::isfinite(band.speed) || band.speed < 0.0)
                return {key + ".speed", std::string("an [[") + table +
                                            "]] band's speed must be 0 or positive (the band's kind gives the direction)"};
            for (float channel : band.dye)
                if (!(channel >= 0.0f && channel <= 1.0f))
                    return {key + ".dye", "dye is [red, green, blue], each from 0 to 1"};
            if (std::isinf(band.temperature))
                return {key + ".temperature", "a band's temperature must be finite"};
            if (band.profile == BandProfile::parabolic && band.range.first >= band.range.last)
                return {key + ".profile", "a parabolic band needs two cells at least"};
            openings.push_back({&band.range, key});
        }
    }
    for (size_t k = 0; k < outlets.size(); ++k)
        openings.push_back({&outlets[k], "outlet[" + std::to_string(k) + "]"});
    for (size_t a = 0; a < openings.size(); ++a) {
        const SideRange& range = *openings[a].range;
        if (range.first > range.last || range.last >= cellsAlong(range.side))
            return {openings[a].key + ".cells",
                    "cells " + std::to_string(range.first) + " to " + std::to_string(range.last) +
                        " do not lie along the " + sideName(range.side) + " side, which has " +
                        std::to_string(cellsAlong(range.side)) + " cells"};
        if (wall(range.side).kind == Wall::Kind::sliding)
            return {openings[a].key, std::string("an opening on the ") + sideName(range.side) + " wall, which slides"};
        for (size_t b = 0; b < a; ++b) {
            const SideRange& other = *openings[b].range;
            if (other.side == range.side && other.first <= range.last && range.first <= other.last)
                return {openings[a].key, "two openings overlap (" + cellsText(other) + " and " + cellsText(range) + ")"};
        }
    }

    for (size_t k = 0; k < rectangles.size(); ++k) {
        const SolidRectangle& r = rectangles[k];
        const std::string key = "rectangle[" + std::to_string(k) + "]";
        if (r.fromI > r.toI || r.fromJ > r.toJ)
            return {key, "a rectangle goes from its smaller corner to its larger one"};
        if (r.toI >= nx || r.toJ >= ny)
            return {key + ".to", "a rectangle must lie inside the grid"};
        if (std::isinf(r.temperature))
            return {key, "a solid's temperature must be finite"};
    }
    for (size_t k = 0; k < discs.size(); ++k) {
        const SolidDisc& d = discs[k];
        const std::string key = "disc[" + std::to_string(k) + "]";
        if (!positive(d.radius))
            return {key + ".radius", "a disc's radius must be positive"};
        if (!std::isfinite(d.centreX) || !std::isfinite(d.centreY) || d.centreX < 0.0 || d.centreY < 0.0 ||
            d.centreX > nx || d.centreY > ny)
            return {key + ".centre", "a disc's centre must lie inside the grid"};
        if (std::isinf(d.temperature))
            return {key, "a solid's temperature must be finite"};
    }
    const std::vector<uint8_t> solid = solidCells();
    bool anyFluid = false;
    for (uint8_t cell : solid)
        anyFluid = anyFluid || !cell;
    if (!anyFluid)
        return {"", "the solids leave no fluid cell"};
    // A probe reads the fluid: it may lie on a solid's surface or within a
    // cell of it, not deeper.
    for (size_t k = 0; k < probes.size(); ++k) {
        const Probe& probe = probes[k];
        const std::string key = "probe[" + std::to_string(k) + "].point";
        const double width = nx * cellSize, height = ny * cellSize;
        if (!(probe.x >= 0.0 && probe.x <= width && probe.y >= 0.0 && probe.y <= height))
            return {key, "a probe must lie inside the grid, 0 to " + shortNumber(width) + " across and 0 to " +
                             shortNumber(height) + " down"};
        if (!withinACellOfFluid(solid, nx, ny, probe.x / cellSize, probe.y / cellSize))
            return {key, "a probe lies inside a solid, farther than a cell from any fluid"};
    }
    for (const Opening& opening : openings) {
        const SideRange& range = *opening.range;
        for (uint32_t c = range.first; c <= range.last; ++c) {
            const auto [i, j] = borderCell(nx, ny, range.side, c);
            if (solid[size_t(i) * ny + j])
                return {opening.key + ".cells", "an opening leads into a solid cell (" + cellsText(range) + ")"};
        }
    }

    if (hasLiquid()) {
        const SceneProblem liquidProblem = firstLiquidProblem(solid);
        if (!liquidProblem.message.empty())
            return liquidProblem;
    }

    // A closed box must take in what it lets out, or no pressure can make the
    // flow divergence-free (a liquid's air takes up the difference).
    if (outlets.empty() && !hasLiquid()) {
        double in = 0.0, out = 0.0;
        for (const Band& band : inflows)
            in += band.carried();
        for (const Band& band : outflows)
            out += band.carried();
        if (std::fabs(in - out) > 1e-9 * std::fmax(in, out))
            return {"", "without an outlet the bands must balance: inflow " + std::to_string(in) + " and outflow " +
                            std::to_string(out) + " (speed times cells) differ"};
    }
    return {};
}

SceneProblem Scene::firstLiquidProblem(const std::vector<uint8_t>& solid) const
{
    // Each cell holds 2 x 2 particles where it is liquid.
    const double width = nx * cellSize, height = ny * cellSize;
    double particles = 0.0;
    for (size_t k = 0; k < liquid.size(); ++k) {
        const LiquidRegion& region = liquid[k];
        const std::string key = "liquid[" + std::to_string(k) + "]";
        const double numbers[] = {region.fromX, region.fromY,   region.toX,     region.toY,     region.centreX,
                                  region.centreY, region.radius, region.velocityX, region.velocityY};
        for (double number : numbers)
            if (!std::isfinite(number))
                return {key, "a liquid's corners, centre, radius and velocity must be finite"};
        if (region.disc && !(region.radius > 0.0))
            return {key + ".disc", "a liquid disc's radius must be positive"};
        if (!region.disc && !(region.fromX < region.toX && region.fromY < region.toY))
            return {key + ".rectangle", "a liquid rectangle goes from its smaller corner to its larger one"};
        const double left = region.disc ? region.centreX - region.radius : region.fromX;
        const double right = region.disc ? region.centreX + region.radius : region.toX;
        const double top = region.disc ? region.centreY - region.radius : region.fromY;
        const double bottom = region.disc ? region.centreY + region.radius : region.toY;
        if (left < 0.0 || top < 0.0 || right > width || bottom > height)
            return {key, "liquid must lie inside the grid, 0 to " + shortNumber(width) + " across and 0 to " +
                             shortNumber(height) + " down"};
        // The points a cell's particles are seeded around.
        double seeds = 0.0;
        for (uint32_t i = uint32_t(left / cellSize); i < nx && i * cellSize <= right; ++i)
            for (uint32_t j = uint32_t(top / cellSize); j < ny && j * cellSize <= bottom; ++j)
                for (double p : {0.25, 0.75})
                    for (double q : {0.25, 0.75})
                        if (!solid[size_t(i) * ny + j] && region.contains((i + p) * cellSize, (j + q) * cellSize))
                            seeds += 1.0;
        if (seeds == 0.0)
            return {key, "liquid lies inside a solid, or is too small for a particle of the grid"};
        particles += seeds;
    }
    if (particles > double(largestParticleCount))
        return {"liquid", "the liquid takes " + shortNumber(particles) + " particles, more than the " +
                              shortNumber(double(largestParticleCount)) + " a scene may hold"};
    double poured = 0.0, drained = 0.0;
    for (size_t k = 0; k < inflows.size(); ++k) {
        const std::string key = "inflow[" + std::to_string(k) + "]";
        if (!inflows[k].poursLiquid)
            return {key, "in a scene with liquid an inflow band pours liquid: say liquid = true"};
        if (inflows[k].pours)
            return {key + ".dye", "a tap pours liquid, not dye"};
        poured += inflows[k].carried();
    }
    for (const Band& band : outflows)
        drained += band.carried();
    // The air takes up what the bands do not balance, until the box is full.
    if (outlets.empty() && drained < poured)
        return {"", "the taps pour " + shortNumber(poured) + " (speed times cells) into a box that lets out " +
                        shortNumber(drained) + ": it would fill up; give it an outlet, or outflow bands enough"};
    if (heat.enabled)
        return {"heat", "a scene with liquid carries no heat yet"};
    // The liquid's viscosity diffuses explicitly, in parts of the step.
    if (viscosity * timeStep / (cellSize * cellSize) > 10.0)
        return {"fluid.viscosity", "a liquid's viscosity may be at most 10 cell sizes squared a step (" +
                                       shortNumber(10.0 * cellSize * cellSize / timeStep) + " here)"};
    return {};
}

const char* cellFieldName(CellField field)
{
    static const char* const names[cellFieldCount] = {"speed", "vorticity", "pressure", "dye", "temperature"};
    return names[int(field)];
}
