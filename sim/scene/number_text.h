#pragma once
// A number as a person writes it, whatever the locale and on every build
// (the web page's C++ library has no floating-point to_chars): the fewest
// digits that read back as the same number, fixed or scientific, whichever
// is shorter (fixed on a tie) - 2, 0.25, 1e-05, 1e+20 - as std::to_chars
// writes it.

#include <string>

std::string shortNumber(double value);
