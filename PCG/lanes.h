#pragma once
// Four doubles side by side, for loops whose elements are independent. Each
// lane's arithmetic is that of the scalar code: IEEE operations, no
// contraction. Kernels take their four-lane forms only in functions built for
// AVX2 (FLOWBOX_WIDE, below) and only where wideVectors() says so; elsewhere
// they take one-lane forms, since a baseline build splits these vectors poorly.

#include <cstdint>
#include <cstring>

namespace pcg::lanes {

typedef double Lanes __attribute__((vector_size(4 * sizeof(double))));
typedef int32_t Int32Lanes __attribute__((vector_size(4 * sizeof(int32_t))));
typedef int64_t Mask __attribute__((vector_size(4 * sizeof(int64_t))));  // what comparing Lanes gives
constexpr unsigned count = 4;

__attribute__((always_inline)) inline Lanes splat(double x)
{
    return Lanes{x, x, x, x};
}

// a where the mask is set, b elsewhere. Spelt with bit operations, which the
// baseline target splits into halves; GCC takes a conditional on vectors
// wider than the target's apart element by element.
__attribute__((always_inline)) inline Lanes select(Mask mask, Lanes a, Lanes b)
{
    return (Lanes)(((Mask)a & mask) | ((Mask)b & ~mask));
}

// |v| in every lane: the sign bit cleared.
__attribute__((always_inline)) inline Lanes magnitude(Lanes v)
{
    const Mask sign = {INT64_MIN, INT64_MIN, INT64_MIN, INT64_MIN};
    return (Lanes)((Mask)v & ~sign);
}

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

// Whether the processor runs FLOWBOX_WIDE functions (checked once), and they
// have not been switched off. Tests switch them off to run the one-lane forms.
bool wideVectors();
void useWideVectors(bool use);

}  // namespace pcg::lanes

// Builds a function for AVX2, with everything it calls built in.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define FLOWBOX_WIDE __attribute__((target("avx2"), flatten))
#define FLOWBOX_HAS_WIDE 1
#else
#define FLOWBOX_WIDE
#define FLOWBOX_HAS_WIDE 0
#endif
