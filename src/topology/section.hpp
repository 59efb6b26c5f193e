// The cut of a solid by a plane, exactly: the region of the plane that the
// solid fills on at least one side, as polygons with holes.
#pragma once

#include <vector>

#include "solid/solid.hpp"
#include "topology/regions.hpp"

namespace qs::topo {

struct Section {
    std::vector<Point3> points;
    // Outer loops counter-clockwise about the plane's normal, holes clockwise.
    std::vector<Region> regions;
    // Per region, its area times the length of the plane's normal: exact,
    // where the area itself needs that length's square root.
    std::vector<Rational> scaled_areas;
};

// The section of a closed solid by `plane` (its normal not zero). Where a
// face lies in the plane the section holds it: the region is where the
// solid lies just below the plane, with the faces in the plane that look
// down added (those that look up already bound that region). Throws
// InputError when the faces cut by the plane do not close up (an open
// surface).
Section section_solid(const Solid& s, const Plane& plane);

}  // namespace qs::topo
