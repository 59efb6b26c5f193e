// Candidate regions of a surface-surface intersection: both Bezier patches
// are halved in u and v over and over, and only pairs of sub-patches whose
// control-point boxes meet are kept.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "exact/errors.hpp"
#include "nurbs/patch.hpp"
#include "nurbs/ssi_budget.hpp"

namespace qs::nurbs {

// au0, au1, av0, av1, bu0, bu1, bv0, bv1
using PairBoxes = std::array<Rational, 8>;

// The pair of boxes a and b in that layout.
inline PairBoxes boxes_of(const ParamBox& a, const ParamBox& b) {
    return PairBoxes{a.u0, a.u1, a.v0, a.v1, b.u0, b.u1, b.v0, b.v1};
}

// What the caller spends on each pair of the result beyond the pair itself,
// given the bit length of the largest integer in the pair's boxes.
using ResultCost = std::size_t (*)(std::size_t bits);

// The deepest level a search may reach while pairs survive.
constexpr std::uint64_t kMaxSsiLevels = 2048;

// The surviving pairs after `depth` levels, in creation order. budget is the
// memory bound in bytes (kSsiDefaultBudget: default_ssi_budget()); the search
// counts its patches, its pair lists and its result, each result pair with
// result_cost on top (see ssi_fast.cpp). Past the bound, or past
// kMaxSsiLevels levels, it throws MemoryLimit.
std::vector<PairBoxes> ssi_pairs(Net a, Net b, const ParamBox& a_box, const ParamBox& b_box,
                                 std::uint64_t depth, std::size_t budget = kSsiDefaultBudget,
                                 ResultCost result_cost = nullptr);

// The same pairs from the algorithm as stated: every level on the literal
// pieces, in rationals, with no memory bound. For comparison with the search
// above, in tests and benchmarks.
std::vector<PairBoxes> ssi_pairs_plain(const Net& a, const Net& b, const ParamBox& a_box,
                                       const ParamBox& b_box, std::uint64_t depth);

}  // namespace qs::nurbs
