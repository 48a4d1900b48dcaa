#pragma once
// What a frame of the flow view draws, in pixels (origin top left, y down),
// computed without OpenGL so that it can be checked on its own.

#include <cstdint>
#include <functional>
#include <vector>

struct VelocityField;

struct ScreenPoint {
    float x;
    float y;
};

struct ScreenSegment {
    ScreenPoint from;
    ScreenPoint to;
};

// Pixels per cell: the whole pixels per cell that fit the grid in both
// directions (integer quotient first), anchored at the top left; 0 when not
// one whole pixel fits. With anyScale, as many as fit, whole or not: the
// smaller of width / nx and height / ny.
double cellSize(uint32_t viewWidth, uint32_t viewHeight, uint32_t nx, uint32_t ny, double dx, bool anyScale = false);

// Which cells a picture marks on a large grid: every one, or every k-th when a
// cell is smaller than a few pixels.
uint32_t drawingStride(double cellSize);

// nx + 1 vertical lines, then ny + 1 horizontal ones (every stride-th, and the last).
void gridLines(uint32_t nx, uint32_t ny, double cellSize, std::vector<ScreenSegment>& out, uint32_t stride = 1);

// One segment per cell from its centre along the velocity sampled there, the
// largest component drawn half a cell long. A field whose samples are all zero
// has no scale and yields no arrows; an arrow with a non-finite end is left out.
// Given `shown`, only the cells it accepts have arrows and set the scale.
void velocityArrows(const VelocityField& velocity, double cellSize, std::vector<ScreenSegment>& out,
                    uint32_t stride = 1, const std::function<bool(uint32_t i, uint32_t j)>& shown = {});

ScreenPoint cellCentre(uint32_t i, uint32_t j, double cellSize);
