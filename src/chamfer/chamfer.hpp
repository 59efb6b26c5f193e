// Edge bevelling by subtraction: one cutter per bevelled edge and one
// tetrahedral cutter per trimmed corner, each removed with a boolean cut.
#pragma once

#include <cstddef>

#include "solid/solid.hpp"

namespace qs {

// How many cuts a chamfer made; filled for tests and benchmarks.
struct ChamferStats {
    std::size_t edge_cuts = 0;
    std::size_t corner_cuts = 0;
};

// Bevels by `dist` every convex edge of `s` that two faces of different
// planes share, each cutter taking only its own edge's bevel; mitres the
// inside corners where two bevels meet, trims the outside corners where
// three meet, and leaves reflex edges sharp. Throws ChamferError for a
// negative distance, a face without a rational unit normal and an edge
// without a rational length. `stats`, when given, receives the cuts made.
Solid chamfer_solid(const Solid& s, const Rational& dist, ChamferStats* stats = nullptr);

}  // namespace qs
