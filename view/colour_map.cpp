#include "view/colour_map.h"

#include <algorithm>
#include <cmath>

FrameColour coolToWarm(double t)
{
    // Moreland's map at nine even steps, linear between them.
    static constexpr FrameColour steps[] = {
        {0.230f, 0.299f, 0.754f}, {0.348f, 0.465f, 0.888f}, {0.484f, 0.622f, 0.975f},
        {0.619f, 0.744f, 0.999f}, {0.865f, 0.865f, 0.865f}, {0.958f, 0.754f, 0.652f},
        {0.958f, 0.604f, 0.482f}, {0.887f, 0.412f, 0.325f}, {0.706f, 0.016f, 0.150f},
    };
    constexpr int last = int(sizeof steps / sizeof steps[0]) - 1;
    const double at = std::isnan(t) ? 0.5 * last : std::fmin(std::fmax(t, 0.0), 1.0) * last;
    const int below = std::min(int(at), last - 1);
    const float f = float(at - below);
    const FrameColour& a = steps[below];
    const FrameColour& b = steps[below + 1];
    return {a.red + f * (b.red - a.red), a.green + f * (b.green - a.green), a.blue + f * (b.blue - a.blue)};
}
