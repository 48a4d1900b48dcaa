// A number in a scene's messages reads as std::to_chars writes it, on a
// build whose C++ library has no floating-point to_chars as on this one.
#include "sim/scene/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::string toChars(double value)
{
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

TEST(NumberText, ReadsAsToCharsWritesIt)
{
    std::vector<double> values = {1.0, 2.0, 0.25, 1e-05, 1e20, 100000.0, 123456.0, 0.0001, 0.001, 1e21, 1e22,
                                  1e23, 9007199254740993.0, 0.1, 0.2, 0.3, 1.0 / 3.0, 2.0 / 3.0, 5e-324, 2.2250738585072014e-308,
                                  std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
                                  std::numeric_limits<double>::epsilon(), 0.0, -0.0, 4194304.0, 1e16, 1.5e16, 123e-7};
    for (int power = -30; power <= 30; ++power)
        for (double mantissa : {1.0, 1.5, 2.5, 9.99, 7.0})
            values.push_back(mantissa * std::pow(10.0, power));
    for (int power = -1074; power <= 1023; power += 7)
        values.push_back(std::ldexp(1.0, power));
    // Numbers as people write them in scene files, and any bits at all.
    for (int whole = 0; whole <= 2000; ++whole)
        values.push_back(whole / 1000.0);
    std::mt19937_64 bits(20261209);
    while (values.size() < 12000) {
        const uint64_t pattern = bits();
        double value;
        std::memcpy(&value, &pattern, sizeof value);
        if (std::isfinite(value))
            values.push_back(value);
    }
    int wrong = 0;
    for (const double value : values) {
        for (const double signed_ : {value, -value})
            if (shortNumber(signed_) != toChars(signed_) && ++wrong <= 10)
                ADD_FAILURE() << shortNumber(signed_) << " where to_chars writes " << toChars(signed_);
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
