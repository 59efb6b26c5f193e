// The trim of an outside corner where three bevelled edges meet.
#pragma once

#include <vector>

#include "chamfer/edges.hpp"
#include "chamfer/ends.hpp"

namespace qs::chamfer {

// The tetrahedron left between the three bevels at the point where the ends
// `at` meet, wound outward; no faces unless exactly three bevels end there,
// on three planes. Three convex edges on three planes make a convex corner.
Solid corner_cutter(const std::vector<EndRef>& at, const std::vector<Bevel>& bevels,
                    const Rational& dist);

}  // namespace qs::chamfer
