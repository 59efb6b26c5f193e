// Union, cut and intersect of two solids, exact.
#pragma once

#include <string_view>

#include "solid/solid.hpp"

namespace qs {

// op is "union", "cut" (a minus b) or "intersect", compared byte for byte;
// any other text panics with "unknown op" once both trees are built. The
// result's faces are the surviving faces and pieces of the operands, each
// with the label and plane of the face it came from. A cut of an empty a,
// and an intersection with an empty operand, are empty.
Solid boolean_solids(std::string_view op, const Solid& a, const Solid& b);
// The same, for a caller that no longer needs `a`: the faces of `a` that
// come through whole are moved into the result instead of copied, and `a`
// is left with faces whose loops may be empty.
Solid boolean_solids(std::string_view op, Solid&& a, const Solid& b);

}  // namespace qs
