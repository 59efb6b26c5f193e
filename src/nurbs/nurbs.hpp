// Exact rational B-spline evaluation: span search and de Boor's algorithm on
// homogeneous points, with the projection back to Cartesian coordinates. A
// curve point is project(de_boor_eval(...)); a surface point runs
// de_boor_eval along v on every row of the net, then once along u on the
// row results.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "exact/rational.hpp"

namespace qs::nurbs {

// (w*c0, ..., w*c(m-1), w). Every coordinate is treated alike; only the
// final projection singles out entry 3 as the divisor.
using HomogeneousPoint = std::vector<Rational>;

// The homogeneous form of control point `coords` with weight w.
HomogeneousPoint homogeneous(std::vector<Rational> coords, const Rational& w);

// Knot interval for t with n control points and degree p. The knots are
// neither sorted nor validated; reads past the end are index failures, and
// the bisection always narrows, whatever the knots.
std::size_t find_span(std::uint64_t p, const std::vector<Rational>& knots, std::size_t n,
                      const Rational& t);

// de Boor's algorithm; repeated knots give alpha = 0 instead of a division.
HomogeneousPoint de_boor_eval(std::uint64_t p, const std::vector<Rational>& knots,
                              const std::vector<HomogeneousPoint>& points, const Rational& t);

// (H[0]/H[3], H[1]/H[3], H[2]/H[3]); a short H is an index failure, a zero
// H[3] a division failure.
std::array<Rational, 3> project(const HomogeneousPoint& h);

}  // namespace qs::nurbs
