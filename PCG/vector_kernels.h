#pragma once
// The unit-stride loops of the vector operations, one table per instruction-set
// form (vector_kernels.cpp); vector_ops.cpp calls the active form's. Every
// form computes each element as the one-lane loop does and adds sums in
// element order, so all give the same bits.

#include <cstddef>

namespace pcg {

struct VectorKernels {
    // to := from.
    void (*copy)(size_t n, const double* from, double* to);
    // y := alpha*x + y.
    void (*addMultiple)(size_t n, double alpha, const double* x, double* y);
    // Sum of y[k]*x[k] in element order.
    double (*innerProduct)(size_t n, const double* x, const double* y);
    // The largest |x[k]| (a NaN never wins); 0.0 when none is above 0.0. n > 0.
    double (*largestMagnitude)(size_t n, const double* x);
    // yOut := alpha*x + y and qOut := -alpha*p + q (with alpha 0.0: yOut := y,
    // qOut := q), then the largest |qOut[k]| as largestMagnitude finds it.
    // yOut may be y itself, qOut q. n > 0.
    double (*addMultiplesAndLargestMagnitude)(size_t n, double alpha, const double* x, const double* y,
                                              double* yOut, const double* p, const double* q, double* qOut);
    // r := -1.0*p + b, then the largest |r[k]| as largestMagnitude finds it. n > 0.
    double (*differenceAndLargestMagnitude)(size_t n, const double* b, const double* p, double* r);
};

const VectorKernels& vectorKernels();

}  // namespace pcg
