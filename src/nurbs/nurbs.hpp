// Exact rational B-spline evaluation: span search, de Boor's algorithm on
// homogeneous points, and the curve and surface entry points that take
// number texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "exact/rational.hpp"

namespace qs::nurbs {

// (w*c0, ..., w*c(m-1), w). Every coordinate is treated alike; only the
// final projection singles out entry 3 as the divisor.
using HomogeneousPoint = std::vector<Rational>;

using Texts = std::vector<std::string>;
using Texts2 = std::vector<Texts>;
using Texts3 = std::vector<Texts2>;

// Knot interval for t with n control points and degree p. The knots are
// neither sorted nor validated; reads past the end are index failures, and
// the bisection always narrows, whatever the knots.
std::size_t find_span(std::uint64_t p, const std::vector<Rational>& knots, std::size_t n,
                      const Rational& t);

// de Boor's algorithm; repeated knots give alpha = 0 instead of a division.
HomogeneousPoint de_boor_eval(std::uint64_t p, const std::vector<Rational>& knots,
                              const std::vector<HomogeneousPoint>& points, const Rational& t);

// (H[0]/H[3], H[1]/H[3], H[2]/H[3]) as texts.
Texts project(const HomogeneousPoint& h);

// weights == nullptr: every weight is 1.
Texts nurbs_curve_eval(std::uint64_t degree, const Texts2& cps, const Texts& knots,
                       const std::string& t, const Texts* weights);

Texts nurbs_surface_eval(std::uint64_t pu, std::uint64_t pv, const Texts3& net, const Texts& ku,
                         const Texts& kv, const std::string& u, const std::string& v,
                         const Texts2* weights);

}  // namespace qs::nurbs
