// Number texts as a caller hands them over: lists of texts, and lists of
// those, read by the entry points in the order each one fixes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exact/interrupt.hpp"
#include "exact/parse.hpp"
#include "exact/point3.hpp"

namespace qs::entry {

using Texts = std::vector<std::string>;
using Texts2 = std::vector<Texts>;
using Texts3 = std::vector<Texts2>;

// Three coordinates, x before y before z.
inline Point3 parse_point(std::string_view x, std::string_view y, std::string_view z) {
    Rational a = parse_rational(x);
    Rational b = parse_rational(y);
    Rational c = parse_rational(z);
    return Point3(std::move(a), std::move(b), std::move(c));
}

// Every text, first to last; the first malformed one decides the failure.
// Room is kept for `spare` more values the caller appends.
inline std::vector<Rational> parse_all(const Texts& texts, std::size_t spare = 0) {
    std::vector<Rational> out;
    out.reserve(texts.size() + spare);
    for (const std::string& s : texts) {
        poll_interrupt();
        out.push_back(parse_rational(s));
    }
    return out;
}

}  // namespace qs::entry
