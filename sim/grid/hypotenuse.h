#pragma once
// sqrt(x^2 + y^2) rounded to the nearest double, computed by the program
// itself: the C libraries' hypot differ in the last bit (the web page's from
// the desktop's), while this one gives the same bits on every build. glibc's
// hypot is correctly rounded too, so the desktop's numbers are as they were.

double hypotenuse(double x, double y);
