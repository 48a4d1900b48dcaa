#pragma once
// Test problems for the linear algebra, built independently of the solver's own assembly.

#include "PCG/sparse_matrix.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace testing_support {

// Pure-Neumann five-point matrix of an nx by ny cell grid (cell k = i*ny + j),
// built edge by edge through addToRow's merging.
pcg::RowListMatrix neumannPressureMatrix(uint32_t nx, uint32_t ny);

// A symmetric matrix with the five-point pattern of `lines` lines of `length`
// cells (cell k = line*length + position), random values: off-diagonal
// entries in [-1.5, 0.5) or stored zeros of either sign, diagonals in
// [0.5, 4.5), so that some pivots fall below the factor's floor.
pcg::RowListMatrix randomFivePointMatrix(uint32_t lines, uint32_t length, uint32_t seed);

// The symmetric matrix of that pattern whose A(k, k + 1) is right[k],
// A(k, k + length) down[k] and A(k, k) diagonal[k] (n values each).
pcg::RowListMatrix symmetricFivePointMatrix(uint32_t lines, uint32_t length, const std::vector<double>& right,
                                           const std::vector<double>& down, const std::vector<double>& diagonal);

// A random right-hand side with zero sum, so that the singular system is consistent.
std::vector<double> compatibleRightHandSide(uint32_t n, uint32_t seed);

// Straightforward y := A*x, row by row from the row lists.
std::vector<double> multiply(const pcg::RowListMatrix& matrix, const std::vector<double>& x);

double maxAbsDifference(const std::vector<double>& a, const std::vector<double>& b);

// A row's stored entries as (column, value) pairs, in stored order.
using MatrixRow = std::vector<std::pair<uint32_t, double>>;
MatrixRow rowOf(const pcg::RowListMatrix& matrix, uint32_t row);

}  // namespace testing_support
