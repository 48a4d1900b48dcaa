// The simulation against a plain, line-by-line reference of its arithmetic: the
// same iteration count on every tick and the same fields, bit for bit, after
// 100 ticks. Guards every speed-up of the sampling, the advection and the linear algebra.

#include "sim/fluid_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using Grid = std::vector<double>;  // second index fastest

struct ReferenceState {
    uint32_t nx = 50, ny = 50;
    Grid u = Grid(51 * 50, 0.0), v = Grid(50 * 51, 0.0), pressure = Grid(50 * 50, 0.0);
};

double sample(const ReferenceState& s, const Grid& g, int component, double x, double y)
{
    const uint32_t extent1 = component == 0 ? s.ny : s.ny + 1;
    double p[2] = {x, y};
    uint32_t base[2];
    double weight[2];
    for (int k = 0; k < 2; ++k) {
        double coordinate = p[k] / 1.0;
        if (k != component)
            coordinate -= 0.5;
        const double cell = std::floor(coordinate);
        const bool fits = cell >= -2147483648.0 && cell <= 2147483647.0;
        const int32_t n = fits ? int32_t(cell) : -1;
        const uint32_t b = (k == 0 ? s.nx : s.ny) - (k != component ? 1 : 0);
        if (n < 0) {
            base[k] = 0;
            weight[k] = 1.0;
        } else if (uint32_t(n) < b) {
            base[k] = uint32_t(n);
            weight[k] = 1 - (coordinate - n);
        } else {
            base[k] = b - 1;
            weight[k] = 0.0;
        }
    }
    double sum = 0.0;
    for (int q = 0; q < 4; ++q) {
        const int o[2] = {q & 1, (q >> 1) & 1};
        double w = 1.0;
        for (int k = 0; k < 2; ++k)
            w *= o[k] == 0 ? weight[k] : 1 - weight[k];
        sum += g[(base[0] + o[0]) * extent1 + base[1] + o[1]] * w;
    }
    return sum;
}

void referenceAdvect(ReferenceState& s, double dt)
{
    Grid u(s.u.size()), v(s.v.size());
    for (uint32_t i = 0; i <= s.nx; ++i) {
        for (uint32_t j = 0; j <= s.ny; ++j) {
            if (i < s.nx) {
                const double px = i + 0.5, py = j;
                const double wx = sample(s, s.u, 0, px, py), wy = sample(s, s.v, 1, px, py);
                v[i * (s.ny + 1) + j] = sample(s, s.v, 1, px - dt * wx, py - dt * wy);
            }
            if (j < s.ny) {
                const double px = i, py = j + 0.5;
                const double wx = sample(s, s.u, 0, px, py), wy = sample(s, s.v, 1, px, py);
                u[i * s.ny + j] = sample(s, s.u, 0, px - dt * wx, py - dt * wy);
            }
        }
    }
    s.u = u;
    s.v = v;
}

void referenceBorders(ReferenceState& s)
{
    for (uint32_t i = 0; i < s.nx; ++i) {
        s.v[i * (s.ny + 1)] = 0.0;
        s.v[i * (s.ny + 1) + s.ny] = 0.0;
    }
    for (uint32_t j = 0; j < s.ny; ++j) {
        s.u[j] = j <= 9 ? 10.0 : 0.0;
        s.u[s.nx * s.ny + j] = j >= 40 ? 10.0 : 0.0;
    }
}

// Plain modified incomplete Cholesky and conjugate gradient on dense index arithmetic.
struct Neighbours {
    std::vector<std::vector<uint32_t>> columns;
    std::vector<std::vector<double>> values;
};

Neighbours referenceMatrix(uint32_t nx, uint32_t ny)
{
    Neighbours m;
    m.columns.resize(nx * ny);
    m.values.resize(nx * ny);
    for (uint32_t i = 0; i < nx; ++i) {
        for (uint32_t j = 0; j < ny; ++j) {
            const uint32_t k = i * ny + j;
            const double count = (i > 0) + (j > 0) + (j < ny - 1) + (i < nx - 1);
            auto add = [&](bool present, uint32_t column, double value) {
                if (present) {
                    m.columns[k].push_back(column);
                    m.values[k].push_back(value);
                }
            };
            add(i > 0, k - ny, -1.0);
            add(j > 0, k - 1, -1.0);
            add(true, k, count);
            add(j < ny - 1, k + 1, -1.0);
            add(i < nx - 1, k + ny, -1.0);
        }
    }
    return m;
}

int referenceSolve(const Neighbours& a, const std::vector<double>& rhs, std::vector<double>& x)
{
    const uint32_t n = uint32_t(rhs.size());
    // Factor: column k holds the entries of row k right of the diagonal.
    std::vector<std::vector<uint32_t>> rows(n);
    std::vector<std::vector<double>> l(n);
    std::vector<double> diagonal(n, 0.0), pivot(n, 0.0);
    for (uint32_t k = 0; k < n; ++k) {
        for (size_t e = 0; e < a.columns[k].size(); ++e) {
            if (a.columns[k][e] > k) {
                rows[k].push_back(a.columns[k][e]);
                l[k].push_back(a.values[k][e]);
            } else if (a.columns[k][e] == k) {
                diagonal[k] = pivot[k] = a.values[k][e];
            }
        }
    }
    auto inPattern = [&](uint32_t row, uint32_t column) {
        for (uint32_t c : a.columns[row])
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
        return best;
    };
    auto axpy = [n](double alpha, const std::vector<double>& p, std::vector<double>& q) {
        if (alpha != 0.0)
            for (uint32_t i = 0; i < n; ++i)
                q[i] = alpha * p[i] + q[i];
    };

    x.assign(n, 0.0);
    std::vector<double> r = rhs, z, s(n), d;
    const double tolerance = largest(r) * 1e-5;
    if (largest(r) == 0.0)
        return 0;
    precondition(r, z);
    double rho = dot(z, r);
    d = z;
    for (int iteration = 0; iteration < 100; ++iteration) {
        for (uint32_t i = 0; i < n; ++i) {
            s[i] = 0.0;
            for (size_t e = 0; e < a.columns[i].size(); ++e)
                s[i] = d[a.columns[i][e]] * a.values[i][e] + s[i];
        }
        const double alpha = rho / dot(d, s);
        axpy(alpha, d, x);
        axpy(-alpha, s, r);
        if (largest(r) <= tolerance)
            return iteration + 1;
        precondition(r, z);
        const double rhoNew = dot(z, r);
        axpy(rhoNew / rho, d, z);
        d = z;
        rho = rhoNew;
    }
    return 100;
}

int referenceTick(ReferenceState& s, const Neighbours& matrix)
{
    const double dt = 0.05;
    referenceAdvect(s, dt);
    for (double& value : s.v)
        value = value + dt * 9.8;
    referenceBorders(s);
    std::vector<double> rhs(s.nx * s.ny, 0.0);
    for (uint32_t i = 0; i < s.nx; ++i) {
        for (uint32_t j = 0; j < s.ny; ++j) {
            const double divergence = (s.u[(i + 1) * s.ny + j] - s.u[i * s.ny + j]) / 1.0 +
                                      (s.v[i * (s.ny + 1) + j + 1] - s.v[i * (s.ny + 1) + j]) / 1.0;
            rhs[i * s.ny + j] = ((-1.0 * 1.0) * 1000.0) / dt * divergence;
        }
    }
    const int iterations = referenceSolve(matrix, rhs, s.pressure);
    auto p = [&](int64_t i, int64_t j) {
        return (i < 0 || j < 0 || i >= s.nx || j >= s.ny) ? 0.0 : s.pressure[i * s.ny + j];
    };
    const double g = dt / 1000.0;
    for (int64_t i = 0; i <= s.nx; ++i) {
        for (int64_t j = 0; j <= s.ny; ++j) {
            if (i < s.nx)
                s.v[i * (s.ny + 1) + j] -= ((p(i, j) - p(i, j - 1)) * g) / 1.0;
            if (j < s.ny)
                s.u[i * s.ny + j] -= ((p(i, j) - p(i - 1, j)) * g) / 1.0;
        }
    }
    referenceBorders(s);
    return iterations;
}

bool sameBits(const GridArray& ours, const Grid& reference)
{
    return std::memcmp(ours.data.get(), reference.data(), reference.size() * sizeof(double)) == 0;
}

TEST(ReferenceTick, HundredTicksMatchThePlainComputationBitForBit)
{
    FluidSolver solver(50, 50);
    ReferenceState reference;
    const Neighbours matrix = referenceMatrix(50, 50);
    for (int tick = 1; tick <= 100; ++tick) {
        solver.step();
        const int iterations = referenceTick(reference, matrix);
        ASSERT_EQ(solver.lastPressureSolve().iterations, iterations) << "tick " << tick;
        ASSERT_TRUE(sameBits(solver.velocity->u, reference.u)) << "tick " << tick;
        ASSERT_TRUE(sameBits(solver.velocity->v, reference.v)) << "tick " << tick;
        ASSERT_TRUE(sameBits(solver.pressure->values, reference.pressure)) << "tick " << tick;
    }
}

}  // namespace
