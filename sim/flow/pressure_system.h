#pragma once
// The pressure's equation: its rows (for the standard grid, a scene's solids
// and outlets, and the open parts of faces that discs cut), its right-hand
// side, and the measures of a velocity field it rests on.

#include "PCG/sparse_matrix.h"
#include "sim/domain/domain.h"
#include "sim/grid/velocity_field.h"
#include "sim/solve/five_point_system.h"

#include <cstdint>
#include <vector>

// Half the sum of every squared velocity sample, times the area of a cell.
double kineticEnergy(const VelocityField& field);

// Divergence of cell (i, j) in the field's own units: x term first.
double cellDivergence(const VelocityField& field, uint32_t i, uint32_t j);

// The pressure equation: one row per cell k = i*ny + j, -1 for each neighbour
// inside the grid and their count on the diagonal, so every row sums to zero.
pcg::RowListMatrix assemblePressureMatrix(uint32_t nx, uint32_t ny);

// The same in a scene: a fluid cell counts its fluid neighbours and its open
// outlet faces (pressure 0 beyond them) on the diagonal; a solid neighbour
// keeps its place in the row as 0.0, so that every row has the five-point
// pattern of the grid. A solid cell's row is 1 on the diagonal and 0.0 beside:
// its pressure is 0 and takes no part. solid and outletFaces are per cell
// (Domain::solidCells, Domain::outletFaceCounts).
pcg::RowListMatrix assemblePressureMatrix(uint32_t nx, uint32_t ny, const std::vector<uint8_t>& solid,
                                          const std::vector<uint8_t>& outletFaces);

// The same rows in the form the solver takes fastest (five_point_system.h).
FivePointSystem pressureSystem(uint32_t nx, uint32_t ny, const std::vector<uint8_t>& solid,
                               const std::vector<uint8_t>& outletFaces);

// The scene's rows with its faces weighed by their open parts where discs
// cut cells (Domain::aperture): a shut-in cell's row as a solid's.
FivePointSystem pressureSystem(const Domain& domain);

// Each cell's divergence times -dx*dx*density/dt, indexed like the matrix rows.
std::vector<double> pressureRightHandSide(const VelocityField& field, double dx, double density, double dt);
