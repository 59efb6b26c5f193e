// Edge bevelling by subtraction: one hexahedral cutter per bevelled edge and
// one tetrahedral cutter per trimmed corner, each removed with a boolean cut.
#pragma once

#include <cstddef>

#include "solid/solid.hpp"

namespace qs {

// How many cuts a chamfer made; filled for tests and benchmarks.
struct ChamferStats {
    std::size_t edge_cuts = 0;
    std::size_t corner_cuts = 0;
};

// Bevels every edge of `s` that two non-coplanar faces share by `dist`,
// then trims the corners where three bevelled edges meet. Throws
// ChamferError for a negative distance, a face without a rational unit
// normal and an edge without a rational length.
Solid chamfer_solid(const Solid& s, const Rational& dist);
Solid chamfer_solid(const Solid& s, const Rational& dist, ChamferStats* stats);

}  // namespace qs
