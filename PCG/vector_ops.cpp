#include "PCG/vector_ops.h"

#include "PCG/vector_kernels.h"
#include "parallel/thread_pool.h"
#include "simd/dispatch.h"

#include <atomic>
#include <cmath>

namespace pcg {

FLOWBOX_KERNEL_TABLE(VectorKernels, vectorKernels)

namespace {

// A negative stride walks its array from the far end towards element 0.
int64_t startOffset(int32_t n, int32_t inc)
{
    return inc > 0 ? 0 : (1 - int64_t(n)) * inc;
}

// What maxMagnitude returns once the scan saw every element: the first
// element of greatest magnitude has magnitude best; when nothing beats 0.0 the
// scan stays on element 0, which may be 0.0 or NaN.
double magnitudeOfFirstLargest(double best, const double* x)
{
    return best > 0.0 ? best : std::fabs(x[0]);
}

// Calls body(first, last) over [0, n), a long vector's pieces on threads of
// their own: only for work whose every element is computed alone.
template <typename Body>
void overPieces(size_t n, Body body)
{
    parallel::forRanges(n, parallel::cellsWorthAThread, body);
}

// maxMagnitude of the vector `written` that scan(first, last) writes piece by
// piece, each piece returning its largest magnitude.
template <typename Scan>
double largestOverPieces(size_t n, const double* written, Scan scan)
{
    // The largest of the pieces' largest magnitudes: the same, whichever piece comes first.
    std::atomic<double> best{0.0};
    overPieces(n, [&](size_t first, size_t last) {
        const double piece = scan(first, last);
        double seen = best.load(std::memory_order_relaxed);
        while (piece > seen && !best.compare_exchange_weak(seen, piece, std::memory_order_relaxed)) {
        }
    });
    return magnitudeOfFirstLargest(best.load(std::memory_order_relaxed), written);
}

}  // namespace

void axpyKernel(int32_t n, double alpha, const double* x, int32_t incx, double* y, int32_t incy)
{
    if (alpha == 0.0 || n <= 0)
        return;
    if (incx == 1 && incy == 1) {
        overPieces(size_t(n), [&](size_t first, size_t last) {
            vectorKernels().addMultiple(last - first, alpha, x + first, y + first);
        });
        return;
    }
    int64_t ix = startOffset(n, incx);
    int64_t iy = startOffset(n, incy);
    for (int32_t k = 0; k < n; ++k) {
        y[iy] = alpha * x[ix] + y[iy];
        ix += incx;
        iy += incy;
    }
}

double dotKernel(int32_t n, const double* x, int32_t incx, const double* y, int32_t incy)
{
    double sum = 0.0;
    if (n <= 0)
        return sum;
    if (incx == 1 && incy == 1)
        return vectorKernels().innerProduct(size_t(n), x, y);
    int64_t ix = startOffset(n, incx);
    int64_t iy = startOffset(n, incy);
    for (int32_t k = 0; k < n; ++k) {
        sum += y[iy] * x[ix];
        ix += incx;
        iy += incy;
    }
    return sum;
}

int32_t maxAbsIndexKernel(int32_t n, const double* x, int32_t incx)
{
    if (incx <= 0)
        return 0;
    double best = 0.0;
    int32_t index = 0;
    for (int32_t i = 0; i < n; ++i) {
        const double v = std::fabs(x[int64_t(i) * incx]);
        if (v > best) {
            best = v;
            index = i;
        }
    }
    return index;
}

void addMultiple(double alpha, const std::vector<double>& x, std::vector<double>& y)
{
    axpyKernel(int32_t(x.size()), alpha, x.data(), 1, y.data(), 1);
}

double innerProduct(const std::vector<double>& x, const std::vector<double>& y)
{
    return dotKernel(int32_t(x.size()), x.data(), 1, y.data(), 1);
}

double maxMagnitude(const std::vector<double>& x)
{
    // The magnitude of maxAbsIndexKernel's pick.
    const size_t n = x.size();
    if (n == 0)
        return 0.0;
    return magnitudeOfFirstLargest(vectorKernels().largestMagnitude(n, x.data()), x.data());
}

void zeroVector(std::vector<double>& v)
{
    for (size_t i = v.size(); i-- > 0;)
        v[i] = 0.0;
}

void copyVector(const std::vector<double>& from, std::vector<double>& to)
{
    to.resize(from.size());
    overPieces(from.size(), [&](size_t first, size_t last) {
        vectorKernels().copy(last - first, from.data() + first, to.data() + first);
    });
}

double addMultiplesAndMaxMagnitude(double alpha, const std::vector<double>& x, std::vector<double>& y,
                                   const std::vector<double>& p, std::vector<double>& q)
{
    return addMultiplesAndMaxMagnitude(alpha, x, y, y, p, q);
}

double addMultiplesAndMaxMagnitude(double alpha, const std::vector<double>& x, const std::vector<double>& y,
                                   std::vector<double>& yOut, const std::vector<double>& p, std::vector<double>& q)
{
    return addMultiplesAndMaxMagnitude(alpha, x, y, yOut, p, q, q);
}

double addMultiplesAndMaxMagnitude(double alpha, const std::vector<double>& x, const std::vector<double>& y,
                                   std::vector<double>& yOut, const std::vector<double>& p,
                                   const std::vector<double>& q, std::vector<double>& qOut)
{
    const size_t n = x.size();
    if (n == 0)
        return 0.0;
    return largestOverPieces(n, qOut.data(), [&](size_t first, size_t last) {
        return vectorKernels().addMultiplesAndLargestMagnitude(last - first, alpha, x.data() + first,
                                                               y.data() + first, yOut.data() + first,
                                                               p.data() + first, q.data() + first,
                                                               qOut.data() + first);
    });
}

double differenceAndMaxMagnitude(const std::vector<double>& b, const std::vector<double>& p, std::vector<double>& r)
{
    const size_t n = b.size();
    r.resize(n);
    if (n == 0)
        return 0.0;
    return largestOverPieces(n, r.data(), [&](size_t first, size_t last) {
        return vectorKernels().differenceAndLargestMagnitude(last - first, b.data() + first, p.data() + first,
                                                             r.data() + first);
    });
}

}  // namespace pcg
