#pragma once
// What the benchmarks that set our solve beside other libraries' share: the
// rule every solver's result must meet, the search for the fewest iterations
// that meet it, and our matrix in Eigen's form.

#include "PCG/sparse_matrix.h"
#include "PCG/vector_ops.h"

#include <Eigen/Sparse>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace peers {

// The largest |residual| of x at most `relative` of the largest |rhs|, with a
// little slack for the difference between a recurred and the true residual.
inline bool meetsTheRule(const pcg::RowListMatrix& matrix, const std::vector<double>& rhs, const double* x,
                         double relative)
{
    pcg::CompressedMatrix compressed;
    compressed.compressFrom(matrix);
    std::vector<double> product;
    pcg::applyMatrix(compressed, std::vector<double>(x, x + rhs.size()), product);
    double largest = 0.0;
    for (size_t k = 0; k < product.size(); ++k)
        largest = std::fmax(largest, std::fabs(rhs[k] - product[k]));
    return largest <= 1.0001 * relative * pcg::maxMagnitude(rhs);
}

// The fewest iterations after which meets(iterations) holds: the other
// libraries stop on 2-norms, ours on the largest magnitude.
template <typename Meets>
int fewestIterations(Meets meets, int ceiling)
{
    int high = 1;
    while (!meets(high)) {
        high *= 2;
        if (high > ceiling)
            throw std::runtime_error("no convergence within the ceiling");
    }
    int low = high / 2;  // fails the rule (or is 0)
    while (high - low > 1) {
        const int middle = (low + high) / 2;
        (meets(middle) ? high : low) = middle;
    }
    return high;
}

using EigenMatrix = Eigen::SparseMatrix<double, Eigen::RowMajor>;

inline EigenMatrix eigenMatrix(const pcg::RowListMatrix& rows)
{
    std::vector<Eigen::Triplet<double>> triplets;
    for (uint32_t row = 0; row < rows.n; ++row)
        for (size_t e = 0; e < rows.rowColumns[row].size(); ++e)
            triplets.emplace_back(row, rows.rowColumns[row][e], rows.rowValues[row][e]);
    EigenMatrix matrix(rows.n, rows.n);
    matrix.setFromTriplets(triplets.begin(), triplets.end());
    return matrix;
}

}  // namespace peers
