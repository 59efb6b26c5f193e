#include "nurbs/nurbs.hpp"

#include <algorithm>
#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"

namespace qs::nurbs {

namespace {

std::vector<Rational> parse_all(const Texts& texts) {
    std::vector<Rational> out;
    out.reserve(texts.size());
    for (const std::string& s : texts) {
        poll_interrupt();
        out.push_back(parse_rational(s));
    }
    return out;
}

// (w*c0, ..., w*c(m-1), w)
HomogeneousPoint homogeneous(const Texts& coords, const Rational& w) {
    HomogeneousPoint h;
    h.reserve(coords.size() + 1);
    for (const std::string& s : coords) {
        poll_interrupt();
        h.push_back(parse_rational(s));
        h.back() *= w;
    }
    h.push_back(w);
    return h;
}

}  // namespace

std::size_t find_span(std::uint64_t p, const std::vector<Rational>& knots, std::size_t n,
                      const Rational& t) {
    // With no points there is no span; report it like the first point read.
    if (n == 0) index_panic(0, 0);
    if (t >= at(knots, n)) return n - 1;
    // Bisect only when at least two spans exist. Written as n > p + 1 in a
    // form that cannot wrap, so fewer points than the degree never enter
    // the loop; inside it lo < mid < hi, so every step narrows.
    if (n > p && n - p >= 2 && t > at(knots, p)) {
        std::size_t lo = p;
        std::size_t hi = n;
        while (hi - lo > 1) {
            std::size_t mid = lo + (hi - lo) / 2;
            if (t < knots[mid]) {
                hi = mid;
            } else {
                lo = mid;
            }
        }
        return lo;
    }
    return p;
}

HomogeneousPoint de_boor_eval(std::uint64_t p, const std::vector<Rational>& knots,
                              const std::vector<HomogeneousPoint>& points, const Rational& t) {
    const std::size_t n = points.size();
    const std::size_t dim = at(points, 0).size();
    const std::size_t k = find_span(p, knots, n, t);
    // The span needs the p + 1 points k - p .. k. With fewer points than
    // that the window cannot exist at all (k = p is past the end, or
    // k = n - 1 < p starts before the front); both report the first
    // missing point.
    if (n <= p) index_panic(n, n);
    const std::size_t first = k - p;
    if (p == 0) return points[k];

    std::vector<HomogeneousPoint> d(points.begin() + static_cast<std::ptrdiff_t>(first),
                                    points.begin() + static_cast<std::ptrdiff_t>(k + 1));
    Rational den;
    Rational alpha;
    Rational diff;
    for (std::size_t r = 1; r <= p; ++r) {
        for (std::size_t j = p; j >= r; --j) {
            poll_interrupt(static_cast<std::uint32_t>(std::min<std::size_t>(dim, 256)));
            const std::size_t i0 = first + j;
            const std::size_t i1 = k + 1 + j - r;
            const Rational& k1 = at(knots, i1);
            const Rational& k0 = at(knots, i0);
            fmpq_sub(den.raw(), k1.raw(), k0.raw());
            HomogeneousPoint& lo = d[j - 1];
            HomogeneousPoint& hi = d[j];
            // Coordinates are read pairwise, lower point first; report the
            // first read that falls off a short point.
            // Only the first dim coordinates blend; a longer point keeps
            // its extra ones.
            const std::size_t m = std::min(lo.size(), hi.size());
            if (m < dim) index_panic(m, m);
            if (den.is_zero()) {
                for (std::size_t c = 0; c < dim; ++c) fmpq_set(hi[c].raw(), lo[c].raw());
            } else {
                fmpq_sub(alpha.raw(), t.raw(), k0.raw());
                fmpq_div(alpha.raw(), alpha.raw(), den.raw());
                // (1 - alpha) lo + alpha hi = lo + alpha (hi - lo)
                for (std::size_t c = 0; c < dim; ++c) {
                    fmpq_sub(diff.raw(), hi[c].raw(), lo[c].raw());
                    fmpq_mul(hi[c].raw(), diff.raw(), alpha.raw());
                    fmpq_add(hi[c].raw(), hi[c].raw(), lo[c].raw());
                }
            }
        }
    }
    return std::move(d[p]);
}

Texts project(const HomogeneousPoint& h) {
    Texts out;
    out.reserve(3);
    for (std::size_t c = 0; c < 3; ++c) {
        const Rational& x = at(h, c);
        out.push_back(format_rational(x / at(h, 3)));
    }
    return out;
}

Texts nurbs_curve_eval(std::uint64_t degree, const Texts2& cps, const Texts& knot_texts,
                       const std::string& t_text, const Texts* weight_texts) {
    std::vector<Rational> knots = parse_all(knot_texts);
    std::vector<Rational> weights;
    if (weight_texts) {
        weights = parse_all(*weight_texts);
    } else {
        weights.assign(cps.size(), Rational(1));
    }
    const std::size_t n = std::min(cps.size(), weights.size());
    std::vector<HomogeneousPoint> points;
    points.reserve(n);
    for (std::size_t i = 0; i < n; ++i) points.push_back(homogeneous(cps[i], weights[i]));
    Rational t = parse_rational(t_text);
    return project(de_boor_eval(degree, knots, points, t));
}

Texts nurbs_surface_eval(std::uint64_t pu, std::uint64_t pv, const Texts3& net, const Texts& ku_texts,
                         const Texts& kv_texts, const std::string& u_text,
                         const std::string& v_text, const Texts2* weights) {
    std::vector<Rational> ku = parse_all(ku_texts);
    std::vector<Rational> kv = parse_all(kv_texts);
    Rational v = parse_rational(v_text);
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
            if (weights) {
                Rational w = parse_rational(at(at(*weights, i), j));
                pts.push_back(homogeneous(row[j], w));
            } else {
                pts.push_back(homogeneous(row[j], one));
            }
        }
        rows.push_back(de_boor_eval(pv, kv, pts, v));
    }
    Rational u = parse_rational(u_text);
    return project(de_boor_eval(pu, ku, rows, u));
}

}  // namespace qs::nurbs
