#include "view/colour_map.h"

#include <algorithm>
#include <cmath>

FrameColour coolToWarm(double t)
{
    // Moreland's map at seventeen even steps (interpolated in his Msh
    // space between the two ends), linear between them.
    static constexpr FrameColour steps[] = {
        {0.230f, 0.299f, 0.754f}, {0.304f, 0.407f, 0.845f}, {0.383f, 0.510f, 0.918f}, {0.467f, 0.605f, 0.968f},
        {0.553f, 0.689f, 0.995f}, {0.639f, 0.760f, 0.998f}, {0.722f, 0.814f, 0.977f}, {0.799f, 0.850f, 0.932f},
        {0.865f, 0.865f, 0.865f}, {0.924f, 0.827f, 0.775f}, {0.959f, 0.770f, 0.678f}, {0.970f, 0.694f, 0.580f},
        {0.958f, 0.603f, 0.482f}, {0.924f, 0.498f, 0.388f}, {0.870f, 0.379f, 0.300f}, {0.796f, 0.242f, 0.220f},
        {0.706f, 0.016f, 0.150f},
    };
    constexpr int last = int(sizeof steps / sizeof steps[0]) - 1;
    const double at = std::isnan(t) ? 0.5 * last : std::fmin(std::fmax(t, 0.0), 1.0) * last;
    const int below = std::min(int(at), last - 1);
    const float f = float(at - below);
    const FrameColour& a = steps[below];
    const FrameColour& b = steps[below + 1];
    return {a.red + f * (b.red - a.red), a.green + f * (b.green - a.green), a.blue + f * (b.blue - a.blue)};
}
