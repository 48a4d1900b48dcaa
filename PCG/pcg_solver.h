#pragma once
// Conjugate gradient for symmetric sparse systems, preconditioned with a
// modified incomplete Cholesky factor of zero fill-in.

#include "PCG/sparse_matrix.h"
#include "PCG/stencil.h"

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

struct PcgSolver {
    TriangularFactor factor;           // preconditioner of the current solve
    std::vector<double> auxiliary;     // scratch: A*direction, then M^-1*residual, then the next direction
    std::vector<double> direction;     // search direction
    std::vector<double> residual;      // rhs - A*result
    CompressedMatrix compressedMatrix; // copy of the system matrix for the products
    double relativeTolerance = 1e-5;   // of the largest |rhs|, in the maximum norm
    int32_t iterationLimit = 100;
    double modificationParameter = 0.97;
    double pivotFloorRatio = 0.25;

    // Solves matrix*result = rhs from a zero guess. Returns true when the
    // largest |residual| falls to relativeTolerance*max|rhs| (or rhs is zero);
    // otherwise result holds the last iterate. residualOut is the largest
    // |residual| at the last test; iterationsOut counts the matrix products.
    bool solveSystem(const RowListMatrix& matrix, const std::vector<double>& rhs,
                     std::vector<double>& result, double& residualOut, int& iterationsOut);

private:
    // A matrix with the five-point stencil's pattern takes faster routines with
    // the same arithmetic (stencil.h); any other takes the routines above.
    bool stencilShaped = false;
    StencilMatrix stencil;
    StencilFactor stencilFactor;

    void applyPreconditioner();  // auxiliary := M^-1 * residual
};

}  // namespace pcg
