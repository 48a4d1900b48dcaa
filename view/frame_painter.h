#pragma once
// Draws a frame (frame.h) in software, as the OpenGL view draws it on screen:
// antialiased one-pixel lines, source-alpha blending, black beyond the grid.
// Needs no display and no OpenGL.

#include "view/frame.h"

#include <QImage>

// The frame at one device pixel per logical pixel.
QImage paintFrame(const Frame& frame);
