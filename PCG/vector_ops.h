#pragma once
// Dense vector arithmetic of the conjugate gradient solver. The strided kernels
// follow the BLAS level-1 routines DAXPY, DDOT and IDAMAX, with 0-based indices.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pcg {

// y := alpha*x + y over n strided elements; y is untouched when alpha == 0.
void axpyKernel(int32_t n, double alpha, const double* x, int32_t incx, double* y, int32_t incy);

// Sum of the n strided products, accumulated in element order.
double dotKernel(int32_t n, const double* x, int32_t incx, const double* y, int32_t incy);

// Position of the first element of greatest magnitude (0 when n <= 0 or incx <= 0).
int32_t maxAbsIndexKernel(int32_t n, const double* x, int32_t incx);

// Whole-vector forms with unit stride; the count is the length of x and the
// second vector must be at least that long.
void addMultiple(double alpha, const std::vector<double>& x, std::vector<double>& y);
double innerProduct(const std::vector<double>& x, const std::vector<double>& y);
double maxMagnitude(const std::vector<double>& x);  // 0.0 for an empty vector
void zeroVector(std::vector<double>& v);
void copyVector(const std::vector<double>& from, std::vector<double>& to);  // to := from, resized to match

// addMultiple(alpha, x, y), then addMultiple(-alpha, p, q), then maxMagnitude(q),
// element by element in one pass with the same results.
double addMultiplesAndMaxMagnitude(double alpha, const std::vector<double>& x, std::vector<double>& y,
                                   const std::vector<double>& p, std::vector<double>& q);
// The same with alpha*x + y written to yOut, y left as it was (yOut as long as y).
double addMultiplesAndMaxMagnitude(double alpha, const std::vector<double>& x, const std::vector<double>& y,
                                   std::vector<double>& yOut, const std::vector<double>& p, std::vector<double>& q);
// The same with -alpha*p + q written to qOut too, q left as it was (qOut as long as q).
double addMultiplesAndMaxMagnitude(double alpha, const std::vector<double>& x, const std::vector<double>& y,
                                   std::vector<double>& yOut, const std::vector<double>& p,
                                   const std::vector<double>& q, std::vector<double>& qOut);
// copyVector(b, r), then addMultiple(-1.0, p, r), then maxMagnitude(r), in one
// pass with the same results: the residual b - p of a product p.
double differenceAndMaxMagnitude(const std::vector<double>& b, const std::vector<double>& p, std::vector<double>& r);

}  // namespace pcg
