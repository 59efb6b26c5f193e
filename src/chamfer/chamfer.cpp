#include "chamfer/chamfer.hpp"

#include <flint/fmpz.h>

#include <array>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "boolean/boolean.hpp"
#include "exact/errors.hpp"
#include "query/bbox.hpp"
#include "query/logical_faces.hpp"
#include "query/volume.hpp"
#include "query/watertight.hpp"

namespace qs {
namespace {

const char* const kNegative = "chamfer: negative distance";
const char* const kNoUnitNormal = "chamfer: non-rational face normal (K2)";
const char* const kNoEdgeLength = "chamfer: non-rational edge length";
const char* const kUnwrapNone = "called `Option::unwrap()` on a `None` value";

using IntPlane = std::array<Rational, 4>;

// An infinite line carrying face edges. Parameters are e . P.
struct EdgeLine {
    std::vector<std::size_t> faces;  // one entry per face edge on the line, duplicates kept
    std::vector<bool> forward;       // whether that face edge runs along +e
    Point3 a;                        // start of the first face edge met
    Point3 e;                        // primitive direction
    Rational t_min, t_max;
};

// A bevelled edge ending at a corner point.
struct CornerRecord {
    const EdgeLine* line;
    bool at_min;  // the point is the t_min end: the edge leaves it along +e
    std::array<IntPlane, 2> planes;
};

// n . x = d
struct LinearPlane {
    Point3 n;
    Rational d;
};

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

Rational norm1(const Point3& v) { return v.x.abs() + v.y.abs() + v.z.abs(); }

int side(const Plane& p, const Point3& x) {
    Rational s = dot(p.normal, x);
    s -= p.offset;
    return s.sign();
}

// Taken from the plane's integer form so the root is of an integer. A zero
// normal has no direction at all and counts as having no unit normal.
std::optional<Point3> unit_normal(const Plane& p) {
    IntPlane k = primitive_plane(p);
    Rational s = k[0] * k[0];
    s.add_mul(k[1], k[1]);
    s.add_mul(k[2], k[2]);
    if (s.is_zero()) return std::nullopt;
    std::optional<Rational> r = exact_sqrt(s);
    if (!r) return std::nullopt;
    return Point3(k[0] / *r, k[1] / *r, k[2] / *r);
}

LinearPlane linear(const IntPlane& k) { return {Point3(k[0], k[1], k[2]), k[3]}; }

// The common point of three planes by Cramer's rule; none when the triple
// product of the normals is zero.
std::optional<Point3> meet(const LinearPlane& p0, const LinearPlane& p1, const LinearPlane& p2) {
    Point3 c12 = cross(p1.n, p2.n);
    Rational det = dot(p0.n, c12);
    if (det.is_zero()) return std::nullopt;
    Point3 sum = p0.d * c12 + p1.d * cross(p2.n, p0.n) + p2.d * cross(p0.n, p1.n);
    return (Rational(1) / det) * sum;
}

// Cutters are removed by "cut", which needs them wound outward.
Solid outward(std::vector<Face> faces) {
    Solid c = solid_from_faces(std::move(faces));
    if (solid_volume6(c).sign() <= 0) flip_faces(c.faces);
    return c;
}

Solid edge_cutter(const Point3& p0, const Point3& along, const Point3& across, const Point3& h) {
    const std::array<Point3, 8> c = {p0,     p0 + along,     p0 + along + across,     p0 + across,
                                     p0 + h, p0 + along + h, p0 + along + across + h, p0 + across + h};
    static constexpr int kCorners[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                           {2, 3, 7, 6}, {1, 2, 6, 5}, {3, 0, 4, 7}};
    static const char* const kLabels[6] = {"chamfer.b", "chamfer.t", "chamfer.f",
                                           "chamfer.k", "chamfer.r", "chamfer.l"};
    std::vector<Face> faces;
    faces.reserve(6);
    for (int i = 0; i < 6; ++i) {
        const int* k = kCorners[i];
        faces.push_back(make_face({c[k[0]], c[k[1]], c[k[2]], c[k[3]]}, kLabels[i]));
    }
    return outward(std::move(faces));
}

// Tetrahedron with base p and apex x, wound consistently.
Solid corner_cutter(const std::array<Point3, 3>& p, const Point3& x) {
    std::vector<Face> faces;
    faces.reserve(4);
    faces.push_back(make_face({p[0], p[2], p[1]}, "corner.a"));
    faces.push_back(make_face({p[0], p[1], x}, "corner.b"));
    faces.push_back(make_face({p[1], p[2], x}, "corner.c"));
    faces.push_back(make_face({p[2], p[0], x}, "corner.d"));
    return outward(std::move(faces));
}

// Once earlier cuts have removed everything, nothing is left to cut: a cut
// of an empty solid would return the cutter turned inside out.
void remove(Solid& work, const Solid& cutter) {
    if (!work.faces.empty()) work = boolean_solids("cut", work, cutter);
}

std::map<std::string, EdgeLine> edge_lines(const Solid& s) {
    std::map<std::string, EdgeLine> lines;
    for (std::size_t fi = 0; fi < s.faces.size(); ++fi) {
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

// Bevels one edge when it qualifies; returns whether a cut was made.
bool cut_edge(const Solid& s, const EdgeLine& l, const Rational& dist, const Rational& reach,
              Solid& work) {
    const Plane& pl1 = s.faces[l.faces[0]].plane;
    const Plane& pl2 = s.faces[l.faces[1]].plane;
    std::optional<Point3> u1 = unit_normal(pl1);
    std::optional<Point3> u2 = unit_normal(pl2);
    if (!u1 || !u2) throw ChamferError(kNoUnitNormal);

    // w1 and w2 lie in the two faces, across the edge, pointing away from
    // the other face's outside.
    Point3 w1 = cross(l.e, *u1);
    if (side(pl2, l.a + w1) > 0) w1 = -w1;
    Point3 w2 = cross(l.e, *u2);
    if (side(pl1, l.a + w2) > 0) w2 = -w2;
    // Faces of one plane: nothing to bevel.
    if (side(pl2, l.a + w1) >= 0 || side(pl1, l.a + w2) >= 0) return false;
    // A reflex edge cannot be bevelled by removing material: its cutter
    // would slice through the solid. Face 1 lies to the left of its own
    // edge direction seen from outside; at a reflex edge that side is in
    // front of face 2.
    Point3 d1 = l.forward[0] ? l.e : -l.e;
    if (dot(pl2.normal, cross(pl1.normal, d1)).sign() > 0) return false;

    // w1 and w2 have the length of e, so the bevel needs |e| exactly.
    Rational ee = dot(l.e, l.e);
    std::optional<Rational> len = exact_sqrt(ee);
    if (!len) throw ChamferError(kNoEdgeLength);
    Rational k = dist / *len;
    Point3 x1 = l.a + k * w1;
    Point3 x2 = l.a + k * w2;
    if (x1 == x2) return false;

    const Rational half(1, 2);
    Point3 m = half * (x1 + x2);
    Point3 d = x2 - x1;
    Point3 h = Rational(2) * (l.a - m);
    Point3 across = (reach / norm1(d)) * d;
    Rational per_e = reach / norm1(l.e);
    Point3 along = per_e * l.e;
    // The short cutter centred on A's cross-section reaches e.A +- reach_t.
    // Where the segment sticks out of it, centre on the segment instead and
    // lengthen by the segment, so it still overhangs each end by reach_t.
    Rational ta = dot(l.e, l.a);
    Rational reach_t = (per_e * ee).half();
    if (!(ta - reach_t < l.t_min && l.t_max < ta + reach_t)) {
        Rational shift = ((l.t_min + l.t_max).half() - ta) / ee;
        m = m + shift * l.e;
        along = ((l.t_max - l.t_min) / ee + per_e) * l.e;
    }
    Point3 p0 = m - half * along - half * across;
    Solid cutter = edge_cutter(p0, along, across, h);
    remove(work, cutter);
    return true;
}

// Trims one corner where three bevelled edges meet; returns whether a cut
// was made.
bool cut_corner(const std::vector<CornerRecord>& rec, const Rational& dist, Solid& work) {
    std::vector<const IntPlane*> distinct;
    for (const CornerRecord& r : rec) {
        for (const IntPlane& k : r.planes) {
            bool seen = false;
            for (const IntPlane* d : distinct) seen = seen || *d == k;
            if (!seen) distinct.push_back(&k);
        }
    }
    if (distinct.size() != 3) return false;
    std::optional<Point3> v =
        meet(linear(*distinct[0]), linear(*distinct[1]), linear(*distinct[2]));
    if (!v) return false;

    // Unit directions leaving the corner along each edge.
    std::array<Point3, 3> w;
    for (int i = 0; i < 3; ++i) {
        const Point3& e = rec[i].line->e;
        std::optional<Rational> len = exact_sqrt(dot(e, e));
        if (!len) panic(kUnwrapNone);
        w[i] = (Rational(rec[i].at_min ? 1 : -1) / *len) * e;
    }
    // q[i] is the bevel plane of edge i.
    std::array<LinearPlane, 3> q;
    for (int i = 0; i < 3; ++i) {
        const Point3& next = w[(i + 1) % 3];
        Point3 n = next + w[(i + 2) % 3];
        Rational d = dot(n, *v + dist * next);
        q[i] = {std::move(n), std::move(d)};
    }
    std::optional<Point3> x = meet(q[0], q[1], q[2]);
    if (!x) return false;

    // p[i]: where the bevels of edges i+1 and i+2 meet on their shared face.
    std::array<Point3, 3> p;
    for (int i = 0; i < 3; ++i) {
        const CornerRecord& r1 = rec[(i + 1) % 3];
        const CornerRecord& r2 = rec[(i + 2) % 3];
        const IntPlane* face = nullptr;
        for (const IntPlane& a : r1.planes) {
            for (const IntPlane& b : r2.planes) {
                if (!face && a == b) face = &a;
            }
        }
        if (!face) return false;
        std::optional<Point3> pi = meet(linear(*face), q[(i + 1) % 3], q[(i + 2) % 3]);
        if (!pi) return false;
        p[i] = std::move(*pi);
    }
    Solid cutter = corner_cutter(p, *x);
    remove(work, cutter);
    return true;
}

}  // namespace

Solid chamfer_solid(const Solid& s, const Rational& dist, ChamferStats* stats) {
    if (dist.sign() < 0) throw ChamferError(kNegative);
    // Nothing to bevel: a zero distance moves no point, and a solid without
    // faces has no edges (and no bounding box to take a reach from).
    if (dist.is_zero() || s.faces.empty()) {
        if (stats) *stats = {};
        return s;
    }
    std::map<std::string, EdgeLine> lines = edge_lines(s);

    auto [lo, hi] = solid_bbox(s);
    Rational reach = (hi.x - lo.x) + (hi.y - lo.y) + (hi.z - lo.z) + Rational(1);

    Solid work = s;
    std::vector<const EdgeLine*> cut;
    for (const auto& [key, line] : lines) {
        if (line.faces.size() != 2) continue;
        if (cut_edge(s, line, dist, reach, work)) cut.push_back(&line);
    }

    // Corners are keyed by their text; only edges actually bevelled count.
    std::map<std::string, std::vector<CornerRecord>> ends;
    for (const EdgeLine* l : cut) {
        Rational ee = dot(l->e, l->e);
        Rational ta = dot(l->e, l->a);
        for (bool at_min : {true, false}) {
            const Rational& t = at_min ? l->t_min : l->t_max;
            Point3 end = l->a + ((t - ta) / ee) * l->e;
            ends[point_text(end)].push_back(
                {l, at_min,
                 {primitive_plane(s.faces[l->faces[0]].plane),
                  primitive_plane(s.faces[l->faces[1]].plane)}});
        }
    }
    std::size_t corners = 0;
    for (const auto& [key, rec] : ends) {
        if (rec.size() == 3 && cut_corner(rec, dist, work)) ++corners;
    }
    if (stats) {
        stats->edge_cuts = cut.size();
        stats->corner_cuts = corners;
    }
    return work;
}

Solid chamfer_solid(const Solid& s, const Rational& dist) {
    return chamfer_solid(s, dist, nullptr);
}

}  // namespace qs
