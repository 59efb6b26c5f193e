// The NURBS entry points on number texts: curve and surface points, and the
// intersection search. Each reads its texts in the order its caller sees
// fixed; the order decides which failure is reported when several inputs
// are bad.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "entry/texts.hpp"
#include "nurbs/ssi.hpp"

namespace qs::entry {

// The knots, the weights (weights == nullptr: every weight is 1), each
// control point's coordinates, then t. The point's three coordinates as
// texts.
Texts nurbs_curve_eval(std::uint64_t degree, const Texts2& cps, const Texts& knots,
                       const std::string& t, const Texts* weights);

// ku, kv and v; then row by row, each row's weights and points read and its
// v pass run before the next row is read; then u.
Texts nurbs_surface_eval(std::uint64_t pu, std::uint64_t pv, const Texts3& net, const Texts& ku,
                         const Texts& kv, const std::string& u, const std::string& v,
                         const Texts2* weights);

// a_box, b_box (the first four texts of each; null is (0, 1, 0, 1)), then
// every coordinate of net_a and of net_b, row by row, point by point. The
// memory bound and the cost of a result are nurbs::ssi_pairs's.
std::vector<nurbs::PairBoxes> ssi_pairs(const Texts3& net_a, const Texts3& net_b,
                                        std::uint64_t depth, const Texts* a_box,
                                        const Texts* b_box,
                                        std::size_t budget = nurbs::kSsiDefaultBudget,
                                        nurbs::ResultCost result_cost = nullptr);

}  // namespace qs::entry
