#include "entry/nurbs.hpp"

#include <algorithm>
#include <utility>

#include "exact/errors.hpp"
#include "nurbs/nurbs.hpp"

namespace qs::entry {

namespace {

using nurbs::HomogeneousPoint;

Texts texts_of(const std::array<Rational, 3>& p) {
    return {format_rational(p[0]), format_rational(p[1]), format_rational(p[2])};
}

nurbs::ParamBox parse_box(const Texts* texts) {
    if (!texts) return nurbs::ParamBox{Rational(0), Rational(1), Rational(0), Rational(1)};
    Rational v[4];
    for (std::size_t i = 0; i < 4; ++i) v[i] = parse_rational(at(*texts, i));
    return nurbs::ParamBox{std::move(v[0]), std::move(v[1]), std::move(v[2]), std::move(v[3])};
}

nurbs::Net parse_net(const Texts3& texts) {
    nurbs::Net net;
    net.reserve(texts.size());
    for (const Texts2& row : texts) {
        std::vector<nurbs::Point>& r = net.emplace_back();
        r.reserve(row.size());
        for (const Texts& pt : row) r.push_back(parse_all(pt));
    }
    return net;
}

}  // namespace

Texts nurbs_curve_eval(std::uint64_t degree, const Texts2& cps, const Texts& knot_texts,
                       const std::string& t_text, const Texts* weight_texts) {
    const std::vector<Rational> knots = parse_all(knot_texts);
    std::vector<Rational> weights;
    if (weight_texts) {
        weights = parse_all(*weight_texts);
    } else {
        weights.assign(cps.size(), Rational(1));
    }
    // Surplus control points or surplus weights are ignored.
    const std::size_t n = std::min(cps.size(), weights.size());
    std::vector<HomogeneousPoint> points;
    points.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        points.push_back(nurbs::homogeneous(parse_all(cps[i], 1), weights[i]));
    const Rational t = parse_rational(t_text);
    return texts_of(nurbs::project(nurbs::de_boor_eval(degree, knots, points, t)));
}

Texts nurbs_surface_eval(std::uint64_t pu, std::uint64_t pv, const Texts3& net, const Texts& ku_texts,
                         const Texts& kv_texts, const std::string& u_text,
                         const std::string& v_text, const Texts2* weights) {
    const std::vector<Rational> ku = parse_all(ku_texts);
    const std::vector<Rational> kv = parse_all(kv_texts);
    const Rational v = parse_rational(v_text);
    const Rational one(1);
    std::vector<HomogeneousPoint> rows;
    rows.reserve(net.size());
    std::vector<HomogeneousPoint> pts;
    for (std::size_t i = 0; i < net.size(); ++i) {
        const Texts2& row = net[i];
        pts.clear();
        pts.reserve(row.size());
        for (std::size_t j = 0; j < row.size(); ++j) {
            // The weight is read before the point's coordinates.
            const Rational w = weights ? parse_rational(at(at(*weights, i), j)) : one;
            pts.push_back(nurbs::homogeneous(parse_all(row[j], 1), w));
        }
        rows.push_back(nurbs::de_boor_eval(pv, kv, pts, v));
    }
    const Rational u = parse_rational(u_text);
    return texts_of(nurbs::project(nurbs::de_boor_eval(pu, ku, rows, u)));
}

std::vector<nurbs::PairBoxes> ssi_pairs(const Texts3& net_a, const Texts3& net_b,
                                        std::uint64_t depth, const Texts* a_box,
                                        const Texts* b_box, std::size_t budget,
                                        nurbs::ResultCost result_cost) {
    nurbs::ParamBox ab = parse_box(a_box);
    nurbs::ParamBox bb = parse_box(b_box);
    nurbs::Net na = parse_net(net_a);
    nurbs::Net nb = parse_net(net_b);
    return nurbs::ssi_pairs(std::move(na), std::move(nb), ab, bb, depth, budget, result_cost);
}

}  // namespace qs::entry
