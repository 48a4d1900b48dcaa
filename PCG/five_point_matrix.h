#pragma once
// Matrices with the pattern of the five-point stencil on a grid numbered line
// after line, the pressure matrix's shape: row k = line*length + position
// couples to k - length, k - 1, k + 1 and k + length wherever those cells
// exist. Held as coefficients by row, such a matrix has a product without
// index lists, and its factor and triangular solves (five_point_factor.h) can
// run along the grid's diagonals. Every element is computed with the
// operations, in the order, of the general routines: the results are identical
// to the last bit.

#include "PCG/coefficient_classes.h"
#include "PCG/five_point_kernels.h"
#include "PCG/sparse_matrix.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pcg {

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
struct FivePointMatrix {
    uint32_t n = 0;
    uint32_t length = 0;  // cells per line
    uint32_t lines = 0;
    Coefficients lineBefore;  // A(k, k - length)
    Coefficients before;      // A(k, k - 1)
    Coefficients diagonal;    // A(k, k)
    Coefficients after;       // A(k, k + 1)
    Coefficients lineAfter;   // A(k, k + length)
    // Every entry before a cell holds, bit for bit, the entry after the
    // neighbour it couples to: the product then reads two arrays fewer.
    bool symmetric = false;
    // The rows' five entries by class, in the order above, where they are few
    // and classifyCoefficients was asked to find them.
    CoefficientClasses<5> classes;
};

// Gives the matrix the shape of `lines` lines of `length` cells, its coefficients unset.
void reshapeFivePointMatrix(FivePointMatrix& matrix, uint32_t lines, uint32_t length);

// Sets matrix.symmetric from its coefficients, once they are all written.
void noteSymmetry(FivePointMatrix& matrix);

// Sets matrix.classes from its coefficients, once they are all written: worth
// its pass over them for a matrix kept for many products and solves.
void classifyCoefficients(FivePointMatrix& matrix);

// Reads the matrix when its pattern is exactly the five-point stencil's on
// some grid of at least two lines of at least three cells, and no diagonal
// entry is 0.0 (the factor skips such columns; the general routines handle
// them). Returns false otherwise, leaving `fivePoint` unspecified.
bool readFivePointMatrix(const RowListMatrix& matrix, FivePointMatrix& fivePoint);

// result := A*x, returning <x, result> summed in element order, as
// applyMatrixAndDot does on the compressed form of the same matrix.
double applyFivePointAndDot(const FivePointMatrix& matrix, const double* x, double* result);

// What the kernels read of the matrix.
FivePointRows rowsOf(const FivePointMatrix& matrix);

}  // namespace pcg
