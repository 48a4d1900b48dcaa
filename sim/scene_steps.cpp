#include "sim/scene_steps.h"

#include "sim/five_point_system.h"
#include "sim/scene_kernels.h"
#include "sim/scene_sampling.h"
#include "simd/dispatch.h"
#include "parallel/thread_pool.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The samples of a field with the ghosts its domain's walls give beyond them.
struct DomainSamples {
    const VelocityField& field;
    const Domain& domain;

    double at(int component, int64_t a, int64_t b) const
    {
        const uint32_t nx = field.nx, ny = field.ny;
        if (component == 0) {
            if (b < 0)
                return ghostSample(domain.wall(Side::top), field.u.at(uint32_t(a), 0));
            if (b >= int64_t(ny))
                return ghostSample(domain.wall(Side::bottom), field.u.at(uint32_t(a), ny - 1));
            return field.u.at(uint32_t(a), uint32_t(b));
        }
        if (a < 0)
            return ghostSample(domain.wall(Side::left), field.v.at(0, uint32_t(b)));
        if (a >= int64_t(nx))
            return ghostSample(domain.wall(Side::right), field.v.at(nx - 1, uint32_t(b)));
        return field.v.at(uint32_t(a), uint32_t(b));
    }
};

// A field's components with their ghosts around them, as the scene kernels
// read them (every element is written: the arrays start unset).
struct PaddedField {
    GridArray u, v;
    sim::SceneField samples;

    PaddedField(const VelocityField& field, const Domain& domain)
        : u(field.nx + 1, field.ny + 2),
          v(field.nx + 2, field.ny + 1),
          samples{u.data.get(), v.data.get(), domain.anySolid() ? domain.solidCells().data() : nullptr, field.dx,
                  field.nx, field.ny}
    {
        const DomainSamples from{field, domain};
        const uint32_t nx = field.nx, ny = field.ny;
        parallel::forLines(nx + 2, ny + 2, [&](size_t first, size_t last) {
            for (int64_t a = int64_t(first); a < int64_t(last); ++a) {
                if (a <= int64_t(nx))
                    for (int64_t b = -1; b <= int64_t(ny); ++b)
                        u.at(uint32_t(a), uint32_t(b + 1)) = from.at(0, a, b);
                for (int64_t b = 0; b <= int64_t(ny); ++b)
                    v.at(uint32_t(a), uint32_t(b)) = from.at(1, a - 1, b);
            }
        });
    }
};

}  // namespace

double sampleInScene(const VelocityField& field, const Domain& domain, int component, double x, double y)
{
    const scene_sampling::Stencil<double> stencil =
        scene_sampling::stencilAt(DomainSamples{field, domain}, domain.solidCells().data(), field.nx, field.ny,
                                  field.dx, component, x, y);
    return stencil.inSolid != 0.0 ? 0.0 : stencil.value();
}

namespace sim {
FLOWBOX_KERNEL_TABLE(SceneKernels, sceneKernels)
}  // namespace sim

void advectInScene(const VelocityField& field, const Domain& domain, AdvectionScheme scheme, double dt,
                   VelocityField& out)
{
    const sim::SceneKernels& kernels = sim::sceneKernels();
    const PaddedField padded(field, domain);
    const sim::SceneField& samples = padded.samples;
    // Every face is computed alone, from fields it does not write: the lines split over the threads.
    auto forEachComponent = [&](auto run) {
        for (int component = 0; component < 2; ++component) {
            GridArray& into = out.component(component);
            parallel::forLines(into.extent[0], into.extent[1], [&](size_t first, size_t last) {
                run(component, uint32_t(first), uint32_t(last), into.data.get());
            });
        }
    };
    forEachComponent([&](int component, uint32_t first, uint32_t last, double* into) {
        kernels.traceLines(samples, dt, component, first, last, into);
    });
    if (scheme != AdvectionScheme::macCormack)
        return;
    // The linear result, traced again from each face; out is then written over.
    const PaddedField forward(out, domain);
    const sim::SceneField& forwardSamples = forward.samples;
    forEachComponent([&](int component, uint32_t first, uint32_t last, double* into) {
        kernels.correctLines(samples, forwardSamples, dt, component, first, last, into);
    });
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
    // A face's sample in cells: u's on the lines x = a, v's on y = b.
    const double offsetA = number == 0 ? 0.0 : 0.5, offsetB = number == 0 ? 0.5 : 0.0;
    auto inDisc = [&](uint32_t a, uint32_t b) { return domain.sampleInsideCutDisc(number, a, b); };
    auto rowAt = [&](uint32_t a, uint32_t b) {
        // A sample inside a cutting disc is the disc's, at rest.
        const bool inside = inDisc(a, b);
        const bool fixed = inside || held(a, b);
        FivePointRow row;
        row.diagonal = 1.0;
        double& right = rhs[size_t(a) * length + b];
        right = inside ? 0.0 : component.at(a, b);
        // A free face couples to its free neighbours; a held one enters the
        // right-hand side with its value. Towards a sample inside a cutting
        // disc the fluid meets the disc's surface at rest where it lies,
        // a part `nearer` of the way there (no closer than a tenth).
        auto neighbour = [&](bool exists, uint32_t na, uint32_t nb, double& coefficient) {
            if (!exists)
                return;
            if (!fixed && inDisc(na, nb)) {
                const int axis = na != a ? 0 : 1, direction = na > a || nb > b ? 1 : -1;
                const double nearer = std::max(
                    0.1, domain.distanceToCutSurface(a + offsetA, b + offsetB, axis, direction, 1.0));
                coefficient = 0.0;
                row.diagonal += s / nearer;
                return;
            }
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
    } else if (form == SystemForm::rowLists) {
        system.matrix.rows = fivePointSystem(lines, length, rowAt);
    } else {
        // Away from the border, from held faces and from cutting discs a
        // row's right-hand side is its sample alone: copied, not built.
        const bool cut = domain.cutsCells();
        for (uint32_t a = 0; a < lines; ++a)
            for (uint32_t b = 0; b < length; ++b) {
                const bool plain = !cut && a > 0 && a + 1 < lines && b > 0 && b + 1 < length && !held(a, b) &&
                                   !held(a - 1, b) && !held(a + 1, b) && !held(a, b - 1) && !held(a, b + 1);
                if (plain)
                    rhs[size_t(a) * length + b] = component.at(a, b);
                else
                    rowAt(a, b);
            }
    }
    system.rhs = std::move(rhs);
    return system;
}
