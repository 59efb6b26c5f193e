// The faces and edges of a solid as a CAD user sees them. Booleans and
// chamfers leave a face cut into many convex pieces, with T-junctions where
// a piece's edge meets the corners of its neighbours; here the pieces that
// share an oriented plane and touch along edges become one logical face,
// bounded by an outer loop and any number of holes, and the places where
// two logical faces meet become logical edges: maximal straight segments
// between two topological vertices (corners of a face, or points where the
// face on the other side changes).
//
// Everything is decided exactly; the work is sorting and hashing, so it
// takes about n log n in the number of face edges.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "solid/solid.hpp"

namespace qs::topo {

// No edge across this loop edge: the surface is open there.
inline constexpr std::uint32_t kNoEdge = UINT32_MAX;

struct LogicalFace {
    // a, b, c, d with a x + b y + c z = d: coprime integers, (a, b, c)
    // pointing out of the solid.
    std::array<Rational, 4> plane;
    // Point ids; loops[0] is the outer loop, counter-clockwise seen from
    // outside, the rest are holes, clockwise. No point repeats in a loop.
    std::vector<std::vector<std::uint32_t>> loops;
    // Per loop position i, the logical edge from loops[l][i] to the next.
    std::vector<std::vector<std::uint32_t>> loop_edges;
    std::vector<std::size_t> pieces;  // indices of the solid's faces, ascending
    std::vector<std::string> labels;  // the pieces' labels, distinct and sorted
};

struct LogicalEdge {
    std::uint32_t a, b;               // ends: a to b along faces[0]'s loop
    std::array<std::uint32_t, 2> faces;  // faces[0] < faces[1]
    bool convex;                      // the material's angle at the edge is under 180 degrees
};

struct Topology {
    std::vector<Point3> points;
    std::vector<Approx> approx;  // the points' nearest doubles
    std::vector<LogicalFace> faces;  // ordered by their first piece
    std::vector<LogicalEdge> edges;  // ordered by faces[0], then along its loops
    // Pieces' edges that no face on the other side matches: 0 for a closed
    // surface.
    std::size_t open_segments = 0;
};

// The logical faces and edges of `s`. Faces without area are left out.
Topology build_topology(const Solid& s);

// Each face's shell: faces joined by edges share one; numbered from 0 in
// face order.
std::vector<std::uint32_t> shells_of(const Topology& t, std::size_t* count);

// The area vector of a loop (twice its vector area), and of a face (its
// outer loop plus its holes, which run the other way).
Point3 loop_area(const std::vector<Point3>& points, const std::vector<std::uint32_t>& loop);
Point3 face_area(const Topology& t, const LogicalFace& f);

// The centroid of the face's area, exactly.
Point3 face_centroid(const Topology& t, const LogicalFace& f);

}  // namespace qs::topo
