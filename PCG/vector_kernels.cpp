#include "simd/kernel_form.h"

#include "PCG/vector_kernels.h"

#include <cmath>

namespace pcg::FLOWBOX_FORM {

namespace {

#if FLOWBOX_FORM_WIDE
using namespace simd::lanes;

// The largest magnitude among elements seen four at a time, kept apart per
// lane. A NaN never compares greater, so it never wins, as in the one-lane scan.
struct MagnitudeScan {
    Lanes largest = {0.0, 0.0, 0.0, 0.0};

    void see(Lanes v)
    {
        const Lanes m = magnitude(v);
        largest = select(m > largest, m, largest);
    }

    double best() const
    {
        double b = 0.0;
        for (unsigned lane = 0; lane < count; ++lane)
            if (largest[lane] > b)
                b = largest[lane];
        return b;
    }
};
#endif

void copy(size_t n, const double* from, double* to)
{
    size_t i = 0;
#if FLOWBOX_FORM_WIDE
    for (; i + 3 < n; i += 4)
        store(to + i, load(from + i));
#endif
    for (; i < n; ++i)
        to[i] = from[i];
}

void addMultiple(size_t n, double alpha, const double* x, double* y)
{
    size_t i = 0;
#if FLOWBOX_FORM_WIDE
    for (; i + 3 < n; i += 4)
        store(y + i, alpha * load(x + i) + load(y + i));
#endif
    for (; i < n; ++i)
        y[i] = alpha * x[i] + y[i];
}

// The products four at a time; the sum still takes them one by one, in order.
double innerProduct(size_t n, const double* x, const double* y)
{
    double sum = 0.0;
    size_t k = 0;
#if FLOWBOX_FORM_WIDE
    for (; k + 3 < n; k += 4)
        sum = addInOrder(sum, load(y + k) * load(x + k));
#endif
    for (; k < n; ++k)
        sum += y[k] * x[k];
    return sum;
}

double largestMagnitude(size_t n, const double* x)
{
    double best = 0.0;
    size_t i = 0;
#if FLOWBOX_FORM_WIDE
    MagnitudeScan scan;
    for (; i + 3 < n; i += 4)
        scan.see(load(x + i));
    best = scan.best();
#endif
    for (; i < n; ++i)
        if (std::fabs(x[i]) > best)
            best = std::fabs(x[i]);
    return best;
}

double addMultiplesAndLargestMagnitude(size_t n, double alpha, const double* x, const double* y, double* yOut,
                                       const double* p, const double* q, double* qOut)
{
    const double minusAlpha = -alpha;
    // A zero alpha leaves both vectors alone; the scan still sees every element.
    const bool update = alpha != 0.0;
    // (Plain loops: a library template instantiated here would be built for this form alone.)
    if (!update && yOut != y)
        for (size_t k = 0; k < n; ++k)
            yOut[k] = y[k];
    if (!update && qOut != q)
        for (size_t k = 0; k < n; ++k)
            qOut[k] = q[k];
    double best = 0.0;
    size_t i = 0;
#if FLOWBOX_FORM_WIDE
    MagnitudeScan scan;
    for (; i + 3 < n; i += 4) {
        Lanes qi = load(q + i);
        if (update) {
            store(yOut + i, alpha * load(x + i) + load(y + i));
            qi = minusAlpha * load(p + i) + qi;
            store(qOut + i, qi);
        }
        scan.see(qi);
    }
    best = scan.best();
#endif
    for (; i < n; ++i) {
        double qi = q[i];
        if (update) {
            yOut[i] = alpha * x[i] + y[i];
            qi = minusAlpha * p[i] + qi;
            qOut[i] = qi;
        }
        if (std::fabs(qi) > best)
            best = std::fabs(qi);
    }
    return best;
}

double differenceAndLargestMagnitude(size_t n, const double* b, const double* p, double* r)
{
    double best = 0.0;
    size_t i = 0;
#if FLOWBOX_FORM_WIDE
    MagnitudeScan scan;
    for (; i + 3 < n; i += 4) {
        const Lanes ri = -1.0 * load(p + i) + load(b + i);
        store(r + i, ri);
        scan.see(ri);
    }
    best = scan.best();
#endif
    for (; i < n; ++i) {
        r[i] = -1.0 * p[i] + b[i];
        if (std::fabs(r[i]) > best)
            best = std::fabs(r[i]);
    }
    return best;
}

}  // namespace

extern const VectorKernels vectorKernels = {copy,
                                            addMultiple,
                                            innerProduct,
                                            largestMagnitude,
                                            addMultiplesAndLargestMagnitude,
                                            differenceAndLargestMagnitude};

}  // namespace pcg::FLOWBOX_FORM
