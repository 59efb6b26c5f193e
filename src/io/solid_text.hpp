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
// approximations are recomputed, as they follow from the vertices.
#pragma once

#include <string>
#include <string_view>

#include "solid/solid.hpp"

namespace qs {

std::string solid_to_text(const Solid& s);

// Reads the text back. Anything malformed, and any face that face_problem
// refuses, throws InputError naming the line; nothing is built.
Solid solid_from_text(std::string_view text);

}  // namespace qs
