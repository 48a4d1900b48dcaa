#pragma once
// The modified incomplete Cholesky factor of zero fill-in, in its general
// form, and the two triangular solves with it.

#include "PCG/sparse_matrix.h"

#include <cstdint>
#include <vector>

namespace pcg {

// Lower-triangular L with the pattern of the matrix's lower triangle, stored by
// columns, with L*L^T approximating the matrix.
struct TriangularFactor {
    uint32_t n = 0;                        // dimension
    std::vector<double> inverseDiagonal;   // running pivots while factoring, then 1/L(k,k)
    std::vector<double> entryValues;       // entries strictly below the diagonal, column after column
    std::vector<uint32_t> entryRows;       // row of each entry, increasing within a column
    std::vector<uint32_t> columnOffsets{0};  // column k spans [columnOffsets[k], columnOffsets[k+1])
    std::vector<double> matrixDiagonal;    // the input matrix's own diagonal
};

// Dropped fill-in times modificationParameter is charged to the diagonals; a
// pivot below pivotFloorRatio times the matrix's diagonal entry is replaced by that entry.
void computeFactor(const RowListMatrix& matrix, TriangularFactor& factor,
                   double modificationParameter, double pivotFloorRatio);

// Solves L*result = rhs; result must already have length n.
void forwardSubstitute(const TriangularFactor& factor, const std::vector<double>& rhs,
                       std::vector<double>& result);

// Solves L^T*y = x in place.
void backSubstituteTransposed(const TriangularFactor& factor, std::vector<double>& x);

}  // namespace pcg
