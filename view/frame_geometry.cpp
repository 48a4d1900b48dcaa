#include "view/frame_geometry.h"

#include "sim/grid/velocity_field.h"

#include <cmath>

double cellSize(uint32_t viewWidth, uint32_t viewHeight, uint32_t nx, uint32_t ny, double dx, bool anyScale)
{
    if (anyScale)
        return std::fmin(double(viewWidth) / nx, double(viewHeight) / ny);
    const double alongX = double(viewWidth / nx) / dx;
    const double alongY = double(viewHeight / ny) / dx;
    return alongX > alongY ? dx * alongY : dx * alongX;
}

uint32_t drawingStride(double cellSize)
{
    constexpr double fewestPixels = 4.0;  // between grid lines, and per arrow
    if (cellSize >= fewestPixels || cellSize <= 0.0)
        return 1;
    return uint32_t(std::ceil(fewestPixels / cellSize));
}

void gridLines(uint32_t nx, uint32_t ny, double cellSize, std::vector<ScreenSegment>& out, uint32_t stride)
{
    out.clear();
    const float right = float(nx * cellSize);
    const float bottom = float(ny * cellSize);
    // Every stride-th line, and always the last one, the grid's edge.
    for (uint32_t i = 0; i <= nx; i = i + stride > nx && i < nx ? nx : i + stride) {
        const float x = float(i * cellSize);
        out.push_back({{x, 0.0f}, {x, bottom}});
    }
    for (uint32_t j = 0; j <= ny; j = j + stride > ny && j < ny ? ny : j + stride) {
        const float y = float(j * cellSize);
        out.push_back({{0.0f, y}, {right, y}});
    }
}

ScreenPoint cellCentre(uint32_t i, uint32_t j, double cellSize)
{
    return {float((i + 0.5) * cellSize), float((j + 0.5) * cellSize)};
}

void velocityArrows(const VelocityField& velocity, double cellSize, std::vector<ScreenSegment>& out, uint32_t stride,
                    const std::function<bool(uint32_t i, uint32_t j)>& shown)
{
    out.clear();
    const uint32_t nx = velocity.nx;
    const uint32_t ny = velocity.ny;
    const double dx = velocity.dx;

    double largest = 0.0;
    for (uint32_t i = 0; i < nx; i += stride) {
        for (uint32_t j = 0; j < ny; j += stride) {
            if (shown && !shown(i, j))
                continue;
            const Velocity w = velocity.velocityAt((i + 0.5) * dx, (j + 0.5) * dx);
            if (std::fabs(w.x) > largest)
                largest = std::fabs(w.x);
            if (std::fabs(w.y) > largest)
                largest = std::fabs(w.y);
        }
    }
    if (largest == 0.0)
        return;  // the resting field of the first frame has no direction to show
    const double arrowScale = cellSize / largest * 0.5;

    for (uint32_t i = 0; i < nx; i += stride) {
        for (uint32_t j = 0; j < ny; j += stride) {
            if (shown && !shown(i, j))
                continue;
            const Velocity w = velocity.velocityAt((i + 0.5) * dx, (j + 0.5) * dx);
            const double px = (i + 0.5) * cellSize;
            const double py = (j + 0.5) * cellSize;
            const double ex = px + w.x * arrowScale;
            const double ey = py + w.y * arrowScale;
            if (!std::isfinite(ex) || !std::isfinite(ey))
                continue;
            out.push_back({{float(px), float(py)}, {float(ex), float(ey)}});
        }
    }
}
