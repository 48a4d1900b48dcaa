#include "PCG/vector_ops.h"

#include "PCG/lanes.h"

#include <algorithm>
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

// The four-lane forms: each takes whole groups of four elements from `from`
// on and returns where it stopped; the callers finish one element at a time.

FLOWBOX_WIDE size_t addMultipleWide(size_t from, size_t n, double alpha, const double* x, double* y)
{
    for (; from + 3 < n; from += 4)
        lanes::store(y + from, alpha * lanes::load(x + from) + lanes::load(y + from));
    return from;
}

// The products four at a time; the sum still takes them one by one, in order.
FLOWBOX_WIDE size_t innerProductWide(size_t n, const double* x, const double* y, double& sum)
{
    size_t k = 0;
    for (; k + 3 < n; k += 4)
        sum = lanes::addInOrder(sum, lanes::load(y + k) * lanes::load(x + k));
    return k;
}

FLOWBOX_WIDE size_t largestMagnitudeWide(size_t n, const double* x, double& best)
{
    MagnitudeScan scan;
    size_t i = 0;
    for (; i + 3 < n; i += 4)
        scan.see(lanes::load(x + i));
    best = scan.best();
    return i;
}

FLOWBOX_WIDE size_t copyWide(size_t n, const double* in, double* out)
{
    size_t i = 0;
    for (; i + 3 < n; i += 4)
        lanes::store(out + i, lanes::load(in + i));
    return i;
}

FLOWBOX_WIDE size_t addMultiplesWide(size_t n, double alpha, bool update, const double* xs, double* ys,
                                     const double* ps, double* qs, double& best)
{
    using namespace lanes;
    const double minusAlpha = -alpha;
    MagnitudeScan scan;
    size_t i = 0;
    for (; i + 3 < n; i += 4) {
        Lanes qi = load(qs + i);
        if (update) {
            store(ys + i, alpha * load(xs + i) + load(ys + i));
            qi = minusAlpha * load(ps + i) + qi;
            store(qs + i, qi);
        }
        scan.see(qi);
    }
    best = scan.best();
    return i;
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
        if (lanes::wideVectors()) {
            addMultipleWide(size_t(m), size_t(n), alpha, x, y);
            return;
        }
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
        size_t k = lanes::wideVectors() ? innerProductWide(size_t(n), x, y, sum) : 0;
        for (; k < size_t(n); ++k)
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
    // The magnitude of maxAbsIndexKernel's pick.
    const size_t n = x.size();
    if (n == 0)
        return 0.0;
    const double* xs = x.data();
    double best = 0.0;
    size_t i = lanes::wideVectors() ? largestMagnitudeWide(n, xs, best) : 0;
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

void copyVector(const std::vector<double>& from, std::vector<double>& to)
{
    to.resize(from.size());
    const size_t n = from.size();
    const size_t copied = lanes::wideVectors() ? copyWide(n, from.data(), to.data()) : 0;
    std::copy(from.begin() + copied, from.end(), to.begin() + copied);
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
    double best = 0.0;
    size_t i = lanes::wideVectors() ? addMultiplesWide(n, alpha, update, xs, ys, ps, qs, best) : 0;
    if (update) {
        for (size_t k = i; k < n; ++k) {
            ys[k] = alpha * xs[k] + ys[k];
            qs[k] = minusAlpha * ps[k] + qs[k];
        }
    }
    for (; i < n; ++i) {
        const double magnitude = std::fabs(qs[i]);
        if (magnitude > best)
            best = magnitude;
    }
    return magnitudeOfFirstLargest(best, qs);
}

}  // namespace pcg
