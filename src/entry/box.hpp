// Summaries of a box, or of a boolean of two boxes, as two texts: six times
// the volume and the canonical form. No solid leaves these functions.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace qs::entry {

using TextPair = std::pair<std::string, std::string>;

// The box from the origin to (dx, dy, dz).
TextPair box_form(std::string_view dx, std::string_view dy, std::string_view dz);

// The box from the origin to (dx, dy, dz), combined by op with the box from
// (tx, ty, tz) to (tx + ex, ty + ey, tz + ez). The numbers are parsed in
// argument order and both boxes are placed before op is looked at, so a bad
// number is reported before a bad op.
TextPair box_boolean(std::string_view dx, std::string_view dy, std::string_view dz,
                     std::string_view ex, std::string_view ey, std::string_view ez,
                     std::string_view tx, std::string_view ty, std::string_view tz,
                     std::string_view op);

}  // namespace qs::entry
