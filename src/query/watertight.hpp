// Exact closedness test: face edges are grouped by the line that carries
// them, and along every line the coverage in one direction must equal the
// coverage in the other. Edges are not paired by end points, so T-junctions
// left by the boolean operations count as closed.
#pragma once

#include <optional>
#include <string>

#include "solid/solid.hpp"

namespace qs {

// d scaled to coprime integers with the first nonzero coordinate positive,
// so both directions of a line agree; nothing for the zero vector.
std::optional<Point3> primitive_direction(const Point3& d);

// "ux,uy,uz|mx,my,mz" for the line with primitive direction u and moment m.
std::string line_key(const Point3& u, const Point3& m);

bool watertight_ok(const Solid& s);

}  // namespace qs
