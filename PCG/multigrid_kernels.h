#pragma once
// The multigrid smoother's inner loop, one table per instruction-set form
// (multigrid_kernels.cpp): a Gauss-Seidel half-sweep along the inside of a
// line, one cell in two.

#include <cstddef>
#include <cstdint>

namespace pcg {

// A grid level's symmetric five-point matrix and vectors, k = line*length + position.
struct SmoothedLevel {
    uint32_t length;
    const double* b;
    const double* after;      // A(k, k + 1)
    const double* lineAfter;  // A(k, k + length)
    const double* diagonal;   // A(k, k)
    double* x;
    // Where not null, the same matrix by class (coefficient_classes.h): cell
    // k's A(k, k-length), A(k, k-1), A(k, k), A(k, k+1), A(k, k+length) are
    // classTuples[5 * classOf[k] ...].
    const uint16_t* classOf;
    const double* classTuples;
};

struct MultigridKernels {
    // For position = first, first + 2, ... while position + 1 < length, on a
    // line with lines before and after it (from `start`, its first cell):
    // x[k] := (b[k] - A(k, k-length) x[k-length] - A(k, k-1) x[k-1]
    //          - A(k, k+1) x[k+1] - A(k, k+length) x[k+length]) / A(k, k),
    // subtracted in that order. Returns the first position left.
    uint32_t (*relaxInside)(const SmoothedLevel& level, size_t start, uint32_t first);
};

const MultigridKernels& multigridKernels();

}  // namespace pcg
