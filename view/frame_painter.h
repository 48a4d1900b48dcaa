#pragma once
// Draws a frame (frame.h) in software, as the OpenGL view draws it on screen:
// antialiased one-pixel lines, source-alpha blending, black beyond the grid.
// Needs no display and no OpenGL.

#include "view/frame.h"

#include <QImage>

// The frame at one device pixel per logical pixel.
QImage paintFrame(const Frame& frame);

// A field view's colour bar, its panel bar.width by bar.height logical
// pixels at ratio device pixels each: the field's name and units, its scale
// from low (bottom) to high, the values at the two ends. Its text needs a
// QGuiApplication.
QImage paintColourBar(const ColourBar& bar, qreal ratio = 1.0);
