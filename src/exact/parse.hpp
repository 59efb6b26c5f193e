// Number texts in: the one reader of the number syntax, for the layers that
// receive texts (the entry points, the companion module's readers). The core
// takes values and never includes this.
#pragma once

#include <string_view>

#include "exact/rational.hpp"

namespace qs {

// An integer ("-12", "+7", "1_000") or a fraction of two ("6/-4"), any
// length; more than one "/" reads the integer before the first. Panics with
// the catalogue's texts: kInvalidDigit, kEmpty, kDenominatorZero.
Rational parse_rational(std::string_view text);

}  // namespace qs
