#include "tests/support/reference_solver.h"

#include <cmath>
#include <cstdint>

namespace testing_support {

ReferenceSolve referenceSolve(const pcg::RowListMatrix& a, const std::vector<double>& rhs, std::vector<double>& x)
{
    const uint32_t n = uint32_t(rhs.size());
    auto columnsOf = [&a](uint32_t row) { return a.rowColumns[row]; };
    auto valuesOf = [&a](uint32_t row) { return a.rowValues[row]; };

    // Factor: column k holds the entries of row k right of the diagonal.
    std::vector<std::vector<uint32_t>> rows(n);
    std::vector<std::vector<double>> l(n);
    std::vector<double> diagonal(n, 0.0), pivot(n, 0.0);
    for (uint32_t k = 0; k < n; ++k) {
        for (size_t e = 0; e < columnsOf(k).size(); ++e) {
            if (columnsOf(k)[e] > k) {
                rows[k].push_back(columnsOf(k)[e]);
                l[k].push_back(valuesOf(k)[e]);
            } else if (columnsOf(k)[e] == k) {
                diagonal[k] = pivot[k] = valuesOf(k)[e];
            }
        }
    }
    auto inPattern = [&](uint32_t row, uint32_t column) {
        for (uint32_t c : columnsOf(row))
            if (c == column)
                return true;
        return false;
    };
    for (uint32_t k = 0; k < n; ++k) {
        double d = pivot[k];
        if (0.25 * diagonal[k] > d)
            d = diagonal[k];
        pivot[k] = 1.0 / std::sqrt(d);
        for (double& value : l[k])
            value = pivot[k] * value;
        for (size_t p = 0; p < rows[k].size(); ++p) {
            const uint32_t j = rows[k][p];
            const double m = l[k][p];
            double missing = 0.0;
            for (size_t q = 0; q < p; ++q)
                if (!inPattern(j, rows[k][q]))
                    missing += l[k][q];
            pivot[j] = pivot[j] - m * l[k][p];
            for (size_t q = p + 1; q < rows[k].size(); ++q) {
                bool found = false;
                for (size_t e = 0; e < rows[j].size(); ++e) {
                    if (rows[j][e] == rows[k][q]) {
                        l[j][e] = l[j][e] - m * l[k][q];
                        found = true;
                    }
                }
                if (!found)
                    missing += l[k][q];
            }
            pivot[j] = pivot[j] - missing * (m * 0.97);
        }
    }
    auto precondition = [&](const std::vector<double>& r, std::vector<double>& z) {
        z = r;
        for (uint32_t i = 0; i < n; ++i) {
            z[i] = pivot[i] * z[i];
            for (size_t e = 0; e < rows[i].size(); ++e)
                z[rows[i][e]] = z[rows[i][e]] - z[i] * l[i][e];
        }
        for (uint32_t i = n; i-- > 0;) {
            for (size_t e = 0; e < rows[i].size(); ++e)
                z[i] = z[i] - z[rows[i][e]] * l[i][e];
            z[i] = pivot[i] * z[i];
        }
    };
    auto dot = [n](const std::vector<double>& p, const std::vector<double>& q) {
        double sum = 0.0;
        for (uint32_t i = 0; i < n; ++i)
            sum += q[i] * p[i];
        return sum;
    };
    auto largest = [n](const std::vector<double>& p) {
        double best = 0.0;
        for (uint32_t i = 0; i < n; ++i)
            best = std::fabs(p[i]) > best ? std::fabs(p[i]) : best;
        return best > 0.0 || n == 0 ? best : std::fabs(p[0]);
    };
    auto axpy = [n](double alpha, const std::vector<double>& p, std::vector<double>& q) {
        if (alpha != 0.0)
            for (uint32_t i = 0; i < n; ++i)
                q[i] = alpha * p[i] + q[i];
    };

    x.assign(n, 0.0);
    std::vector<double> r = rhs, z, s(n), d;
    double residual = largest(r);
    if (residual == 0.0)
        return {true, 0, residual};
    const double tolerance = residual * 1e-5;
    precondition(r, z);
    double rho = dot(z, r);
    d = z;
    for (int iteration = 0; iteration < 100; ++iteration) {
        for (uint32_t i = 0; i < n; ++i) {
            s[i] = 0.0;
            for (size_t e = 0; e < columnsOf(i).size(); ++e)
                s[i] = d[columnsOf(i)[e]] * valuesOf(i)[e] + s[i];
        }
        const double alpha = rho / dot(d, s);
        axpy(alpha, d, x);
        axpy(-alpha, s, r);
        residual = largest(r);
        if (residual <= tolerance)
            return {true, iteration + 1, residual};
        precondition(r, z);
        const double rhoNew = dot(z, r);
        axpy(rhoNew / rho, d, z);
        d = z;
        rho = rhoNew;
    }
    return {false, 100, residual};
}

}  // namespace testing_support
