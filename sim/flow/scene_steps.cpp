#include "sim/flow/scene_steps.h"

#include "sim/solve/five_point_system.h"
#include "sim/domain/scene_kernels.h"
#include "sim/domain/scene_sampling.h"
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

namespace {

// The differences of the hybrid scheme at one face. Along each axis: the
// samples before and after the face and the speed across that axis there.
struct FaceStencil {
    double self, before[2], after[2], speed[2];
};

// The diffusion the differences add along an axis: what upstream ones would
// add, |speed| dx / 2, less the viscosity, where that is more. Central
// differences alone where the cell's Reynolds number |speed| dx / viscosity
// is at most 2; with no viscosity, upstream ones. Continuous in the speed:
// a switch from one difference to the other made a face on the threshold
// flip between them from tick to tick.
double addedDiffusion(double speed, double dx, double viscosity)
{
    return std::max(0.0, 0.5 * std::abs(speed) * dx - viscosity);
}

double rateOfCarrying(const FaceStencil& at, double dx, double viscosity)
{
    double rate = 0.0;
    for (int axis = 0; axis < 2; ++axis) {
        const double speed = at.speed[axis];
        const double central = speed * (at.after[axis] - at.before[axis]) / (2.0 * dx);
        const double curvature = (at.after[axis] - 2.0 * at.self + at.before[axis]) / (dx * dx);
        rate += central - addedDiffusion(speed, dx, viscosity) * curvature;
    }
    return rate;
}

// The hybrid stencil of face (a, b) of a component from the padded samples.
// Along the component's own axis a face at the grid's end takes itself as
// its missing neighbour (nothing carried in from beyond an outlet); across
// it the walls' ghosts serve. Samples inside a cutting disc read as 0.
struct HybridStencils {
    const PaddedField& padded;
    const Domain& domain;
    uint32_t nx, ny;

    double u(int64_t i, int64_t j) const
    {
        if (j >= 0 && j < int64_t(ny) && domain.sampleInsideCutDisc(0, uint32_t(i), uint32_t(j)))
            return 0.0;
        return padded.u.at(uint32_t(i), uint32_t(j + 1));
    }
    double v(int64_t i, int64_t j) const
    {
        if (i >= 0 && i < int64_t(nx) && domain.sampleInsideCutDisc(1, uint32_t(i), uint32_t(j)))
            return 0.0;
        return padded.v.at(uint32_t(i + 1), uint32_t(j));
    }

    FaceStencil at(int component, int64_t a, int64_t b) const
    {
        FaceStencil s;
        if (component == 0) {
            s.self = u(a, b);
            s.before[0] = a > 0 ? u(a - 1, b) : s.self;
            s.after[0] = a < int64_t(nx) ? u(a + 1, b) : s.self;
            s.before[1] = u(a, b - 1);
            s.after[1] = u(a, b + 1);
            s.speed[0] = s.self;
            s.speed[1] = 0.25 * (v(a - 1, b) + v(a, b) + v(a - 1, b + 1) + v(a, b + 1));
        } else {
            s.self = v(a, b);
            s.before[0] = v(a - 1, b);
            s.after[0] = v(a + 1, b);
            s.before[1] = b > 0 ? v(a, b - 1) : s.self;
            s.after[1] = b < int64_t(ny) ? v(a, b + 1) : s.self;
            s.speed[0] = 0.25 * (u(a, b - 1) + u(a + 1, b - 1) + u(a, b) + u(a + 1, b));
            s.speed[1] = s.self;
        }
        return s;
    }
};

// One explicit stage of the hybrid scheme over dt, from field into out.
void hybridStage(const VelocityField& field, const Domain& domain, double viscosity, double dt, VelocityField& out)
{
    const PaddedField padded(field, domain);
    const HybridStencils stencils{padded, domain, field.nx, field.ny};
    for (int component = 0; component < 2; ++component) {
        GridArray& into = out.component(component);
        const uint32_t length = into.extent[1];
        parallel::forLines(into.extent[0], length, [&](size_t first, size_t last) {
            for (size_t a = first; a < last; ++a)
                for (uint32_t b = 0; b < length; ++b) {
                    const FaceStencil s = stencils.at(component, int64_t(a), int64_t(b));
                    into.at(uint32_t(a), b) = s.self - dt * rateOfCarrying(s, field.dx, viscosity);
                }
        });
    }
}

void advectHybrid(const VelocityField& field, const Domain& domain, double viscosity, double dt, VelocityField& out)
{
    const int parts = hybridSubSteps(field, viscosity, dt);
    const double part = dt / parts;
    hybridStage(field, domain, viscosity, part, out);
    if (parts == 1)
        return;
    VelocityField between(field.nx, field.ny, field.dx);
    for (int k = 1; k < parts; ++k) {
        domain.holdFaces(out);
        std::swap(between, out);
        hybridStage(between, domain, viscosity, part, out);
    }
}

}  // namespace

int hybridSubSteps(const VelocityField& field, double viscosity, double dt)
{
    const double dx = field.dx;
    // What one axis asks of the stage: c² / (2 s), with s of the viscosity
    // and the added diffusion together (|c| where the added one rules).
    auto demand = [&](double speed) {
        const double diffusion = viscosity + addedDiffusion(speed, dx, viscosity);
        return diffusion > 0.0 ? speed * speed * dt / (2.0 * diffusion) : 0.0;
    };
    double largest = 0.0;
    const uint32_t nx = field.nx, ny = field.ny;
    for (uint32_t i = 0; i <= nx; ++i)
        for (uint32_t j = 0; j < ny; ++j) {
            // v across a u face: the mean of the four around it, within the grid.
            double across = 0.0;
            for (uint32_t c = i > 0 ? i - 1 : 0; c <= std::min(i, nx - 1); ++c)
                across = std::max({across, std::abs(field.v.at(c, j)), std::abs(field.v.at(c, j + 1))});
            largest = std::max(largest, demand(field.u.at(i, j)) + demand(across));
        }
    for (uint32_t i = 0; i < nx; ++i)
        for (uint32_t j = 0; j <= ny; ++j) {
            double across = 0.0;
            for (uint32_t r = j > 0 ? j - 1 : 0; r <= std::min(j, ny - 1); ++r)
                across = std::max({across, std::abs(field.u.at(i, r)), std::abs(field.u.at(i + 1, r))});
            largest = std::max(largest, demand(field.v.at(i, j)) + demand(across));
        }
    if (!(largest < 1e6))
        return 1;  // a field already blown up: no number of parts mends it
    return std::max(1, int(std::ceil(largest / 0.9)));
}

void advectInScene(const VelocityField& field, const Domain& domain, AdvectionScheme scheme, double viscosity,
                   double dt, VelocityField& out)
{
    if (scheme == AdvectionScheme::hybrid) {
        advectHybrid(field, domain, viscosity, dt, out);
        return;
    }
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
    return diffusionSystem(component, number, domain, domain.heldFaces(number), viscosity, dx, dt, form);
}

DiffusionSystem diffusionSystem(const GridArray& component, int number, const Domain& domain,
                                const std::vector<uint8_t>& heldFaces, double viscosity, double dx, double dt,
                                SystemForm form, std::vector<double>&& rhsStorage)
{
    const uint32_t lines = component.extent[0], length = component.extent[1];
    const double s = viscosity * dt / (dx * dx);
    // The walls across which this component is tangential: u meets the top
    // and bottom ones between its samples, v the left and right ones.
    const Wall& before = domain.wall(number == 0 ? Side::top : Side::left);
    const Wall& after = domain.wall(number == 0 ? Side::bottom : Side::right);
    auto held = [&](uint32_t a, uint32_t b) { return heldFaces[size_t(a) * length + b] != 0; };
    // Every row writes its right-hand side: the storage's old values are not read.
    std::vector<double> rhs = std::move(rhsStorage);
    rhs.resize(size_t(lines) * length);
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
