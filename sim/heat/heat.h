#pragma once
// The temperature of a scene with heat, at the cell centres: carried by the
// flow from cell to cell through the faces (so that an insulated closed box
// keeps its heat), diffused implicitly, held where a wall, a band or a solid
// says; and the buoyancy it gives the flow.

#include "sim/domain/domain.h"
#include "sim/grid/grid_array.h"
#include "sim/solve/linear_solve.h"
#include "sim/scene/scene.h"
#include "sim/grid/velocity_field.h"

#include <cstdint>
#include <vector>

// A held wall's mean Nusselt number: the heat flux into the fluid along it,
// over that of conduction alone across the box between the extreme held
// temperatures. NaN when no fluid cell touches the wall or no two held
// temperatures differ.
struct WallNusselt {
    Side side;
    double value;
};

class HeatField {
public:
    GridArray temperature;  // (nx, ny); a solid cell's value takes no part

    // The scene's initial temperature everywhere. Needs a scene with heat.
    explicit HeatField(const Scene& scene);

    // One tick: carried by the velocity (divergence-free, with the domain's
    // faces held), then diffused.
    void step(const VelocityField& field, const Domain& domain, double dt, const LinearSolve& settings);
    // Adds -expansion * (T - reference) * gravity * dt to every face, T the
    // mean of the fluid cells beside it: of the temperature now, or of the
    // one the last buoyancy came from (whose buoyancy the last pressure
    // balances); or what the change between the two adds.
    enum class Buoyancy : uint8_t { now, last, change };
    void addBuoyancy(VelocityField& field, const Domain& domain, double dt, Buoyancy which) const;
    // The temperature now is the one the last buoyancy came from.
    void buoyancyBalanced();
    // A cell that has just turned fluid starts at the initial temperature.
    void cellChanged(uint32_t i, uint32_t j, const Domain& domain);

    // The heat of the fluid cells: their temperatures' sum times the cell area.
    double total(const Domain& domain) const;
    // Each wall held at a temperature, left, right, top, bottom.
    std::vector<WallNusselt> nusselt(const Domain& domain) const;
    // The lowest and highest temperature held anywhere (walls, bands,
    // solids), or the initial one for both when none is.
    double coldest() const { return heldRange[0]; }
    double hottest() const { return heldRange[1]; }

    const SolveOutcome& lastSolve() const { return lastDiffusion; }
    // The temperature the last buoyancy came from, for a state file.
    const GridArray& balancedTemperature() const { return balanced; }
    void restoreBalanced(const std::vector<double>& values) { balanced.assign(values); }

private:
    // What the face between cell (i, j) and the border beyond it holds the
    // temperature at: a held wall's or an inflow band's; NaN where the wall
    // is insulated or fluid leaves. Fluid that enters brings it, or its own
    // cell's where it is NaN.
    double borderHeld(Side side, uint32_t cell) const { return border[int(side)][cell]; }
    double solidHeld(uint32_t i, uint32_t j) const { return solidTemperature[size_t(i) * ny + j]; }
    void carry(const VelocityField& field, const Domain& domain, double dt);
    void conduct(const Domain& domain, double dt, const LinearSolve& settings);

    uint32_t nx, ny;
    double dx;
    Heat heat;
    double gravityX, gravityY;
    std::vector<double> border[4];           // indexed by Side, along the side
    std::vector<uint8_t> opening[4];         // whether a border face is a band's or an outlet's
    std::vector<double> solidTemperature;    // per cell: a held solid's temperature, else NaN
    double heldRange[2];
    GridArray balanced;  // the temperature the last buoyancy came from
    RepeatedSolve diffusionSolves;
    SolveOutcome lastDiffusion;
};
