#include "simd/kernel_form.h"

#include "PCG/multigrid_kernels.h"

namespace pcg::FLOWBOX_FORM {

namespace {

#if FLOWBOX_FORM_WIDE
using namespace simd::lanes;

// from[0], from[2], from[4], from[6]: reads from[0] to from[7].
inline Lanes everyOther(const double* from)
{
    return __builtin_shufflevector(load(from), load(from + 4), 0, 2, 4, 6);
}
#endif

// The same half-sweep, the matrix read by class.
uint32_t relaxInsideByClass(const SmoothedLevel& level, size_t start, uint32_t first)
{
    const uint32_t length = level.length;
    const double* b = level.b;
    double* x = level.x;
    auto tupleOf = [&](size_t k) { return level.classTuples + 5 * size_t(level.classOf[k]); };
    uint32_t position = first;
#if FLOWBOX_FORM_WIDE
    for (; position + 7 < length; position += 8) {
        const size_t k = start + position;
        const uint16_t* c = level.classOf + k;
        const bool oneClass = c[0] == c[2] && c[0] == c[4] && c[0] == c[6];  // as most cells are
        const double* tuple[count];
        for (uint32_t l = 0; l < count; ++l)
            tuple[l] = tupleOf(k + 2 * l);
        auto entry = [&](uint32_t j) {
            return oneClass ? splat(tuple[0][j]) : Lanes{tuple[0][j], tuple[1][j], tuple[2][j], tuple[3][j]};
        };
        Lanes sum = everyOther(b + k);
        sum = sum - entry(0) * everyOther(x + k - length);
        sum = sum - entry(1) * everyOther(x + k - 1);
        sum = sum - entry(3) * everyOther(x + k + 1);
        sum = sum - entry(4) * everyOther(x + k + length);
        const Lanes value = sum / entry(2);
        for (uint32_t l = 0; l < count; ++l)
            x[k + 2 * l] = value[l];
    }
#endif
    for (; position + 1 < length; position += 2) {
        const size_t k = start + position;
        const double* tuple = tupleOf(k);
        double sum = b[k];
        sum -= tuple[0] * x[k - length];
        sum -= tuple[1] * x[k - 1];
        sum -= tuple[3] * x[k + 1];
        sum -= tuple[4] * x[k + length];
        x[k] = sum / tuple[2];
    }
    return position;
}

uint32_t relaxInside(const SmoothedLevel& level, size_t start, uint32_t first)
{
    if (level.classOf)
        return relaxInsideByClass(level, start, first);
    const uint32_t length = level.length;
    const double *b = level.b, *after = level.after, *lineAfter = level.lineAfter, *diagonal = level.diagonal;
    double* x = level.x;
    uint32_t position = first;
#if FLOWBOX_FORM_WIDE
    // Four cells of one colour at once, each lane as the one-cell loop. The
    // cells they read are of the other colour (or on other lines), which
    // this half-sweep leaves as they are; a read past the line's end lands
    // on the next line, and its lane is not used.
    for (; position + 7 < length; position += 8) {
        const size_t k = start + position;
        Lanes sum = everyOther(b + k);
        sum = sum - everyOther(lineAfter + k - length) * everyOther(x + k - length);
        sum = sum - everyOther(after + k - 1) * everyOther(x + k - 1);
        sum = sum - everyOther(after + k) * everyOther(x + k + 1);
        sum = sum - everyOther(lineAfter + k) * everyOther(x + k + length);
        const Lanes value = sum / everyOther(diagonal + k);
        for (uint32_t l = 0; l < count; ++l)
            x[k + 2 * l] = value[l];
    }
#endif
    for (; position + 1 < length; position += 2) {
        const size_t k = start + position;
        double sum = b[k];
        sum -= lineAfter[k - length] * x[k - length];
        sum -= after[k - 1] * x[k - 1];
        sum -= after[k] * x[k + 1];
        sum -= lineAfter[k] * x[k + length];
        x[k] = sum / diagonal[k];
    }
    return position;
}

}  // namespace

extern const MultigridKernels multigridKernels = {relaxInside};

}  // namespace pcg::FLOWBOX_FORM
