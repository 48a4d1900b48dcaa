#include "tests/support/pressure_problem.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace testing_support {

pcg::RowListMatrix neumannPressureMatrix(uint32_t nx, uint32_t ny)
{
    pcg::RowListMatrix matrix(nx * ny);
    // Each pair of neighbouring cells couples them once: +1 on both diagonals, -1 off them.
    auto couple = [&matrix](uint32_t a, uint32_t b) {
        matrix.addToRow(a, {std::min(a, b), std::max(a, b)}, a < b ? std::vector<double>{1.0, -1.0}
                                                                    : std::vector<double>{-1.0, 1.0});
        matrix.addToRow(b, {std::min(a, b), std::max(a, b)}, b < a ? std::vector<double>{1.0, -1.0}
                                                                    : std::vector<double>{-1.0, 1.0});
    };
    for (uint32_t i = 0; i < nx; ++i) {
        for (uint32_t j = 0; j < ny; ++j) {
            const uint32_t k = i * ny + j;
            if (j + 1 < ny)
                couple(k, k + 1);
            if (i + 1 < nx)
                couple(k, k + ny);
        }
    }
    return matrix;
}

pcg::RowListMatrix randomFivePointMatrix(uint32_t lines, uint32_t length, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> offDiagonal(-1.5, 0.5), diagonal(0.5, 4.5);
    const uint32_t n = lines * length;
    std::uniform_int_distribution<int> zero(0, 9);
    auto coupling = [&] {
        const double value = offDiagonal(generator);
        switch (zero(generator)) {
        case 0: return 0.0;
        case 1: return -0.0;
        default: return value;
        }
    };
    std::vector<double> right(n), down(n), diagonals(n);  // A(k, k + 1), A(k, k + length), A(k, k)
    for (uint32_t k = 0; k < n; ++k) {
        right[k] = coupling();
        down[k] = coupling();
    }
    for (uint32_t k = 0; k < n; ++k)
        diagonals[k] = diagonal(generator);
    return symmetricFivePointMatrix(lines, length, right, down, diagonals);
}

pcg::RowListMatrix symmetricFivePointMatrix(uint32_t lines, uint32_t length, const std::vector<double>& right,
                                           const std::vector<double>& down, const std::vector<double>& diagonal)
{
    pcg::RowListMatrix matrix(lines * length);
    for (uint32_t line = 0; line < lines; ++line) {
        for (uint32_t position = 0; position < length; ++position) {
            const uint32_t k = line * length + position;
            std::vector<uint32_t> columns;
            std::vector<double> values;
            auto add = [&](uint32_t column, double value) {
                columns.push_back(column);
                values.push_back(value);
            };
            if (line > 0)
                add(k - length, down[k - length]);
            if (position > 0)
                add(k - 1, right[k - 1]);
            add(k, diagonal[k]);
            if (position + 1 < length)
                add(k + 1, right[k]);
            if (line + 1 < lines)
                add(k + length, down[k]);
            matrix.addToRow(k, columns, values);
        }
    }
    return matrix;
}

std::vector<double> compatibleRightHandSide(uint32_t n, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> rhs(n);
    double sum = 0.0;
    for (double& value : rhs) {
        value = uniform(generator);
        sum += value;
    }
    for (double& value : rhs)
        value -= sum / n;
    return rhs;
}

std::vector<double> multiply(const pcg::RowListMatrix& matrix, const std::vector<double>& x)
{
    std::vector<double> y(matrix.n, 0.0);
    for (uint32_t row = 0; row < matrix.n; ++row)
        for (size_t e = 0; e < matrix.rowColumns[row].size(); ++e)
            y[row] += matrix.rowValues[row][e] * x[matrix.rowColumns[row][e]];
    return y;
}

double maxAbsDifference(const std::vector<double>& a, const std::vector<double>& b)
{
    double largest = 0.0;
    for (size_t k = 0; k < a.size(); ++k)
        largest = std::max(largest, std::fabs(a[k] - b[k]));
    return largest;
}

MatrixRow rowOf(const pcg::RowListMatrix& matrix, uint32_t row)
{
    MatrixRow entries;
    for (size_t e = 0; e < matrix.rowColumns[row].size(); ++e)
        entries.emplace_back(matrix.rowColumns[row][e], matrix.rowValues[row][e]);
    return entries;
}

}  // namespace testing_support
