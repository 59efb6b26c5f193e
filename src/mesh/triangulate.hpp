// A solid as a closed triangle mesh that other programs accept: vertices
// shared by exact value, no T-junctions, no triangle without area.
//
// Booleans leave T-junctions: a long edge of one face meets several short
// edges of its neighbours, and programs that pair edges by their end points
// see holes there. So every face edge is first split at the vertices of
// other faces that lie inside it, then each (convex) face is cut into
// triangles, none of zero area, each wound as the face (counter-clockwise
// seen from outside).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "solid/solid.hpp"

namespace qs {

struct TriangleMesh {
    std::vector<Point3> vertices;  // distinct exact points, in order of first use
    std::vector<std::array<std::uint32_t, 3>> triangles;
    std::vector<std::uint32_t> face_of;  // per triangle, the index of its face in the solid
};

// Faces without area give no triangle. A face that is not convex (no
// solid this system builds or reads has one) throws InputError.
TriangleMesh triangulate_solid(const Solid& s);

// One convex loop, given as indices into `points`, with its nonzero area
// vector: appends its triangles (loop size minus two of them, each of
// positive area) to `out`. Points may lie along the sides; a loop that is
// not convex throws InputError naming `face`.
void triangulate_convex_loop(const std::vector<Point3>& points,
                             const std::vector<std::uint32_t>& loop, const Point3& area,
                             std::size_t face, std::vector<std::array<std::uint32_t, 3>>& out);

}  // namespace qs
