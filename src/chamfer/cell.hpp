// The convex polyhedron where a few half-spaces overlap, built exactly: the
// shape of every edge cutter.
#pragma once

#include <optional>
#include <vector>

#include "solid/solid.hpp"

namespace qs::chamfer {

// The points behind `plane` (normal . p <= offset); the face the cell gets
// in that plane carries `label`.
struct Bound {
    Plane plane;
    const char* label;
};

// The cell's faces, wound outward, in the order of the bounds; a bound that
// repeats an earlier one or only touches the cell in an edge or a point
// gives no face. The bounds must enclose a bounded region; when it has no
// volume the result has no faces.
Solid convex_cell(const std::vector<Bound>& bounds);

// The common point of three planes by Cramer's rule; none when the triple
// product of the normals is zero.
std::optional<Point3> meet(const Plane& p0, const Plane& p1, const Plane& p2);

}  // namespace qs::chamfer
