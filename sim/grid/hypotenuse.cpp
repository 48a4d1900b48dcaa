#include "sim/grid/hypotenuse.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// a + b as its rounded sum and the exact rest.
void twoSum(double a, double b, double& sum, double& rest)
{
    sum = a + b;
    const double bVirtual = sum - a;
    rest = (a - (sum - bVirtual)) + (b - bVirtual);
}

// The sign of the exact sum of the terms: the sum is carried to the last term
// sweep after sweep, the rests left behind, until no rest overlaps it.
template <size_t N>
int signOfSum(double (&terms)[N])
{
    for (size_t sweep = 0; sweep < N; ++sweep)
        for (size_t k = 1; k < N; ++k)
            twoSum(terms[k - 1], terms[k], terms[k], terms[k - 1]);
    for (size_t k = N; k-- > 0;)
        if (terms[k] != 0.0)
            return terms[k] > 0.0 ? 1 : -1;
    return 0;
}

}  // namespace

double hypotenuse(double x, double y)
{
    double a = std::fabs(x), b = std::fabs(y);
    if (std::isinf(a) || std::isinf(b))
        return std::numeric_limits<double>::infinity();
    if (std::isnan(a) || std::isnan(b))
        return a + b;
    if (a < b)
        std::swap(a, b);
    if (b == 0.0)
        return a;
    // Scaled by a power of two, exactly, so that the squares neither
    // overflow nor lose bits below the smallest normal number.
    const int exponent = std::ilogb(a);
    const int shift = exponent > 500 ? -600 : exponent < -500 ? 600 : 0;
    a = std::ldexp(a, shift);
    b = std::ldexp(b, shift);
    // a^2 + b^2 exactly, as four doubles.
    const double aa = a * a, aaRest = std::fma(a, a, -aa);
    const double bb = b * b, bbRest = std::fma(b, b, -bb);
    double sum, sumRest;
    twoSum(aa, bb, sum, sumRest);
    double root = std::sqrt(sum);
    // Most often the exact root lies well inside the rounding interval of
    // root or of a neighbour (within a quarter step beyond it: the double
    // below may have half the step below itself): the exact square less
    // root^2 (sum - rr exact, the two within a factor of two), over 2 root,
    // says which. Near a midpoint the exact comparison below decides.
    {
        const double rr = root * root, rrRest = std::fma(root, root, -rr);
        const double excess = (((sum - rr) - rrRest) + sumRest) + (aaRest + bbRest);
        const double step = excess / (2.0 * root);
        const double up = std::nextafter(root, std::numeric_limits<double>::infinity()) - root;
        const double down = root - std::nextafter(root, 0.0);
        const double margin = 0x1p-20 * down;  // far beyond the few roundings of step
        if (step > -0.5 * down + margin && step < 0.5 * up - margin)
            return std::ldexp(root, -shift);
        if (step > 0.5 * up + margin && step < 1.25 * up - margin)
            return std::ldexp(root + up, -shift);
        if (step < -0.5 * down - margin && step > -1.25 * down + margin)
            return std::ldexp(root - down, -shift);
    }
    // The root nearest the exact one: a step up where the exact square lies
    // above the square of the midpoint to the next double, a step down where
    // it lies below the square of the midpoint to the one before.
    for (const double direction : {1.0, -1.0}) {
        const double next = std::nextafter(root, direction * std::numeric_limits<double>::infinity());
        const double half = 0.5 * (next - root);  // exact: a power of two
        // (root + half)^2 = root^2 + 2 root half + half^2, each part exact.
        const double rr = root * root, rrRest = std::fma(root, root, -rr);
        const double cross = 2.0 * root * half, halfSquared = half * half;
        double difference[] = {aa, aaRest, bb, bbRest, -rr, -rrRest, -cross, -halfSquared};
        const int sign = signOfSum(difference) * int(direction);
        const bool even = std::fmod(std::ldexp(next, -std::ilogb(next) + 52), 2.0) == 0.0;
        if (sign > 0 || (sign == 0 && even)) {
            root = next;
            break;
        }
    }
    return std::ldexp(root, -shift);
}
