#include "nurbs/nurbs.hpp"

#include <algorithm>
#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"

namespace qs::nurbs {

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

HomogeneousPoint homogeneous(std::vector<Rational> coords, const Rational& w) {
    for (Rational& c : coords) c *= w;
    coords.push_back(w);
    return coords;
}

std::array<Rational, 3> project(const HomogeneousPoint& h) {
    std::array<Rational, 3> out;
    for (std::size_t c = 0; c < 3; ++c) {
        const Rational& x = at(h, c);
        out[c] = x / at(h, 3);
    }
    return out;
}

}  // namespace qs::nurbs
