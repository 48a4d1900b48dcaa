#pragma once
// Four doubles side by side, for the wide forms of the kernel sources only
// (kernel_form.h); the scalar form does not see them, as a vector value in
// code built without vector registers of its width would be passed by another
// convention. Each lane's arithmetic is that of the one-lane code: IEEE
// operations, no contraction. Everything here has internal linkage, so each
// form gets its own copy and no vector value leaves its form.

#include <cstdint>
#include <cstring>

#if FLOWBOX_FORM_WIDE

namespace simd::lanes {

typedef double Lanes __attribute__((vector_size(4 * sizeof(double))));
typedef int32_t Int32Lanes __attribute__((vector_size(4 * sizeof(int32_t))));
typedef int64_t Mask __attribute__((vector_size(4 * sizeof(int64_t))));  // what comparing Lanes gives
constexpr unsigned count = 4;

static inline Lanes splat(double x)
{
    return Lanes{x, x, x, x};
}

// a where the mask is set, b elsewhere, spelt with bit operations: a form
// narrower than the vectors splits them into halves rather than lanes.
static inline Lanes select(Mask mask, Lanes a, Lanes b)
{
    return (Lanes)(((Mask)a & mask) | ((Mask)b & ~mask));
}

// |v| in every lane: the sign bit cleared.
static inline Lanes magnitude(Lanes v)
{
    const Mask sign = {INT64_MIN, INT64_MIN, INT64_MIN, INT64_MIN};
    return (Lanes)((Mask)v & ~sign);
}

static inline Lanes load(const double* from)
{
    Lanes v;
    std::memcpy(&v, from, sizeof v);
    return v;
}

static inline void store(double* to, Lanes v)
{
    std::memcpy(to, &v, sizeof v);
}

// Whole parts of values inside the int32 range, by truncation.
static inline Lanes truncateToWhole(Lanes v)
{
    return __builtin_convertvector(__builtin_convertvector(v, Int32Lanes), Lanes);
}

// sum + v[0] + v[1] + v[2] + v[3], in that order.
static inline double addInOrder(double sum, Lanes v)
{
    sum += v[0];
    sum += v[1];
    sum += v[2];
    sum += v[3];
    return sum;
}

}  // namespace simd::lanes

#endif
