#include "sim/flow/pressure_system.h"

double kineticEnergy(const VelocityField& field)
{
    double sumOfSquares = 0.0;
    for (size_t k = 0; k < field.u.size(); ++k)
        sumOfSquares += field.u.data[k] * field.u.data[k];
    for (size_t k = 0; k < field.v.size(); ++k)
        sumOfSquares += field.v.data[k] * field.v.data[k];
    return 0.5 * sumOfSquares * field.dx * field.dx;
}

double cellDivergence(const VelocityField& field, uint32_t i, uint32_t j)
{
    const double h = field.dx;
    double divergence = 0.0;
    divergence += (field.u.at(i + 1, j) - field.u.at(i, j)) / h;
    divergence += (field.v.at(i, j + 1) - field.v.at(i, j)) / h;
    return divergence;
}

namespace {

// The pressure rows of a grid whose cells are fluid where fluid(k) says, with
// open(k) outlet faces each, its fluid cells coupled through each face by
// the part aperture(component, i, j) the face leaves open (1 but where a
// disc cuts it). Where discs cut cells, a cell whose faces they all shut
// takes no part, as a solid. (A fluid cell walled in by solid cells keeps
// its empty row, as it always has.)
template <typename Fluid, typename Open, typename Aperture>
auto pressureRows(uint32_t nx, uint32_t ny, Fluid fluid, Open open, Aperture aperture, bool cut = false)
{
    return [=](uint32_t i, uint32_t j) {
        const uint32_t k = i * ny + j;
        FivePointRow row;
        if (!fluid(k)) {
            row.diagonal = 1.0;  // the pressure 0, taking no part
            return row;
        }
        // Neighbours that take part: inside the grid and fluid, by their faces' open parts.
        const double left = i > 0 && fluid(k - ny) ? aperture(0, i, j) : 0.0;
        const double up = j > 0 && fluid(k - 1) ? aperture(1, i, j) : 0.0;
        const double down = j < ny - 1 && fluid(k + 1) ? aperture(1, i, j + 1) : 0.0;
        const double right = i < nx - 1 && fluid(k + ny) ? aperture(0, i + 1, j) : 0.0;
        row.beforeA = -left;
        row.beforeB = -up;
        row.diagonal = left + up + down + right + double(open(k));
        row.afterB = -down;
        row.afterA = -right;
        if (cut && row.diagonal == 0.0) {
            row = FivePointRow{};
            row.diagonal = 1.0;  // shut in by the discs
        }
        return row;
    };
}

// Every face open whole.
double wholeFace(int, uint32_t, uint32_t)
{
    return 1.0;
}

auto sceneRows(uint32_t nx, uint32_t ny, const std::vector<uint8_t>& solid, const std::vector<uint8_t>& outletFaces)
{
    return pressureRows(
        nx, ny, [&solid](uint32_t k) { return solid.empty() || !solid[k]; },
        [&outletFaces](uint32_t k) { return outletFaces.empty() ? 0u : uint32_t(outletFaces[k]); }, wholeFace);
}

}  // namespace

pcg::RowListMatrix assemblePressureMatrix(uint32_t nx, uint32_t ny)
{
    return fivePointSystem(
        nx, ny, pressureRows(nx, ny, [](uint32_t) { return true; }, [](uint32_t) { return 0u; }, wholeFace));
}

pcg::RowListMatrix assemblePressureMatrix(uint32_t nx, uint32_t ny, const std::vector<uint8_t>& solid,
                                          const std::vector<uint8_t>& outletFaces)
{
    return fivePointSystem(nx, ny, sceneRows(nx, ny, solid, outletFaces));
}

FivePointSystem pressureSystem(uint32_t nx, uint32_t ny, const std::vector<uint8_t>& solid,
                               const std::vector<uint8_t>& outletFaces)
{
    return fastestFivePointSystem(nx, ny, sceneRows(nx, ny, solid, outletFaces));
}

FivePointSystem pressureSystem(const Domain& domain)
{
    const uint32_t nx = domain.cellsX(), ny = domain.cellsY();
    if (!domain.cutsCells())
        return pressureSystem(nx, ny, domain.solidCells(), domain.outletFaceCounts());
    const std::vector<uint8_t>& solid = domain.solidCells();
    const std::vector<uint8_t>& outletFaces = domain.outletFaceCounts();
    return fastestFivePointSystem(
        nx, ny,
        pressureRows(
            nx, ny, [&solid](uint32_t k) { return !solid[k]; }, [&outletFaces](uint32_t k) { return outletFaces[k]; },
            [&domain](int component, uint32_t i, uint32_t j) { return domain.aperture(component, i, j); }, true));
}

std::vector<double> pressureRightHandSide(const VelocityField& field, double dx, double density, double dt)
{
    std::vector<double> rhs(size_t(field.nx) * field.ny, 0.0);
    const double scale = ((-dx * dx) * density) / dt;
    for (uint32_t i = 0; i < field.nx; ++i)
        for (uint32_t j = 0; j < field.ny; ++j)
            rhs[size_t(i) * field.ny + j] = scale * cellDivergence(field, i, j);
    return rhs;
}
