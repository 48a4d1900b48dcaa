#pragma once
// The steps that a scene beyond the standard box's kind needs: sampling and
// advection that see walls holding the tangential velocity (through ghost
// samples beyond the wall) and solids at rest, and the implicit viscous
// diffusion of one velocity component.

#include "PCG/sparse_matrix.h"
#include "sim/domain/domain.h"
#include "sim/solve/five_point_system.h"
#include "sim/scene/scene.h"
#include "sim/grid/velocity_field.h"

#include <cstdint>
#include <vector>

// Component 0 (u) or 1 (v) at (x, y): bilinear between the four nearest
// samples, where a sample beyond a wall is its ghost (ghostSample). Points beyond the box are
// clamped to its edge; a point inside a solid cell takes the solid's
// velocity, 0.
double sampleInScene(const VelocityField& field, const Domain& domain, int component, double x, double y);

// Semi-Lagrangian advection of every face with sampleInScene, into out. With
// the MacCormack scheme the linear result is traced back again with the same
// velocity, half the difference to the field it came from is added, and the
// result is clamped to the four samples around the departure point (Selle et
// al. 2008), which keeps it from making new extremes.
// The hybrid scheme traces nothing: each face loses dt times (u·∇) of its
// component, by central differences along each axis, with as much diffusion
// added as makes the axis's whole diffusion that of upstream differences,
// |speed| dx / 2, where the viscosity is less (a cell Reynolds number above
// 2). Being one explicit stage, a steady flow is the same whatever the time
// step (a trace's interpolation error over dt is not). The stage is split
// in equal parts where one would be unstable (see hybridSubSteps). A sample
// inside a cutting disc reads as the disc's, at rest.
void advectInScene(const VelocityField& field, const Domain& domain, AdvectionScheme scheme, double viscosity,
                   double dt, VelocityField& out);

// How many equal parts of dt the hybrid scheme takes: each part keeps, at
// every face, the sum over the two axes of c² / (2 s) below 0.9, with
// c = speed dt / dx and s the axis's whole diffusion (viscosity and added)
// times dt / dx²: the limit of one explicit stage of central differences
// with the implicit diffusion after it (|c| where the added diffusion rules,
// which also keeps that explicit diffusion stable).
int hybridSubSteps(const VelocityField& field, double viscosity, double dt);

// (I - viscosity*dt*L) x = b for one component, in the five-point pattern of
// the component's faces (row k = a*extent1 + b). Held faces keep their value
// (identity rows); a free face next to a held one takes that value into its
// right-hand side; beyond a wall that holds the tangential velocity the
// ghost sample enters as above, beyond a slip wall nothing flows.
// The matrix in the form the solver takes fastest, or as row lists, or
// none: the right-hand side alone.
struct DiffusionSystem {
    FivePointSystem matrix;
    std::vector<double> rhs;
};
enum class SystemForm : uint8_t { fastest, rowLists, rightHandSideOnly };
// heldFaces: the domain's heldFaces(number), which a caller building the
// system tick after tick keeps until the solids change; rhsStorage, a vector
// the right-hand side may be written into (the last one's, say) instead of a new one.
DiffusionSystem diffusionSystem(const GridArray& component, int number, const Domain& domain,
                                const std::vector<uint8_t>& heldFaces, double viscosity, double dx, double dt,
                                SystemForm form = SystemForm::fastest, std::vector<double>&& rhsStorage = {});
DiffusionSystem diffusionSystem(const GridArray& component, int number, const Domain& domain, double viscosity,
                                double dx, double dt, SystemForm form = SystemForm::fastest);
