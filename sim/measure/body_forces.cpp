#include "sim/measure/body_forces.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The grid seen along one axis: component `along` (0: x, 1: y) is U, the
// other W, and the indices are (a, b) = (along that axis, across it). With
// along = 1 the grid is read transposed, so that one formula serves both.
struct AxisView {
    const VelocityField& field;
    const ScalarField& pressure;
    int along;

    double U(int64_t a, int64_t b) const  // at face a along, cell b across
    {
        return along == 0 ? field.u.at(uint32_t(a), uint32_t(b)) : field.v.at(uint32_t(b), uint32_t(a));
    }
    double W(int64_t a, int64_t b) const  // at cell a along, face b across
    {
        return along == 0 ? field.v.at(uint32_t(a), uint32_t(b)) : field.u.at(uint32_t(b), uint32_t(a));
    }
    double P(int64_t a, int64_t b) const
    {
        return along == 0 ? pressure.values.at(uint32_t(a), uint32_t(b)) : pressure.values.at(uint32_t(b), uint32_t(a));
    }
};

// The cells a disc reaches, inclusive (the disc lies inside the grid's reach).
struct DiscBounds {
    int64_t i0, i1, j0, j1;
};

DiscBounds boundsOf(const SolidDisc& d)
{
    return {int64_t(std::floor(d.centreX - d.radius)), int64_t(std::ceil(d.centreX + d.radius)) - 1,
            int64_t(std::floor(d.centreY - d.radius)), int64_t(std::ceil(d.centreY + d.radius)) - 1};
}

struct Span {
    int64_t a0, a1, b0, b1;  // cells inside, inclusive
};

// A box's cells as the view along `along` sees them.
template <typename Box>
Span spanAlong(const Box& box, int along)
{
    return along == 0 ? Span{box.i0, box.i1, box.j0, box.j1} : Span{box.j0, box.j1, box.i0, box.i1};
}

// The momentum along the view's axis of the box's fluid, per unit density
// and cell area: its faces inside, those on its sides by half.
double momentumAlong(const AxisView& view, const Span& s)
{
    double sum = 0.0;
    for (int64_t b = s.b0; b <= s.b1; ++b) {
        sum += 0.5 * view.U(s.a0, b);
        for (int64_t a = s.a0 + 1; a <= s.a1; ++a)
            sum += view.U(a, b);
        sum += 0.5 * view.U(s.a1 + 1, b);
    }
    return sum;
}

// What acts on the box's fluid along the view's axis through its four
// sides, per unit depth: minus the momentum flowing out, the pressure, the
// viscous stress (mu the dynamic viscosity).
double throughSides(const AxisView& view, const Span& s, double density, double mu, double dx)
{
    double outflow = 0.0, pressure = 0.0, stress = 0.0;
    // The two sides across the axis (x = const for x): faces of U lie on them.
    for (int64_t b = s.b0; b <= s.b1; ++b) {
        const double low = view.U(s.a0, b), high = view.U(s.a1 + 1, b);
        outflow += high * high - low * low;
        pressure += 0.5 * (view.P(s.a1, b) + view.P(s.a1 + 1, b)) - 0.5 * (view.P(s.a0 - 1, b) + view.P(s.a0, b));
        const double gradientHigh = (view.U(s.a1 + 2, b) - view.U(s.a1, b)) / (2.0 * dx);
        const double gradientLow = (view.U(s.a0 + 1, b) - view.U(s.a0 - 1, b)) / (2.0 * dx);
        stress += 2.0 * mu * (gradientHigh - gradientLow);
    }
    // The two sides along the axis: at the middles of W's faces, U from the
    // four faces around.
    for (int64_t a = s.a0; a <= s.a1; ++a) {
        for (const int64_t face : {s.b0, s.b1 + 1}) {
            const double sign = face == s.b0 ? -1.0 : 1.0;  // outward
            const double u =
                0.25 * (view.U(a, face - 1) + view.U(a + 1, face - 1) + view.U(a, face) + view.U(a + 1, face));
            outflow += sign * u * view.W(a, face);
            const double dUdb = 0.5 * ((view.U(a, face) - view.U(a, face - 1)) + (view.U(a + 1, face) - view.U(a + 1, face - 1))) / dx;
            const double dWda = (view.W(a + 1, face) - view.W(a - 1, face)) / (2.0 * dx);
            stress += sign * mu * (dUdb + dWda);
        }
    }
    return (-density * outflow - pressure + stress) * dx;
}

}  // namespace

ForceMeter::ForceMeter(const FluidSolver& solver, uint32_t margin) : margin(margin)
{
    const Scene& scene = solver.scene;
    const uint32_t nx = solver.nx, ny = solver.ny;
    for (const SolidEntry& entry : scene.solidsInOrder()) {
        Box box;
        const std::vector<uint32_t> cells = scene.cellsOf(entry);
        const SolidDisc* cutDisc = entry.disc && scene.discs[entry.index].cut ? &scene.discs[entry.index] : nullptr;
        if (!cells.empty() || cutDisc) {
            int64_t i0 = nx, i1 = -1, j0 = ny, j1 = -1;
            std::vector<uint8_t> own(size_t(nx) * ny, 0);
            for (uint32_t k : cells) {
                own[k] = 1;
                i0 = std::min<int64_t>(i0, k / ny);
                i1 = std::max<int64_t>(i1, k / ny);
                j0 = std::min<int64_t>(j0, k % ny);
                j1 = std::max<int64_t>(j1, k % ny);
            }
            if (cutDisc) {
                // Every cell the disc reaches, cut or whole.
                const DiscBounds reach = boundsOf(*cutDisc);
                i0 = reach.i0, i1 = reach.i1, j0 = reach.j0, j1 = reach.j1;
            }
            i0 -= int64_t(margin), j0 -= int64_t(margin), i1 += margin, j1 += margin;
            // One more ring for the sides' differences, inside the grid and
            // free of every other solid cell and every other cutting disc.
            box.valid = i0 >= 1 && j0 >= 1 && i1 + 1 < int64_t(nx) && j1 + 1 < int64_t(ny);
            for (int64_t i = i0 - 1; box.valid && i <= i1 + 1; ++i)
                for (int64_t j = j0 - 1; box.valid && j <= j1 + 1; ++j)
                    box.valid = own[size_t(i) * ny + size_t(j)] || !solver.domain.isSolid(uint32_t(i), uint32_t(j));
            for (uint32_t d = 0; d < scene.discs.size() && box.valid; ++d) {
                if (!scene.discs[d].cut || (entry.disc && entry.index == d))
                    continue;
                const DiscBounds other = boundsOf(scene.discs[d]);
                box.valid = other.i1 < i0 - 1 || other.i0 > i1 + 1 || other.j1 < j0 - 1 || other.j0 > j1 + 1;
            }
            if (cutDisc)
                box.cutArea = std::acos(-1.0) * cutDisc->radius * cutDisc->radius;
            box.i0 = uint32_t(std::max<int64_t>(i0, 0));
            box.i1 = uint32_t(std::max<int64_t>(i1, 0));
            box.j0 = uint32_t(std::max<int64_t>(j0, 0));
            box.j1 = uint32_t(std::max<int64_t>(j1, 0));
        }
        boxes.push_back(box);
    }
    solidRevision = solver.domain.solidRevision();
    for (Box& box : boxes) {
        if (!box.valid)
            continue;
        if (box.cutArea > 0.0) {
            box.fluidArea = double((box.i1 - box.i0 + 1) * (box.j1 - box.j0 + 1)) - box.cutArea;
        } else {
            uint32_t fluidCells = 0;
            for (uint32_t i = box.i0; i <= box.i1; ++i)
                for (uint32_t j = box.j0; j <= box.j1; ++j)
                    fluidCells += !solver.domain.isSolid(i, j);
            box.fluidArea = fluidCells;
        }
        for (int along = 0; along < 2; ++along)
            box.momentum[along] = momentumAlong(AxisView{*solver.velocity, *solver.pressure, along}, spanAlong(box, along));
    }
}

std::vector<BodyForce> ForceMeter::measure(const FluidSolver& solver, double dt)
{
    // Cells drawn or erased: the boxes again, the momentum taken from now.
    if (solver.domain.solidRevision() != solidRevision)
        *this = ForceMeter(solver, margin);
    const Scene& scene = solver.scene;
    const double dx = solver.dx, density = solver.density, mu = density * scene.viscosity;
    std::vector<BodyForce> forces;
    for (Box& box : boxes) {
        if (!box.valid) {
            forces.push_back({std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()});
            continue;
        }
        double force[2];
        for (int along = 0; along < 2; ++along) {
            const AxisView view{*solver.velocity, *solver.pressure, along};
            const Span span = spanAlong(box, along);
            const double momentum = momentumAlong(view, span);
            const double gained = density * dx * dx * (momentum - box.momentum[along]) / dt;
            box.momentum[along] = momentum;
            const double gravity = along == 0 ? scene.gravityX : scene.gravityY;
            // The solid's push on the fluid is what the fluid gains less what
            // else acts on it; the fluid pushes the solid back as hard.
            force[along] = -gained + throughSides(view, span, density, mu, dx) + density * gravity * box.fluidArea * dx * dx;
        }
        forces.push_back({force[0], force[1]});
    }
    return forces;
}
