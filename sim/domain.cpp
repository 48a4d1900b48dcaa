#include "sim/domain.h"

#include "sim/scene_sampling.h"

#include <cmath>
#include <limits>

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
        return isSolid(i - 1, j) || isSolid(i, j);
    }
    if (j == 0 || j == ny)
        return !std::isnan(border[int(j == 0 ? Side::top : Side::bottom)][i]);
    return isSolid(i, j - 1) || isSolid(i, j);
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
    if (i >= nx || j >= ny || atOpening(i, j))
        return false;
    uint8_t& cell = solid[size_t(i) * ny + j];
    if (cell != uint8_t(makeSolid)) {
        cell = uint8_t(makeSolid);
        solidCount = makeSolid ? solidCount + 1 : solidCount - 1;
        ++revision;
    }
    return true;
}
