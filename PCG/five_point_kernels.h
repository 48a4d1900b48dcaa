#pragma once
// The five-point matrix's product and preconditioner, one table per
// instruction-set form (five_point_kernels.cpp). They read plain views of the
// matrix and its factor (five_point_matrix.h, five_point_factor.h).

#include <cstdint>

namespace pcg {

struct FivePointRows {
    uint32_t n, length, lines;
    const double* lineBefore;  // A(k, k - length)
    const double* before;      // A(k, k - 1)
    const double* diagonal;    // A(k, k)
    const double* after;       // A(k, k + 1)
    const double* lineAfter;   // A(k, k + length)
    bool symmetric;            // A(k, k - 1) is A(k - 1, k) and A(k, k - length) is A(k - length, k), bit for bit
    // Where not null, the same five entries by class (coefficient_classes.h):
    // cell k's are classTuples[5 * classOf[k] ...], in the order above.
    const uint16_t* classOf;
    const double* classTuples;
};

// The entries of L that a triangular solve uses in the steady steps of the
// wavefront (wavefront.h), in the order it visits them, four lanes a step.
struct SweepWeights {
    const double* up;       // weight of the cell on the line visited before
    const double* left;     // weight of the cell visited before on the same line
    const double* inverse;  // 1/L(k, k)
};

// A sweep's weights by class: cell k's up, left and inverse weights are
// tuples[3 * classOf[k] ...]. Forward, those of L*w = r; backward, those of
// L^T*z = w, whose cell k takes the cell below, k + length, and the next, k + 1.
struct ClassedWeights {
    const uint16_t* classOf;
    const double* tuples;
};

struct FivePointFactorRows {
    const double* inverse;     // 1/L(k, k)
    const double* lineBefore;  // L(k, k - length)
    const double* before;      // L(k, k - 1)
    SweepWeights forward;      // of L*w = r, from the first cell on
    SweepWeights backward;     // of L^T*z = w, from the last cell back
    // Where not null, the sweeps read their weights by class, and forward and
    // backward are not laid out.
    ClassedWeights forwardClassed;
    ClassedWeights backwardClassed;
};

struct FivePointKernels {
    // result := A*x; returns <x, result> summed in element order.
    double (*productAndDot)(const FivePointRows& a, const double* x, double* result);
    // The rows of lines [firstLine, lastLine) of result := A*x alone.
    void (*product)(const FivePointRows& a, const double* x, double* result, uint32_t firstLine, uint32_t lastLine);
    // z := (L*L^T)^-1 * r.
    void (*precondition)(const FivePointRows& a, const FivePointFactorRows& f, const double* r, double* z);
};

const FivePointKernels& fivePointKernels();

}  // namespace pcg
