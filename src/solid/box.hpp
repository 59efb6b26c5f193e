#pragma once

#include <string_view>

#include "solid/solid.hpp"

namespace qs {

// The box from the origin to (dx, dy, dz): faces bottom, top, front, back,
// right, left, each labelled prefix + "." + name.
Solid build_box(const Rational& dx, const Rational& dy, const Rational& dz,
                std::string_view prefix);

}  // namespace qs
