#pragma once
// Where the fluid is and what holds it, built from a scene: which cells are
// solid, what each border face is (held at rest by a wall, held at a band's
// speed, or left free by an outlet), and the walls that a sample beyond the
// border mirrors. Every step asks it; it is the one thing that changes a cell.

#include "sim/scene/scene.h"
#include "sim/grid/velocity_field.h"

#include <cstdint>
#include <vector>

class Domain {
public:
    // Needs a scene without problems.
    explicit Domain(const Scene& scene);

    uint32_t cellsX() const { return nx; }
    uint32_t cellsY() const { return ny; }
    double cellSize() const { return dx; }

    bool isSolid(uint32_t i, uint32_t j) const { return solid[size_t(i) * ny + j] != 0; }
    bool anySolid() const { return solidCount > 0; }
    // Per cell, k = i*ny + j: 1 where solid.
    const std::vector<uint8_t>& solidCells() const { return solid; }
    // Whether the point (x, y), in length units, lies in a solid cell or
    // inside a disc that cuts cells; a point outside the grid does not.
    bool solidAt(double x, double y) const
    {
        return solidAtCells(x / dx, y / dx) || (cutsCells() && insideCutDisc(x / dx, y / dx));
    }
    // The same for a point in cells.
    bool solidAtCells(double cx, double cy) const;

    // The velocity a border face normal to the side is held at, positive
    // along +x or +y: 0 at a wall, a band's speed its way; NaN where an
    // outlet leaves the face free.
    double borderFace(Side side, uint32_t cell) const { return border[int(side)][cell]; }
    // Per cell, k = i*ny + j: how many of its border faces are open outlets
    // (the pressure beyond them is 0).
    const std::vector<uint8_t>& outletFaceCounts() const { return outletFaces; }
    // Whether a border cell's border face is a band's or an outlet's.
    bool atOpening(uint32_t i, uint32_t j) const;
    // Faces whose velocity the domain sets: a border's normal faces but an
    // outlet's, and every face of a solid cell.
    bool heldFace(int component, uint32_t i, uint32_t j) const;
    // The same for every face of a component, in its layout (k = i*extent1 + j).
    std::vector<uint8_t> heldFaces(int component) const;

    const Wall& wall(Side side) const { return walls[int(side)]; }
    // The dye that flows in through border face `cell` of a side: a pouring
    // band's colour channel, else none.
    double inflowDye(Side side, uint32_t cell, int channel) const;

    // Sets the held faces: the border's to their values, a solid cell's to rest.
    void holdFaces(VelocityField& field) const;
    // The four faces of cell (i, j) at rest.
    static void stillCell(VelocityField& field, uint32_t i, uint32_t j);

    // Whether a disc cuts the cells it crosses (SolidDisc::cut): then a
    // face is open by the part of it no such disc covers, and the fluid's
    // equations weigh it by that part.
    bool cutsCells() const { return !cutOpen[0].empty(); }
    // The part of a face open to the flow, 0 to 1: 0 beside a solid cell,
    // else what the cutting discs leave free (1 without them). The border's
    // faces are not cut.
    double aperture(int component, uint32_t i, uint32_t j) const;
    // The velocity through the open parts of the faces: each face times its
    // aperture. What the projection keeps free of divergence, and what
    // carries dye and heat from cell to cell.
    VelocityField openFlow(const VelocityField& field) const;
    // Whether a point, in cells, lies inside a cutting disc.
    bool insideCutDisc(double cx, double cy) const;
    // Whether the velocity sample of a face (component, i, j) does.
    bool sampleInsideCutDisc(int component, uint32_t i, uint32_t j) const
    {
        return cutsCells() && cutInside[component][faceIndex(component, i, j)];
    }
    // From a point in cells outside every cutting disc, how far along axis
    // (0: x, 1: y) in the direction (+1 or -1) a cutting disc's surface
    // lies, in cells; `reach` where none is nearer.
    double distanceToCutSurface(double cx, double cy, int axis, int direction, double reach) const;

    // The parts of the fluid that no outlet opens, each as its cells (k =
    // i*ny + j) in increasing order: fluid cells joined through faces with
    // an open part. The pressure in such a part is fixed only up to a
    // constant, so its equations are solvable only where their right-hand
    // side sums to zero over it.
    std::vector<std::vector<uint32_t>> closedParts() const;

    // Makes cell (i, j) solid or fluid. A cell outside the grid or at an
    // opening stays as it is, and so does a solid cell without an open face
    // (inside a cutting disc): false then.
    bool setSolid(uint32_t i, uint32_t j, bool makeSolid);
    // Counts the cells changed so far: the systems built on the solids hold
    // while it stays the same.
    uint64_t solidRevision() const { return revision; }

private:
    uint32_t nx, ny;
    double dx;
    std::vector<uint8_t> solid;
    size_t solidCount = 0;
    uint64_t revision = 0;
    std::vector<double> border[4];     // indexed by Side, along the side
    std::vector<uint8_t> outletFaces;  // per cell
    Wall walls[4];                     // indexed by Side
    std::vector<Band> pouringBands;
    std::vector<SolidDisc> cutDiscs;
    // Per face of each component, in its layout: what the cutting discs
    // leave open of it, whatever the cells; empty without them.
    std::vector<double> cutOpen[2];
    std::vector<uint32_t> cutShut[2];  // the faces they close whole, inside the border
    std::vector<uint8_t> cutInside[2];  // per face: whether its sample lies inside one

    bool shutByDiscs(uint32_t i, uint32_t j) const;
    // Where face (i, j) of a component lies in its layout: u's lines have ny faces, v's ny + 1.
    size_t faceIndex(int component, uint32_t i, uint32_t j) const
    {
        return size_t(i) * (component == 0 ? ny : ny + 1) + j;
    }
};

// Beyond a wall that holds the tangential velocity, the sample that puts the
// wall's own speed on the wall, halfway: 2*speed - the sample inside. Beyond
// a slip wall, the sample inside.
inline double ghostSample(const Wall& wall, double inside)
{
    return wall.holdsTangent() ? 2.0 * wall.tangentSpeed() - inside : inside;
}

// The same rule in a row of an implicit system whose neighbours couple by s,
// s*(ghost - inside): 2*s more on the diagonal and 2*s*speed on the
// right-hand side beyond a wall that holds the tangential velocity; nothing
// beyond a slip wall.
inline void addGhostToRow(const Wall& wall, double s, double& diagonal, double& rhs)
{
    if (!wall.holdsTangent())
        return;
    diagonal += 2.0 * s;
    rhs += 2.0 * s * wall.tangentSpeed();
}
