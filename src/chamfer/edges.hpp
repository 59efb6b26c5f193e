// The edges a chamfer bevels: face edges grouped by the infinite line that
// carries them, and for a line with exactly two face edges the geometry of
// its bevel.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "solid/solid.hpp"

namespace qs::chamfer {

// A plane's four components as coprime integers (see primitive_plane).
using IntPlane = std::array<Rational, 4>;

// An infinite line carrying face edges. Parameters along it are e . P.
struct EdgeLine {
    std::vector<std::size_t> faces;  // one entry per face edge on the line, duplicates kept
    std::vector<bool> forward;       // whether that face edge runs along +e
    Point3 a;                        // start of the first face edge met
    Point3 e;                        // primitive direction
    Rational t_min, t_max;
};

// Keyed by line_key, so the map's order is the order edges are cut in.
std::map<std::string, EdgeLine> edge_lines(const Solid& s);

// A convex edge between two faces of different planes, and the plane that
// bevels it by the distance. Every plane here is read as a half-space: the
// points behind it (normal . p <= offset).
struct Bevel {
    const EdgeLine* line;
    std::array<const Plane*, 2> face;  // the two faces' planes; the solid is behind both
    std::array<IntPlane, 2> key;       // their integer forms, to tell planes apart
    // w[k] lies in face k, square to the edge and pointing into the face,
    // as long as e.
    std::array<Point3, 2> w;
    Rational length;           // |e|
    std::array<Point3, 2> x;   // A + dist w[k] / |e|: in face k, at the distance from the edge
    Plane cut;  // the bevel plane, through x[0] and x[1]; the edge is behind it

    // The end of the edge at t_min or at t_max.
    Point3 end(bool at_min) const;
    // From that end along the edge: +e at t_min, -e at t_max.
    Point3 into(bool at_min) const;
};

// The bevel of the line by `dist` (> 0), or nothing when the line is not
// bevelled: other than two face edges, one plane on both sides, a reflex
// edge (which also sets `reflex`). Throws ChamferError when a face has no
// rational unit normal or the edge no rational length. keys holds each
// face's primitive_plane.
std::optional<Bevel> make_bevel(const Solid& s, const std::vector<IntPlane>& keys,
                                const EdgeLine& l, const Rational& dist, bool& reflex);

// The rational square root of q, when q is the square of a rational.
std::optional<Rational> exact_sqrt(const Rational& q);

// normal . x - offset, and its sign: +1 in front, -1 behind, 0 on the plane.
Rational level(const Plane& p, const Point3& x);
int side(const Plane& p, const Point3& x);

}  // namespace qs::chamfer
