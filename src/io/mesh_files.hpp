// Mesh files in and out: OBJ and OFF (polygons), STL (triangles, ASCII and
// binary).
//
// Reading is exact: a decimal text such as 0.1 is the fraction 1/10, a
// binary STL float the binary fraction it is. The readers only collect a
// table of points and polygons of indices into it, paying for them from a
// budget that bounds the memory by the file's size; add_polygons then makes
// and checks the faces as it does any faces from outside. A failure names
// the line (or, in binary STL, the triangle).
//
// Writing takes a TriangleMesh (no T-junctions, no triangle without area)
// and writes each coordinate as the shortest text of its nearest double, or
// in binary STL as its nearest float. A coordinate beyond the range of the
// file's numbers is refused rather than written as infinity.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mesh/face_rules.hpp"
#include "mesh/triangulate.hpp"

namespace qs {

// In OBJ and OFF files written with exact coordinates, each vertex line is
// followed by a comment line "#qs-exact x y z" with the exact fractions.
// Other readers skip it as a comment; ours replaces the vertex by it.
constexpr std::string_view kExactTag = "#qs-exact";

// OBJ: v lines (x y z, an optional w that divides them, colours after them
// ignored) and f lines of 1-based or negative (relative) indices, in the
// forms i, i/t, i//n and i/t/n. A face's label is the name of the group (g)
// or object (o) it stands in, or "mesh". Other lines are skipped.
MeshInput read_obj(std::string_view text, ReadBudget& budget);

// OFF (also COFF, NOFF, CNOFF, STOFF...): the counts, then per vertex a line
// whose first three numbers are x y z, then per face a line "n i1 ... in"
// of 0-based indices; whatever follows on a line (colours) is skipped, as
// are comments (#) and blank lines. Labels are "mesh".
MeshInput read_off(std::string_view text, ReadBudget& budget);

// STL, ASCII or binary. Binary when the size matches the triangle count in
// the header (80 bytes, then the count), or the file does not look like
// ASCII STL ("solid", then a line that begins with "facet" or "endsolid").
// The stored facet normals are ignored: the vertex order gives the
// orientation. Labels are the solid's name in ASCII, "mesh" in binary.
MeshInput read_stl(std::string_view bytes, ReadBudget& budget);

// Writers. Labels go into OBJ group lines (g), white space and control
// characters replaced by "_". `solid` is the solid the mesh was made from.
std::string write_obj(const TriangleMesh& mesh, const Solid& solid, bool exact);
std::string write_off(const TriangleMesh& mesh, bool exact);
std::string write_stl_ascii(const TriangleMesh& mesh, const Solid& solid);
std::string write_stl_binary(const TriangleMesh& mesh, const Solid& solid);

}  // namespace qs
