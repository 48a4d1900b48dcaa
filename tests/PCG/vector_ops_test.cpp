#include "PCG/vector_ops.h"
#include "tests/support/forms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

// Debian's reference BLAS (Fortran calling convention), the oracle for the kernels.
extern "C" {
void daxpy_(const int* n, const double* alpha, const double* x, const int* incx, double* y, const int* incy);
double ddot_(const int* n, const double* x, const int* incx, const double* y, const int* incy);
int idamax_(const int* n, const double* x, const int* incx);
}

namespace {

using namespace pcg;

std::vector<double> randomVector(size_t length, std::mt19937& generator)
{
    std::uniform_real_distribution<double> uniform(-10.0, 10.0);
    std::vector<double> v(length);
    for (double& value : v)
        value = uniform(generator);
    return v;
}

size_t span(int n, int inc)
{
    return n <= 0 ? 1 : size_t(1 + (n - 1) * std::abs(inc));
}

struct StrideCase {
    int incx;
    int incy;
};

class KernelsAgainstReferenceBlas : public ::testing::TestWithParam<StrideCase> {};

TEST_P(KernelsAgainstReferenceBlas, AxpyDotAndMaxAbsMatchOnRandomData)
{
    const StrideCase strides = GetParam();
    std::mt19937 generator(1234);
    // 3, 4, 6 and 7 straddle the unrolled groups of four.
    for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 8, 13, 100}) {
        SCOPED_TRACE(n);
        const std::vector<double> x = randomVector(span(n, strides.incx), generator);
        const std::vector<double> y = randomVector(span(n, strides.incy), generator);
        const double alpha = -1.75;

        std::vector<double> ours = y;
        std::vector<double> reference = y;
        axpyKernel(n, alpha, x.data(), strides.incx, ours.data(), strides.incy);
        daxpy_(&n, &alpha, x.data(), &strides.incx, reference.data(), &strides.incy);
        EXPECT_EQ(ours, reference);

        const double dot = dotKernel(n, x.data(), strides.incx, y.data(), strides.incy);
        EXPECT_DOUBLE_EQ(dot, ddot_(&n, x.data(), &strides.incx, y.data(), &strides.incy));

        if (strides.incx > 0 && n > 0) {
            EXPECT_EQ(maxAbsIndexKernel(n, x.data(), strides.incx), idamax_(&n, x.data(), &strides.incx) - 1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Strides, KernelsAgainstReferenceBlas,
                         ::testing::Values(StrideCase{1, 1}, StrideCase{2, 1}, StrideCase{1, 3},
                                           StrideCase{-1, 1}, StrideCase{2, -2}, StrideCase{-3, -1},
                                           StrideCase{0, 1}));

TEST(VectorKernels, ZeroAlphaLeavesYUntouchedEvenWithNanAndInfinityInX)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> x{nan, std::numeric_limits<double>::infinity(), 1.0};
    std::vector<double> y{1.0, 2.0, 3.0};
    addMultiple(0.0, x, y);
    EXPECT_EQ(y, (std::vector<double>{1.0, 2.0, 3.0}));

    // A NaN alpha does not compare equal to zero and spreads.
    addMultiple(nan, std::vector<double>{1.0, 1.0, 1.0}, y);
    EXPECT_TRUE(std::isnan(y[0]) && std::isnan(y[2]));
}

TEST(VectorKernels, NegativeStrideWalksFromTheFarEnd)
{
    const double x[3] = {1.0, 10.0, 100.0};
    double y[3] = {0.0, 0.0, 0.0};
    axpyKernel(3, 1.0, x, -1, y, 1);
    EXPECT_EQ(y[0], 100.0);
    EXPECT_EQ(y[1], 10.0);
    EXPECT_EQ(y[2], 1.0);
}

TEST(VectorKernels, ZeroStrideReusesTheFirstElement)
{
    const double x[1] = {2.0};
    double y[3] = {1.0, 1.0, 1.0};
    axpyKernel(3, 1.0, x, 0, y, 1);
    EXPECT_EQ(y[2], 3.0);
    EXPECT_EQ(dotKernel(3, x, 0, y, 1), 18.0);
}

TEST(VectorKernels, MaxAbsIndexTakesTheFirstOfEqualMagnitudesAndNeverANan)
{
    EXPECT_EQ(maxAbsIndexKernel(3, std::vector<double>{1, -3, 3}.data(), 1), 1);
    EXPECT_EQ(maxAbsIndexKernel(2, std::vector<double>{0, 0}.data(), 1), 0);
    EXPECT_EQ(maxAbsIndexKernel(3, std::vector<double>{1, std::nan(""), 2}.data(), 1), 2);
    EXPECT_EQ(maxAbsIndexKernel(0, nullptr, 1), 0);
    EXPECT_EQ(maxAbsIndexKernel(5, nullptr, 0), 0);  // must not read x
    EXPECT_EQ(maxAbsIndexKernel(5, nullptr, -1), 0);
}

TEST(VectorKernels, WholeVectorOperations)
{
    EXPECT_EQ(maxMagnitude({-2.5, 1.0}), 2.5);
    EXPECT_EQ(innerProduct({1, 2, 3}, {4, 5, 6}), 32.0);
    // The dot product is one running sum in element order: 1e16 + 1 - 1e16 loses the 1.
    EXPECT_EQ(innerProduct({1e16, 1.0, -1e16}, {1.0, 1.0, 1.0}), 0.0);

    std::vector<double> v{1.0, -2.0, 3.0};
    const double* storage = v.data();
    zeroVector(v);
    EXPECT_EQ(v, (std::vector<double>(3, 0.0)));
    EXPECT_EQ(v.data(), storage);
}

bool sameDouble(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

TEST(VectorKernels, FusedUpdateAndScanMatchesTheSeparateOperations)
{
    std::mt19937 generator(99);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (size_t n : {1, 2, 3, 7, 100}) {
        for (double alpha : {0.0, -0.75, 1e-3}) {
            for (int variant = 0; variant < 5; ++variant) {
                SCOPED_TRACE(::testing::Message() << "n " << n << " alpha " << alpha << " variant " << variant);
                const std::vector<double> x = randomVector(n, generator);
                const std::vector<double> p = randomVector(n, generator);
                std::vector<double> y = randomVector(n, generator);
                std::vector<double> q = randomVector(n, generator);
                if (variant == 1)
                    q[n / 2] = nan;  // a NaN never wins the scan
                if (variant == 2)
                    q.assign(n, 0.0);
                if (variant == 3) {
                    q.assign(n, 0.0);
                    q[0] = nan;  // nothing beats zero: element 0, NaN, is the answer
                }
                if (variant == 4)
                    q.assign(n, -2.0);  // ties: the magnitude of the first
                std::vector<double> ySeparate = y, qSeparate = q;
                addMultiple(alpha, x, ySeparate);
                addMultiple(-alpha, p, qSeparate);
                const double expected = maxMagnitude(qSeparate);
                // Written elsewhere, y and q left as they were.
                const std::vector<double> yBefore = y, qBefore = q;
                std::vector<double> yOut(n, 5.0), qOut(n, 5.0);
                const double apart = addMultiplesAndMaxMagnitude(alpha, x, y, yOut, p, q, qOut);
                EXPECT_TRUE(sameDouble(apart, expected)) << apart << " vs " << expected;
                EXPECT_TRUE(testing_support::sameBits(yBefore, y));
                EXPECT_TRUE(testing_support::sameBits(qBefore, q));
                EXPECT_TRUE(testing_support::sameBits(ySeparate, yOut));
                EXPECT_TRUE(testing_support::sameBits(qSeparate, qOut));
                const double fused = addMultiplesAndMaxMagnitude(alpha, x, y, p, q);
                EXPECT_TRUE(sameDouble(fused, expected)) << fused << " vs " << expected;
                for (size_t i = 0; i < n; ++i) {
                    ASSERT_TRUE(sameDouble(y[i], ySeparate[i])) << i;
                    ASSERT_TRUE(sameDouble(q[i], qSeparate[i])) << i;
                }
            }
        }
    }
}

// The residual b - p in one pass: on every form, on vectors long enough to
// be split over threads, with NaN, zeros of both signs and ties in it.
TEST(VectorKernels, TheFusedResidualMatchesACopyAnUpdateAndAScan)
{
    std::mt19937 generator(7);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    testing_support::forEachRunnableForm([&](const std::string&) {
        for (size_t n : {1, 5, 300001}) {
            for (int variant = 0; variant < 4; ++variant) {
                SCOPED_TRACE(::testing::Message() << "n " << n << " variant " << variant);
                std::vector<double> b = randomVector(n, generator);
                std::vector<double> p = randomVector(n, generator);
                if (variant == 1)
                    b[n / 2] = nan;
                if (variant == 2) {
                    b.assign(n, 0.0);
                    p.assign(n, 0.0);  // 0.0 - 0.0: +0.0, and the answer 0.0
                    p[0] = nan;
                }
                if (variant == 3) {
                    b.assign(n, -0.0);
                    p.assign(n, 2.0);  // ties: the magnitude of the first
                }
                std::vector<double> separate = b;
                addMultiple(-1.0, p, separate);
                const double expected = maxMagnitude(separate);
                std::vector<double> fused;
                EXPECT_TRUE(sameDouble(differenceAndMaxMagnitude(b, p, fused), expected));
                EXPECT_TRUE(testing_support::sameBits(separate, fused));
            }
        }
    });
}

}  // namespace
