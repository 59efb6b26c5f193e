// Whether two solids have the same boundary, however their faces are
// split: the exact test behind the modelling layer's equality.
#pragma once

#include <optional>

#include "solid/solid.hpp"

namespace qs {

// Each plane that carries faces gets, from each solid, the function that
// counts at every point of the plane the faces covering it, +1 for a face
// wound one way and -1 for one wound the other (a sheet of two opposite
// faces counts 0). Two closed solids are the same point set exactly when
// these functions agree on every plane, that is when the squared integral
// of their difference, a sum of the areas of pairwise overlaps of convex
// faces, is zero on every plane. Nothing when a face is not convex (no
// solid this system builds has one).
std::optional<bool> same_surface(const Solid& a, const Solid& b);

}  // namespace qs
