#pragma once
// Four doubles side by side, for loops whose elements are independent. In a
// function built for several targets (see flowbox_simd_clones) the compiler
// maps them to one AVX register or to two SSE2 registers. Each lane's
// arithmetic is that of the scalar code: IEEE operations, no contraction.

#include <cstdint>
#include <cstring>

namespace pcg::lanes {

typedef double Lanes __attribute__((vector_size(4 * sizeof(double))));
typedef int32_t Int32Lanes __attribute__((vector_size(4 * sizeof(int32_t))));
constexpr unsigned count = 4;

__attribute__((always_inline)) inline Lanes load(const double* from)
{
    Lanes v;
    std::memcpy(&v, from, sizeof v);
    return v;
}

__attribute__((always_inline)) inline void store(double* to, Lanes v)
{
    std::memcpy(to, &v, sizeof v);
}

// sum + v[0] + v[1] + v[2] + v[3], in that order.
__attribute__((always_inline)) inline double addInOrder(double sum, Lanes v)
{
    sum += v[0];
    sum += v[1];
    sum += v[2];
    sum += v[3];
    return sum;
}

}  // namespace pcg::lanes

// Builds a function for AVX2 and for the baseline; the loader picks one at start-up.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define FLOWBOX_SIMD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define FLOWBOX_SIMD_CLONES
#endif
