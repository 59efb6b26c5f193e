// Exact closedness test: face edges are grouped by the line that carries
// them, and along every line the coverage in one direction must equal the
// coverage in the other. Edges are not paired by end points, so T-junctions
// left by the boolean operations count as closed. (Edges that do meet end
// to end, running opposite ways, cancel on any line, so only the others
// are placed on lines.)
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "solid/solid.hpp"

namespace qs {

// d scaled to coprime integers with the first nonzero coordinate positive,
// so both directions of a line agree; nothing for the zero vector.
std::optional<Point3> primitive_direction(const Point3& d);

// "ux,uy,uz|mx,my,mz" for the line with primitive direction u and moment m.
std::string line_key(const Point3& u, const Point3& m);

// A face edge a -> b on the infinite line that carries it: the line's key,
// its primitive direction u, and the parameters u . a and u . b. Nothing
// for an edge of zero length.
struct LineEdge {
    std::string key;
    Point3 u;
    Rational ta, tb;
};
std::optional<LineEdge> edge_on_line(const Point3& a, const Point3& b);

// An edge that makes the boundary open: face `face`, the edge from vertex
// `edge` to the next. Of the first open line in key order, the first edge
// found (faces in order) that covers a part of it not matched the other way.
struct OpenEdge {
    std::size_t face, edge;
};
std::optional<OpenEdge> find_open_edge(const Solid& s);

inline bool watertight_ok(const Solid& s) { return !find_open_edge(s); }

}  // namespace qs
