// The surface area of a solid: a sum of square roots, so a float.
#pragma once

#include "solid/solid.hpp"

namespace qs {

// The sum of the faces' areas (each half the length of its area vector),
// within one unit in the last place of the exact sum, and the nearest
// double to it unless the sum lies within 2^-1000 of it of a point halfway
// between two doubles: the sum is bracketed by integer square roots at a
// growing precision until both ends round to the same double.
double solid_area(const Solid& s);

}  // namespace qs
