#include "sim/heat/heat.h"

#include "parallel/thread_pool.h"
#include "sim/solve/five_point_system.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The slope of the three temperatures' middle one, limited so that a face
// takes no value beyond its two cells (van Leer): 0 at an extreme, and where
// either difference is NaN (a solid cell or the border beyond).
double limitedSlope(double behind, double ahead)
{
    return behind * ahead > 0.0 ? 2.0 * behind * ahead / (behind + ahead) : 0.0;
}

// The temperature a face passes on at velocity w, from the cells along its
// line: two before it and two after (NaN where not fluid), and what the
// border beyond holds where the cell just before or after lies beyond it.
// Upwind, with half the limited slope of the upwind cell towards the face,
// less the part that crosses in the step (second order where the field is
// smooth, no new extremes); first order where the line ends.
double faceTemperature(double w, double courant, const double cells[4], double heldBefore, double heldAfter)
{
    const bool forward = w > 0.0;
    const double far = forward ? cells[0] : cells[3];
    const double upwind = forward ? cells[1] : cells[2];
    const double downwind = forward ? cells[2] : cells[1];
    if (std::isnan(upwind)) {
        // Entering from beyond the border: what it holds, else the cell's own.
        const double held = forward ? heldBefore : heldAfter;
        return std::isnan(held) ? downwind : held;
    }
    if (std::isnan(downwind))
        return upwind;
    return upwind + 0.5 * (1.0 - courant) * limitedSlope(upwind - far, downwind - upwind);
}

}  // namespace

HeatField::HeatField(const Scene& scene)
    : temperature(scene.nx, scene.ny),
      nx(scene.nx),
      ny(scene.ny),
      dx(scene.cellSize),
      heat(scene.heat),
      gravityX(scene.gravityX),
      gravityY(scene.gravityY),
      solidTemperature(size_t(nx) * ny, std::nan("")),
      heldRange{heat.initial, heat.initial},
      balanced(nx, ny)
{
    std::fill(temperature.data.get(), temperature.data.get() + temperature.size(), heat.initial);
    std::fill(balanced.data.get(), balanced.data.get() + balanced.size(), heat.initial);
    buoyancyBalanced();
    double lowest = INFINITY, highest = -INFINITY;
    auto held = [&](double t) {
        if (std::isnan(t))
            return;
        lowest = std::fmin(lowest, t);
        highest = std::fmax(highest, t);
    };
    for (Side side : {Side::left, Side::right, Side::top, Side::bottom}) {
        border[int(side)].assign(scene.cellsAlong(side), heat.wall[int(side)]);
        opening[int(side)].assign(scene.cellsAlong(side), 0);
        held(heat.wall[int(side)]);
    }
    // An inflow band holds its faces at the temperature it brings; fluid
    // leaves through outflow bands and outlets with its own.
    auto open = [&](const SideRange& range, double t) {
        for (uint32_t c = range.first; c <= range.last; ++c) {
            border[int(range.side)][c] = t;
            opening[int(range.side)][c] = 1;
        }
    };
    for (const Band& band : scene.inflows) {
        const double t = std::isnan(band.temperature) ? heat.initial : band.temperature;
        open(band.range, t);
        held(t);
    }
    for (const Band& band : scene.outflows)
        open(band.range, std::nan(""));
    for (const SideRange& outlet : scene.outlets)
        open(outlet, std::nan(""));
    for (const SolidEntry& entry : scene.solidsInOrder()) {
        const double t = scene.temperatureOf(entry);
        for (uint32_t k : scene.cellsOf(entry))
            solidTemperature[k] = t;
        held(t);
    }
    if (lowest <= highest)
        heldRange[0] = lowest, heldRange[1] = highest;
}

void HeatField::step(const VelocityField& field, const Domain& domain, double dt, const LinearSolve& settings)
{
    carry(field, domain, dt);
    if (heat.diffusivity > 0.0)
        conduct(domain, dt, settings);
}

void HeatField::carry(const VelocityField& field, const Domain& domain, double dt)
{
    // Sub-steps keep every cell from passing on more than it holds.
    const int steps = cellToCellSubSteps(field, dt);
    const double share = dt / steps / dx;  // of a face's speed that crosses it in a sub-step, in cells
    GridArray flowX(nx + 1, ny), flowY(nx, ny + 1);  // velocity times the temperature carried, per face
    GridArray next(nx, ny);
    // The temperatures with two rings of NaN around them and in the solid
    // cells, which no face reads a temperature from: each face reads its
    // line's four cells without asking where they are.
    GridArray ringed(nx + 4, ny + 4);
    std::fill(ringed.data.get(), ringed.data.get() + ringed.size(), std::nan(""));
    auto cell = [&](int64_t i, int64_t j) { return ringed.at(uint32_t(i + 2), uint32_t(j + 2)); };
    for (int step = 0; step < steps; ++step) {
        for (uint32_t i = 0; i < nx; ++i)
            for (uint32_t j = 0; j < ny; ++j)
                if (!domain.isSolid(i, j))
                    ringed.at(i + 2, j + 2) = temperature.at(i, j);
        parallel::forLines(nx + 1, ny, [&](size_t first, size_t last) {
            for (uint32_t a = uint32_t(first); a < last; ++a) {
                for (uint32_t j = 0; j < ny; ++j) {
                    const double w = field.u.at(a, j);
                    const double cells[4] = {cell(int64_t(a) - 2, j), cell(int64_t(a) - 1, j), cell(a, j),
                                             cell(int64_t(a) + 1, j)};
                    const double before = a == 0 ? borderHeld(Side::left, j) : std::nan("");
                    const double after = a == nx ? borderHeld(Side::right, j) : std::nan("");
                    flowX.at(a, j) =
                        w == 0.0 ? 0.0 : w * faceTemperature(w, std::fabs(w) * share, cells, before, after);
                }
                if (a == nx)
                    continue;
                for (uint32_t b = 0; b <= ny; ++b) {
                    const double w = field.v.at(a, b);
                    const double cells[4] = {cell(a, int64_t(b) - 2), cell(a, int64_t(b) - 1), cell(a, b),
                                             cell(a, int64_t(b) + 1)};
                    const double before = b == 0 ? borderHeld(Side::top, a) : std::nan("");
                    const double after = b == ny ? borderHeld(Side::bottom, a) : std::nan("");
                    flowY.at(a, b) =
                        w == 0.0 ? 0.0 : w * faceTemperature(w, std::fabs(w) * share, cells, before, after);
                }
            }
        });
        // What one cell passes on its neighbour takes: the heat is kept but
        // where it crosses the border.
        parallel::forLines(nx, ny, [&](size_t first, size_t last) {
            for (uint32_t i = uint32_t(first); i < last; ++i) {
                for (uint32_t j = 0; j < ny; ++j) {
                    const double gained =
                        (flowX.at(i, j) - flowX.at(i + 1, j)) + (flowY.at(i, j) - flowY.at(i, j + 1));
                    next.at(i, j) = temperature.at(i, j) + (domain.isSolid(i, j) ? 0.0 : share * gained);
                }
            }
        });
        std::swap(temperature, next);
    }
}

void HeatField::conduct(const Domain& domain, double dt, const LinearSolve& settings)
{
    // (I - kappa*dt*L) T = T*: a fluid cell couples to its fluid neighbours;
    // a held border face or solid adds its temperature half a cell away (the
    // ghost beyond it mirrors the cell about it); an insulated one nothing.
    const double s = heat.diffusivity * dt / (dx * dx);
    std::vector<double> rhs(temperature.size());
    auto rowAt = [&](uint32_t i, uint32_t j) {
        FivePointRow row;
        row.diagonal = 1.0;
        double& right = rhs[size_t(i) * ny + j];
        right = temperature.at(i, j);
        if (domain.isSolid(i, j))
            return row;
        auto neighbour = [&](int64_t ni, int64_t nj, Side beyond, uint32_t along, double& coefficient) {
            double held;
            if (ni < 0 || nj < 0 || ni >= int64_t(nx) || nj >= int64_t(ny)) {
                held = borderHeld(beyond, along);
            } else if (domain.isSolid(uint32_t(ni), uint32_t(nj))) {
                held = solidHeld(uint32_t(ni), uint32_t(nj));
            } else {
                coefficient = -s;
                row.diagonal += s;
                return;
            }
            if (std::isnan(held))
                return;
            row.diagonal += 2.0 * s;
            right += 2.0 * s * held;
        };
        neighbour(int64_t(i) - 1, j, Side::left, j, row.beforeA);
        neighbour(i, int64_t(j) - 1, Side::top, i, row.beforeB);
        neighbour(i, int64_t(j) + 1, Side::bottom, i, row.afterB);
        neighbour(int64_t(i) + 1, j, Side::right, j, row.afterA);
        return row;
    };
    const SystemKey key{domain.solidRevision(), heat.diffusivity, dt};
    if (diffusionSolves.holds(settings, key)) {
        for (uint32_t i = 0; i < nx; ++i)
            for (uint32_t j = 0; j < ny; ++j)
                rowAt(i, j);
    } else {
        diffusionSolves.take(settings, key, fastestFivePointSystem(nx, ny, rowAt));
    }
    // The carried temperature is close to the diffused one: the solve starts there.
    std::vector<double> result = rhs;
    lastDiffusion = diffusionSolves.solve(settings, rhs, result, true);
    std::copy(result.begin(), result.end(), temperature.data.get());
}

void HeatField::addBuoyancy(VelocityField& field, const Domain& domain, double dt, Buoyancy which) const
{
    const GridArray& from = which == Buoyancy::last ? balanced : temperature;
    // The mean temperature of the fluid cells beside a face, above the
    // reference (or above the last temperature's mean there); NaN for none.
    auto excess = [&](int64_t i0, int64_t j0, int64_t i1, int64_t j1) {
        double sum = 0.0, less = 0.0;
        int count = 0;
        for (const auto& [i, j] : {std::pair{i0, j0}, std::pair{i1, j1}}) {
            if (i < 0 || j < 0 || i >= int64_t(nx) || j >= int64_t(ny) || domain.isSolid(uint32_t(i), uint32_t(j)))
                continue;
            sum += from.at(uint32_t(i), uint32_t(j));
            if (which == Buoyancy::change)
                less += balanced.at(uint32_t(i), uint32_t(j));
            ++count;
        }
        if (count == 0)
            return std::nan("");
        return sum / count - (which == Buoyancy::change ? less / count : heat.reference);
    };
    // Warmer than the reference is lighter: pushed against gravity.
    auto lift = [&](double& face, double warmer, double gravity) {
        if (!std::isnan(warmer))
            face += -heat.expansion * warmer * gravity * dt;
    };
    if (gravityX != 0.0)
        for (uint32_t a = 0; a <= nx; ++a)
            for (uint32_t j = 0; j < ny; ++j)
                lift(field.u.at(a, j), excess(int64_t(a) - 1, j, a, j), gravityX);
    if (gravityY != 0.0)
        for (uint32_t i = 0; i < nx; ++i)
            for (uint32_t b = 0; b <= ny; ++b)
                lift(field.v.at(i, b), excess(i, int64_t(b) - 1, i, b), gravityY);
}

void HeatField::buoyancyBalanced()
{
    std::copy(temperature.data.get(), temperature.data.get() + temperature.size(), balanced.data.get());
}

void HeatField::cellChanged(uint32_t i, uint32_t j, const Domain& domain)
{
    if (!domain.isSolid(i, j))
        temperature.at(i, j) = heat.initial;
}

double HeatField::total(const Domain& domain) const
{
    double sum = 0.0;
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j < ny; ++j)
            if (!domain.isSolid(i, j))
                sum += temperature.at(i, j);
    return sum * dx * dx;
}

std::vector<WallNusselt> HeatField::nusselt(const Domain& domain) const
{
    std::vector<WallNusselt> walls;
    const double difference = heldRange[1] - heldRange[0];
    for (Side side : {Side::left, Side::right, Side::top, Side::bottom}) {
        const double held = heat.wall[int(side)];
        if (std::isnan(held))
            continue;
        const bool across = side == Side::left || side == Side::right;
        double flux = 0.0;  // into the fluid, as a temperature gradient
        uint32_t faces = 0;
        for (uint32_t c = 0; c < opening[int(side)].size(); ++c) {
            const auto [i, j] = borderCell(nx, ny, side, c);
            if (domain.isSolid(i, j) || opening[int(side)][c])
                continue;
            flux += 2.0 * (held - temperature.at(i, j)) / dx;
            ++faces;
        }
        const double extent = (across ? nx : ny) * dx;
        walls.push_back({side, faces > 0 && difference > 0.0 ? flux / faces * extent / difference : std::nan("")});
    }
    return walls;
}
