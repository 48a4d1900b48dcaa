// The temperature's colour map: blue at the cold end, red at the hot one,
// grey between, and a lightness that climbs to the middle and falls again
// the same way on the other side.
#include "view/colour_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// CIELAB's L*, 0 to 100, of an sRGB colour.
double lightness(const FrameColour& c)
{
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    const double y = 0.2126 * linear(c.red) + 0.7152 * linear(c.green) + 0.0722 * linear(c.blue);
    return y > 0.008856 ? 116.0 * std::cbrt(y) - 16.0 : 903.3 * y;
}

TEST(ColourMap, CoolToWarmRunsFromBlueThroughGreyToRed)
{
    const FrameColour cold = coolToWarm(0.0), middle = coolToWarm(0.5), hot = coolToWarm(1.0);
    EXPECT_GT(cold.blue, cold.red + 0.4f);
    EXPECT_GT(hot.red, hot.blue + 0.4f);
    EXPECT_FLOAT_EQ(middle.red, middle.green);
    EXPECT_FLOAT_EQ(middle.green, middle.blue);
    // Beyond the ends, the ends; a temperature that is not a number, the middle.
    EXPECT_FLOAT_EQ(coolToWarm(-3.0).blue, cold.blue);
    EXPECT_FLOAT_EQ(coolToWarm(7.0).red, hot.red);
    EXPECT_FLOAT_EQ(coolToWarm(std::numeric_limits<double>::quiet_NaN()).red, middle.red);
    // Each half climbs to the middle, and a temperature as far below the
    // middle as another above it is as light.
    constexpr int steps = 64;
    for (int k = 0; k < steps; ++k) {
        const double t0 = double(k) / steps, t1 = double(k + 1) / steps;
        const double rise = (lightness(coolToWarm(t1)) - lightness(coolToWarm(t0))) * (t0 < 0.5 ? 1.0 : -1.0);
        EXPECT_GT(rise, 0.0) << "at " << t0;
        EXPECT_NEAR(lightness(coolToWarm(t0)), lightness(coolToWarm(1.0 - t0)), 1.0) << "at " << t0;
    }
}

// Magnitudes: dark violet to yellow, each step lighter than the one before
// and by about as much, so that no band stands out.
TEST(ColourMap, ViridisGrowsLighterEvenlyFromVioletToYellow)
{
    const FrameColour low = viridis(0.0), high = viridis(1.0);
    EXPECT_GT(low.blue, low.green);
    EXPECT_GT(high.red + high.green, 2.0f * high.blue + 1.0f);
    EXPECT_FLOAT_EQ(viridis(-1.0).red, low.red);
    EXPECT_FLOAT_EQ(viridis(2.0).green, high.green);
    constexpr int steps = 32;
    const double mean = (lightness(high) - lightness(low)) / steps;
    for (int k = 0; k < steps; ++k) {
        const double rise = lightness(viridis(double(k + 1) / steps)) - lightness(viridis(double(k) / steps));
        EXPECT_GT(rise, 0.4 * mean) << "at " << k;
        EXPECT_LT(rise, 1.6 * mean) << "at " << k;
    }
}

}  // namespace
