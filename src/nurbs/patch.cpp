// The literal pieces of the intersection search: control boxes, their
// overlap test, and de Casteljau's halving of curves and patches, on the
// rationals as they come.
#include "nurbs/patch.hpp"

#include <algorithm>
#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "nurbs/word_int.hpp"

namespace qs::nurbs {

int cmp(const Rational& a, const Rational& b) {
    if (fmpz_is_one(a.den()) && fmpz_is_one(b.den())) return word::z_cmp(a.num(), b.num());
    return fmpq_cmp(a.raw(), b.raw());
}

Rational midpoint(const Rational& a, const Rational& b) {
    Rational m;
    fmpq_add(m.raw(), a.raw(), b.raw());
    fmpq_div_2exp(m.raw(), m.raw(), 1);
    return m;
}

void widen(ControlBox& box, bool first, Rational (&q)[3]) {
    for (std::size_t c = 0; c < 3; ++c) {
        if (first) {
            box[c] = q[c];
            box[c + 3] = std::move(q[c]);
        } else if (cmp(q[c], box[c]) < 0) {
            box[c] = std::move(q[c]);
        } else if (cmp(q[c], box[c + 3]) > 0) {
            box[c + 3] = std::move(q[c]);
        }
    }
}

ControlBox control_box(const Net& net) {
    const std::size_t dim = at(at(net, 0), 0).size();
    ControlBox box;
    bool first = true;
    Rational q[3];
    for (const auto& row : net) {
        for (const Point& p : row) {
            poll_interrupt();
            for (std::size_t c = 0; c < 3; ++c) {
                if (dim == 3) {
                    q[c] = at(p, c);
                } else {
                    const Rational& x = at(p, c);
                    const Rational& w = at(p, 3);
                    q[c] = x / w;
                }
            }
            widen(box, first, q);
            first = false;
        }
    }
    return box;
}

bool boxes_overlap(const ControlBox& a, const ControlBox& b) {
    for (std::size_t c = 0; c < 3; ++c) {
        if (cmp(a[c], b[c + 3]) > 0) return false;
        if (cmp(b[c], a[c + 3]) > 0) return false;
    }
    return true;
}

std::pair<std::vector<Polygon>, std::vector<Polygon>> split_curves(std::vector<Polygon> polygons,
                                                                   std::size_t dim) {
    std::vector<Polygon> lefts;
    std::vector<Polygon> rights;
    lefts.reserve(polygons.size());
    rights.reserve(polygons.size());
    for (Polygon& p : polygons) {
        const std::size_t n = p.size();
        poll_interrupt(static_cast<std::uint32_t>(std::min<std::size_t>(n * n * dim, 256)));
        Polygon left{at(p, 0)};
        Polygon right{p[n - 1]};
        left.reserve(n);
        right.reserve(n);
        for (std::size_t f = 1; f < n; ++f) {
            for (std::size_t i = 0; i + f < n; ++i) {
                // The first dim coordinates are averaged; a longer point
                // keeps its extra ones.
                for (std::size_t c = 0; c < dim; ++c) {
                    const Rational& a = at(p[i], c);
                    const Rational& b = at(p[i + 1], c);
                    p[i][c] = midpoint(a, b);
                }
            }
            left.push_back(p[0]);
            right.push_back(p[n - f - 1]);
        }
        std::reverse(right.begin(), right.end());
        lefts.push_back(std::move(left));
        rights.push_back(std::move(right));
    }
    return {std::move(lefts), std::move(rights)};
}

std::array<Patch, 4> subdivide_patch(const Patch& patch) {
    const Net& net = patch.net;
    const std::size_t dim = at(at(net, 0), 0).size();
    const std::size_t rows = net.size();
    const std::size_t cols = net[0].size();
    std::vector<Polygon> columns(cols);
    for (std::size_t j = 0; j < cols; ++j) {
        columns[j].reserve(rows);
        for (std::size_t i = 0; i < rows; ++i) columns[j].push_back(at(net[i], j));
    }
    auto halves = split_curves(std::move(columns), dim);
    const ParamBox& b = patch.box;
    const Rational mu = midpoint(b.u0, b.u1);
    const Rational mv = midpoint(b.v0, b.v1);

    std::array<Patch, 4> out;
    for (int h = 0; h < 2; ++h) {
        std::vector<Polygon>& half = h == 0 ? halves.first : halves.second;
        Net half_net(rows);
        for (std::size_t i = 0; i < rows; ++i) {
            half_net[i].reserve(cols);
            for (std::size_t j = 0; j < cols; ++j) half_net[i].push_back(std::move(half[j][i]));
        }
        auto [lo, hi] = split_curves(std::move(half_net), dim);
        const Rational& ua = h == 0 ? b.u0 : mu;
        const Rational& ub = h == 0 ? mu : b.u1;
        out[2 * h] = Patch{std::move(lo), ParamBox{ua, ub, b.v0, mv}};
        out[2 * h + 1] = Patch{std::move(hi), ParamBox{ua, ub, mv, b.v1}};
    }
    return out;
}

}  // namespace qs::nurbs
