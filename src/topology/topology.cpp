#include "topology/topology.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "exact/point_hash.hpp"
#include "query/logical_faces.hpp"
#include "topology/regions.hpp"

namespace qs::topo {
namespace {

constexpr std::uint32_t kNone = UINT32_MAX;

// A place in a face's loops: loop `loop`, the edge leaving position `pos`.
struct Place {
    std::uint32_t face, loop, pos;
};

Point3 normal_of(const LogicalFace& f) { return {f.plane[0], f.plane[1], f.plane[2]}; }

// The piece's plane as coprime integers facing the way the piece does.
std::array<Rational, 4> oriented_plane(const Face& f) {
    Plane p = f.plane;
    if (p.normal.is_zero()) {  // first three corners in a line: the loop tells
        p.normal = area_vector(f.vertices);
        p.offset = dot(p.normal, f.vertices[0]);
    }
    std::array<Rational, 4> k = primitive_plane(p);
    int j = 0;
    while (k[j].is_zero()) ++j;  // the normal is not zero, so j < 3
    if (p.normal[j].sign() != k[j].sign())
        for (Rational& c : k) c.negate();
    return k;
}

// Every loop edge of every face by the points it runs from and to, for
// finding the edges that run back along it.
class LoopEdges {
public:
    explicit LoopEdges(const Topology& t) : t_(t) {
        for (std::uint32_t f = 0; f < t.faces.size(); ++f) {
            const auto& loops = t.faces[f].loops;
            for (std::uint32_t l = 0; l < loops.size(); ++l)
                for (std::uint32_t i = 0; i < loops[l].size(); ++i)
                    entries_.push_back({key(loops[l][i], loops[l][(i + 1) % loops[l].size()]), {f, l, i}});
        }
        std::sort(entries_.begin(), entries_.end(), [](const Entry& x, const Entry& y) {
            return std::tie(x.key, x.place.face, x.place.loop, x.place.pos) <
                   std::tie(y.key, y.place.face, y.place.loop, y.place.pos);
        });
    }
    // Calls fn(place) for every loop edge from a to b.
    template <class F>
    void each(std::uint32_t a, std::uint32_t b, F&& fn) const {
        const std::uint64_t k = key(a, b);
        auto it = std::lower_bound(entries_.begin(), entries_.end(), k,
                                   [](const Entry& e, std::uint64_t x) { return e.key < x; });
        for (; it != entries_.end() && it->key == k; ++it) fn(it->place);
    }
    template <class F>
    void each_edge(F&& fn) const {
        for (const Entry& e : entries_) fn(e.place);
    }

private:
    struct Entry {
        std::uint64_t key;
        Place place;
    };
    static std::uint64_t key(std::uint32_t a, std::uint32_t b) { return std::uint64_t(a) << 32 | b; }
    const Topology& t_;
    std::vector<Entry> entries_;
};

// Whether the material's angle at the edge a -> b of face f, with face g
// across, is at most 180 degrees: f lies on the left of a -> b seen from
// outside, and g's normal does not point to that side. The sign of (n_g x n_f) . (b - a), in doubles where a bound
// allows (the cross product is of integers, exact and then rounded; each
// difference errs by at most 4 u M for M the largest coordinate).
bool convex_edge(const Topology& t, const LogicalFace& f, const LogicalFace& g, std::uint32_t a,
                 std::uint32_t b) {
    const Point3 c = cross(normal_of(g), normal_of(f));
    const Approx &pa = t.approx[a], &pb = t.approx[b];
    double m = 0, cs = 0, v = 0;
    for (int i = 0; i < 3; ++i) m = std::max({m, std::fabs(pa[i]), std::fabs(pb[i])});
    for (int i = 0; i < 3; ++i) {
        const double ci = rational_to_double(c[i]);
        cs += std::fabs(ci);
        v += ci * (pb[i] - pa[i]);
    }
    if (std::isfinite(v) && std::isfinite(cs) && m < 0x1p400 && std::fabs(v) > 0x1p-48 * cs * m &&
        std::fabs(v) > 0x1p-900)
        return v < 0;
    return dot(c, t.points[b] - t.points[a]).sign() <= 0;
}

// y - x as an unreduced fraction n / d (d > 0): no gcd, which dominates
// the cost for the long coordinates that booleans make.
void difference(const Rational& x, const Rational& y, fmpz_t n, fmpz_t d) {
    fmpz_mul(n, y.num(), x.den());
    fmpz_submul(n, x.num(), y.den());
    fmpz_mul(d, x.den(), y.den());
}

// Whether the steps p -> q -> r, in a plane whose normal has a nonzero
// component along `axis`, lie on one line: the cross product is a multiple
// of the normal, so its component along that axis tells.
bool in_line(const Point3& p, const Point3& q, const Point3& r, int axis) {
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    ScratchInt nu1, du1, nv1, dv1, nu2, du2, nv2, dv2, lhs, rhs;
    difference(p[u], q[u], nu1.v, du1.v);
    difference(p[v], q[v], nv1.v, dv1.v);
    difference(q[u], r[u], nu2.v, du2.v);
    difference(q[v], r[v], nv2.v, dv2.v);
    // u1 v2 == v1 u2, denominators cleared.
    fmpz_mul(lhs.v, nu1.v, nv2.v);
    fmpz_mul(lhs.v, lhs.v, du2.v);
    fmpz_mul(lhs.v, lhs.v, dv1.v);
    fmpz_mul(rhs.v, nv1.v, nu2.v);
    fmpz_mul(rhs.v, rhs.v, du1.v);
    fmpz_mul(rhs.v, rhs.v, dv2.v);
    return fmpz_equal(lhs.v, rhs.v);
}

// Whether q is a corner of the path p, q, r in the face's plane. Decided
// in doubles where a bound on the rounding allows: each coordinate is its
// nearest double (relative error 2^-53), and the cross product of the two
// differences then errs by less than 48 u M^2 for M the largest
// coordinate; 2^-47 M^2 covers that.
bool turns(const Topology& t, std::uint32_t p, std::uint32_t q, std::uint32_t r, int axis) {
    const Approx &ap = t.approx[p], &aq = t.approx[q], &ar = t.approx[r];
    double m = 0;
    for (int i = 0; i < 3; ++i) m = std::max({m, std::fabs(ap[i]), std::fabs(aq[i]), std::fabs(ar[i])});
    if (m > 0x1p-400 && m < 0x1p400) {
        const double bound = 0x1p-47 * m * m;
        const double e1[3] = {aq[0] - ap[0], aq[1] - ap[1], aq[2] - ap[2]};
        const double e2[3] = {ar[0] - aq[0], ar[1] - aq[1], ar[2] - aq[2]};
        for (int i = 0; i < 3; ++i) {
            const int j = (i + 1) % 3, k = (i + 2) % 3;
            if (std::fabs(e1[j] * e2[k] - e1[k] * e2[j]) > bound) return true;
        }
    }
    return !in_line(t.points[p], t.points[q], t.points[r], axis);
}

// The axis along which the normal has its largest component.
int main_axis(const std::array<Rational, 4>& plane) {
    int k = 0;
    for (int i = 1; i < 3; ++i)
        if (plane[i].abs() > plane[k].abs()) k = i;
    return k;
}

// Sets of indices joined in pairs (union by smaller root, with path
// halving): shells of faces, faces of pieces.
class Components {
public:
    explicit Components(std::size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), 0u); }
    std::uint32_t root(std::uint32_t x) {
        while (parent_[x] != x) x = parent_[x] = parent_[parent_[x]];
        return x;
    }
    void join(std::uint32_t x, std::uint32_t y) {
        const std::uint32_t a = root(x), b = root(y);
        if (a != b) parent_[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<std::uint32_t> parent_;
};

// Of the faces running back along an edge a -> b of face f (a non-manifold
// edge has several), the one met first when turning about the edge from f
// into the material behind it: that one closes the material with f.
std::uint32_t first_behind(const Topology& t, const LogicalFace& f, const Point3& d,
                           const std::vector<std::uint32_t>& candidates) {
    const Point3 nf = normal_of(f);
    const Point3 into_f = cross(nf, d);  // from the edge into f
    const Point3 behind = -nf;
    struct Angle {
        Rational x, y;
        int half() const { return y.sign() > 0 || (y.is_zero() && x.sign() > 0) ? 0 : 1; }
    };
    std::uint32_t best = kNone;
    Angle best_a;
    for (std::uint32_t g : candidates) {
        // Face g runs b -> a, so it lies on the side of n_g x (-d).
        const Point3 into_g = cross(d, normal_of(t.faces[g]));
        Angle a{dot(into_g, into_f), dot(into_g, behind)};
        if (best != kNone) {
            const int h = a.half(), bh = best_a.half();
            Rational turn = best_a.x * a.y;
            turn.sub_mul(best_a.y, a.x);
            if (h > bh || (h == bh && turn.sign() >= 0)) continue;
        }
        best = g;
        best_a = std::move(a);
    }
    return best;
}

}  // namespace

Point3 loop_area(const std::vector<Point3>& points, const std::vector<std::uint32_t>& loop) {
    Point3 s;
    const Point3& o = points[loop[0]];
    for (std::size_t i = 1; i + 1 < loop.size(); ++i)
        s = s + cross(points[loop[i]] - o, points[loop[i + 1]] - o);
    return s;
}

Point3 face_area(const Topology& t, const LogicalFace& f) {
    Point3 s;
    for (const auto& loop : f.loops) s = s + loop_area(t.points, loop);
    return s;
}

Point3 face_centroid(const Topology& t, const LogicalFace& f) {
    // Fans from one point over every loop: the holes' triangles, wound the
    // other way, take their area off.
    const Point3 n = normal_of(f);
    const Point3& o = t.points[f.loops[0][0]];
    Point3 sum;
    Rational weight;
    for (const auto& loop : f.loops) {
        for (std::size_t i = 0; i < loop.size(); ++i) {
            const Point3& p = t.points[loop[i]];
            const Point3& q = t.points[loop[(i + 1) % loop.size()]];
            const Rational w = dot(n, cross(p - o, q - o));
            if (w.is_zero()) continue;
            weight += w;
            sum = sum + w * (p + q);
        }
    }
    // Each triangle's centroid is (o + p + q) / 3.
    return o + Rational(1, 3) * ((Rational(1) / weight) * sum - Rational(2) * o);
}

Topology build_topology(const Solid& s) {
    Topology t;
    // Pieces by oriented plane.
    std::unordered_map<std::string, std::uint32_t> group_id;
    std::vector<std::array<Rational, 4>> group_plane;
    std::vector<std::vector<std::size_t>> group_pieces;
    PointIds ids;
    std::vector<const Point3*> point_refs;
    std::vector<Segment> segments;
    // Pieces cut from one face keep its stored plane, so most pieces find
    // their group by that plane's exact values, without its integer form.
    auto plane_hash = [](const Plane* p) {
        std::size_t h = 0;
        for (int c = 0; c < 4; ++c) {
            const Rational& r = c < 3 ? p->normal[c] : p->offset;
            h = h * 31 + hash_fmpz(r.num());
            h = h * 31 + hash_fmpz(r.den());
        }
        return h;
    };
    auto plane_eq = [](const Plane* x, const Plane* y) {
        return x->normal == y->normal && x->offset == y->offset;
    };
    std::unordered_map<const Plane*, std::uint32_t, decltype(plane_hash), decltype(plane_eq)>
        by_stored(16, plane_hash, plane_eq);
    for (std::size_t i = 0; i < s.faces.size(); ++i) {
        poll_interrupt();
        const Face& f = s.faces[i];
        if (f.vertices.size() < 3 || is_degenerate(f)) continue;
        std::uint32_t g;
        auto stored = f.plane.normal.is_zero() ? by_stored.end() : by_stored.find(&f.plane);
        if (stored != by_stored.end()) {
            g = stored->second;
        } else {
            std::array<Rational, 4> k = oriented_plane(f);
            auto [it, fresh] = group_id.try_emplace(plane_key(k), std::uint32_t(group_plane.size()));
            if (fresh) {
                group_plane.push_back(std::move(k));
                group_pieces.emplace_back();
            }
            g = it->second;
            if (!f.plane.normal.is_zero()) by_stored.emplace(&f.plane, g);
        }
        group_pieces[g].push_back(i);
        std::uint32_t first = 0, prev = 0;
        for (std::size_t j = 0; j < f.vertices.size(); ++j) {
            auto [id, fresh_point] = ids.id(f.vertices[j]);
            if (ids.full()) throw InputError(text::kTooManyMeshVertices);
            if (fresh_point) {
                point_refs.push_back(&f.vertices[j]);
                t.approx.push_back(f.approx.size() == f.vertices.size() ? f.approx[j]
                                                                         : approx_of(f.vertices[j]));
            }
            if (j == 0)
                first = id;
            else if (id != prev)
                segments.push_back({prev, id, g, kNoLine, std::uint32_t(i)});
            prev = id;
        }
        if (prev != first) segments.push_back({prev, first, g, kNoLine, std::uint32_t(i)});
    }
    t.points.reserve(point_refs.size());
    for (const Point3* p : point_refs) t.points.push_back(*p);
    point_refs.clear();

    // Each plane's boundary: the pieces' edges, cut where others end on
    // them, less those that a neighbouring piece of the plane runs back along.
    // Pieces of a plane that meet along a segment are of one face.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> joined;
    std::vector<Segment> boundary = cancel_pairs(split_at_junctions(t.points, segments), &joined);
    segments.clear();
    Components piece_sets(s.faces.size());
    for (const auto& [x, y] : joined) piece_sets.join(x, y);
    joined.clear();
    std::stable_sort(boundary.begin(), boundary.end(),
                     [](const Segment& x, const Segment& y) { return x.group < y.group; });

    // One logical face per region of each plane.
    struct Made {
        std::size_t first_piece;
        LogicalFace face;
    };
    std::vector<Made> made;
    std::vector<Segment> own;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> owner_of;
    std::vector<std::uint32_t> loop_keys, region_keys;
    std::unordered_map<std::uint32_t, std::size_t> region_of_key;
    for (std::size_t lo = 0; lo < boundary.size();) {
        poll_interrupt();
        const std::uint32_t g = boundary[lo].group;
        std::size_t hi = lo;
        while (hi < boundary.size() && boundary[hi].group == g) ++hi;
        own.assign(boundary.begin() + long(lo), boundary.begin() + long(hi));
        lo = hi;
        const Point3 n(group_plane[g][0], group_plane[g][1], group_plane[g][2]);
        // Each loop's pieces, by the piece of its first step: the loops of
        // one set of pieces bound one region, with no geometry.
        std::vector<std::vector<std::uint32_t>> loops = trace_loops(t.points, own, n);
        owner_of.clear();
        for (const Segment& sg : own) owner_of.emplace_back(std::uint64_t(sg.a) << 32 | sg.b, sg.owner);
        std::sort(owner_of.begin(), owner_of.end());
        loop_keys.clear();
        for (const auto& loop : loops) {
            const std::uint64_t k = std::uint64_t(loop[0]) << 32 | loop[1 % loop.size()];
            auto it = std::lower_bound(owner_of.begin(), owner_of.end(), std::make_pair(k, 0u));
            loop_keys.push_back(it != owner_of.end() && it->first == k ? piece_sets.root(it->second)
                                                                       : kNone);
        }
        std::vector<Region> regions;
        if (std::find(loop_keys.begin(), loop_keys.end(), kNone) == loop_keys.end()) {
            regions = group_loops(t.points, std::move(loops), loop_keys, n, region_keys);
        } else {
            regions = nest_loops(t.points, std::move(loops), n);
            region_keys.clear();
        }
        if (regions.empty()) continue;  // loops without area: no face
        region_of_key.clear();
        for (std::size_t k = 0; k < region_keys.size(); ++k) region_of_key.emplace(region_keys[k], k);
        const std::size_t base = made.size();
        made.resize(base + regions.size(), Made{SIZE_MAX, {}});
        for (std::size_t piece : group_pieces[g]) {
            long r = 0;
            auto known = region_of_key.find(piece_sets.root(std::uint32_t(piece)));
            if (known != region_of_key.end()) {
                r = long(known->second);
            } else if (regions.size() > 1) {
                // A piece's centroid lies inside it, so inside its region.
                const auto& vs = s.faces[piece].vertices;
                Point3 c;
                for (const Point3& p : vs) c = c + p;
                r = region_of(t.points, regions, Rational(1, long(vs.size())) * c, n);
                if (r < 0) throw InputError("a face lies outside the outline of its plane");
            }
            Made& m = made[base + std::size_t(r)];
            m.first_piece = std::min(m.first_piece, piece);
            m.face.pieces.push_back(piece);
        }
        for (std::size_t k = 0; k < regions.size(); ++k) {
            LogicalFace& face = made[base + k].face;
            face.plane = group_plane[g];
            face.loops.push_back(std::move(regions[k].outer));
            for (auto& h : regions[k].holes) face.loops.push_back(std::move(h));
        }
    }
    std::vector<Segment> boundary_lines = std::move(boundary);
    std::stable_sort(made.begin(), made.end(), [](const Made& x, const Made& y) {
        return x.first_piece < y.first_piece;
    });
    t.faces.reserve(made.size());
    for (Made& m : made) {
        std::sort(m.face.pieces.begin(), m.face.pieces.end());
        for (std::size_t piece : m.face.pieces) m.face.labels.push_back(s.faces[piece].label);
        std::sort(m.face.labels.begin(), m.face.labels.end());
        m.face.labels.erase(std::unique(m.face.labels.begin(), m.face.labels.end()),
                            m.face.labels.end());
        t.faces.push_back(std::move(m.face));
    }
    made.clear();

    // The face across each piece of boundary: the one running back between
    // the same two points.
    std::vector<std::vector<std::vector<std::uint32_t>>> across(t.faces.size());
    for (std::uint32_t fi = 0; fi < t.faces.size(); ++fi) {
        across[fi].resize(t.faces[fi].loops.size());
        for (std::size_t l = 0; l < t.faces[fi].loops.size(); ++l)
            across[fi][l].assign(t.faces[fi].loops[l].size(), kNone);
    }
    auto ends = [&](const Place& p) {
        const auto& loop = t.faces[p.face].loops[p.loop];
        return std::make_pair(loop[p.pos], loop[(p.pos + 1) % loop.size()]);
    };
    {
        const LoopEdges index(t);
        std::vector<std::uint32_t> candidates;
        index.each_edge([&](const Place& p) {
            poll_interrupt();
            const auto [a, b] = ends(p);
            candidates.clear();
            index.each(b, a, [&](const Place& q) { candidates.push_back(q.face); });
            std::uint32_t g = kNone;
            if (candidates.size() == 1)
                g = candidates[0];
            else if (candidates.size() > 1)
                g = first_behind(t, t.faces[p.face], t.points[b] - t.points[a], candidates);
            if (g == kNone) ++t.open_segments;
            across[p.face][p.loop][p.pos] = g;
        });
    }

    // Topological vertices: where a loop turns or the face across changes.
    // Marked over all loops first, so both sides of an edge keep the same.
    // The lines the boundary's segments were found on: a point between two
    // segments of one line is no corner, with no arithmetic.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> line_of;
    line_of.reserve(boundary_lines.size());
    for (const Segment& sg : boundary_lines)
        line_of.emplace_back(std::uint64_t(sg.a) << 32 | sg.b, sg.line);
    boundary_lines.clear();
    std::sort(line_of.begin(), line_of.end());
    auto line = [&](std::uint32_t a, std::uint32_t b) {
        auto it = std::lower_bound(line_of.begin(), line_of.end(),
                                   std::make_pair(std::uint64_t(a) << 32 | b, std::uint32_t(0)));
        return it != line_of.end() && it->first == (std::uint64_t(a) << 32 | b) ? it->second : kNoLine;
    };
    std::vector<bool> kept(t.points.size(), false);
    for (std::uint32_t fi = 0; fi < t.faces.size(); ++fi) {
        poll_interrupt();
        const auto& loops = t.faces[fi].loops;
        const int axis = main_axis(t.faces[fi].plane);
        for (std::size_t l = 0; l < loops.size(); ++l) {
            const auto& loop = loops[l];
            const std::size_t k = loop.size();
            for (std::size_t i = 0; i < k; ++i) {
                const std::size_t before = (i + k - 1) % k;
                if (kept[loop[i]]) continue;
                if (across[fi][l][before] != across[fi][l][i]) {
                    kept[loop[i]] = true;
                    continue;
                }
                const std::uint32_t l0 = line(loop[before], loop[i]);
                if (l0 != kNoLine && l0 == line(loop[i], loop[(i + 1) % k])) continue;
                if (turns(t, loop[before], loop[i], loop[(i + 1) % k], axis))
                    kept[loop[i]] = true;
            }
        }
    }
    std::vector<std::vector<std::vector<std::uint32_t>>> across_merged(t.faces.size());
    for (std::uint32_t fi = 0; fi < t.faces.size(); ++fi) {
        auto& loops = t.faces[fi].loops;
        across_merged[fi].resize(loops.size());
        for (std::size_t l = 0; l < loops.size(); ++l) {
            std::vector<std::uint32_t> merged;
            for (std::size_t i = 0; i < loops[l].size(); ++i) {
                if (!kept[loops[l][i]]) continue;
                merged.push_back(loops[l][i]);
                across_merged[fi][l].push_back(across[fi][l][i]);
            }
            loops[l] = std::move(merged);
        }
    }
    across.clear();

    // Edges, made from the side of the lower face.
    for (LogicalFace& f : t.faces) {
        f.loop_edges.resize(f.loops.size());
        for (std::size_t l = 0; l < f.loops.size(); ++l) f.loop_edges[l].assign(f.loops[l].size(), kNoEdge);
    }
    const LoopEdges index(t);
    for (std::uint32_t fi = 0; fi < t.faces.size(); ++fi) {
        poll_interrupt();
        LogicalFace& f = t.faces[fi];
        for (std::uint32_t l = 0; l < f.loops.size(); ++l) {
            for (std::uint32_t i = 0; i < f.loops[l].size(); ++i) {
                const std::uint32_t g = across_merged[fi][l][i];
                if (g == kNone || g < fi) continue;
                const std::uint32_t a = f.loops[l][i];
                const std::uint32_t b = f.loops[l][(i + 1) % f.loops[l].size()];
                const std::uint32_t e = std::uint32_t(t.edges.size());
                t.edges.push_back({a, b, {fi, g}, convex_edge(t, f, t.faces[g], a, b)});
                f.loop_edges[l][i] = e;
                index.each(b, a, [&](const Place& q) {
                    if (q.face == g && across_merged[g][q.loop][q.pos] == fi)
                        t.faces[g].loop_edges[q.loop][q.pos] = e;
                });
            }
        }
    }
    return t;
}

std::vector<std::uint32_t> shells_of(const Topology& t, std::size_t* count) {
    Components sets(t.faces.size());
    for (const LogicalEdge& e : t.edges) sets.join(e.faces[0], e.faces[1]);
    std::vector<std::uint32_t> shell(t.faces.size());
    std::vector<std::uint32_t> number(t.faces.size(), kNone);
    std::size_t n = 0;
    for (std::uint32_t f = 0; f < t.faces.size(); ++f) {
        const std::uint32_t r = sets.root(f);
        if (number[r] == kNone) number[r] = std::uint32_t(n++);
        shell[f] = number[r];
    }
    if (count) *count = n;
    return shell;
}

}  // namespace qs::topo
