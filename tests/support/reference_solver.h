#pragma once
// The one plain reference of the pressure solve for the tests: modified
// incomplete Cholesky and preconditioned conjugate gradient written out on row
// lists with nothing shared with the solver's code, in the solver's order of
// operations, so that its results must equal the solver's bit for bit.

#include "PCG/sparse_matrix.h"

#include <vector>

namespace testing_support {

struct ReferenceSolve {
    bool converged;
    int iterations;   // matrix products
    double residual;  // largest |residual| at the last test
};

// The solver's defaults: tolerance 1e-5 of the largest |rhs|, at most 100
// iterations, modification 0.97, pivot floor 0.25. Every row needs its diagonal.
ReferenceSolve referenceSolve(const pcg::RowListMatrix& matrix, const std::vector<double>& rhs,
                              std::vector<double>& x);

}  // namespace testing_support
