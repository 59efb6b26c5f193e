// The operations that take number texts and give a solid: the builders, the
// two transforms with number arguments, and the chamfer. Each parses its
// texts in the order its caller sees fixed, so the first malformed text in
// that order decides the failure, and then calls the core with the values.
#pragma once

#include <string_view>
#include <vector>

#include "entry/texts.hpp"
#include "solid/prism.hpp"
#include "solid/solid.hpp"

namespace qs::entry {

// The sizes in the order dx, dy, dz.
Solid make_box(std::string_view dx, std::string_view dy, std::string_view dz,
               std::string_view prefix);

// Texts x0, y0, x1, y1, ... parsed pairwise, x before y; a final unpaired
// text is neither parsed nor used.
std::vector<Point2> read_flat_points(const Texts& texts);

// The points, then h.
Solid make_prism(const Texts& loop_flat, std::string_view h, std::string_view prefix);
// The bottom points, z0, the top points, z1.
Solid make_prismatoid(const Texts& bottom, std::string_view z0, const Texts& top,
                      std::string_view z1, std::string_view prefix);

// The three numbers in the order given.
Solid translate(const Solid& s, std::string_view x, std::string_view y, std::string_view z);
Solid scale(const Solid& s, std::string_view fx, std::string_view fy, std::string_view fz);

Solid chamfer(const Solid& s, std::string_view dist);

}  // namespace qs::entry
