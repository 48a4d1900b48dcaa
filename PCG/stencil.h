#pragma once
// Matrices with the pattern of the five-point stencil on a grid numbered line
// after line, the pressure matrix's shape: row k = line*length + position
// couples to k - length, k - 1, k + 1 and k + length wherever those cells
// exist. Held as coefficients by row, such a matrix admits a product without
// index lists, and its factor and triangular solves can run along the grid's
// diagonals, several lines at a time. Every element is computed with the
// operations, in the order, of the general routines of sparse_matrix.h and
// pcg_solver.h: the results are identical to the last bit.

#include "PCG/sparse_matrix.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pcg {

struct TriangularFactor;

// n doubles, allocated without being cleared: their users write every element
// before reading it.
class Coefficients {
public:
    void resize(size_t size);
    double* data() { return values.get(); }
    const double* data() const { return values.get(); }
    double& operator[](size_t k) { return values[k]; }
    double operator[](size_t k) const { return values[k]; }

private:
    std::unique_ptr<double[]> values;
    size_t count = 0;
};

// A(k, ·) by row; 0.0 where the grid has no such neighbour.
struct StencilMatrix {
    uint32_t n = 0;
    uint32_t length = 0;  // cells per line
    uint32_t lines = 0;
    Coefficients lineBefore;  // A(k, k - length)
    Coefficients before;      // A(k, k - 1)
    Coefficients diagonal;    // A(k, k)
    Coefficients after;       // A(k, k + 1)
    Coefficients lineAfter;   // A(k, k + length)
};

// Reads the matrix when its pattern is exactly the stencil's on some grid of at
// least two lines of at least three cells, and no diagonal entry is 0.0 (the
// factor skips such columns; the general routines handle them). Returns false
// otherwise, leaving the stencil unspecified.
bool readStencil(const RowListMatrix& matrix, StencilMatrix& stencil);

// result := A*x, returning <x, result> summed in element order, as
// applyMatrixAndDot does on the compressed form of the same matrix.
double applyStencilAndDot(const StencilMatrix& matrix, const double* x, double* result);

// The entries of L that a triangular solve uses in the steps where it runs four
// lines side by side (see stencil.cpp), in the order it visits them.
struct SweepCoefficients {
    Coefficients up;       // weight of the cell on the line visited before
    Coefficients left;     // weight of the cell visited before on the same line
    Coefficients inverse;  // 1/L(k, k)
};

// The modified incomplete Cholesky factor of computeFactor by row: L(k, k) is
// 1/inverse[k], and L is 0.0 where the grid has no such neighbour.
struct StencilFactor {
    Coefficients inverse;     // 1/L(k, k)
    Coefficients lineBefore;  // L(k, k - length)
    Coefficients before;      // L(k, k - 1)
    SweepCoefficients forward;   // of L*w = r, from the first cell on
    SweepCoefficients backward;  // of L^T*z = w, from the last cell back
};

// The same numbers as computeFactor(matrix, factor, ...), also written to
// factor in its own form.
void computeStencilFactor(const StencilMatrix& matrix, double modificationParameter, double pivotFloorRatio,
                          StencilFactor& stencilFactor, TriangularFactor& factor);

// z := (L*L^T)^-1 * r, as forwardSubstitute followed by backSubstituteTransposed.
void applyStencilPreconditioner(const StencilMatrix& matrix, const StencilFactor& factor, const double* r,
                                double* z);

}  // namespace pcg
