#pragma once
// Colour maps for fields drawn under the grid.

#include "view/frame.h"

// Cold to hot, t from 0 to 1 (clamped): blue through a light grey to red,
// its lightness climbing to the middle and falling again the same way, so
// that neither end looks hotter or darker than the other (the cool-to-warm
// diverging map of Moreland, 2009).
FrameColour coolToWarm(double t);

// Low to high, t from 0 to 1 (clamped): dark violet through blue and green
// to yellow, its lightness rising evenly all the way, so that equal steps of
// a magnitude look equally far apart (the viridis map of van der Walt and
// Smith, 2015, at ten even steps, linear between them).
FrameColour viridis(double t);
