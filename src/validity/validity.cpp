#include "validity/validity.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "exact/point_hash.hpp"
#include "query/watertight.hpp"
#include "validity/box_tree.hpp"
#include "validity/predicates.hpp"

namespace qs {

namespace {

using validity::Box;
using validity::BoxTree;
using validity::make_vert;
using validity::orient2d;
using validity::orient3d;
using validity::orient_dir;
using validity::Vert;

using Id = std::uint32_t;

class UnionFind {
public:
    explicit UnionFind(std::size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), 0u); }
    Id find(Id x) {
        while (parent_[x] != x) x = parent_[x] = parent_[parent_[x]];
        return x;
    }
    // The smaller index stays the root, so a group's root is its first face.
    void unite(Id a, Id b) {
        a = find(a);
        b = find(b);
        if (a != b) parent_[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<Id> parent_;
};

// A face's loop without repeats in a row, as vertex ids, and what the tests
// need of it.
struct FaceInfo {
    std::size_t first = 0, size = 0;  // its ids are ids_[first .. first + size)
    bool live = false;                // it has area; faces without are passed over
    std::array<std::size_t, 3> ref{};  // loop positions of a corner triangle with area
    int drop = 0, turn = 0;  // an axis along which the face projects with area, and its turn
};

// One edge's place on its line, inside a face that another face's edge
// lies along, for the balance of the faces touching that face there.
struct Touch {
    Id face, by;   // the face touched, and the face lying along it
    int side;      // the side of `face` that `by` lies on
    std::string line;
    Rational lo, hi;
    int sign;  // the direction of `by`'s edge along the line
};

std::uint64_t directed(Id a, Id b) { return std::uint64_t(a) << 32 | b; }

// A pseudo-random sequence fixed once and for all: the rays and their
// starting points must not change from run to run.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

constexpr int kRayAttempts = 64;

class Checker {
public:
    Checker(const Solid& s, const ValidityOptions& o)
        : s_(s), o_(o), max_faults_(std::max<std::size_t>(o.max_faults, 1)) {}

    ValidityReport run(bool closed);

private:
    // ---- Setup
    void number_vertices();
    void describe_faces();
    const Vert& vert(Id face, std::size_t pos) const { return verts_[ids_[faces_[face].first + pos]]; }
    Id id(Id face, std::size_t pos) const { return ids_[faces_[face].first + pos]; }
    std::size_t next(Id face, std::size_t pos) const { return pos + 1 == faces_[face].size ? 0 : pos + 1; }
    std::size_t prev(Id face, std::size_t pos) const { return pos == 0 ? faces_[face].size - 1 : pos - 1; }
    int side(Id face, const Vert& x) const {
        const FaceInfo& f = faces_[face];
        return orient3d(vert(face, f.ref[0]), vert(face, f.ref[1]), vert(face, f.ref[2]), x);
    }
    int in_plane(Id face, const Vert& a, const Vert& b, const Vert& c) const {
        return faces_[face].turn * orient2d(a, b, c, faces_[face].drop);
    }
    std::ptrdiff_t position(Id face, Id vertex) const;
    bool has_edge(Id face, Id a, Id b) const;
    const Plane& plane(Id face);

    // ---- Pairs
    void test_pair(Id a, Id c);
    void coplanar_pair(Id a, Id c);
    bool coplanar_overlap(Id a, Id c);
    bool segment_meets(Id y, Id x, std::size_t k);
    void side_contacts(Id x, const std::vector<int>& sx, Id y, const std::vector<int>& sy, bool y_straddles);
    std::pair<Rational, Rational> chord(Id y, Id x, const Point3& u);
    struct End {
        const Vert *p = nullptr, *q = nullptr;
    };
    struct ChordEnds {
        End low, high;
    };
    ChordEnds chord_ends(Id f, const std::vector<int>& s) const;
    int order(const End& x, const End& y) const;
    void fault(Id a, Id b, PairFault f) {
        if (faults_.size() < max_faults_) faults_.push_back({a, b, f});
    }
    bool full() const { return faults_.size() >= max_faults_; }
    void check_touches();

    // ---- Winding
    void group_faces();
    long front_winding(Id face);

    const Solid& s_;
    const ValidityOptions o_;
    const std::size_t max_faults_;
    std::vector<Vert> verts_;
    long scale_ = 0;  // the common denominator of the integer forms, or 0
    std::vector<Id> ids_;
    std::vector<FaceInfo> faces_;
    std::vector<std::optional<Plane>> planes_;
    std::vector<Id> live_;  // the faces with area, in order
    std::vector<Box> boxes_;  // per live face
    // Every directed edge of the live faces as (key, corner), and the face
    // of every corner.
    std::vector<std::pair<std::uint64_t, std::size_t>> edges_;
    std::vector<Id> owner_;
    std::vector<std::uint8_t> crowded_;  // per corner: another face meets its edge along a piece
    std::vector<Touch> touches_;
    std::vector<FacePair> faults_;
    UnionFind coplanar_{0};
    UnionFind groups_{0};
    const BoxTree* ray_tree_ = nullptr;
    std::vector<int> sa_, sc_;  // scratch: the sides of each face's vertices
};

// ---------------------------------------------------------------- setup

void Checker::number_vertices() {
    PointIds id_of;
    std::vector<const Point3*> points;
    for (const Face& f : s_.faces) {
        poll_interrupt();
        for (const Point3& p : f.vertices) {
            const auto [i, fresh] = id_of.id(p);
            if (id_of.full()) throw Panic(text::kTooManyVerticesToCheck);
            if (fresh) points.push_back(&p);
            ids_.push_back(i);
        }
    }
    scale_ = validity::common_scale(points);
    verts_.reserve(points.size());
    for (const Point3* p : points) verts_.push_back(make_vert(*p, scale_));
}

void Checker::describe_faces() {
    faces_.resize(s_.faces.size());
    std::size_t at = 0, out = 0;
    for (std::size_t i = 0; i < s_.faces.size(); ++i) {
        poll_interrupt();
        const Face& f = s_.faces[i];
        FaceInfo& info = faces_[i];
        info.first = out;
        const std::size_t n = f.vertices.size();
        for (std::size_t j = 0; j < n; ++j) {
            const Id v = ids_[at + j];
            if (out == info.first || ids_[out - 1] != v) ids_[out++] = v;
        }
        while (out - info.first > 1 && ids_[out - 1] == ids_[info.first]) --out;
        info.size = out - info.first;
        at += n;
        if (info.size < 3 || is_degenerate(f)) continue;
        // The first corner triangle of the fan with area: a convex loop
        // turns one way only, so it runs the way the loop does.
        for (std::size_t j = 1; j + 1 < info.size && !info.live; ++j) {
            const Vert &a = vert(Id(i), 0), &b = vert(Id(i), j), &c = vert(Id(i), j + 1);
            // Along the axis of the largest component first: most faces
            // are decided there by the filter.
            double mag[3];
            for (int k = 0; k < 3; ++k) {
                const auto p = std::size_t((k + 1) % 3), q = std::size_t((k + 2) % 3);
                mag[k] = std::fabs((b.a[p] - a.a[p]) * (c.a[q] - a.a[q]) -
                                   (b.a[q] - a.a[q]) * (c.a[p] - a.a[p]));
            }
            const int top = mag[0] >= mag[1] ? (mag[0] >= mag[2] ? 0 : 2) : (mag[1] >= mag[2] ? 1 : 2);
            const int axes[3] = {top, (top + 1) % 3, (top + 2) % 3};
            for (int k : axes) {
                const int t = orient2d(a, b, c, k);
                if (t != 0) {
                    info.live = true;
                    info.ref = {0, j, j + 1};
                    info.drop = k;
                    info.turn = t;
                    break;
                }
            }
        }
    }
    ids_.resize(out);
}

std::ptrdiff_t Checker::position(Id face, Id vertex) const {
    const FaceInfo& f = faces_[face];
    for (std::size_t j = 0; j < f.size; ++j)
        if (ids_[f.first + j] == vertex) return std::ptrdiff_t(j);
    return -1;
}

bool Checker::has_edge(Id face, Id a, Id b) const {
    const std::ptrdiff_t j = position(face, a);
    if (j < 0) return false;
    return id(face, next(face, std::size_t(j))) == b || id(face, prev(face, std::size_t(j))) == b;
}

// The exact plane of a face's corner triangle, made when first needed.
const Plane& Checker::plane(Id face) {
    std::optional<Plane>& p = planes_[face];
    if (!p) {
        const FaceInfo& f = faces_[face];
        const Point3& a = *vert(face, f.ref[0]).p;
        Plane pl;
        pl.normal = cross(*vert(face, f.ref[1]).p - a, *vert(face, f.ref[2]).p - a);
        pl.offset = dot(pl.normal, a);
        p = std::move(pl);
    }
    return *p;
}

// ---------------------------------------------------------------- pairs

void Checker::test_pair(Id a, Id c) {
    const FaceInfo &fa = faces_[a], &fc = faces_[c];
    bool coplanar = coplanar_.find(a) == coplanar_.find(c);
    std::vector<int>& sa = sa_;
    std::vector<int>& sc = sc_;
    sa.assign(fa.size, 0);
    sc.assign(fc.size, 0);
    if (!coplanar) {
        bool any = false;
        for (std::size_t i = 0; i < fa.size; ++i) {
            if (position(c, id(a, i)) >= 0) continue;  // a shared vertex lies on both planes
            sa[i] = side(c, vert(a, i));
            any |= sa[i] != 0;
        }
        if (!any) {
            coplanar = true;
            coplanar_.unite(a, c);
        }
    }
    if (coplanar) {
        coplanar_pair(a, c);
        return;
    }
    for (std::size_t j = 0; j < fc.size; ++j)
        if (position(a, id(c, j)) < 0) sc[j] = side(a, vert(c, j));
    auto straddles = [](const std::vector<int>& s) {
        bool plus = false, minus = false;
        for (int x : s) {
            plus |= x > 0;
            minus |= x < 0;
        }
        return plus && minus;
    };
    const bool a_straddles = straddles(sa), c_straddles = straddles(sc);
    if (a_straddles && c_straddles) {
        // Each plane cuts the other face along a chord of the line where
        // the planes meet; the faces cross where the open chords overlap.
        // Along u = n_a x n_c, a's chord runs from a.low to a.high, and c's
        // from c.high to c.low (u is c's -u): they overlap when a.low is
        // before c.low and c.high before a.high.
        const ChordEnds ea = chord_ends(a, sa), ec = chord_ends(c, sc);
        if (order(ea.low, ec.low) > 0 && order(ea.high, ec.high) < 0) fault(a, c, PairFault::cross);
        return;
    }
    side_contacts(a, sa, c, sc, c_straddles);
    side_contacts(c, sc, a, sa, a_straddles);
}

// The ends of the chord that the plane of the other face cuts from a face
// with vertices on both sides of it (signs s), each as two of its vertices
// (p, q): p in front of that plane, q behind it or on it, and the end where
// the line through them meets the plane. Along u = n x n' (n the face's
// normal, n' the other's), going round the face counter-clockwise, the
// boundary crosses from front to back at the high end.
Checker::ChordEnds Checker::chord_ends(Id f, const std::vector<int>& s) const {
    ChordEnds e;
    for (std::size_t k = 0; k < faces_[f].size; ++k) {
        const std::size_t k1 = next(f, k);
        const int here = s[k], ahead = s[k1];
        if (here > 0 && ahead < 0) e.high = {&vert(f, k), &vert(f, k1)};
        if (here < 0 && ahead > 0) e.low = {&vert(f, k1), &vert(f, k)};
        if (here == 0) {
            const std::size_t k0 = prev(f, k);
            if (s[k0] > 0 && ahead < 0) e.high = {&vert(f, k0), &vert(f, k)};
            if (s[k0] < 0 && ahead > 0) e.low = {&vert(f, k1), &vert(f, k)};
        }
    }
    return e;
}

// The order along u = n_f x n_g of an end X of face f's chord and an end Y
// of face g's, on the lines through (p, q) and (r, s): u . (Y - X) has the
// sign of orient3d(p, q, r, s). (That determinant is (Y - X) . u times
// ((q - p) . n_g)(n_f . (s - r)), as q - p lies in f's plane; both factors
// are negative, as q - p runs to the back of g and s - r to the back of f.)
int Checker::order(const End& x, const End& y) const { return orient3d(*x.p, *x.q, *y.p, *y.q); }

// The open chord that the plane of face x cuts from face y (which has
// vertices on both sides of it), as parameters u . p of its ends.
std::pair<Rational, Rational> Checker::chord(Id y, Id x, const Point3& u) {
    const Plane& px = plane(x);
    const FaceInfo& fy = faces_[y];
    std::vector<Rational> h(fy.size), t(fy.size);
    for (std::size_t j = 0; j < fy.size; ++j) {
        const Point3& p = *vert(y, j).p;
        h[j] = dot(px.normal, p) - px.offset;
        t[j] = dot(u, p);
    }
    std::optional<Rational> lo, hi;
    auto take = [&](Rational v) {
        if (!lo || v < *lo) lo = v;
        if (!hi || *hi < v) hi = std::move(v);
    };
    for (std::size_t j = 0; j < fy.size; ++j) {
        const std::size_t k = next(y, j);
        if (h[j].is_zero()) take(t[j]);
        if (h[j].sign() * h[k].sign() < 0) take(t[j] + (h[j] / (h[j] - h[k])) * (t[k] - t[j]));
    }
    return {std::move(*lo), std::move(*hi)};
}

// Face x lies on one side of y's plane. Where an edge of x lies in that
// plane (a side of x on the line where the planes meet), another face
// touches it along a piece: that edge is crowded, and when the piece lies
// inside y, it is recorded for the balance of y's sides.
void Checker::side_contacts(Id x, const std::vector<int>& sx, Id y, const std::vector<int>& sy,
                            bool y_straddles) {
    const FaceInfo& f = faces_[x];
    std::size_t off = 0;  // a vertex of x off y's plane
    while (sx[off] == 0) ++off;
    const int x_side = sx[off];
    const ChordEnds ey = y_straddles ? chord_ends(y, sy) : ChordEnds{};
    for (std::size_t k = 0; k < f.size; ++k) {
        const std::size_t k1 = next(x, k);
        if (sx[k] != 0 || sx[k1] != 0) continue;
        const Id ia = id(x, k), ib = id(x, k1);
        if (has_edge(y, ia, ib)) continue;  // a partner, or a repeat the edge count sees
        const Vert &a = verts_[ia], &b = verts_[ib];
        if (y_straddles) {
            // The ends of the edge as ends on lines that meet y's plane
            // there, running to its back: from the vertex off the plane when
            // that lies in front, else towards it. Going round x, its side
            // on the line runs along -u when x lies behind y, along u when
            // in front (u = n_y x n_x).
            const Vert& w = vert(x, off);
            auto end_at = [&](const Vert& v) { return x_side > 0 ? End{&w, &v} : End{&v, &w}; };
            const End lo = end_at(x_side > 0 ? a : b), hi = end_at(x_side > 0 ? b : a);
            if (order(ey.high, lo) < 0 && order(ey.low, hi) > 0) {
                // The edge lies along the inside of y: recorded exactly, for
                // the balance of y's sides.
                std::optional<LineEdge> e = edge_on_line(*a.p, *b.p);
                auto [clo, chi] = chord(y, x, e->u);
                const int sign = e->ta < e->tb ? 1 : -1;
                Rational elo = std::max(std::min(e->ta, e->tb), clo);
                Rational ehi = std::min(std::max(e->ta, e->tb), chi);
                crowded_[f.first + k] = 1;
                touches_.push_back({y, x, x_side, std::move(e->key), std::move(elo), std::move(ehi), sign});
            }
            continue;
        }
        // y meets the line in its vertices on x's plane: a vertex or a side,
        // from zlo to zhi along a to b.
        const Vert *zlo = nullptr, *zhi = nullptr;
        for (std::size_t j = 0; j < faces_[y].size; ++j) {
            if (sy[j] != 0) continue;
            const Vert& z = vert(y, j);
            if (!zlo || validity::along(a, b, z, *zlo) > 0) zlo = &z;
            if (!zhi || validity::along(a, b, *zhi, z) > 0) zhi = &z;
        }
        if (zlo && validity::along(a, b, *zlo, *zhi) > 0 && validity::along(a, b, a, *zhi) > 0 &&
            validity::along(a, b, *zlo, b) > 0)
            crowded_[f.first + k] = 1;
    }
}

// Faces in one plane: sharing area is a fault; otherwise an edge of one
// that runs along the other (not as one of its edges) is crowded.
void Checker::coplanar_pair(Id a, Id c) {
    // Both faces project with area along a's axis.
    if (faces_[c].drop != faces_[a].drop) {
        FaceInfo& fc = faces_[c];
        fc.drop = faces_[a].drop;
        fc.turn = orient2d(vert(c, fc.ref[0]), vert(c, fc.ref[1]), vert(c, fc.ref[2]), fc.drop);
    }
    if (coplanar_overlap(a, c)) {
        const bool same = faces_[a].turn == faces_[c].turn;
        PairFault f = same ? PairFault::overlap : PairFault::back_to_back;
        if (same && faces_[a].size == faces_[c].size) {
            bool all = true;
            for (std::size_t j = 0; j < faces_[c].size && all; ++j) all = position(a, id(c, j)) >= 0;
            if (all) f = PairFault::repeat;
        }
        fault(a, c, f);
        return;
    }
    for (auto [x, y] : {std::pair{a, c}, std::pair{c, a}})
        for (std::size_t k = 0; k < faces_[x].size; ++k)
            if (!has_edge(y, id(x, k), id(x, next(x, k))) && segment_meets(y, x, k))
                crowded_[faces_[x].first + k] = 1;
}

// Whether the insides of two faces in one plane meet: convex polygons that
// do not are kept apart by the line of an edge of one of them.
bool Checker::coplanar_overlap(Id a, Id c) {
    // Facing the same way and sharing an edge that runs opposite ways, the
    // faces lie on the two sides of its line (the common case, at once).
    if (faces_[a].turn == faces_[c].turn)
        for (std::size_t k = 0; k < faces_[a].size; ++k) {
            const std::ptrdiff_t j = position(c, id(a, next(a, k)));
            if (j >= 0 && id(c, next(c, std::size_t(j))) == id(a, k)) return false;
        }
    for (auto [x, y] : {std::pair{a, c}, std::pair{c, a}}) {
        for (std::size_t k = 0; k < faces_[x].size; ++k) {
            const std::size_t k1 = next(x, k);
            const Id p = id(x, k), q = id(x, k1);
            bool apart = true;
            for (std::size_t j = 0; j < faces_[y].size && apart; ++j) {
                const Id r = id(y, j);
                if (r == p || r == q) continue;
                apart = in_plane(x, verts_[p], verts_[q], verts_[r]) <= 0;
            }
            if (apart) return false;
        }
    }
    return true;
}

// Whether closed face y (in x's plane) meets the open edge k of x along a
// piece of some length.
bool Checker::segment_meets(Id y, Id x, std::size_t k) {
    const Id ia = id(x, k), ib = id(x, next(x, k));
    // An end at a vertex of y: the edge leaves it into y, or along a side.
    for (auto [from, to] : {std::pair{ia, ib}, std::pair{ib, ia}}) {
        const std::ptrdiff_t m = position(y, from);
        if (m < 0) continue;
        const std::size_t mm = std::size_t(m);
        return in_plane(y, vert(y, prev(y, mm)), verts_[from], verts_[to]) >= 0 &&
               in_plane(y, verts_[from], vert(y, next(y, mm)), verts_[to]) >= 0;
    }
    // Clip the parameter interval [0, 1] from a to b by each side of y.
    const Point3 &a = *verts_[ia].p, &b = *verts_[ib].p;
    const FaceInfo& fy = faces_[y];
    Rational lo(0), hi(1);
    for (std::size_t j = 0; j < fy.size; ++j) {
        const Vert &p = vert(y, j), &q = vert(y, next(y, j));
        const int sa = in_plane(y, p, q, verts_[ia]), sb = in_plane(y, p, q, verts_[ib]);
        if (sa >= 0 && sb >= 0) continue;
        if (sa < 0 && sb < 0) return false;
        const Rational va = validity::orient2d_value(*p.p, *q.p, a, fy.drop) * Rational(fy.turn);
        const Rational vb = validity::orient2d_value(*p.p, *q.p, b, fy.drop) * Rational(fy.turn);
        Rational t = va / (va - vb);
        if (sa < 0) {
            if (lo < t) lo = std::move(t);
        } else if (t < hi) {
            hi = std::move(t);
        }
        if (!(lo < hi)) return false;
    }
    return lo < hi;
}

// Where edges of other faces lie inside a face, those on each side of it
// must close up among themselves: each side's coverage of every piece of
// the line, counted with direction, is zero.
void Checker::check_touches() {
    std::sort(touches_.begin(), touches_.end(), [](const Touch& p, const Touch& q) {
        if (p.face != q.face) return p.face < q.face;
        if (p.side != q.side) return p.side < q.side;
        return p.line < q.line;
    });
    for (std::size_t i = 0; i < touches_.size() && !full();) {
        std::size_t j = i;
        while (j < touches_.size() && touches_[j].face == touches_[i].face &&
               touches_[j].side == touches_[i].side && touches_[j].line == touches_[i].line)
            ++j;
        std::vector<std::pair<const Rational*, int>> events;
        for (std::size_t k = i; k < j; ++k) {
            events.emplace_back(&touches_[k].lo, touches_[k].sign);
            events.emplace_back(&touches_[k].hi, -touches_[k].sign);
        }
        std::sort(events.begin(), events.end(),
                  [](const auto& p, const auto& q) { return *p.first < *q.first; });
        long sum = 0;
        for (std::size_t e = 0; e + 1 < events.size(); ++e) {
            sum += events[e].second;
            if (sum != 0 && *events[e].first < *events[e + 1].first) {
                // A face covering that piece passes through the touched face.
                for (std::size_t k = i; k < j; ++k)
                    if (touches_[k].lo <= *events[e].first && *events[e + 1].first <= touches_[k].hi) {
                        fault(touches_[k].by, touches_[k].face, PairFault::passes_through);
                        break;
                    }
                break;
            }
        }
        i = j;
    }
}

// ---------------------------------------------------------------- winding

// Faces meeting along an edge that exactly two of them share, running
// opposite ways, with no other face along any piece of it, have their
// fronts on the same side there, so the same winding number in front.
void Checker::group_faces() {
    // The directed edges sorted by the pair of their ends, whichever way
    // they run: a group of exactly two, running opposite ways, is an edge
    // shared by two faces only.
    std::vector<std::pair<std::uint64_t, std::size_t>> undirected;
    undirected.reserve(edges_.size());
    for (const auto& [key, corner] : edges_) {
        const Id a = Id(key >> 32), b = Id(key);
        undirected.emplace_back(pair_key(a, b) << 1 | (a < b), corner);
    }
    std::sort(undirected.begin(), undirected.end());
    for (std::size_t i = 0; i + 1 < undirected.size();) {
        poll_interrupt();
        std::size_t j = i + 1;
        while (j < undirected.size() && undirected[j].first >> 1 == undirected[i].first >> 1) ++j;
        if (j - i == 2 && undirected[i].first != undirected[i + 1].first &&
            !crowded_[undirected[i].second] && !crowded_[undirected[i + 1].second])
            groups_.unite(owner_[undirected[i].second], owner_[undirected[i + 1].second]);
        i = j;
    }
}

// The winding number just in front of a face: that of a point just off a
// point inside it, counted along a ray to infinity as the faces the ray
// leaves through (+1) less those it enters through (-1). A ray that meets
// an edge, a vertex or the plane of a face it runs along, or that starts
// on another face, is cast again from another point in another direction.
long Checker::front_winding(Id face) {
    const FaceInfo& f = faces_[face];
    const Point3 &r0 = *vert(face, f.ref[0]).p, &r1 = *vert(face, f.ref[1]).p,
                 &r2 = *vert(face, f.ref[2]).p;
    for (int attempt = 0; attempt < kRayAttempts; ++attempt) {
        // The start is a point of the face with small whole weights, the
        // direction one with small whole components, both read from a hash
        // of the face and the attempt: a cast can be repeated exactly, and
        // its tests stay cheap.
        constexpr std::uint64_t kStride = 131, kWeights = 997;
        constexpr long kReach = 1000;
        const std::uint64_t h = mix(std::uint64_t(face) * kStride + std::uint64_t(attempt));
        auto weight = [&](int k) { return 1 + long((h >> (10 * k)) % kWeights); };
        const long w0 = weight(0), w1 = weight(1), w2 = weight(2);
        const Point3 p = Rational(1, w0 + w1 + w2) *
                         (Rational(w0) * r0 + Rational(w1) * r1 + Rational(w2) * r2);
        auto comp = [&](int k) {
            const std::uint64_t span = 2 * kReach + 1;
            return long(mix(h + std::uint64_t(k)) % span) - kReach;
        };
        Point3 d(Rational(comp(1)), Rational(comp(2)), Rational(comp(3)));
        const Vert vr0 = vert(face, f.ref[0]), vr1 = vert(face, f.ref[1]), vr2 = vert(face, f.ref[2]);
        Vert vd = make_vert(d, scale_);
        const int towards = orient_dir(vr0, vr1, vr2, vd);
        if (towards == 0) continue;
        if (towards < 0) d = -d;
        vd = make_vert(d, scale_);
        const Point3 q = p + d;
        const Vert vp = make_vert(p, scale_), vq = make_vert(q, scale_);
        long w = 0;
        bool graze = false;
        ray_tree_->along_ray(vp.a, vd.a, [&](std::uint32_t item) {
            const Id g = live_[item];
            if (graze || g == face) return;
            const int sp = side(g, vp);
            if (sp == 0) {
                // The ray starts on g's plane: it runs in it, or starts on g.
                if (side(g, vq) == 0) {
                    graze = true;
                    return;
                }
                bool inside = true;
                for (std::size_t k = 0; k < faces_[g].size && inside; ++k)
                    inside = in_plane(g, vert(g, k), vert(g, next(g, k)), vp) >= 0;
                graze = inside;
                return;
            }
            const int dir = orient_dir(vert(g, faces_[g].ref[0]), vert(g, faces_[g].ref[1]),
                                       vert(g, faces_[g].ref[2]), vd);
            if (dir == 0 || dir == sp) return;  // parallel, or heading away
            int way = 0;
            bool edge = false;
            for (std::size_t k = 0; k < faces_[g].size; ++k) {
                const int o = orient3d(vp, vq, vert(g, k), vert(g, next(g, k)));
                if (o == 0) {
                    edge = true;
                } else if (way == 0) {
                    way = o;
                } else if (o != way) {
                    return;  // passes beside g
                }
            }
            if (edge) {
                graze = true;
                return;
            }
            w += dir;
        });
        if (!graze) return w;
    }
    throw Panic("validity: every ray cast from face " + std::to_string(face) +
                " met an edge or a vertex");
}

// ---------------------------------------------------------------- driver

ValidityReport Checker::run(bool closed) {
    number_vertices();
    describe_faces();
    planes_.resize(s_.faces.size());
    crowded_.assign(ids_.size(), 0);
    owner_.resize(ids_.size());
    coplanar_ = UnionFind(s_.faces.size());
    groups_ = UnionFind(s_.faces.size());
    for (Id i = 0; i < faces_.size(); ++i) {
        if (!faces_[i].live) continue;
        live_.push_back(i);
        Box b{{HUGE_VAL, HUGE_VAL, HUGE_VAL}, {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL}};
        for (std::size_t j = 0; j < faces_[i].size; ++j) {
            const Approx& a = vert(i, j).a;
            for (std::size_t k = 0; k < 3; ++k) {
                // The exact value lies within one step of its nearest double.
                b.lo[k] = std::min(b.lo[k], std::nextafter(a[k], -HUGE_VAL));
                b.hi[k] = std::max(b.hi[k], std::nextafter(a[k], HUGE_VAL));
            }
        }
        boxes_.push_back(b);
        for (std::size_t k = 0; k < faces_[i].size; ++k) {
            edges_.emplace_back(directed(id(i, k), id(i, next(i, k))), faces_[i].first + k);
            owner_[faces_[i].first + k] = i;
        }
    }
    BoxTree tree(boxes_);
    ray_tree_ = &tree;
    if (o_.use_tree) {
        tree.pairs([&](std::uint32_t i, std::uint32_t j) {
            test_pair(live_[i], live_[j]);
            return !full();
        });
    } else {
        for (std::uint32_t i = 0; i < live_.size() && !full(); ++i)
            for (std::uint32_t j = i + 1; j < live_.size() && !full(); ++j) {
                poll_interrupt();
                if (validity::meet(boxes_[i], boxes_[j])) test_pair(live_[i], live_[j]);
            }
    }
    if (faults_.empty()) check_touches();

    ValidityReport r;
    r.faults = std::move(faults_);
    if (!closed || !r.faults.empty()) return r;
    if (o_.group_faces) group_faces();
    r.winding_known = true;
    std::vector<std::optional<long>> found(s_.faces.size());
    for (Id f : live_) {
        poll_interrupt();
        const Id root = groups_.find(f);
        if (found[root]) continue;
        const long w = front_winding(f);
        found[root] = w;
        r.winding_lo = std::min(r.winding_lo, w);
        r.winding_hi = std::max(r.winding_hi, w + 1);
        if (w != 0 && !r.wrong_face) {
            r.wrong_face = f;
            r.wrong_front = w;
            if (!o_.whole_range) break;
        }
    }
    return r;
}

}  // namespace

ValidityReport check_validity(const Solid& s, bool closed, const ValidityOptions& options) {
    return Checker(s, options).run(closed);
}

std::string pair_fault_reason(PairFault f) {
    switch (f) {
        case PairFault::cross: return text::kFacesCross;
        case PairFault::overlap: return text::kFacesOverlap;
        case PairFault::repeat: return text::kFaceRepeats;
        case PairFault::back_to_back: return text::kFacesBackToBack;
        case PairFault::passes_through: return text::kFacePassesThrough;
    }
    return text::kFacesCross;
}

}  // namespace qs
