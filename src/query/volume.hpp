#pragma once

#include "solid/solid.hpp"

namespace qs {

// Six times the signed volume: the sum of P0 . (Pi x Pi+1) over every face
// fan, faces in order. Exact, and never made absolute.
Rational solid_volume6(const Solid& s);

}  // namespace qs
