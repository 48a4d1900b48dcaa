#pragma once
// The modified incomplete Cholesky factor of a five-point matrix
// (five_point_matrix.h) by row, and the preconditioner that applies it.

#include "PCG/five_point_kernels.h"
#include "PCG/five_point_matrix.h"
#include "PCG/triangular_factor.h"

namespace pcg {

// The factor's entries in the order of the wavefront's steady steps.
struct SweepCoefficients {
    Coefficients up;
    Coefficients left;
    Coefficients inverse;
};

// L(k, k) is 1/inverse[k]; L is 0.0 where the grid has no such neighbour.
struct FivePointFactor {
    Coefficients inverse;     // 1/L(k, k)
    Coefficients lineBefore;  // L(k, k - length)
    Coefficients before;      // L(k, k - 1)
    SweepCoefficients forward;   // of L*w = r, from the first cell on
    SweepCoefficients backward;  // of L^T*z = w, from the last cell back
    // The same weights by class, cell by cell, where the matrix's are few and
    // so are these; forward and backward are then not laid out.
    CoefficientClasses<3> forwardClasses;   // L(k, k - length), L(k, k - 1), 1/L(k, k)
    CoefficientClasses<3> backwardClasses;  // L(k + length, k), L(k + 1, k), 1/L(k, k)
};

// The same numbers as computeFactor on the matrix the five-point form was
// read from, written to `fivePoint` and, in its general form, to `general`.
void computeFivePointFactor(const FivePointMatrix& matrix, double modificationParameter, double pivotFloorRatio,
                            FivePointFactor& fivePoint, TriangularFactor& general);

// z := (L*L^T)^-1 * r, as forwardSubstitute followed by backSubstituteTransposed.
void applyFivePointPreconditioner(const FivePointMatrix& matrix, const FivePointFactor& factor, const double* r,
                                  double* z);

}  // namespace pcg
