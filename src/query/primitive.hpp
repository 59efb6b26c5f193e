// Scaling a rational vector to coprime integers: shared by the line keys of
// the watertightness check and the plane keys of the logical-face count.
#pragma once

#include <cstddef>

#include "exact/rational.hpp"

namespace qs::detail {

// Scales vals[0..n), n at most 4, in place to integers (denominator 1)
// with no common factor and the first nonzero entry positive. Returns
// false, leaving the values untouched, when all of them are zero.
bool make_primitive(Rational* vals, std::size_t n);

}  // namespace qs::detail
