// The hypotenuse the simulation takes is the nearest double to the exact
// one, for any pair - checked against long double wherever that decides it -
// so that every build computes the same bits.
#include "sim/grid/hypotenuse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

namespace {

TEST(Hypotenuse, IsTheNearestDoubleToTheExactOne)
{
    std::mt19937_64 bits(20261209);
    std::uniform_real_distribution<double> moderate(-10.0, 10.0);
    long checked = 0, wrong = 0;
    auto check = [&](double x, double y) {
        const long double exact = std::sqrt((long double)x * x + (long double)y * y);
        const double nearest = double(exact);
        // Where the long double lies near the midpoint of two doubles it cannot tell which is nearer.
        const double other = std::nextafter(nearest, double(exact) < exact ? INFINITY : -INFINITY);
        const long double fromMidpoint = std::fabs(exact - ((long double)nearest + other) / 2);
        if (!std::isfinite(nearest) || fromMidpoint < std::fabs((long double)other - nearest) / 256)
            return;
        ++checked;
        if (hypotenuse(x, y) != nearest && ++wrong <= 5)
            ADD_FAILURE() << std::hexfloat << x << ", " << y << ": " << hypotenuse(x, y) << " where the nearest is "
                          << nearest;
    };
    for (int k = 0; k < 200000; ++k)
        check(moderate(bits), moderate(bits));
    for (int k = 0; k < 100000; ++k) {
        const double x = moderate(bits);
        check(x, x * std::ldexp(1.0, -int(bits() % 60)));  // one far smaller than the other
    }
    for (const double huge : {1e300, 1.5e305, std::numeric_limits<double>::max() / 2})
        check(huge, huge / 3.0);
    for (int k = 0; k < 100000; ++k) {  // any bits at all, huge and tiny
        const uint64_t p = bits(), q = bits();
        double x, y;
        std::memcpy(&x, &p, sizeof x);
        std::memcpy(&y, &q, sizeof y);
        if (std::isfinite(x) && std::isfinite(y) && std::fabs(std::ilogb(x) - std::ilogb(y)) < 40)
            check(x, y);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(checked, 290000);

    EXPECT_EQ(hypotenuse(3.0, 4.0), 5.0);
    EXPECT_EQ(hypotenuse(-3.0, 4.0), 5.0);
    EXPECT_EQ(hypotenuse(0.0, -2.5), 2.5);
    EXPECT_EQ(hypotenuse(0.0, 0.0), 0.0);
    EXPECT_EQ(hypotenuse(3e-320, 4e-320), 5e-320);
    EXPECT_EQ(hypotenuse(std::numeric_limits<double>::infinity(), std::nan("")),
              std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(hypotenuse(std::nan(""), 1.0)));
    EXPECT_EQ(hypotenuse(std::numeric_limits<double>::max(), std::numeric_limits<double>::max()),
              std::numeric_limits<double>::infinity());
}

}  // namespace
