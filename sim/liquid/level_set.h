#pragma once
// The liquid's surface: a level set at the cell centres built from the
// particles each tick (Zhu and Bridson 2005), the particles mirrored across
// the walls and the solids' surfaces so that the liquid beside them is not
// taken for its surface; moved out or in, the same everywhere, to hold the
// particles' area; and the region under it as triangles, which the area sums
// and a picture fills.

#include "sim/domain/domain.h"
#include "sim/grid/grid_array.h"
#include "sim/grid/scalar_field.h"
#include "sim/liquid/particles.h"
#include "sim/scene/scene.h"

#include <cstdint>
#include <vector>

class LevelSet {
public:
    // The scene's cut discs and the domain's walls and solids mirror the particles.
    LevelSet(const Scene& scene, const Domain& domain);

    // From the particles where they are.
    void build(const std::vector<LiquidParticle>& particles);
    // Moves the surface out or in until the area under it is `target`, at
    // most a quarter of a cell.
    void holdArea(double target);

    // Length units at the cell centres: below 0 in the liquid.
    const GridArray& values() const { return phi.values; }
    bool liquidCell(uint32_t i, uint32_t j) const { return phi.values.at(i, j) < 0.0 && !domain.isSolid(i, j); }
    // How far the last holdArea moved the surface out (in, where negative), length units.
    double lastShift() const { return surfaceShift; }

    // The area under the surface (a volume per unit depth).
    double area() const;
    // The region under the surface as triangles, three points each.
    std::vector<LiquidPoint> liquidTriangles() const;
    // The rest of the box, but its solid cells: the air, as triangles.
    std::vector<LiquidPoint> airTriangles() const;
    // Where the surface crosses the column of cells i, from above: the depth
    // (y) at which the level set changes sign going down from the top, or
    // NaN where the column has no liquid.
    double surfaceInColumn(uint32_t i) const;
    // The same at x (length units): between the crossings of the two columns
    // whose centres lie either side, linearly (the first or the last column's
    // beyond theirs); NaN where either has no liquid.
    double surfaceAt(double x) const;

private:
    const Scene& scene;
    const Domain& domain;
    const double dx;
    const uint32_t nx, ny;
    ScalarField phi;
    double surfaceShift = 0.0;
    // The kernel reaches this far (length units); the surface lies `radius`
    // beyond the particles' mean near it.
    double reach() const;
    double calibratedRadius() const;
    const double radius;

    // The particles' places, and their mirror images across the walls and
    // the solids' surfaces near them.
    std::vector<LiquidPoint> particlesAndMirrors(const std::vector<LiquidParticle>& particles) const;
    // Where the level set times `sign` is below 0.
    std::vector<LiquidPoint> trianglesWhere(double sign) const;
    // The least and the largest value of the nine centres around each cell
    // (k = i*ny + j), as the level set stands.
    struct AroundBounds {
        std::vector<double> least, largest;
    };
    AroundBounds boundsAround() const;
    // Each triangle where the level set, less `shift`, times `sign` is below 0.
    // With bounds (of this level set, sign 1), a cell wholly in or out is
    // known without reading its neighbours.
    template <typename Visit>
    void visitTriangles(double sign, double shift, Visit&& visit, const AroundBounds* bounds = nullptr) const;
    double areaUnder(double shift, const AroundBounds* bounds = nullptr) const;
};
