#include "sim/scene_steps.h"

#include "sim/five_point_system.h"
#include "parallel/thread_pool.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The four samples around a point and its weights, ghosts included.
struct Stencil {
    double lowLow, highLow, lowHigh, highHigh;  // (i, j), (i+1, j), (i, j+1), (i+1, j+1)
    double fx, fy;                              // weights of the high samples
    bool inSolid;

    double value() const
    {
        return (lowLow * (1.0 - fx) + highLow * fx) * (1.0 - fy) + (lowHigh * (1.0 - fx) + highHigh * fx) * fy;
    }
    double lowest() const { return std::fmin(std::fmin(lowLow, highLow), std::fmin(lowHigh, highHigh)); }
    double highest() const { return std::fmax(std::fmax(lowLow, highLow), std::fmax(lowHigh, highHigh)); }
};

Stencil stencilAt(const VelocityField& field, const Domain& domain, int component, double x, double y)
{
    const uint32_t nx = field.nx, ny = field.ny;
    const double dx = field.dx;
    const double cx = x / dx, cy = y / dx;  // in cells
    if (domain.solidAtCells(cx, cy))
        return {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, true};
    // Along the component's own axis the samples reach the border; across it
    // they stop half a cell short, and a ghost sample lies half a cell beyond.
    if (component == 0) {
        const double gx = std::fmin(std::fmax(cx, 0.0), double(nx));
        const double gy = std::fmin(std::fmax(cy - 0.5, -0.5), ny - 0.5);
        const uint32_t i = std::min(uint32_t(gx), nx - 1);
        const int64_t j = int64_t(std::floor(gy));  // -1 to ny - 1
        auto at = [&](uint32_t a, int64_t b) {
            if (b < 0)
                return ghostSample(domain.wall(Side::top), field.u.at(a, 0));
            if (b >= int64_t(ny))
                return ghostSample(domain.wall(Side::bottom), field.u.at(a, ny - 1));
            return field.u.at(a, uint32_t(b));
        };
        return {at(i, j), at(i + 1, j), at(i, j + 1), at(i + 1, j + 1), gx - i, gy - double(j), false};
    }
    const double gx = std::fmin(std::fmax(cx - 0.5, -0.5), nx - 0.5);
    const double gy = std::fmin(std::fmax(cy, 0.0), double(ny));
    const int64_t i = int64_t(std::floor(gx));  // -1 to nx - 1
    const uint32_t j = std::min(uint32_t(gy), ny - 1);
    auto at = [&](int64_t a, uint32_t b) {
        if (a < 0)
            return ghostSample(domain.wall(Side::left), field.v.at(0, b));
        if (a >= int64_t(nx))
            return ghostSample(domain.wall(Side::right), field.v.at(nx - 1, b));
        return field.v.at(uint32_t(a), b);
    };
    return {at(i, j), at(i + 1, j), at(i, j + 1), at(i + 1, j + 1), gx - double(i), gy - j, false};
}

}  // namespace

double sampleInScene(const VelocityField& field, const Domain& domain, int component, double x, double y)
{
    const Stencil stencil = stencilAt(field, domain, component, x, y);
    return stencil.inSolid ? 0.0 : stencil.value();
}

void advectInScene(const VelocityField& field, const Domain& domain, AdvectionScheme scheme, double dt,
                   VelocityField& out)
{
    const double dx = field.dx;
    const bool macCormack = scheme == AdvectionScheme::macCormack;
    // The linear pass first: the whole of out is then the forward trace.
    // Every face is computed alone, from fields it does not write: the lines split over the threads.
    auto forEachFace = [&](auto face) {
        parallel::forLines(field.nx + 1, field.ny, [&](size_t first, size_t last) {
            for (uint32_t i = uint32_t(first); i < last; ++i)
                for (uint32_t j = 0; j < field.ny; ++j)
                    face(0, i, j, i * dx, (j + 0.5) * dx, out.u.at(i, j));
        });
        parallel::forLines(field.nx, field.ny + 1, [&](size_t first, size_t last) {
            for (uint32_t i = uint32_t(first); i < last; ++i)
                for (uint32_t j = 0; j <= field.ny; ++j)
                    face(1, i, j, (i + 0.5) * dx, j * dx, out.v.at(i, j));
        });
    };
    auto wind = [&](double x, double y) {
        return Velocity{sampleInScene(field, domain, 0, x, y), sampleInScene(field, domain, 1, x, y)};
    };
    forEachFace([&](int component, uint32_t, uint32_t, double x, double y, double& result) {
        const Velocity w = wind(x, y);
        result = sampleInScene(field, domain, component, x - dt * w.x, y - dt * w.y);
    });
    if (!macCormack)
        return;
    VelocityField corrected(field.nx, field.ny, dx);
    forEachFace([&](int component, uint32_t i, uint32_t j, double x, double y, double& forward) {
        const Velocity w = wind(x, y);
        const Stencil departure = stencilAt(field, domain, component, x - dt * w.x, y - dt * w.y);
        double& into = corrected.component(component).at(i, j);
        if (departure.inSolid) {
            into = forward;
            return;
        }
        const double back = sampleInScene(out, domain, component, x + dt * w.x, y + dt * w.y);
        const double own = field.component(component).at(i, j);
        const double value = forward + 0.5 * (own - back);
        into = std::fmin(std::fmax(value, departure.lowest()), departure.highest());
    });
    std::copy(corrected.u.data.get(), corrected.u.data.get() + corrected.u.size(), out.u.data.get());
    std::copy(corrected.v.data.get(), corrected.v.data.get() + corrected.v.size(), out.v.data.get());
}

DiffusionSystem diffusionSystem(const GridArray& component, int number, const Domain& domain, double viscosity,
                                double dx, double dt, SystemForm form)
{
    const uint32_t lines = component.extent[0], length = component.extent[1];
    const double s = viscosity * dt / (dx * dx);
    // The walls across which this component is tangential: u meets the top
    // and bottom ones between its samples, v the left and right ones.
    const Wall& before = domain.wall(number == 0 ? Side::top : Side::left);
    const Wall& after = domain.wall(number == 0 ? Side::bottom : Side::right);
    const std::vector<uint8_t> heldFaces = domain.heldFaces(number);
    auto held = [&](uint32_t a, uint32_t b) { return heldFaces[size_t(a) * length + b] != 0; };
    std::vector<double> rhs(size_t(lines) * length);
    auto rowAt = [&](uint32_t a, uint32_t b) {
        const bool fixed = held(a, b);
        FivePointRow row;
        row.diagonal = 1.0;
        double& right = rhs[size_t(a) * length + b];
        right = component.at(a, b);
        // A free face couples to its free neighbours; a held one enters the
        // right-hand side with its value.
        auto neighbour = [&](bool exists, uint32_t na, uint32_t nb, double& coefficient) {
            if (!exists)
                return;
            const bool neighbourHeld = held(na, nb);
            coefficient = fixed || neighbourHeld ? 0.0 : -s;
            if (fixed)
                return;
            row.diagonal += s;
            if (neighbourHeld)
                right += s * component.at(na, nb);
        };
        const bool up = a > 0, down = a + 1 < lines, left = b > 0, rightOfB = b + 1 < length;
        neighbour(up, a - 1, b, row.beforeA);
        neighbour(left, a, b - 1, row.beforeB);
        neighbour(rightOfB, a, b + 1, row.afterB);
        neighbour(down, a + 1, b, row.afterA);
        if (!fixed) {
            // u runs along the walls beyond the ends of its lines (j), v
            // along those beyond the first and last line (i): their ghosts.
            if (number == 0 ? !left : !up)
                addGhostToRow(before, s, row.diagonal, right);
            if (number == 0 ? !rightOfB : !down)
                addGhostToRow(after, s, row.diagonal, right);
        }
        return row;
    };
    DiffusionSystem system;
    if (form == SystemForm::fastest) {
        system.matrix = fastestFivePointSystem(lines, length, rowAt);
    } else {
        system.matrix.rows = fivePointSystem(lines, length, rowAt);
    }
    system.rhs = std::move(rhs);
    return system;
}
