#pragma once

#include <utility>

#include "solid/solid.hpp"

namespace qs {

// Exact minimum and maximum corners over every vertex. Panics with the
// index text (0, 0) when there is no first vertex to start from.
std::pair<Point3, Point3> solid_bbox(const Solid& s);

}  // namespace qs
