// Number texts as a caller hands them over: lists of texts, and lists of
// those, read by the entry points in the order each one fixes.
#pragma once

#include <string>
#include <vector>

#include "exact/interrupt.hpp"
#include "exact/parse.hpp"

namespace qs::entry {

using Texts = std::vector<std::string>;
using Texts2 = std::vector<Texts>;
using Texts3 = std::vector<Texts2>;

// Every text, first to last; the first malformed one decides the failure.
inline std::vector<Rational> parse_all(const Texts& texts) {
    std::vector<Rational> out;
    out.reserve(texts.size());
    for (const std::string& s : texts) {
        poll_interrupt();
        out.push_back(parse_rational(s));
    }
    return out;
}

}  // namespace qs::entry
