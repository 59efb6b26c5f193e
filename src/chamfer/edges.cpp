#include "chamfer/edges.hpp"

#include <flint/fmpz.h>

#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "query/watertight.hpp"

namespace qs::chamfer {
namespace {

// Taken from the plane's integer form so the root is of an integer. A zero
// normal has no direction at all and counts as having no unit normal.
std::optional<Point3> unit_normal(const IntPlane& k) {
    Rational s = k[0] * k[0];
    s.add_mul(k[1], k[1]);
    s.add_mul(k[2], k[2]);
    if (s.is_zero()) return std::nullopt;
    std::optional<Rational> r = exact_sqrt(s);
    if (!r) return std::nullopt;
    return Point3(k[0] / *r, k[1] / *r, k[2] / *r);
}

}  // namespace

std::optional<Rational> exact_sqrt(const Rational& q) {
    if (q.sign() < 0 || !fmpz_is_square(q.num()) || !fmpz_is_square(q.den())) return std::nullopt;
    fmpz_t n, d;
    fmpz_init(n);
    fmpz_init(d);
    fmpz_sqrt(n, q.num());
    fmpz_sqrt(d, q.den());
    // Roots of a coprime pair stay coprime.
    Rational r = Rational::from_canonical(n, d);
    fmpz_clear(n);
    fmpz_clear(d);
    return r;
}

Rational level(const Plane& p, const Point3& x) {
    Rational r = dot(p.normal, x);
    r -= p.offset;
    return r;
}

int side(const Plane& p, const Point3& x) { return level(p, x).sign(); }

std::map<std::string, EdgeLine> edge_lines(const Solid& s) {
    std::map<std::string, EdgeLine> lines;
    for (std::size_t fi = 0; fi < s.faces.size(); ++fi) {
        poll_interrupt();
        const std::vector<Point3>& vs = s.faces[fi].vertices;
        for (std::size_t i = 0; i < vs.size(); ++i) {
            const Point3& p = vs[i];
            const Point3& q = vs[i + 1 == vs.size() ? 0 : i + 1];
            std::optional<LineEdge> e = edge_on_line(p, q);
            if (!e) continue;
            const bool forward = e->ta < e->tb;
            Rational lo = std::move(forward ? e->ta : e->tb);
            Rational hi = std::move(forward ? e->tb : e->ta);
            auto [it, fresh] = lines.try_emplace(std::move(e->key));
            EdgeLine& l = it->second;
            l.faces.push_back(fi);
            l.forward.push_back(forward);
            if (fresh) {
                l.a = p;
                l.e = std::move(e->u);
                l.t_min = std::move(lo);
                l.t_max = std::move(hi);
            } else {
                if (lo < l.t_min) l.t_min = std::move(lo);
                if (hi > l.t_max) l.t_max = std::move(hi);
            }
        }
    }
    return lines;
}

Point3 Bevel::end(bool at_min) const {
    const Rational& t = at_min ? line->t_min : line->t_max;
    return line->a + ((t - dot(line->e, line->a)) / dot(line->e, line->e)) * line->e;
}

Point3 Bevel::into(bool at_min) const { return at_min ? line->e : -line->e; }

std::optional<Bevel> make_bevel(const Solid& s, const std::vector<IntPlane>& keys,
                                const EdgeLine& l, const Rational& dist, bool& reflex) {
    if (l.faces.size() != 2) return std::nullopt;
    const Plane& pl1 = s.faces[l.faces[0]].plane;
    const Plane& pl2 = s.faces[l.faces[1]].plane;
    Bevel b{&l, {&pl1, &pl2}, {keys[l.faces[0]], keys[l.faces[1]]}, {}, {}, {}, {}};
    std::optional<Point3> u1 = unit_normal(b.key[0]);
    std::optional<Point3> u2 = unit_normal(b.key[1]);
    if (!u1 || !u2) throw ChamferError(text::kChamferNoUnitNormal);

    // w1 and w2 lie in the two faces, across the edge, pointing away from
    // the other face's outside.
    Point3 w1 = cross(l.e, *u1);
    if (side(pl2, l.a + w1) > 0) w1 = -w1;
    Point3 w2 = cross(l.e, *u2);
    if (side(pl1, l.a + w2) > 0) w2 = -w2;
    // Faces of one plane: nothing to bevel.
    if (side(pl2, l.a + w1) >= 0 || side(pl1, l.a + w2) >= 0) return std::nullopt;
    // A reflex edge cannot be bevelled by removing material: its cutter
    // would slice through the solid. Face 1 lies to the left of its own
    // edge direction seen from outside; at a reflex edge that side is in
    // front of face 2.
    Point3 d1 = l.forward[0] ? l.e : -l.e;
    if (dot(pl2.normal, cross(pl1.normal, d1)).sign() > 0) {
        reflex = true;
        return std::nullopt;
    }

    // w1 and w2 have the length of e, so the bevel needs |e| exactly.
    std::optional<Rational> len = exact_sqrt(dot(l.e, l.e));
    if (!len) throw ChamferError(text::kChamferNoEdgeLength);
    Rational k = dist / *len;
    Point3 x1 = l.a + k * w1;
    Point3 x2 = l.a + k * w2;
    if (x1 == x2) return std::nullopt;

    b.cut.normal = cross(l.e, x2 - x1);
    b.cut.offset = dot(b.cut.normal, x1);
    if (side(b.cut, l.a) > 0) negate(b.cut);
    b.w = {std::move(w1), std::move(w2)};
    b.length = std::move(*len);
    b.x = {std::move(x1), std::move(x2)};
    return b;
}

}  // namespace qs::chamfer
