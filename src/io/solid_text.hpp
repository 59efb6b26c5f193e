// The lossless text of a solid: line-based, versioned, readable by eye.
//
//   quillstone solid 1
//   faces 6
//   face 4 "b.bottom"
//   plane 0/1 0/1 -1/1 0/1
//   0/1 0/1 0/1
//   ...                      one line per vertex, x y z
//   end
//
// Every face keeps its order, label, stored plane (which the booleans rely
// on and which need not follow from the vertices) and vertices exactly; the
// approximations are recomputed, as they follow from the vertices. A solid
// whose faces do not close up (made from faces without checks) says so:
// "faces <n> open"; every other text must close up when read.
#pragma once

#include <string>
#include <string_view>

#include "solid/solid.hpp"

namespace qs {

std::string solid_to_text(const Solid& s);

// Reads the text back. Anything malformed, any face that face_problem
// refuses (a zero normal, a vertex off the plane, a loop that is not
// convex) and faces that do not close up where the text does not say
// "open" throw InputError naming the line; nothing is built. Those checks
// cost one pass. With `check`, the faces must also bound a solid
// (check_validity, which an open text cannot).
Solid solid_from_text(std::string_view text, bool check = false);

}  // namespace qs
