// The solids a chamfer cuts away, each wound outward for a boolean cut.
#pragma once

#include <array>
#include <vector>

#include "chamfer/edges.hpp"
#include "chamfer/ends.hpp"

namespace qs::chamfer {

// The bevel's own region: between the edge's two face planes and the bevel
// plane, closed at the two ends by the half-spaces `start` (at t_min) and
// `stop` (at t_max). No faces when that leaves no volume.
Solid local_cutter(const Bevel& b, std::vector<Plane> start, std::vector<Plane> stop);

// A hexahedron whose bottom lies in the bevel plane and which reaches
// `reach` across the edge and past each of its ends: right only on a convex
// solid, where all it meets outside the bevel is the neighbouring bevels.
Solid long_cutter(const Bevel& b, const Rational& reach);

// The tetrahedron with base p and apex x, wound outward; its faces are
// labelled corner.a (the base) to corner.d.
Solid tetrahedron(const std::array<Point3, 3>& p, const Point3& x);

// The tetrahedron left between the three bevels at the point where the ends
// `at` meet; no faces unless exactly three bevels end there, on three
// planes. Three convex edges on three planes make a convex corner.
Solid corner_cutter(const std::vector<EndRef>& at, const std::vector<Bevel>& bevels,
                    const Rational& dist);

}  // namespace qs::chamfer
