#include "sim/liquid/level_set.h"

#include "parallel/thread_pool.h"
#include "sim/grid/hypotenuse.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// How near the area under the surface is held to its target, as a share.
constexpr double heldArea = 1e-4;

// The level set of particles near a point (Zhu and Bridson 2005): the
// distance from the point to the particles' mean position near it, weighed
// by a kernel that falls to 0 at `reach`, less a radius. Averaging over a
// dozen particles smooths the particles' unevenness out of the surface.
double kernel(double distanceSquared, double reach)
{
    const double s = 1.0 - distanceSquared / (reach * reach);
    return s > 0.0 ? s * s * s : 0.0;
}

// The distance from (x, y) to the particles' weighted mean position near it,
// or a negative number where no particle is within reach.
template <typename EachParticle>
double distanceToMean(double x, double y, double reach, EachParticle eachParticle)
{
    double weight = 0.0, meanX = 0.0, meanY = 0.0;
    eachParticle([&](double px, double py) {
        const double w = kernel((px - x) * (px - x) + (py - y) * (py - y), reach);
        weight += w;
        meanX += w * px;
        meanY += w * py;
    });
    if (weight == 0.0)
        return -1.0;
    return hypotenuse(x - meanX / weight, y - meanY / weight);
}

}  // namespace

LevelSet::LevelSet(const Scene& scene, const Domain& domain)
    : scene(scene),
      domain(domain),
      dx(scene.cellSize),
      nx(scene.nx),
      ny(scene.ny),
      phi(scene.nx, scene.ny, scene.cellSize),
      radius(calibratedRadius())
{
}

double LevelSet::reach() const
{
    return 1.5 * dx;
}

double LevelSet::calibratedRadius() const
{
    // Still liquid seeded on the lattice below the face y = 0 (down): its
    // surface, between the cell centres half a cell above and below, lies
    // on the face when the radius is the mean of their two distances.
    const double part = dx / particlesPerSide;
    auto lattice = [&](auto visit) {
        for (int m = -4 * particlesPerSide; m < 4 * particlesPerSide; ++m)
            for (int n = 0; n < 4 * particlesPerSide; ++n)
                visit((m + 0.5) * part, (n + 0.5) * part);
    };
    const double centreX = 0.5 * dx;
    const double above = distanceToMean(centreX, -0.5 * dx, reach(), lattice);
    const double below = distanceToMean(centreX, 0.5 * dx, reach(), lattice);
    return 0.5 * (above + below);
}

std::vector<LiquidPoint> LevelSet::particlesAndMirrors(const std::vector<LiquidParticle>& particles) const
{
    // The box's walls and the solids mirror the particles near them, or the
    // surface would bend down along each wall and around each solid, and
    // the liquid beside them would be taken for its surface.
    const double reach = this->reach(), width = nx * dx, height = ny * dx;
    const int cellsAround = int(std::ceil(reach / dx));
    std::vector<LiquidPoint> points;
    points.reserve(particles.size() * 2);
    for (const LiquidParticle& p : particles) {
        const double px = p.x, py = p.y;
        const double xs[2] = {px, px < reach ? -px : px > width - reach ? 2.0 * width - px : px};
        const double ys[2] = {py, py < reach ? -py : py > height - reach ? 2.0 * height - py : py};
        for (int m = 0; m < (xs[1] != px ? 2 : 1); ++m)
            for (int n = 0; n < (ys[1] != py ? 2 : 1); ++n)
                points.push_back({xs[m], ys[n]});
        if (domain.anySolid()) {
            // Across the face of the nearest solid cell each way along each axis.
            const int i = int(cellAlong(px, dx, nx)), j = int(cellAlong(py, dx, ny));
            for (int axis = 0; axis < 2; ++axis)
                for (int direction = -1; direction <= 1; direction += 2)
                    for (int cellsOut = 1; cellsOut <= cellsAround; ++cellsOut) {
                        const int ni = axis == 0 ? i + direction * cellsOut : i, nj = axis == 1 ? j + direction * cellsOut : j;
                        if (ni < 0 || nj < 0 || ni >= int(nx) || nj >= int(ny))
                            break;
                        if (!domain.isSolid(uint32_t(ni), uint32_t(nj)))
                            continue;
                        const double face = ((axis == 0 ? ni : nj) + (direction < 0 ? 1 : 0)) * dx;
                        const double along = axis == 0 ? px : py;
                        if (std::fabs(along - face) < reach)
                            points.push_back(axis == 0 ? LiquidPoint{2.0 * face - px, py} : LiquidPoint{px, 2.0 * face - py});
                        break;
                    }
        }
        // Across the surface of a disc that cuts cells, along its radius.
        for (const SolidDisc& disc : scene.discs) {
            if (!disc.cut)
                continue;
            const double cx = disc.centreX * dx, cy = disc.centreY * dx, r = disc.radius * dx;
            const double distance = hypotenuse(px - cx, py - cy);
            if (distance > r && distance - r < reach && 2.0 * r > distance) {
                const double inward = (2.0 * r - distance) / distance;
                points.push_back({cx + inward * (px - cx), cy + inward * (py - cy)});
            }
        }
    }
    return points;
}

void LevelSet::build(const std::vector<LiquidParticle>& particles)
{
    // The points of each cell, to look up those near a point.
    const std::vector<LiquidPoint> points = particlesAndMirrors(particles);
    // Cell c's points are sorted[firstIn[c]] to sorted[firstIn[c + 1]], in
    // the order of `points`.
    const size_t cells = size_t(nx) * ny;
    std::vector<uint32_t> cellOf(points.size());
    std::vector<uint32_t> firstIn(cells + 1, 0);
    for (uint32_t k = 0; k < points.size(); ++k) {
        cellOf[k] = cellAlong(points[k].x, dx, nx) * ny + cellAlong(points[k].y, dx, ny);
        ++firstIn[cellOf[k] + 1];
    }
    for (size_t c = 0; c < cells; ++c)
        firstIn[c + 1] += firstIn[c];
    std::vector<uint32_t> sorted(points.size());
    {
        std::vector<uint32_t> next(firstIn.begin(), firstIn.end() - 1);
        for (uint32_t k = 0; k < points.size(); ++k)
            sorted[next[cellOf[k]]++] = k;
    }
    const double reach = this->reach();
    const uint32_t cellsAround = uint32_t(std::ceil(reach / dx));
    // Of the cells around a centre, those whose nearest point is beyond
    // reach by a clear margin hold no point that counts (a point beyond
    // the border, filed in a cell at it, lies farther still): not read.
    const uint32_t side = 2 * cellsAround + 1;
    std::vector<uint8_t> mayReach(size_t(side) * side);
    for (uint32_t a = 0; a < side; ++a)
        for (uint32_t b = 0; b < side; ++b) {
            auto gap = [&](uint32_t offset) {
                return std::max(0.0, std::fabs(double(offset) - double(cellsAround)) - 0.5) * dx;
            };
            mayReach[size_t(a) * side + b] = gap(a) * gap(a) + gap(b) * gap(b) < 1.01 * reach * reach;
        }
    // Where no particle is within reach a centre is in the air, as far as
    // the level set needs to know.
    const double far = reach;
    // Each centre's value is its own, and as much work as some sixteen
    // cells of a plain loop: the columns go over the threads.
    parallel::forLines(nx, ny * 16, [&](size_t first, size_t last) {
        for (uint32_t i = uint32_t(first); i < last; ++i)
            for (uint32_t j = 0; j < ny; ++j) {
                const double cx = (i + 0.5) * dx, cy = (j + 0.5) * dx;
                const double distance = distanceToMean(cx, cy, reach, [&](auto visit) {
                    for (uint32_t a = i > cellsAround ? i - cellsAround : 0; a <= std::min(i + cellsAround, nx - 1); ++a)
                        for (uint32_t b = j > cellsAround ? j - cellsAround : 0; b <= std::min(j + cellsAround, ny - 1);
                             ++b) {
                            if (!mayReach[size_t(a + cellsAround - i) * side + (b + cellsAround - j)])
                                continue;
                            for (uint32_t n = firstIn[size_t(a) * ny + b]; n < firstIn[size_t(a) * ny + b + 1]; ++n)
                                visit(points[sorted[n]].x, points[sorted[n]].y);
                        }
                });
                phi.values.at(i, j) = distance < 0.0 ? far : std::min(distance - radius, far);
            }
    });
}

void LevelSet::holdArea(double target)
{
    // The level set misses liquid too thin for its kernel (a sheet, a
    // splash, a drop) and sees a little less where particles crowd, while
    // the particles themselves are never lost. So the surface is moved out
    // or in, the same everywhere, until the area under it is the particles'
    // - by Newton's rule on the area against the move, whose slope is the
    // surface's length - at most a quarter of a cell in a tick.
    const double limit = 0.25 * dx, probe = 0.01 * dx;
    const AroundBounds bounds = boundsAround();
    auto areaUnder = [&](double shift) { return this->areaUnder(shift, &bounds); };
    double shift = 0.0;
    for (int round = 0; round < 2; ++round) {
        const double now = areaUnder(shift);
        const double length = (areaUnder(shift + probe) - now) / probe;
        if (!(length > 0.0))
            break;
        shift = std::clamp(shift + (target - now) / length, -limit, limit);
    }
    // Where a spray's drops come and go the area is no smooth function of
    // the move, and Newton's steps may land far from it: the area grows
    // with the move, so halving the interval that holds the target finds it.
    if (std::fabs(areaUnder(shift) - target) > heldArea * target) {
        double low = -limit, high = limit;
        for (int round = 0; round < 40 && high - low > 1e-6 * dx; ++round) {
            const double middle = 0.5 * (low + high);
            (areaUnder(middle) < target ? low : high) = middle;
        }
        shift = 0.5 * (low + high);
    }
    surfaceShift = shift;
    for (size_t k = 0; k < phi.values.size(); ++k)
        phi.values.data[k] -= shift;
}

namespace {

// The part of the triangle a, b, c (length units) where a function linear
// over it, with the values fa, fb, fc at its corners, is below 0: none, one
// triangle or two, each handed to visit.
template <typename Visit>
void negativePart(const LiquidPoint& a, const LiquidPoint& b, const LiquidPoint& c, double fa, double fb, double fc,
                  Visit& visit)
{
    const LiquidPoint corners[3] = {a, b, c};
    const double values[3] = {fa, fb, fc};
    LiquidPoint polygon[4];
    int count = 0;
    for (int k = 0; k < 3; ++k) {
        const int next = (k + 1) % 3;
        if (values[k] < 0.0)
            polygon[count++] = corners[k];
        if ((values[k] < 0.0) != (values[next] < 0.0)) {
            const double t = values[k] / (values[k] - values[next]);
            polygon[count++] = {corners[k].x + t * (corners[next].x - corners[k].x),
                                corners[k].y + t * (corners[next].y - corners[k].y)};
        }
    }
    for (int k = 1; k + 1 < count; ++k)
        visit(polygon[0], polygon[k], polygon[k + 1]);
}

}  // namespace

LevelSet::AroundBounds LevelSet::boundsAround() const
{
    AroundBounds bounds;
    bounds.least.resize(size_t(nx) * ny);
    bounds.largest.resize(size_t(nx) * ny);
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j) {
            double least = phi.values.at(i, j), largest = least;
            for (uint32_t a = i > 0 ? i - 1 : 0; a <= std::min(i + 1, nx - 1); ++a)
                for (uint32_t b = j > 0 ? j - 1 : 0; b <= std::min(j + 1, ny - 1); ++b) {
                    least = std::min(least, phi.values.at(a, b));
                    largest = std::max(largest, phi.values.at(a, b));
                }
            bounds.least[size_t(i) * ny + j] = least;
            bounds.largest[size_t(i) * ny + j] = largest;
        }
    return bounds;
}

template <typename Visit>
void LevelSet::visitTriangles(double sign, double shift, Visit&& visit, const AroundBounds* bounds) const
{
    // The level set taken as linear over triangles: each cell's four
    // quarters, between its centre, the middles of its sides and its
    // corners, where it is the mean of the centres around (the centres by
    // a wall stand for the wall too). Solid cells hold none. A cell whose
    // values around are all below 0 goes whole, as its two diagonal halves.
    auto at = [&](int64_t i, int64_t j) {
        return sign * (phi.values.at(uint32_t(std::clamp<int64_t>(i, 0, nx - 1)),
                                     uint32_t(std::clamp<int64_t>(j, 0, ny - 1))) -
                       shift);
    };
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j) {
            if (domain.isSolid(i, j))
                continue;
            // A value less `shift` is below 0 exactly where the value is below `shift`.
            const size_t k = size_t(i) * ny + j;
            bool inside = bounds && bounds->largest[k] < shift;
            bool outside = bounds && bounds->least[k] >= shift;
            // around[1 + si][1 + sj]: the value at the centre (i + si, j + sj).
            double around[3][3];
            if (!inside && !outside) {
                inside = outside = true;
                for (int si = -1; si <= 1; ++si)
                    for (int sj = -1; sj <= 1; ++sj) {
                        const double value = at(int64_t(i) + si, int64_t(j) + sj);
                        around[1 + si][1 + sj] = value;
                        inside = inside && value < 0.0;
                        outside = outside && value >= 0.0;
                    }
            }
            if (inside) {
                const LiquidPoint corners[4] = {{i * dx, j * dx}, {(i + 1) * dx, j * dx},
                                                {(i + 1) * dx, (j + 1) * dx}, {i * dx, (j + 1) * dx}};
                visit(corners[0], corners[1], corners[2]);
                visit(corners[0], corners[2], corners[3]);
                continue;
            }
            // No value below 0 around, and so none of their means either:
            // no part of the cell is below 0.
            if (outside)
                continue;
            const double centre = around[1][1];
            const LiquidPoint middle{(i + 0.5) * dx, (j + 0.5) * dx};
            for (int si = -1; si <= 1; si += 2)
                for (int sj = -1; sj <= 1; sj += 2) {
                    const double side = 0.5 * (centre + around[1 + si][1]);
                    const double other = 0.5 * (centre + around[1][1 + sj]);
                    const double corner =
                        0.25 * (centre + around[1 + si][1] + around[1][1 + sj] + around[1 + si][1 + sj]);
                    const LiquidPoint sidePoint{middle.x + 0.5 * si * dx, middle.y};
                    const LiquidPoint otherPoint{middle.x, middle.y + 0.5 * sj * dx};
                    const LiquidPoint cornerPoint{middle.x + 0.5 * si * dx, middle.y + 0.5 * sj * dx};
                    negativePart(middle, sidePoint, cornerPoint, centre, side, corner, visit);
                    negativePart(middle, otherPoint, cornerPoint, centre, other, corner, visit);
                }
        }
}

std::vector<LiquidPoint> LevelSet::liquidTriangles() const
{
    return trianglesWhere(1.0);
}

std::vector<LiquidPoint> LevelSet::airTriangles() const
{
    return trianglesWhere(-1.0);
}

std::vector<LiquidPoint> LevelSet::trianglesWhere(double sign) const
{
    std::vector<LiquidPoint> triangles;
    visitTriangles(sign, 0.0, [&](const LiquidPoint& a, const LiquidPoint& b, const LiquidPoint& c) {
        triangles.insert(triangles.end(), {a, b, c});
    });
    return triangles;
}

double LevelSet::area() const
{
    return areaUnder(0.0);
}

double LevelSet::areaUnder(double shift, const AroundBounds* bounds) const
{
    double total = 0.0;
    visitTriangles(
        1.0, shift,
        [&](const LiquidPoint& a, const LiquidPoint& b, const LiquidPoint& c) {
            total += 0.5 * std::fabs((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y));
        },
        bounds);
    return total;
}

double LevelSet::surfaceInColumn(uint32_t i) const
{
    for (uint32_t j = 0; j + 1 < ny; ++j) {
        const double above = phi.values.at(i, j), below = phi.values.at(i, j + 1);
        if (above >= 0.0 && below < 0.0)
            return (j + 0.5 + above / (above - below)) * dx;
    }
    return phi.values.at(i, 0) < 0.0 ? 0.0 : std::numeric_limits<double>::quiet_NaN();
}

double LevelSet::surfaceAt(double x) const
{
    if (nx == 1)
        return surfaceInColumn(0);
    const double column = std::clamp(x / dx - 0.5, 0.0, double(nx - 1));
    const uint32_t i = std::min(uint32_t(column), nx - 2);
    const double share = column - i;
    return (1.0 - share) * surfaceInColumn(i) + share * surfaceInColumn(i + 1);
}
