#include "sim/liquid/liquid.h"

#include "sim/solve/five_point_system.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

// A fixed stream of numbers in [0, 1), the same on every build (splitmix64).
class Jitter {
public:
    explicit Jitter(uint64_t seed = 0x2545F4914F6CDD1Dull) : state(seed) {}
    double next()
    {
        state += 0x9E3779B97F4A7C15ull;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return double(z >> 11) * 0x1.0p-53;
    }

private:
    uint64_t state;
};

// How far a seed may lie from the middle of its part of a cell, as a share of
// that part's side: enough to break the lattice, little enough that the
// level set's surface over a still liquid stays flat.
constexpr double jitterShare = 0.1;
// How much of a cell's crowding (its particles over those it was seeded
// with, less one) the projection spreads in a tick.
constexpr double spreadRate = 0.1;
// The nearest a surface may come to a cell centre, as a share of the way to
// the next one, in the ghost fluid's coefficient (1 / share).
constexpr double nearestSurface = 0.01;

// The bilinear weights of the four samples of a component around a point and
// their gradients, on the component's own lattice (clamped to it).
struct Stencil {
    uint32_t a[2], b[2];
    double w[2][2], dwdx[2][2], dwdy[2][2];
};

Stencil stencilOf(int component, double x, double y, double dx, uint32_t nx, uint32_t ny)
{
    // The component's samples: u at (i, j + 1/2), v at (i + 1/2, j), in cells.
    const uint32_t lastA = component == 0 ? nx : nx - 1, lastB = component == 0 ? ny - 1 : ny;
    double ga = x / dx - (component == 0 ? 0.0 : 0.5);
    double gb = y / dx - (component == 0 ? 0.5 : 0.0);
    ga = std::clamp(ga, 0.0, double(lastA));
    gb = std::clamp(gb, 0.0, double(lastB));
    const uint32_t a0 = std::min(uint32_t(ga), lastA > 0 ? lastA - 1 : 0);
    const uint32_t b0 = std::min(uint32_t(gb), lastB > 0 ? lastB - 1 : 0);
    const double fa = ga - a0, fb = gb - b0;
    Stencil s;
    s.a[0] = a0, s.a[1] = std::min(a0 + 1, lastA);
    s.b[0] = b0, s.b[1] = std::min(b0 + 1, lastB);
    const double wa[2] = {1.0 - fa, fa}, wb[2] = {1.0 - fb, fb};
    const double da[2] = {-1.0 / dx, 1.0 / dx};
    for (int p = 0; p < 2; ++p)
        for (int q = 0; q < 2; ++q) {
            s.w[p][q] = wa[p] * wb[q];
            s.dwdx[p][q] = da[p] * wb[q];
            s.dwdy[p][q] = wa[p] * da[q];
        }
    return s;
}

}  // namespace

LiquidSolver::LiquidSolver(const Scene& scene, const Domain& domain, const LiquidStart& start)
    : scene(scene),
      domain(domain),
      dx(scene.cellSize),
      nx(scene.nx),
      ny(scene.ny),
      phi(scene.nx, scene.ny, scene.cellSize),
      radius(calibratedRadius())
{
    for (const Band& band : scene.inflows)
        for (uint32_t cell = band.range.first; cell <= band.range.last; ++cell)
            taps.push_back({band.range.side, cell, band.speedAt(cell)});
    // What a cell's crowding comes to where the liquid is as seeded, every
    // seed outside the solids: by the walls and the solids it is less.
    const double part = dx / particlesPerSide;
    std::vector<LiquidPoint> lattice;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            for (int p = 0; p < particlesPerSide; ++p)
                for (int q = 0; q < particlesPerSide; ++q)
                    if (!domain.solidAt(i * dx + (p + 0.5) * part, j * dx + (q + 0.5) * part))
                        lattice.push_back({i * dx + (p + 0.5) * part, j * dx + (q + 0.5) * part});
    seededCrowding = crowdingOf(lattice);
    seed(start);
    buildLevelSet();
    startArea = area();
    startCount = particleList.size();
    holdsArea = true;
}

double LiquidSolver::areaPerParticle() const
{
    // Without liquid at the start, a particle stands for its share of a cell.
    return startCount > 0 ? startArea / double(startCount) : dx * dx / (particlesPerSide * particlesPerSide);
}

double LiquidSolver::particleArea() const
{
    return areaPerParticle() * double(particleList.size());
}

LiquidStart LiquidSolver::startOf(const Scene& scene)
{
    const std::vector<LiquidRegion> regions = scene.liquid;
    auto regionAt = [regions](double x, double y) -> const LiquidRegion* {
        for (const LiquidRegion& region : regions)
            if (region.contains(x, y))
                return &region;
        return nullptr;
    };
    return {[regionAt](double x, double y) { return regionAt(x, y) != nullptr; },
            [regionAt](double x, double y) {
                const LiquidRegion* region = regionAt(x, y);
                return region ? Velocity{region->velocityX, region->velocityY} : Velocity{0.0, 0.0};
            }};
}

void LiquidSolver::addVelocity(const std::function<Velocity(double x, double y)>& added)
{
    for (LiquidParticle& p : particleList) {
        const Velocity more = added(p.x, p.y);
        p.u += more.x;
        p.v += more.y;
    }
}

void LiquidSolver::pourAt(double x, double y, double reach, Velocity velocity)
{
    std::vector<uint8_t> held(size_t(nx) * ny, 0);
    for (const LiquidParticle& p : particleList)
        held[size_t(cellAlong(p.x, nx)) * ny + cellAlong(p.y, ny)] = 1;
    const double part = dx / particlesPerSide;
    const uint32_t fromI = cellAlong(x - reach, nx), toI = cellAlong(x + reach, nx);
    const uint32_t fromJ = cellAlong(y - reach, ny), toJ = cellAlong(y + reach, ny);
    for (uint32_t i = fromI; i <= toI; ++i)
        for (uint32_t j = fromJ; j <= toJ; ++j) {
            const double cx = (i + 0.5) * dx, cy = (j + 0.5) * dx;
            if (held[size_t(i) * ny + j] || domain.isSolid(i, j) || std::hypot(cx - x, cy - y) > reach ||
                particleList.size() + particlesPerSide * particlesPerSide > largestParticleCount)
                continue;
            Jitter jitter(0x9E3779B97F4A7C15ull * (ticksRun + 1) ^ ((size_t(i) * ny + j) * 0xBF58476D1CE4E5B9ull));
            for (int p = 0; p < particlesPerSide; ++p)
                for (int q = 0; q < particlesPerSide; ++q) {
                    const double px = i * dx + (p + 0.5 + jitterShare * (jitter.next() - 0.5)) * part;
                    const double py = j * dx + (q + 0.5 + jitterShare * (jitter.next() - 0.5)) * part;
                    if (!domain.solidAt(px, py))
                        particleList.push_back({px, py, velocity.x, velocity.y, {0.0, 0.0}, {0.0, 0.0}});
                }
        }
}

void LiquidSolver::setParticles(std::vector<LiquidParticle> particles, uint64_t ticks)
{
    particleList = std::move(particles);
    ticksRun = ticks;
    buildLevelSet();
}

void LiquidSolver::seed(const LiquidStart& start)
{
    Jitter jitter;
    const double part = dx / particlesPerSide;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            for (int p = 0; p < particlesPerSide; ++p)
                for (int q = 0; q < particlesPerSide; ++q) {
                    // Both draws are taken whether the seed is kept or not:
                    // a particle's jitter depends on its place alone.
                    const double x = i * dx + (p + 0.5 + jitterShare * (jitter.next() - 0.5)) * part;
                    const double y = j * dx + (q + 0.5 + jitterShare * (jitter.next() - 0.5)) * part;
                    if (!start.inside(x, y) || domain.solidAt(x, y))
                        continue;
                    const Velocity moving = start.velocity ? start.velocity(x, y) : Velocity{0.0, 0.0};
                    particleList.push_back({x, y, moving.x, moving.y, {0.0, 0.0}, {0.0, 0.0}});
                }
}

void LiquidSolver::tick(VelocityField& velocity, ScalarField& pressure)
{
    const double dt = scene.timeStep;
    std::vector<uint8_t> known[2];
    particlesToGrid(velocity, known);
    extend(velocity, known, 2);
    buildLevelSet();
    if (scene.viscosity > 0.0)
        applyViscosity(velocity, known);
    // Gravity on every face; the walls and solids hold theirs.
    for (size_t k = 0; k < velocity.u.size(); ++k)
        velocity.u.data[k] += dt * scene.gravityX;
    for (size_t k = 0; k < velocity.v.size(); ++k)
        velocity.v.data[k] += dt * scene.gravityY;
    domain.holdFaces(velocity);
    project(velocity, pressure);
    // The faces the projection set are those beside a liquid cell; the rest
    // take the velocity carried out from them, as far as a particle may go
    // in a tick and then some.
    for (int c = 0; c < 2; ++c) {
        const GridArray& component = velocity.component(c);
        known[c].assign(component.size(), 0);
        for (uint32_t a = 0; a < component.extent[0]; ++a)
            for (uint32_t b = 0; b < component.extent[1]; ++b) {
                // The cells on either side of face (a, b).
                const bool first = c == 0 ? a > 0 && liquidCell(a - 1, b) : b > 0 && liquidCell(a, b - 1);
                const bool second = c == 0 ? a < nx && liquidCell(a, b) : b < ny && liquidCell(a, b);
                known[c][size_t(a) * component.extent[1] + b] = first || second;
            }
    }
    extend(velocity, known, 3);
    domain.holdFaces(velocity);
    gridToParticles(velocity);
    moveParticles(velocity);
    pour();
    ++ticksRun;
}

void LiquidSolver::pour()
{
    const double part = dx / particlesPerSide, dt = scene.timeStep, width = nx * dx, height = ny * dx;
    for (size_t t = 0; t < taps.size(); ++t) {
        const TapFace& tap = taps[t];
        // What the face has poured, in rows of particles: a row enters once
        // the liquid behind it has passed the face whole, and lies in the
        // middle of the part it has come in since. The count follows from
        // the tick alone, so a resumed run pours the same rows.
        const double before = double(ticksRun) * tap.speed * dt / part;
        const double now = double(ticksRun + 1) * tap.speed * dt / part;
        for (uint64_t row = uint64_t(before); row < uint64_t(now); ++row) {
            const double depth = (now - double(row) - 0.5) * part;
            Jitter jitter(0x9E3779B97F4A7C15ull * (t + 1) ^ (row * 0xBF58476D1CE4E5B9ull));
            for (int p = 0; p < particlesPerSide && particleList.size() < largestParticleCount; ++p) {
                const double along = tap.cell * dx + (p + 0.5 + jitterShare * (jitter.next() - 0.5)) * part;
                LiquidParticle particle{along, along, 0.0, 0.0, {0.0, 0.0}, {0.0, 0.0}};
                switch (tap.side) {
                case Side::left: particle.x = depth, particle.u = tap.speed; break;
                case Side::right: particle.x = width - depth, particle.u = -tap.speed; break;
                case Side::top: particle.y = depth, particle.v = tap.speed; break;
                case Side::bottom: particle.y = height - depth, particle.v = -tap.speed; break;
                }
                particleList.push_back(particle);
            }
        }
    }
}

void LiquidSolver::particlesToGrid(VelocityField& velocity, std::vector<uint8_t> known[2]) const
{
    for (int c = 0; c < 2; ++c) {
        GridArray& component = velocity.component(c);
        std::vector<double> sum(component.size(), 0.0), weights(component.size(), 0.0);
        const uint32_t length = component.extent[1];
        for (const LiquidParticle& p : particleList) {
            const Stencil s = stencilOf(c, p.x, p.y, dx, nx, ny);
            const double value = c == 0 ? p.u : p.v;
            const double* gradient = c == 0 ? p.du : p.dv;
            for (int e = 0; e < 2; ++e)
                for (int f = 0; f < 2; ++f) {
                    const uint32_t a = s.a[e], b = s.b[f];
                    // Where the sample lies: u's at (a, b + 1/2), v's at (a + 1/2, b), in cells.
                    const double sx = (a + (c == 0 ? 0.0 : 0.5)) * dx, sy = (b + (c == 0 ? 0.5 : 0.0)) * dx;
                    const double w = s.w[e][f];
                    const size_t k = size_t(a) * length + b;
                    sum[k] += w * (value + gradient[0] * (sx - p.x) + gradient[1] * (sy - p.y));
                    weights[k] += w;
                }
        }
        known[c].assign(component.size(), 0);
        for (size_t k = 0; k < component.size(); ++k) {
            known[c][k] = weights[k] > 0.0;
            component.data[k] = weights[k] > 0.0 ? sum[k] / weights[k] : 0.0;
        }
    }
}

namespace {

// The level set of particles near a point (Zhu and Bridson 2005): the
// distance from the point to the particles' mean position near it, weighed
// by a kernel that falls to 0 at `reach`, less a radius. Averaging over a
// dozen particles smooths the jitter of the seeds out of the surface.
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
    return std::hypot(x - meanX / weight, y - meanY / weight);
}

}  // namespace

double LiquidSolver::levelSetReach() const
{
    return 1.5 * dx;
}

double LiquidSolver::calibratedRadius() const
{
    // Still liquid seeded without jitter below the face y = 0 (down): its
    // surface, between the cell centres half a cell above and below, lies
    // on the face when the radius is the mean of their two distances.
    const double part = dx / particlesPerSide;
    auto lattice = [&](auto visit) {
        for (int m = -4 * particlesPerSide; m < 4 * particlesPerSide; ++m)
            for (int n = 0; n < 4 * particlesPerSide; ++n)
                visit((m + 0.5) * part, (n + 0.5) * part);
    };
    const double centreX = 0.5 * dx;
    const double above = distanceToMean(centreX, -0.5 * dx, levelSetReach(), lattice);
    const double below = distanceToMean(centreX, 0.5 * dx, levelSetReach(), lattice);
    return 0.5 * (above + below);
}

std::vector<LiquidPoint> LiquidSolver::particlesAndMirrors() const
{
    // The box's walls and the solids mirror the particles near them, or the
    // surface would bend down along each wall and around each solid, and
    // the liquid beside them would be taken for its surface.
    const double reach = levelSetReach(), width = nx * dx, height = ny * dx;
    const int cellsAround = int(std::ceil(reach / dx));
    std::vector<LiquidPoint> points;
    points.reserve(particleList.size() * 2);
    for (const LiquidParticle& p : particleList) {
        const double px = p.x, py = p.y;
        const double xs[2] = {px, px < reach ? -px : px > width - reach ? 2.0 * width - px : px};
        const double ys[2] = {py, py < reach ? -py : py > height - reach ? 2.0 * height - py : py};
        for (int m = 0; m < (xs[1] != px ? 2 : 1); ++m)
            for (int n = 0; n < (ys[1] != py ? 2 : 1); ++n)
                points.push_back({xs[m], ys[n]});
        if (domain.anySolid()) {
            // Across the face of the nearest solid cell each way along each axis.
            const int i = int(cellAlong(px, nx)), j = int(cellAlong(py, ny));
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
            const double distance = std::hypot(px - cx, py - cy);
            if (distance > r && distance - r < reach && 2.0 * r > distance) {
                const double inward = (2.0 * r - distance) / distance;
                points.push_back({cx + inward * (px - cx), cy + inward * (py - cy)});
            }
        }
    }
    return points;
}

void LiquidSolver::buildLevelSet()
{
    // The points of each cell, to look up those near a point.
    const std::vector<LiquidPoint> points = particlesAndMirrors();
    std::vector<std::vector<uint32_t>> inCell(size_t(nx) * ny);
    for (uint32_t k = 0; k < points.size(); ++k)
        inCell[size_t(cellAlong(points[k].x, nx)) * ny + cellAlong(points[k].y, ny)].push_back(k);
    const double reach = levelSetReach();
    const uint32_t cellsAround = uint32_t(std::ceil(reach / dx));
    // Where no particle is within reach a centre is in the air, as far as
    // the level set needs to know.
    const double far = reach;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j) {
            const double cx = (i + 0.5) * dx, cy = (j + 0.5) * dx;
            const double distance = distanceToMean(cx, cy, reach, [&](auto visit) {
                for (uint32_t a = i > cellsAround ? i - cellsAround : 0; a <= std::min(i + cellsAround, nx - 1); ++a)
                    for (uint32_t b = j > cellsAround ? j - cellsAround : 0; b <= std::min(j + cellsAround, ny - 1);
                         ++b)
                        for (uint32_t k : inCell[size_t(a) * ny + b])
                            visit(points[k].x, points[k].y);
            });
            phi.values.at(i, j) = distance < 0.0 ? far : std::min(distance - radius, far);
        }
    if (holdsArea)
        holdArea();
}

void LiquidSolver::holdArea()
{
    // The level set misses liquid too thin for its kernel (a sheet, a
    // splash, a drop) and sees a little less where particles crowd, while
    // the particles themselves are never lost. So the surface is moved out
    // or in, the same everywhere, until the area under it is the particles'
    // - by Newton's rule on the area against the move, whose slope is the
    // surface's length - at most a quarter of a cell in a tick.
    const double target = particleArea(), limit = 0.25 * dx, probe = 0.01 * dx;
    double shift = 0.0;
    for (int round = 0; round < 2; ++round) {
        const double now = areaUnder(shift);
        const double length = (areaUnder(shift + probe) - now) / probe;
        if (!(length > 0.0))
            break;
        shift = std::clamp(shift + (target - now) / length, -limit, limit);
    }
    surfaceShift = shift;
    for (size_t k = 0; k < phi.values.size(); ++k)
        phi.values.data[k] -= shift;
}

void LiquidSolver::project(VelocityField& velocity, ScalarField& pressure)
{
    const double dt = scene.timeStep, density = scene.density;
    // The share of the way from a liquid centre to an air one at which the
    // surface lies, by the level set between them.
    auto share = [&](uint32_t i, uint32_t j, uint32_t ni, uint32_t nj) {
        const double inside = phi.values.at(i, j), outside = phi.values.at(ni, nj);
        return std::max(nearestSurface, inside / (inside - outside));
    };
    // At the surface the pressure balances the viscous normal stress,
    // 2 rho nu n.(grad u).n, n the level set's normal - 0 without viscosity.
    // It is what damps a wave on a viscous liquid.
    const std::vector<double> surfacePressure = viscousSurfacePressure(velocity);
    auto atSurface = [&](uint32_t i, uint32_t j) {
        return surfacePressure.empty() ? 0.0 : surfacePressure[size_t(i) * ny + j];
    };
    // Beyond a wall or into a solid nothing flows but what the face is held
    // at; into the air the pressure falls to that at the surface.
    auto rowAt = [&](uint32_t i, uint32_t j) {
        FivePointRow row;
        if (!liquidCell(i, j)) {
            row.diagonal = 1.0;
            return row;
        }
        // Each face weighs by the part of it open to the flow (0 beside a
        // solid, less than 1 where a disc cuts it).
        auto neighbour = [&](bool exists, uint32_t ni, uint32_t nj, double open, double& coefficient) {
            if (!exists || open == 0.0)
                return;
            if (liquidCell(ni, nj)) {
                coefficient = -open;
                row.diagonal += open;
            } else {
                row.diagonal += open / share(i, j, ni, nj);
            }
        };
        neighbour(i > 0, i - 1, j, domain.aperture(0, i, j), row.beforeA);
        neighbour(j > 0, i, j - 1, domain.aperture(1, i, j), row.beforeB);
        neighbour(j + 1 < ny, i, j + 1, domain.aperture(1, i, j + 1), row.afterB);
        neighbour(i + 1 < nx, i + 1, j, domain.aperture(0, i + 1, j), row.afterA);
        // Beyond an outlet the pressure is 0.
        row.diagonal += domain.outletFaceCounts()[size_t(i) * ny + j];
        if (row.diagonal == 0.0)
            row.diagonal = 1.0;  // shut in by the discs
        return row;
    };
    // Particles carried through a velocity that is divergence-free only at
    // the faces drift together and apart, and the level set then sees less
    // liquid or more: a cell holding more particles than it was seeded with
    // is given a little divergence, to spread them out over a few ticks
    // (and one holding fewer, deep in the liquid, a little convergence).
    std::vector<LiquidPoint> places(particleList.size());
    for (size_t k = 0; k < particleList.size(); ++k)
        places[k] = {particleList[k].x, particleList[k].y};
    const std::vector<double> crowding = crowdingOf(places);
    std::vector<double> rhs(size_t(nx) * ny, 0.0);
    const double scale = density * dx / dt;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            if (liquidCell(i, j)) {
                const size_t k = size_t(i) * ny + j;
                // Deep in the liquid a sparse cell is drawn together too; by
                // the surface a cell may rightly hold fewer.
                const bool deep = (i == 0 || liquidCell(i - 1, j)) && (i + 1 == nx || liquidCell(i + 1, j)) &&
                                  (j == 0 || liquidCell(i, j - 1)) && (j + 1 == ny || liquidCell(i, j + 1));
                const double excess = seededCrowding[k] > 0.0 ? crowding[k] / seededCrowding[k] - 1.0 : 0.0;
                const double spread = spreadRate * (deep ? excess : std::max(0.0, excess)) * dx / dt;
                rhs[k] = -scale * (domain.aperture(0, i + 1, j) * velocity.u.at(i + 1, j) -
                                   domain.aperture(0, i, j) * velocity.u.at(i, j) +
                                   domain.aperture(1, i, j + 1) * velocity.v.at(i, j + 1) -
                                   domain.aperture(1, i, j) * velocity.v.at(i, j) - spread);
                if (surfacePressure.empty())
                    continue;
                // The surface's pressure, carried to the right-hand side
                // from each face that crosses it.
                auto crossing = [&](bool exists, uint32_t ni, uint32_t nj, double open) {
                    if (exists && open > 0.0 && !liquidCell(ni, nj) && !domain.isSolid(ni, nj))
                        rhs[k] += open * atSurface(i, j) / share(i, j, ni, nj);
                };
                crossing(i > 0, i - 1, j, domain.aperture(0, i, j));
                crossing(j > 0, i, j - 1, domain.aperture(1, i, j));
                crossing(j + 1 < ny, i, j + 1, domain.aperture(1, i, j + 1));
                crossing(i + 1 < nx, i + 1, j, domain.aperture(0, i + 1, j));
            }
    std::vector<double> result(rhs.size(), 0.0);
    const LinearSolve solve{scene.tolerance, scene.iterationLimit, scene.preconditioner, true};
    solveOutcome = solve.solve(fastestFivePointSystem(nx, ny, rowAt), rhs, result);
    pressure.values.assign(result);
    // The gradient across each face beside a liquid cell: to the air cell's
    // ghost, the pressure carried on to 0 at the surface.
    const double factor = dt / (density * dx);
    auto difference = [&](uint32_t i, uint32_t j, uint32_t ni, uint32_t nj) {
        // The pressure at (ni, nj) less that at (i, j); one of them liquid.
        const bool here = liquidCell(i, j), there = liquidCell(ni, nj);
        if (here && there)
            return pressure.values.at(ni, nj) - pressure.values.at(i, j);
        if (here)
            return (atSurface(i, j) - pressure.values.at(i, j)) / share(i, j, ni, nj);
        return (pressure.values.at(ni, nj) - atSurface(ni, nj)) / share(ni, nj, i, j);
    };
    for (uint32_t i = 1; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            if ((liquidCell(i - 1, j) || liquidCell(i, j)) && domain.aperture(0, i, j) > 0.0)
                velocity.u.at(i, j) -= factor * difference(i - 1, j, i, j);
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 1; j < ny; ++j)
            if ((liquidCell(i, j - 1) || liquidCell(i, j)) && domain.aperture(1, i, j) > 0.0)
                velocity.v.at(i, j) -= factor * difference(i, j - 1, i, j);
    // A face that the cutting discs shut whole holds nothing: at rest, as the disc.
    for (int c = 0; c < 2 && domain.cutsCells(); ++c) {
        GridArray& component = velocity.component(c);
        for (uint32_t a = 0; a < component.extent[0]; ++a)
            for (uint32_t b = 0; b < component.extent[1]; ++b)
                if (domain.aperture(c, a, b) == 0.0)
                    component.at(a, b) = 0.0;
    }
    // An outlet's face beside liquid: to the 0 beyond it.
    for (uint32_t j = 0; j < ny; ++j) {
        if (std::isnan(domain.borderFace(Side::left, j)) && liquidCell(0, j))
            velocity.u.at(0, j) -= factor * pressure.values.at(0, j);
        if (std::isnan(domain.borderFace(Side::right, j)) && liquidCell(nx - 1, j))
            velocity.u.at(nx, j) += factor * pressure.values.at(nx - 1, j);
    }
    for (uint32_t i = 0; i < nx; ++i) {
        if (std::isnan(domain.borderFace(Side::top, i)) && liquidCell(i, 0))
            velocity.v.at(i, 0) -= factor * pressure.values.at(i, 0);
        if (std::isnan(domain.borderFace(Side::bottom, i)) && liquidCell(i, ny - 1))
            velocity.v.at(i, ny) += factor * pressure.values.at(i, ny - 1);
    }
}

std::vector<double> LiquidSolver::crowdingOf(const std::vector<LiquidPoint>& places) const
{
    // Each place shared among the four cell centres around it, bilinearly.
    std::vector<double> crowding(size_t(nx) * ny, 0.0);
    for (const LiquidPoint& p : places) {
        const double gx = std::clamp(p.x / dx - 0.5, 0.0, double(nx - 1)), gy = std::clamp(p.y / dx - 0.5, 0.0, double(ny - 1));
        const uint32_t i0 = std::min(uint32_t(gx), nx - 2), j0 = std::min(uint32_t(gy), ny - 2);
        const double fx = gx - i0, fy = gy - j0;
        crowding[size_t(i0) * ny + j0] += (1.0 - fx) * (1.0 - fy);
        crowding[size_t(i0 + 1) * ny + j0] += fx * (1.0 - fy);
        crowding[size_t(i0) * ny + j0 + 1] += (1.0 - fx) * fy;
        crowding[size_t(i0 + 1) * ny + j0 + 1] += fx * fy;
    }
    return crowding;
}

std::vector<double> LiquidSolver::viscousSurfacePressure(const VelocityField& velocity) const
{
    if (!(scene.viscosity > 0.0))
        return {};
    std::vector<double> stress(size_t(nx) * ny, 0.0);
    auto centreU = [&](uint32_t i, uint32_t j) { return 0.5 * (velocity.u.at(i, j) + velocity.u.at(i + 1, j)); };
    auto centreV = [&](uint32_t i, uint32_t j) { return 0.5 * (velocity.v.at(i, j) + velocity.v.at(i, j + 1)); };
    for (uint32_t i = 1; i + 1 < nx; ++i)
        for (uint32_t j = 1; j + 1 < ny; ++j) {
            if (!liquidCell(i, j))
                continue;
            const double nxGrad = phi.values.at(i + 1, j) - phi.values.at(i - 1, j);
            const double nyGrad = phi.values.at(i, j + 1) - phi.values.at(i, j - 1);
            const double length = std::hypot(nxGrad, nyGrad);
            if (!(length > 0.0))
                continue;
            const double n[2] = {nxGrad / length, nyGrad / length};
            const double ux = (velocity.u.at(i + 1, j) - velocity.u.at(i, j)) / dx;
            const double vy = (velocity.v.at(i, j + 1) - velocity.v.at(i, j)) / dx;
            const double uy = (centreU(i, j + 1) - centreU(i, j - 1)) / (2.0 * dx);
            const double vx = (centreV(i + 1, j) - centreV(i - 1, j)) / (2.0 * dx);
            stress[size_t(i) * ny + j] = 2.0 * scene.density * scene.viscosity *
                                         (n[0] * n[0] * ux + n[0] * n[1] * (uy + vx) + n[1] * n[1] * vy);
        }
    return stress;
}

int LiquidSolver::diffusionParts(const Scene& scene)
{
    // Explicit diffusion holds while nu dt / dx^2 stays under 1/4 a part.
    return std::max(1, int(std::ceil(scene.viscosity * scene.timeStep / (scene.cellSize * scene.cellSize) / 0.2)));
}

void LiquidSolver::applyViscosity(VelocityField& velocity, const std::vector<uint8_t> known[2]) const
{
    // Explicitly, in equal parts of the step, on the faces the liquid's
    // particles reached and those the velocity was carried on to. A face
    // beside one that holds nothing takes its own value there: no stress
    // across the surface. Beyond a wall the tangential velocity takes the
    // wall's rule (at rest, sliding, or mirrored where the wall slips).
    const int parts = diffusionParts(scene);
    const double rate = scene.viscosity * scene.timeStep / (dx * dx) / parts;
    const Wall &left = domain.wall(Side::left), &right = domain.wall(Side::right);
    const Wall &top = domain.wall(Side::top), &bottom = domain.wall(Side::bottom);
    for (int c = 0; c < 2; ++c) {
        GridArray& component = velocity.component(c);
        const uint32_t lines = component.extent[0], length = component.extent[1];
        const std::vector<uint8_t>& have = known[c];
        const std::vector<uint8_t> held = domain.heldFaces(c);
        std::vector<double> next(component.size());
        for (int part = 0; part < parts; ++part) {
            for (uint32_t a = 0; a < lines; ++a)
                for (uint32_t b = 0; b < length; ++b) {
                    const size_t k = size_t(a) * length + b;
                    const double here = component.data[k];
                    next[k] = here;
                    if (!have[k] || held[k])
                        continue;
                    // Past the border lies a wall the component runs along.
                    auto beside = [&](bool inside, size_t n, const Wall& wall) {
                        return inside ? (have[n] ? component.data[n] : here) : ghostSample(wall, here);
                    };
                    const double around = beside(a > 0, k - length, left) + beside(a + 1 < lines, k + length, right) +
                                          beside(b > 0, k - 1, top) + beside(b + 1 < length, k + 1, bottom);
                    next[k] = here + rate * (around - 4.0 * here);
                }
            for (size_t k = 0; k < next.size(); ++k)
                component.data[k] = next[k];
        }
    }
}

void LiquidSolver::extend(VelocityField& velocity, std::vector<uint8_t> known[2], int layers)
{
    for (int c = 0; c < 2; ++c) {
        GridArray& component = velocity.component(c);
        const uint32_t lines = component.extent[0], length = component.extent[1];
        std::vector<uint8_t>& have = known[c];
        for (int layer = 0; layer < layers; ++layer) {
            // Each face not yet known takes the mean of the known faces beside
            // it, all from the layer before.
            std::vector<uint8_t> next = have;
            for (uint32_t a = 0; a < lines; ++a)
                for (uint32_t b = 0; b < length; ++b) {
                    const size_t k = size_t(a) * length + b;
                    if (have[k])
                        continue;
                    double sum = 0.0;
                    int count = 0;
                    auto gather = [&](bool exists, size_t n) {
                        if (exists && have[n]) {
                            sum += component.data[n];
                            ++count;
                        }
                    };
                    gather(a > 0, k - length);
                    gather(a + 1 < lines, k + length);
                    gather(b > 0, k - 1);
                    gather(b + 1 < length, k + 1);
                    if (count > 0) {
                        component.data[k] = sum / count;
                        next[k] = 1;
                    }
                }
            have.swap(next);
        }
    }
}

void LiquidSolver::gridToParticles(const VelocityField& velocity)
{
    for (LiquidParticle& p : particleList)
        for (int c = 0; c < 2; ++c) {
            const GridArray& component = velocity.component(c);
            const Stencil s = stencilOf(c, p.x, p.y, dx, nx, ny);
            double value = 0.0, gx = 0.0, gy = 0.0;
            for (int e = 0; e < 2; ++e)
                for (int f = 0; f < 2; ++f) {
                    const double sample = component.at(s.a[e], s.b[f]);
                    value += s.w[e][f] * sample;
                    gx += s.dwdx[e][f] * sample;
                    gy += s.dwdy[e][f] * sample;
                }
            (c == 0 ? p.u : p.v) = value;
            double* gradient = c == 0 ? p.du : p.dv;
            gradient[0] = gx;
            gradient[1] = gy;
        }
}

Velocity LiquidSolver::gridVelocityAt(const VelocityField& velocity, double x, double y) const
{
    Velocity at{0.0, 0.0};
    for (int c = 0; c < 2; ++c) {
        const GridArray& component = velocity.component(c);
        const Stencil s = stencilOf(c, x, y, dx, nx, ny);
        double value = 0.0;
        for (int e = 0; e < 2; ++e)
            for (int f = 0; f < 2; ++f)
                value += s.w[e][f] * component.at(s.a[e], s.b[f]);
        (c == 0 ? at.x : at.y) = value;
    }
    return at;
}

void LiquidSolver::moveParticles(const VelocityField& velocity)
{
    const double dt = scene.timeStep;
    // Kept as far from the walls as the seeds were: a particle pressed
    // closer falls out of the level set, which then sees air by the wall.
    const double margin = 0.5 * dx / particlesPerSide, width = nx * dx, height = ny * dx;
    size_t kept = 0;
    for (LiquidParticle& p : particleList) {
        // The midpoint rule through the grid's velocity.
        const Velocity first = gridVelocityAt(velocity, p.x, p.y);
        const Velocity middle = gridVelocityAt(velocity, p.x + 0.5 * dt * first.x, p.y + 0.5 * dt * first.y);
        double x = p.x + dt * middle.x, y = p.y + dt * middle.y;
        if (leavesBox(x, y))
            continue;
        // Up to an opening that lets liquid out a particle goes on freely.
        const uint32_t column = cellAlong(x, nx), row = cellAlong(y, ny);
        x = std::clamp(x, letsOut(Side::left, row) ? 0.0 : margin, letsOut(Side::right, row) ? width : width - margin);
        y = std::clamp(y, letsOut(Side::top, column) ? 0.0 : margin,
                       letsOut(Side::bottom, column) ? height : height - margin);
        // A particle never enters a solid: it stays where it was.
        if (!domain.solidAt(x, y)) {
            p.x = x;
            p.y = y;
        }
        particleList[kept++] = p;
    }
    particleList.resize(kept);
}

uint32_t LiquidSolver::cellAlong(double at, uint32_t cells) const
{
    return std::min(uint32_t(std::max(0.0, at / dx)), cells - 1);
}

bool LiquidSolver::letsOut(Side side, uint32_t cell) const
{
    // An outlet's face is free (NaN); an outflow band's is held pointing out of the box.
    const double held = domain.borderFace(side, cell);
    const double outward = side == Side::left || side == Side::top ? -1.0 : 1.0;
    return std::isnan(held) || held * outward > 0.0;
}

bool LiquidSolver::leavesBox(double x, double y) const
{
    if (x < 0.0)
        return letsOut(Side::left, cellAlong(y, ny));
    if (x > nx * dx)
        return letsOut(Side::right, cellAlong(y, ny));
    if (y < 0.0)
        return letsOut(Side::top, cellAlong(x, nx));
    if (y > ny * dx)
        return letsOut(Side::bottom, cellAlong(x, nx));
    return false;
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

template <typename Visit>
void LiquidSolver::visitTriangles(double sign, double shift, Visit&& visit) const
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
            const double centre = at(i, j);
            bool inside = true;
            for (int si = -1; si <= 1 && inside; ++si)
                for (int sj = -1; sj <= 1 && inside; ++sj)
                    inside = at(int64_t(i) + si, int64_t(j) + sj) < 0.0;
            if (inside) {
                const LiquidPoint corners[4] = {{i * dx, j * dx}, {(i + 1) * dx, j * dx},
                                                {(i + 1) * dx, (j + 1) * dx}, {i * dx, (j + 1) * dx}};
                visit(corners[0], corners[1], corners[2]);
                visit(corners[0], corners[2], corners[3]);
                continue;
            }
            const LiquidPoint middle{(i + 0.5) * dx, (j + 0.5) * dx};
            for (int si = -1; si <= 1; si += 2)
                for (int sj = -1; sj <= 1; sj += 2) {
                    const double side = 0.5 * (centre + at(int64_t(i) + si, j));
                    const double other = 0.5 * (centre + at(i, int64_t(j) + sj));
                    const double corner = 0.25 * (centre + at(int64_t(i) + si, j) + at(i, int64_t(j) + sj) +
                                                  at(int64_t(i) + si, int64_t(j) + sj));
                    const LiquidPoint sidePoint{middle.x + 0.5 * si * dx, middle.y};
                    const LiquidPoint otherPoint{middle.x, middle.y + 0.5 * sj * dx};
                    const LiquidPoint cornerPoint{middle.x + 0.5 * si * dx, middle.y + 0.5 * sj * dx};
                    negativePart(middle, sidePoint, cornerPoint, centre, side, corner, visit);
                    negativePart(middle, otherPoint, cornerPoint, centre, other, corner, visit);
                }
        }
}

std::vector<LiquidPoint> LiquidSolver::liquidTriangles() const
{
    return trianglesWhere(1.0);
}

std::vector<LiquidPoint> LiquidSolver::airTriangles() const
{
    return trianglesWhere(-1.0);
}

std::vector<LiquidPoint> LiquidSolver::trianglesWhere(double sign) const
{
    std::vector<LiquidPoint> triangles;
    visitTriangles(sign, 0.0, [&](const LiquidPoint& a, const LiquidPoint& b, const LiquidPoint& c) {
        triangles.insert(triangles.end(), {a, b, c});
    });
    return triangles;
}

double LiquidSolver::area() const
{
    return areaUnder(0.0);
}

double LiquidSolver::areaUnder(double shift) const
{
    double total = 0.0;
    visitTriangles(1.0, shift, [&](const LiquidPoint& a, const LiquidPoint& b, const LiquidPoint& c) {
        total += 0.5 * std::fabs((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y));
    });
    return total;
}

double LiquidSolver::largestSpeed() const
{
    double largest = 0.0;
    for (const LiquidParticle& p : particleList)
        largest = std::max(largest, std::hypot(p.u, p.v));
    return largest;
}

double LiquidSolver::kineticEnergy() const
{
    double sumOfSquares = 0.0;
    for (const LiquidParticle& p : particleList)
        sumOfSquares += p.u * p.u + p.v * p.v;
    return 0.5 * sumOfSquares * areaPerParticle();
}

double LiquidSolver::surfaceInColumn(uint32_t i) const
{
    for (uint32_t j = 0; j + 1 < ny; ++j) {
        const double above = phi.values.at(i, j), below = phi.values.at(i, j + 1);
        if (above >= 0.0 && below < 0.0)
            return (j + 0.5 + above / (above - below)) * dx;
    }
    return phi.values.at(i, 0) < 0.0 ? 0.0 : std::numeric_limits<double>::quiet_NaN();
}
