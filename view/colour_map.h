#pragma once
// Colour maps for fields drawn under the grid.

#include "view/frame.h"

// Cold to hot, t from 0 to 1 (clamped): blue through a light grey to red, each
// step of t an even step in lightness and hue on either side of the middle
// (the cool-to-warm diverging map of Moreland, 2009).
FrameColour coolToWarm(double t);
