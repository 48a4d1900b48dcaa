#include "view/colour_map.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr FrameColour rgb(int red, int green, int blue)
{
    return {float(red) / 255.0f, float(green) / 255.0f, float(blue) / 255.0f};
}

// The map's colour at t from 0 to 1 (clamped; NaN the middle), linear between even steps.
template <size_t count>
FrameColour between(const FrameColour (&steps)[count], double t)
{
    constexpr int last = int(count) - 1;
    const double at = std::isnan(t) ? 0.5 * last : std::fmin(std::fmax(t, 0.0), 1.0) * last;
    const int below = std::min(int(at), last - 1);
    const float f = float(at - below);
    const FrameColour& a = steps[below];
    const FrameColour& b = steps[below + 1];
    return {a.red + f * (b.red - a.red), a.green + f * (b.green - a.green), a.blue + f * (b.blue - a.blue)};
}

}  // namespace

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
    return between(steps, t);
}

FrameColour viridis(double t)
{
    static constexpr FrameColour steps[] = {
        rgb(0x44, 0x01, 0x54), rgb(0x48, 0x28, 0x78), rgb(0x3e, 0x49, 0x89), rgb(0x31, 0x68, 0x8e),
        rgb(0x26, 0x82, 0x8e), rgb(0x1f, 0x9e, 0x89), rgb(0x35, 0xb7, 0x79), rgb(0x6e, 0xce, 0x58),
        rgb(0xb5, 0xde, 0x2b), rgb(0xfd, 0xe7, 0x25),
    };
    return between(steps, t);
}
