#include "sim/domain/domain.h"

#include "sim/domain/scene_sampling.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

// Velocity of the faces along one side, normal to it: 0.0 at a wall, a band's
// speed (positive into the box), NaN where an outlet leaves the face free.
std::vector<double> sideFaces(const Scene& scene, Side side)
{
    std::vector<double> faces(scene.cellsAlong(side), 0.0);
    // u and v point right and down: into the box through the left and top.
    const double inward = side == Side::left || side == Side::top ? 1.0 : -1.0;
    for (const Band& band : scene.inflows)
        if (band.range.side == side)
            for (uint32_t c = band.range.first; c <= band.range.last; ++c)
                faces[c] = inward * band.speedAt(c);
    for (const Band& band : scene.outflows)
        if (band.range.side == side)
            for (uint32_t c = band.range.first; c <= band.range.last; ++c)
                faces[c] = -inward * band.speedAt(c);
    for (const SideRange& outlet : scene.outlets)
        if (outlet.side == side)
            for (uint32_t c = outlet.first; c <= outlet.last; ++c)
                faces[c] = std::numeric_limits<double>::quiet_NaN();
    return faces;
}

// A face cut open by less than this is shut: the pressure's rows would
// otherwise couple cells by next to nothing.
constexpr double smallestAperture = 1e-3;

// What the discs leave open of the face of one component at (i, j) in its
// layout, a segment of one cell along the other axis.
double openPart(const std::vector<SolidDisc>& discs, int component, uint32_t i, uint32_t j)
{
    // The face's line across (at), and where the segment runs along it.
    const double at = component == 0 ? i : j, from = component == 0 ? j : i;
    std::vector<std::pair<double, double>> covered;
    for (const SolidDisc& d : discs) {
        const double offset = at - (component == 0 ? d.centreX : d.centreY);
        if (std::fabs(offset) >= d.radius)
            continue;
        const double half = std::sqrt(d.radius * d.radius - offset * offset);
        const double middle = component == 0 ? d.centreY : d.centreX;
        const double low = std::max(from, middle - half), high = std::min(from + 1.0, middle + half);
        if (low < high)
            covered.emplace_back(low, high);
    }
    // The union of the covered pieces, which overlapping discs may share.
    std::sort(covered.begin(), covered.end());
    double open = 1.0, reached = from;
    for (const auto& [low, high] : covered) {
        open -= std::max(0.0, high - std::max(low, reached));
        reached = std::max(reached, high);
    }
    return open < smallestAperture ? 0.0 : std::min(open, 1.0);
}

}  // namespace

Domain::Domain(const Scene& scene)
    : nx(scene.nx),
      ny(scene.ny),
      dx(scene.cellSize),
      solid(scene.solidCells()),
      border{sideFaces(scene, Side::left), sideFaces(scene, Side::right), sideFaces(scene, Side::top),
             sideFaces(scene, Side::bottom)},
      outletFaces(size_t(nx) * ny, 0),
      walls{scene.left, scene.right, scene.top, scene.bottom}
{
    const std::vector<double>& left = border[int(Side::left)];
    const std::vector<double>& right = border[int(Side::right)];
    const std::vector<double>& top = border[int(Side::top)];
    const std::vector<double>& bottom = border[int(Side::bottom)];
    for (uint32_t j = 0; j < ny; ++j) {
        outletFaces[j] += std::isnan(left[j]);
        outletFaces[size_t(nx - 1) * ny + j] += std::isnan(right[j]);
    }
    for (uint32_t i = 0; i < nx; ++i) {
        outletFaces[size_t(i) * ny] += std::isnan(top[i]);
        outletFaces[size_t(i) * ny + ny - 1] += std::isnan(bottom[i]);
    }
    for (uint8_t cell : solid)
        solidCount += cell;
    for (const Band& band : scene.inflows)
        if (band.pours)
            pouringBands.push_back(band);
    for (const SolidDisc& disc : scene.discs)
        if (disc.cut)
            cutDiscs.push_back(disc);
    if (cutDiscs.empty())
        return;
    for (int component = 0; component < 2; ++component) {
        const uint32_t lines = component == 0 ? nx + 1 : nx, length = component == 0 ? ny : ny + 1;
        cutOpen[component].assign(size_t(lines) * length, 1.0);
        cutInside[component].assign(size_t(lines) * length, 0);
        for (uint32_t i = 0; i < lines; ++i) {
            for (uint32_t j = 0; j < length; ++j) {
                // u's samples on the lines x = i, v's on y = j.
                cutInside[component][faceIndex(component, i, j)] =
                    insideCutDisc(i + (component == 0 ? 0.0 : 0.5), j + (component == 0 ? 0.5 : 0.0));
                const bool border = component == 0 ? i == 0 || i == nx : j == 0 || j == ny;
                if (border)
                    continue;
                const double open = openPart(cutDiscs, component, i, j);
                cutOpen[component][faceIndex(component, i, j)] = open;
                if (open == 0.0)
                    cutShut[component].push_back(uint32_t(faceIndex(component, i, j)));
            }
        }
    }
}

double Domain::aperture(int component, uint32_t i, uint32_t j) const
{
    // The cells on either side, where the grid has them.
    const bool solidBeside = component == 0 ? (i > 0 && isSolid(i - 1, j)) || (i < nx && isSolid(i, j))
                                            : (j > 0 && isSolid(i, j - 1)) || (j < ny && isSolid(i, j));
    if (solidBeside)
        return 0.0;
    if (!cutsCells())
        return 1.0;
    return cutOpen[component][faceIndex(component, i, j)];
}

std::vector<std::vector<uint32_t>> Domain::closedParts() const
{
    std::vector<std::vector<uint32_t>> parts;
    std::vector<uint8_t> reached(solid);  // a solid cell belongs to no part
    std::vector<uint32_t> waiting;
    for (uint32_t start = 0; start < nx * ny; ++start) {
        if (reached[start])
            continue;
        reached[start] = 1;
        std::vector<uint32_t> part;
        bool open = false;
        waiting.assign(1, start);
        while (!waiting.empty()) {
            const uint32_t k = waiting.back();
            waiting.pop_back();
            part.push_back(k);
            open = open || outletFaces[k] > 0;
            const uint32_t i = k / ny, j = k % ny;
            auto join = [&](bool inside, int component, uint32_t fi, uint32_t fj, uint32_t neighbour) {
                if (inside && !reached[neighbour] && aperture(component, fi, fj) > 0.0) {
                    reached[neighbour] = 1;
                    waiting.push_back(neighbour);
                }
            };
            join(i > 0, 0, i, j, k - ny);
            join(i + 1 < nx, 0, i + 1, j, k + ny);
            join(j > 0, 1, i, j, k - 1);
            join(j + 1 < ny, 1, i, j + 1, k + 1);
        }
        if (!open) {
            std::sort(part.begin(), part.end());
            parts.push_back(std::move(part));
        }
    }
    return parts;
}

bool Domain::shutByDiscs(uint32_t i, uint32_t j) const
{
    auto shut = [&](int component, uint32_t a, uint32_t b) {
        return cutOpen[component][faceIndex(component, a, b)] == 0.0;
    };
    return cutsCells() && shut(0, i, j) && shut(0, i + 1, j) && shut(1, i, j) && shut(1, i, j + 1);
}

VelocityField Domain::openFlow(const VelocityField& field) const
{
    VelocityField open(nx, ny, dx);
    for (int component = 0; component < 2; ++component) {
        const GridArray& from = field.component(component);
        GridArray& into = open.component(component);
        for (uint32_t i = 0; i < from.extent[0]; ++i)
            for (uint32_t j = 0; j < from.extent[1]; ++j)
                into.at(i, j) = aperture(component, i, j) * from.at(i, j);
    }
    return open;
}

bool Domain::insideCutDisc(double cx, double cy) const
{
    for (const SolidDisc& d : cutDiscs)
        if ((cx - d.centreX) * (cx - d.centreX) + (cy - d.centreY) * (cy - d.centreY) < d.radius * d.radius)
            return true;
    return false;
}

double Domain::distanceToCutSurface(double cx, double cy, int axis, int direction, double reach) const
{
    double nearest = reach;
    for (const SolidDisc& d : cutDiscs) {
        // Where the line through the point along the axis enters the disc.
        const double along = axis == 0 ? cx : cy, across = axis == 0 ? cy - d.centreY : cx - d.centreX;
        if (std::fabs(across) >= d.radius)
            continue;
        const double half = std::sqrt(d.radius * d.radius - across * across);
        const double centre = axis == 0 ? d.centreX : d.centreY;
        const double entry = direction > 0 ? centre - half - along : along - (centre + half);
        if (entry >= 0.0)
            nearest = std::min(nearest, entry);
    }
    return nearest;
}

bool Domain::atOpening(uint32_t i, uint32_t j) const
{
    return (i == 0 && border[int(Side::left)][j] != 0.0) || (i == nx - 1 && border[int(Side::right)][j] != 0.0) ||
           (j == 0 && border[int(Side::top)][i] != 0.0) || (j == ny - 1 && border[int(Side::bottom)][i] != 0.0);
}

bool Domain::heldFace(int component, uint32_t i, uint32_t j) const
{
    if (component == 0) {
        if (i == 0 || i == nx)
            return !std::isnan(border[int(i == 0 ? Side::left : Side::right)][j]);
        return aperture(0, i, j) == 0.0;
    }
    if (j == 0 || j == ny)
        return !std::isnan(border[int(j == 0 ? Side::top : Side::bottom)][i]);
    // Inside the border: shut by a solid cell beside it or by the discs.
    return aperture(1, i, j) == 0.0;
}

std::vector<uint8_t> Domain::heldFaces(int component) const
{
    const uint32_t lines = component == 0 ? nx + 1 : nx, length = component == 0 ? ny : ny + 1;
    std::vector<uint8_t> held(size_t(lines) * length);
    for (uint32_t i = 0; i < lines; ++i)
        for (uint32_t j = 0; j < length; ++j)
            held[size_t(i) * length + j] = heldFace(component, i, j);
    return held;
}

double Domain::inflowDye(Side side, uint32_t cell, int channel) const
{
    for (const Band& band : pouringBands)
        if (band.range.side == side && band.range.contains(cell))
            return double(band.dye[channel]);
    return 0.0;
}

void Domain::holdFaces(VelocityField& field) const
{
    // Outlet faces (NaN) keep what the flow gives them.
    auto hold = [](double& face, double value) {
        if (!std::isnan(value))
            face = value;
    };
    for (uint32_t i = 0; i < nx; ++i) {
        hold(field.v.at(i, 0), border[int(Side::top)][i]);
        hold(field.v.at(i, ny), border[int(Side::bottom)][i]);
    }
    for (uint32_t j = 0; j < ny; ++j) {
        hold(field.u.at(0, j), border[int(Side::left)][j]);
        hold(field.u.at(nx, j), border[int(Side::right)][j]);
    }
    // Faces the cutting discs close whole, between cells that may both be open elsewhere.
    for (int component = 0; component < 2; ++component)
        for (uint32_t k : cutShut[component])
            field.component(component).data[k] = 0.0;
    if (!anySolid())
        return;
    // Solids are at rest: no flow through, along or inside them.
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            if (isSolid(i, j))
                stillCell(field, i, j);
}

void Domain::stillCell(VelocityField& field, uint32_t i, uint32_t j)
{
    field.u.at(i, j) = field.u.at(i + 1, j) = 0.0;
    field.v.at(i, j) = field.v.at(i, j + 1) = 0.0;
}

bool Domain::solidAtCells(double cx, double cy) const
{
    return scene_sampling::solidAtCells(solid.data(), nx, ny, cx, cy);
}

bool Domain::setSolid(uint32_t i, uint32_t j, bool makeSolid)
{
    if (i >= nx || j >= ny || atOpening(i, j) || (!makeSolid && isSolid(i, j) && shutByDiscs(i, j)))
        return false;
    uint8_t& cell = solid[size_t(i) * ny + j];
    if (cell != uint8_t(makeSolid)) {
        cell = uint8_t(makeSolid);
        solidCount = makeSolid ? solidCount + 1 : solidCount - 1;
        ++revision;
    }
    return true;
}
