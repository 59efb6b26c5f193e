#pragma once

#include <string_view>

#include "solid/solid.hpp"

namespace qs {

// The corner loops of a box's six faces, in the order bottom, top, front,
// back, right, left. Corner i lies at the far end of x for i in {1, 2, 5, 6},
// of y for {2, 3, 6, 7} and of z for {4, 5, 6, 7}. Any hexahedron numbered
// so, with corners 1, 3 and 4 along a right-handed frame from corner 0, gets
// faces that run counter-clockwise seen from outside.
inline constexpr int kBoxLoops[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                        {2, 3, 7, 6}, {1, 2, 6, 5}, {3, 0, 4, 7}};

// The box from the origin to (dx, dy, dz): faces bottom, top, front, back,
// right, left, each labelled prefix + "." + name.
Solid build_box(const Rational& dx, const Rational& dy, const Rational& dz,
                std::string_view prefix);
// The same box moved by `at`: exactly the faces of translate_solid of
// build_box (planes rebuilt from the moved corners, no face dropped that
// build_box keeps).
Solid build_box_at(const Rational& dx, const Rational& dy, const Rational& dz, const Point3& at,
                   std::string_view prefix);

}  // namespace qs
