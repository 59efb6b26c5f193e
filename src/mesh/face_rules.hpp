// What a face from outside must be before any operation may rely on it, and
// the assembly of a solid from such faces. The booleans cut faces along
// planes and keep each piece's loop order, which is right only for planar
// convex loops; the chamfer and the queries assume a closed, outward shell.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "solid/solid.hpp"

namespace qs {

// The first thing that makes a face unusable, in words ("vertex 3 is not on
// the face's plane"), or nothing. A usable face has at least three
// vertices, all on its stored plane; unless it has no area, its stored
// normal is not zero (the booleans cut along that plane) and its loop is
// convex (no reflex corner, no fold back, one turn around) and runs
// counter-clockwise seen from the normal's tip. A face without area passes:
// transforms may flatten faces, and they must still read back.
std::optional<std::string> face_problem(const Face& f);

// A face as given from outside; a missing normal or offset is computed.
struct InputFace {
    std::string label;
    std::vector<Point3> vertices;
    std::optional<Point3> normal;
    std::optional<Rational> offset;
    std::size_t line = 0;  // where it was read, counted from 1; 0 when not read from a text
};

// Builds a solid from the faces in their order, or throws InputError naming
// the first bad face by its index in the list (and its line, where known).
// A face needs at least three vertices; a face without area is dropped, as
// every builder drops them. A loop whose first three vertices lie on one
// line, or turn against the loop, is turned to start at the first vertex
// where they make a turn the loop's way (transforms take the plane from the
// first three vertices). A missing normal is taken from vertices 0, 1, 2
// (the rule of make_face) and, for a loop with no such turn (it is not
// convex and will be refused), from the area vector; a missing offset from
// vertex 0.
// A given normal must not be zero and must agree with the loop's winding.
// Then face_problem applies. With `check`, the faces must also close up
// (the rule of watertight_ok); a closed shell wound inwards (negative
// volume) is turned over, every face flipped; and the result must bound a
// solid (check_validity), the faults named by input index and line.
Solid solid_from_input(std::vector<InputFace> faces, bool check);

}  // namespace qs
