#include "bevel/bevel.hpp"

#include <flint/fmpq.h>
#include <flint/fmpz.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <utility>

#include "boolean/boolean.hpp"
#include "chamfer/cell.hpp"
#include "chamfer/cutters.hpp"
#include "chamfer/edges.hpp"
#include "chamfer/ends.hpp"
#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "query/volume.hpp"
#include "topology/regions.hpp"

namespace qs::bevel {
namespace {

using chamfer::Bound;
using chamfer::level;
using chamfer::side;

Plane plane_of(const topo::LogicalFace& f) {
    return {{f.plane[0], f.plane[1], f.plane[2]}, f.plane[3]};
}

Plane turned(Plane p) {
    negate(p);
    return p;
}

std::string shown(const Rational& r) {
    std::string s;
    append_fmpz(s, r.num());
    if (!r.is_integer()) {
        s += '/';
        append_fmpz(s, r.den());
    }
    return s;
}

std::string shown(const Point3& p) {
    return "(" + shown(p.x) + ", " + shown(p.y) + ", " + shown(p.z) + ")";
}

// t with t sqrt(s) = dist: exactly where s is the square of a rational,
// else the simplest t whose error is at most tol (nothing without tol).
std::optional<Rational> scale_for(const Rational& s, const Rational& dist,
                                  const std::optional<Rational>& tol) {
    if (std::optional<Rational> root = chamfer::exact_sqrt(s)) return dist / *root;
    if (!tol) return std::nullopt;
    // s = p/q, so 1/sqrt(s) = q/sqrt(pq); with r = isqrt(pq 4^k),
    // sqrt(pq) lies in [r, r + 1] / 2^k. Shrink the window of t that keeps
    // the error within tol by that bracket until it is not empty.
    ScratchInt n, r, r1, scale;
    fmpz_mul(n.v, s.num(), s.den());
    for (ulong k = 32;; k *= 2) {
        poll_interrupt();
        fmpz_mul_2exp(scale.v, n.v, 2 * k);
        fmpz_sqrt(r.v, scale.v);
        fmpz_add_ui(r1.v, r.v, 1);
        ScratchInt q2k;
        fmpz_mul_2exp(q2k.v, s.den(), k);
        const Rational lo = (dist - *tol) * Rational::from_fmpz(q2k.v, r.v);
        const Rational hi = (dist + *tol) * Rational::from_fmpz(q2k.v, r1.v);
        if (lo <= hi) {
            Rational t;
            fmpq_simplest_between(t.raw(), lo.raw(), hi.raw());
            return t;
        }
    }
}

// One chosen edge's bevel.
struct Bev {
    std::uint32_t edge;
    std::size_t asked;  // its place in the request, for messages
    std::array<std::uint32_t, 2> face;
    std::array<Plane, 2> plane;  // the faces' planes, pointing out
    std::uint32_t a, b;          // point ids of the ends
    Point3 pa, pb, d;            // the ends and d = b - a
    std::array<Point3, 2> w;     // in each face, square to the edge, into the face
    std::array<Point3, 2> set;   // from the edge to the setback line in each face
    Plane cut;                   // through the setback lines; the edge behind it
    bool convex;
    Solid cell;
};

Bev make_bev(const topo::Topology& t, const Request& req, std::size_t asked) {
    const std::uint32_t e = req.edges[asked];
    const topo::LogicalEdge& le = t.edges[e];
    Bev b;
    b.edge = e;
    b.asked = asked;
    b.face = le.faces;
    b.convex = le.convex;
    b.a = le.a;
    b.b = le.b;
    b.pa = t.points[le.a];
    b.pb = t.points[le.b];
    b.d = b.pb - b.pa;
    for (int k = 0; k < 2; ++k) b.plane[k] = plane_of(t.faces[le.faces[k]]);
    // Face 0 runs a -> b, face 1 b -> a; each lies on the left of its own
    // direction seen from outside.
    b.w = {cross(b.plane[0].normal, b.d), cross(b.d, b.plane[1].normal)};
    std::array<Point3, 2> x;
    for (int k = 0; k < 2; ++k) {
        const Rational& dist = k == 0 ? req.d1 : req.d2;
        // |w| = |n| |d|: the setback point is a + t w with t |w| = dist.
        std::optional<Rational> tk = scale_for(dot(b.w[k], b.w[k]), dist, req.tol);
        if (!tk) {
            const Point3& n = b.plane[k].normal;
            throw Refused("edges",
                          "edge " + std::to_string(e) + ", from " + shown(b.pa) + " to " + shown(b.pb) +
                              ", has no bevel at exactly " + (k == 0 ? "d" : "d2") + " = " +
                              shown(dist) + " on face " + std::to_string(b.face[k]) +
                              ": the edge's length times the length of the face's normal " +
                              shown(n) +
                              " is no rational number; give tol= to take a setback within tol of it");
        }
        b.set[k] = *tk * b.w[k];
        x[k] = b.pa + b.set[k];
    }
    b.cut.normal = cross(b.d, x[1] - x[0]);
    b.cut.offset = dot(b.cut.normal, x[0]);
    if (side(b.cut, b.pa) > 0) negate(b.cut);
    return b;
}

// Where a bevel's end meets the others and the faces there.
class Ends {
public:
    Ends(const topo::Topology& t, const std::vector<Bev>& bevs) : t_(t), bevs_(bevs) {
        for (std::size_t i = 0; i < bevs.size(); ++i) {
            at_[bevs[i].a].push_back({i, true});
            at_[bevs[i].b].push_back({i, false});
        }
        for (std::uint32_t f = 0; f < t.faces.size(); ++f)
            for (const auto& loop : t.faces[f].loops)
                for (std::uint32_t p : loop) {
                    auto it = at_.find(p);
                    if (it != at_.end()) faces_[p].push_back(f);
                }
    }

    struct End {
        std::size_t bev;
        bool at_a;
    };
    const std::map<std::uint32_t, std::vector<End>>& ends() const { return at_; }

    // The half-spaces that close bevel i's cell at one end, each through
    // the end point with the edge behind it: mitres with the bevels it meets
    // at a reflex corner of a face they share, else the faces there.
    std::vector<Plane> caps(std::size_t i, bool at_a) const {
        const Bev& b = bevs_[i];
        const std::uint32_t v = at_a ? b.a : b.b;
        const Point3& pv = at_a ? b.pa : b.pb;
        const Point3 into = at_a ? b.d : -b.d;
        std::vector<Plane> out;
        if (b.convex) {
            for (const End& o : at_.at(v)) {
                const Bev& ob = bevs_[o.bev];
                if (o.bev == i || !ob.convex) continue;
                const Point3 o_into = o.at_a ? ob.d : -ob.d;
                for (int k = 0; k < 2; ++k)
                    for (int j = 0; j < 2; ++j) {
                        if (b.face[k] != ob.face[j]) continue;
                        // The face's corner between the two edges is reflex:
                        // each runs off on the side of the other away from the face.
                        if (dot(o_into, b.w[k]).sign() >= 0 || dot(into, ob.w[j]).sign() >= 0) continue;
                        if (std::optional<Plane> m = chamfer::mitre_plane(b.cut, ob.cut, pv, into))
                            out.push_back(std::move(*m));
                    }
            }
        }
        if (out.empty()) {
            auto here = faces_.find(v);
            for (std::uint32_t f : here == faces_.end() ? std::vector<std::uint32_t>{} : here->second) {
                if (f == b.face[0] || f == b.face[1]) continue;
                if (std::optional<Plane> p = chamfer::facing_edge(plane_of(t_.faces[f]), into))
                    out.push_back(std::move(*p));
            }
        }
        if (out.empty()) out.push_back({-into, -dot(into, pv)});
        return out;
    }

private:
    const topo::Topology& t_;
    const std::vector<Bev>& bevs_;
    std::map<std::uint32_t, std::vector<End>> at_;
    std::map<std::uint32_t, std::vector<std::uint32_t>> faces_;
};

// The trimming tetrahedron where three convex bevels meet at a corner of
// three faces: between the three bevel planes and the points where each two
// of them meet on the face they share.
Solid corner_cell(const std::vector<Bev>& bevs, const std::vector<Ends::End>& at) {
    if (at.size() != 3) return {};
    std::array<const Bev*, 3> r;
    for (int i = 0; i < 3; ++i) {
        r[i] = &bevs[at[i].bev];
        if (!r[i]->convex) return {};
    }
    std::vector<std::uint32_t> distinct;
    for (const Bev* b : r)
        for (std::uint32_t f : b->face)
            if (std::find(distinct.begin(), distinct.end(), f) == distinct.end()) distinct.push_back(f);
    if (distinct.size() != 3) return {};
    std::optional<Point3> x = chamfer::meet(r[0]->cut, r[1]->cut, r[2]->cut);
    if (!x) return {};
    std::array<Point3, 3> p;
    for (int i = 0; i < 3; ++i) {
        const Bev& b1 = *r[(i + 1) % 3];
        const Bev& b2 = *r[(i + 2) % 3];
        const Plane* shared = nullptr;
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 2; ++j)
                if (!shared && b1.face[k] == b2.face[j]) shared = &b1.plane[k];
        if (!shared) return {};
        std::optional<Point3> pi = chamfer::meet(*shared, b1.cut, b2.cut);
        if (!pi) return {};
        p[i] = std::move(*pi);
    }
    return chamfer::tetrahedron(p, *x);
}

// Turn of p about the plane normal n from the step a -> b: > 0 on the left.
int turn(const Point3& n, const Point3& a, const Point3& b, const Point3& p) {
    return dot(n, cross(b - a, p - a)).sign();
}

// Whether two convex loops in the plane with normal n, both wound
// counter-clockwise about it, share interior points: no side of either
// has the whole of the other on its outer side.
bool overlap(const std::vector<Point3>& p, const std::vector<Point3>& q, const Point3& n) {
    auto separates = [&](const std::vector<Point3>& a, const std::vector<Point3>& b) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            const Point3& s = a[i];
            const Point3& e = a[(i + 1) % a.size()];
            bool all_out = true;
            for (const Point3& x : b) all_out = all_out && turn(n, s, e, x) <= 0;
            if (all_out) return true;
        }
        return false;
    };
    return !separates(p, q) && !separates(q, p);
}

using Box = std::array<double, 6>;

Box box_of(const std::vector<Point3>& pts) {
    Box b = {INFINITY, INFINITY, INFINITY, -INFINITY, -INFINITY, -INFINITY};
    for (const Point3& p : pts) {
        const Approx a = approx_of(p);
        for (int i = 0; i < 3; ++i) {
            b[i] = std::min(b[i], a[i]);
            b[i + 3] = std::max(b[i + 3], a[i]);
        }
    }
    return b;
}

// Strictly apart in doubles means strictly apart exactly: rounding keeps
// order.
bool apart(const Box& x, const Box& y) {
    for (int i = 0; i < 3; ++i)
        if (x[i + 3] < y[i] || y[i + 3] < x[i]) return true;
    return false;
}

bool touch(const Box& x, const Box& y) {
    for (int i = 0; i < 3; ++i)
        if (x[i + 3] < y[i] || y[i + 3] < x[i]) return false;
    return true;
}

// The strips of the bevels on each face stay on the face and do not run
// into each other, except where two bevels meet at a shared end.
void check_strips(const topo::Topology& t, const std::vector<Bev>& bevs, const Request& req) {
    struct Strip {
        std::size_t bev;
        int k;
        std::vector<Point3> loop;  // counter-clockwise about the face's normal
        Box box;
    };
    std::map<std::uint32_t, std::vector<Strip>> by_face;
    // A bevel's strip on a face: the band along the edge, from end to end,
    // out to the setback line. (Its cell may reach past the ends, at an
    // outside corner up to the next face's plane; what lies there outside
    // the solid it does not take.)
    for (std::size_t i = 0; i < bevs.size(); ++i) {
        const Bev& b = bevs[i];
        for (int k = 0; k < 2; ++k) {
            std::vector<Point3> loop = {b.pa, b.pb, b.pb + b.set[k], b.pa + b.set[k]};
            // Wound counter-clockwise about the face's normal.
            if (turn(b.plane[k].normal, loop[0], loop[1], loop[2]) < 0) std::reverse(loop.begin(), loop.end());
            Box box = box_of(loop);
            by_face[b.face[k]].push_back({i, k, std::move(loop), box});
        }
    }
    auto which = [&](int k) { return k == 0 || req.d1 == req.d2 ? std::string("d") : std::string("d2"); };
    auto dist = [&](int k) { return shown(k == 0 ? req.d1 : req.d2); };
    for (auto& [fi, strips] : by_face) {
        poll_interrupt();
        const topo::LogicalFace& face = t.faces[fi];
        const Point3 n(face.plane[0], face.plane[1], face.plane[2]);
        // The face's points by their nearest x, for the box filter.
        std::vector<std::pair<double, std::uint32_t>> pts;
        for (const auto& loop : face.loops)
            for (std::uint32_t p : loop) pts.emplace_back(t.approx[p][0], p);
        std::sort(pts.begin(), pts.end());
        for (const Strip& s : strips) {
            const Bev& b = bevs[s.bev];
            bool on = true;
            for (const Point3& p : s.loop) {
                on = on && topo::locate(t.points, face.loops[0], p, n) >= 0;
                for (std::size_t h = 1; on && h < face.loops.size(); ++h)
                    on = topo::locate(t.points, face.loops[h], p, n) <= 0;
            }
            auto lo = std::lower_bound(pts.begin(), pts.end(), std::make_pair(s.box[0], std::uint32_t(0)));
            for (auto it = lo; on && it != pts.end() && it->first <= s.box[3]; ++it) {
                const Approx& a = t.approx[it->second];
                if (a[1] < s.box[1] || a[1] > s.box[4] || a[2] < s.box[2] || a[2] > s.box[5]) continue;
                const Point3& p = t.points[it->second];
                bool inside = true;
                for (std::size_t i = 0; inside && i < s.loop.size(); ++i)
                    inside = turn(n, s.loop[i], s.loop[(i + 1) % s.loop.size()], p) > 0;
                on = !inside;
            }
            if (!on)
                throw Refused(which(s.k), dist(s.k) +
                                              " is larger than the faces allow: the bevel of edge " +
                                              std::to_string(b.edge) + " runs off face " +
                                              std::to_string(fi));
        }
        // Pairs of strips whose boxes meet, by a sweep along x.
        std::vector<std::size_t> order(strips.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](std::size_t x, std::size_t y) { return strips[x].box[0] < strips[y].box[0]; });
        for (std::size_t i = 0; i < order.size(); ++i) {
            const Strip& s = strips[order[i]];
            for (std::size_t j = i + 1; j < order.size() && strips[order[j]].box[0] <= s.box[3]; ++j) {
                const Strip& o = strips[order[j]];
                if (!touch(s.box, o.box)) continue;
                const Bev& b1 = bevs[s.bev];
                const Bev& b2 = bevs[o.bev];
                if (b1.a == b2.a || b1.a == b2.b || b1.b == b2.a || b1.b == b2.b) continue;
                if (!overlap(s.loop, o.loop, n)) continue;
                const int k = s.k == 1 || o.k == 1 ? 1 : 0;
                throw Refused(which(k), dist(k) +
                                            " is larger than the faces allow: the bevels of edges " +
                                            std::to_string(std::min(b1.edge, b2.edge)) + " and " +
                                            std::to_string(std::max(b1.edge, b2.edge)) +
                                            " overlap on face " + std::to_string(fi));
            }
        }
    }
}

// Cells in groups whose members are strictly apart, each group one solid
// of several shells, so one boolean takes a whole group.
std::vector<Solid> batches(std::vector<Solid>& cells) {
    std::vector<Solid> out;
    std::vector<std::vector<Box>> boxes;
    for (Solid& c : cells) {
        poll_interrupt();
        std::vector<Point3> pts;
        for (const Face& f : c.faces) pts.insert(pts.end(), f.vertices.begin(), f.vertices.end());
        const Box b = box_of(pts);
        std::size_t g = 0;
        for (; g < out.size(); ++g) {
            bool ok = true;
            for (const Box& o : boxes[g]) ok = ok && apart(b, o);
            if (ok) break;
        }
        if (g == out.size()) {
            out.emplace_back();
            boxes.emplace_back();
        }
        boxes[g].push_back(b);
        for (Face& f : c.faces) out[g].faces.push_back(std::move(f));
    }
    return out;
}

}  // namespace

Solid bevel_edges(const Solid& s, const topo::Topology& t, const Request& req, Stats* stats) {
    Stats counted;
    std::vector<Bev> bevs;
    bevs.reserve(req.edges.size());
    for (std::size_t i = 0; i < req.edges.size(); ++i) {
        poll_interrupt();
        bevs.push_back(make_bev(t, req, i));
    }
    const Ends ends(t, bevs);
    for (std::size_t i = 0; i < bevs.size(); ++i) {
        poll_interrupt();
        Bev& b = bevs[i];
        // A convex edge's cell lies behind both faces, a reflex edge's in
        // front of both, in the empty wedge.
        std::vector<Bound> bounds = {{b.cut, "chamfer.b"},
                                     {b.convex ? b.plane[0] : turned(b.plane[0]), "chamfer.f"},
                                     {b.convex ? b.plane[1] : turned(b.plane[1]), "chamfer.k"}};
        for (Plane& p : ends.caps(i, true)) bounds.push_back({std::move(p), "chamfer.l"});
        for (Plane& p : ends.caps(i, false)) bounds.push_back({std::move(p), "chamfer.r"});
        b.cell = chamfer::convex_cell(bounds);
    }
    check_strips(t, bevs, req);

    std::vector<Solid> fills, cuts;
    for (Bev& b : bevs) {
        if (b.cell.faces.empty()) continue;
        (b.convex ? cuts : fills).push_back(std::move(b.cell));
        ++(b.convex ? counted.cut : counted.filled);
    }
    for (const auto& [v, at] : ends.ends()) {
        poll_interrupt();
        Solid c = corner_cell(bevs, at);
        if (c.faces.empty()) continue;
        cuts.push_back(std::move(c));
        ++counted.corners;
    }
    Solid work = s;
    for (const Solid& batch : batches(fills)) {
        work = boolean_solids("union", std::move(work), batch);
        ++counted.booleans;
    }
    for (const Solid& batch : batches(cuts)) {
        work = boolean_solids("cut", std::move(work), batch);
        ++counted.booleans;
    }
    if (stats) *stats = counted;
    return work;
}

}  // namespace qs::bevel
