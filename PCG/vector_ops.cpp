#include "PCG/vector_ops.h"

#include "PCG/lanes.h"

#include <cmath>

namespace pcg {

namespace {

// A negative stride walks its array from the far end towards element 0.
int64_t startOffset(int32_t n, int32_t inc)
{
    return inc > 0 ? 0 : (1 - int64_t(n)) * inc;
}

// The largest magnitude among elements seen four at a time, kept apart per
// lane. A NaN never compares greater, so it never wins, as in the scalar scan.
struct MagnitudeScan {
    lanes::Lanes largest = {0.0, 0.0, 0.0, 0.0};

    void see(lanes::Lanes v)
    {
        const lanes::Lanes m = lanes::magnitude(v);
        largest = lanes::select(m > largest, m, largest);
    }

    double best() const
    {
        double b = 0.0;
        for (unsigned lane = 0; lane < lanes::count; ++lane)
            if (largest[lane] > b)
                b = largest[lane];
        return b;
    }
};

// What maxMagnitude returns once the scan saw every element: the first
// element of greatest magnitude has magnitude best; when nothing beats 0.0 the
// scan stays on element 0, which may be 0.0 or NaN.
double magnitudeOfFirstLargest(double best, const double* x)
{
    return best > 0.0 ? best : std::fabs(x[0]);
}

}  // namespace

FLOWBOX_SIMD_CLONES
void axpyKernel(int32_t n, double alpha, const double* x, int32_t incx, double* y, int32_t incy)
{
    if (alpha == 0.0 || n <= 0)
        return;
    if (incx == 1 && incy == 1) {
        const int32_t m = n % 4;
        for (int32_t i = 0; i < m; ++i)
            y[i] = alpha * x[i] + y[i];
        for (int32_t i = m; i + 3 < n; i += 4)  // four elements per step, as lanes
            lanes::store(y + i, alpha * lanes::load(x + i) + lanes::load(y + i));
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

FLOWBOX_SIMD_CLONES
double dotKernel(int32_t n, const double* x, int32_t incx, const double* y, int32_t incy)
{
    double sum = 0.0;
    if (n <= 0)
        return sum;
    if (incx == 1 && incy == 1) {
        int32_t k = 0;
        // Four products at a time; the sum still takes them one by one, in order.
        for (; k + 3 < n; k += 4)
            sum = lanes::addInOrder(sum, lanes::load(y + k) * lanes::load(x + k));
        for (; k < n; ++k)
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

FLOWBOX_SIMD_CLONES
double maxMagnitude(const std::vector<double>& x)
{
    // The magnitude of maxAbsIndexKernel's pick, found four elements at a time.
    const size_t n = x.size();
    if (n == 0)
        return 0.0;
    const double* xs = x.data();
    MagnitudeScan scan;
    size_t i = 0;
    for (; i + 3 < n; i += 4)
        scan.see(lanes::load(xs + i));
    double best = scan.best();
    for (; i < n; ++i)
        if (std::fabs(xs[i]) > best)
            best = std::fabs(xs[i]);
    return magnitudeOfFirstLargest(best, xs);
}

void zeroVector(std::vector<double>& v)
{
    for (size_t i = v.size(); i-- > 0;)
        v[i] = 0.0;
}

FLOWBOX_SIMD_CLONES
void copyVector(const std::vector<double>& from, std::vector<double>& to)
{
    to.resize(from.size());
    const double* in = from.data();
    double* out = to.data();
    const size_t n = from.size();
    size_t i = 0;
    for (; i + 3 < n; i += 4)
        lanes::store(out + i, lanes::load(in + i));
    for (; i < n; ++i)
        out[i] = in[i];
}

FLOWBOX_SIMD_CLONES
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
    MagnitudeScan scan;
    // Four elements at a time: the same products and sums per element.
    for (; i + 3 < n; i += 4) {
        using namespace lanes;
        Lanes qi = load(qs + i);
        if (update) {
            store(ys + i, alpha * load(xs + i) + load(ys + i));
            qi = minusAlpha * load(ps + i) + qi;
            store(qs + i, qi);
        }
        scan.see(qi);
    }
    double best = scan.best();
    for (; i < n; ++i) {
        if (update) {
            ys[i] = alpha * xs[i] + ys[i];
            qs[i] = minusAlpha * ps[i] + qs[i];
        }
        const double magnitude = std::fabs(qs[i]);
        if (magnitude > best)
            best = magnitude;
    }
    return magnitudeOfFirstLargest(best, qs);
}

}  // namespace pcg
