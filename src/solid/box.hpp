#pragma once

#include <string_view>

#include "solid/solid.hpp"

namespace qs {

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
