#include "PCG/vector_ops.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pcg {

namespace {

// A negative stride walks its array from the far end towards element 0.
int64_t startOffset(int32_t n, int32_t inc)
{
    return inc > 0 ? 0 : (1 - int64_t(n)) * inc;
}

}  // namespace

void axpyKernel(int32_t n, double alpha, const double* x, int32_t incx, double* y, int32_t incy)
{
    if (alpha == 0.0 || n <= 0)
        return;
    if (incx == 1 && incy == 1) {
        const int32_t m = n % 4;
        for (int32_t i = 0; i < m; ++i)
            y[i] = alpha * x[i] + y[i];
        for (int32_t i = m; i + 3 < n; i += 4) {
            y[i] = alpha * x[i] + y[i];
            y[i + 1] = alpha * x[i + 1] + y[i + 1];
            y[i + 2] = alpha * x[i + 2] + y[i + 2];
            y[i + 3] = alpha * x[i + 3] + y[i + 3];
        }
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
    if (incx == 1 && incy == 1) {
        for (int32_t k = 0; k < n; ++k)
            sum += y[k] * x[k];
        return sum;
    }
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
    if (x.empty())
        return 0.0;
    return std::fabs(x[size_t(maxAbsIndexKernel(int32_t(x.size()), x.data(), 1))]);
}

void zeroVector(std::vector<double>& v)
{
    for (size_t i = v.size(); i-- > 0;)
        v[i] = 0.0;
}

double addMultiplesAndMaxMagnitude(double alpha, const std::vector<double>& x, std::vector<double>& y,
                                   const std::vector<double>& p, std::vector<double>& q)
{
    const size_t n = x.size();
    if (n == 0)
        return 0.0;
    const double* xs = x.data();
    const double* ps = p.data();
    double* ys = y.data();
    double* qs = q.data();
    const double minusAlpha = -alpha;
    // A zero alpha leaves both vectors alone; the scan still sees every element.
    const bool update = alpha != 0.0;
    size_t i = 0;
    double best = 0.0;
#if defined(__SSE2__)
    // Two elements at a time: the same products and sums per element, and the
    // largest magnitude kept apart per lane. MAXPD returns its second operand
    // when the first is NaN, so a NaN element never wins, as in the scalar scan.
    const __m128d a = _mm_set1_pd(alpha);
    const __m128d minusA = _mm_set1_pd(minusAlpha);
    const __m128d signMask = _mm_set1_pd(-0.0);
    __m128d largest = _mm_setzero_pd();
    for (; i + 1 < n; i += 2) {
        __m128d qi = _mm_loadu_pd(qs + i);
        if (update) {
            _mm_storeu_pd(ys + i, _mm_add_pd(_mm_mul_pd(a, _mm_loadu_pd(xs + i)), _mm_loadu_pd(ys + i)));
            qi = _mm_add_pd(_mm_mul_pd(minusA, _mm_loadu_pd(ps + i)), qi);
            _mm_storeu_pd(qs + i, qi);
        }
        largest = _mm_max_pd(_mm_andnot_pd(signMask, qi), largest);
    }
    const double low = _mm_cvtsd_f64(largest);
    const double high = _mm_cvtsd_f64(_mm_unpackhi_pd(largest, largest));
    best = high > low ? high : low;
#endif
    for (; i < n; ++i) {
        if (update) {
            ys[i] = alpha * xs[i] + ys[i];
            qs[i] = minusAlpha * ps[i] + qs[i];
        }
        const double magnitude = std::fabs(qs[i]);
        if (magnitude > best)
            best = magnitude;
    }
    // The first element of greatest magnitude has magnitude best; when nothing
    // beats 0.0 the scan stays on element 0, which may be 0.0 or NaN.
    return best > 0.0 ? best : std::fabs(qs[0]);
}

}  // namespace pcg
