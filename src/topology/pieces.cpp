#include "topology/pieces.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "exact/point_hash.hpp"

namespace qs::topo {
namespace {

// The face's points in two of their coordinates, turned so that the outer
// loop runs counter-clockwise.
struct Flat {
    Rational x, y;
};

class FacePlane {
public:
    FacePlane(const Topology& t, const LogicalFace& f) : t_(t) {
        int k = 0;
        for (int i = 1; i < 3; ++i)
            if (f.plane[i].abs() > f.plane[k].abs()) k = i;
        u_ = (k + 1) % 3;
        v_ = (k + 2) % 3;
        flip_ = f.plane[k].sign() < 0;
    }
    Flat at(std::uint32_t id) const {
        const Point3& p = t_.points[id];
        return {p[u_], flip_ ? -p[v_] : p[v_]};
    }
    // Twice the signed area of the triangle a, b, c: > 0 turning left.
    int turn(std::uint32_t a, std::uint32_t b, std::uint32_t c) const {
        const Flat pa = at(a), pb = at(b), pc = at(c);
        Rational r = (pb.x - pa.x) * (pc.y - pa.y);
        r.sub_mul(pb.y - pa.y, pc.x - pa.x);
        return r.sign();
    }
    // Whether the step a -> b -> c goes straight on (not back).
    bool straight_on(std::uint32_t a, std::uint32_t b, std::uint32_t c) const {
        if (turn(a, b, c) != 0) return false;
        const Flat pa = at(a), pb = at(b), pc = at(c);
        Rational d = (pb.x - pa.x) * (pc.x - pb.x);
        d.add_mul(pb.y - pa.y, pc.y - pb.y);
        return d.sign() > 0;
    }
    // p in the closed triangle a, b, c (counter-clockwise).
    bool in_triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t p) const {
        return turn(a, b, p) >= 0 && turn(b, c, p) >= 0 && turn(c, a, p) >= 0;
    }
    // The nearest doubles of the two coordinates, for box filters.
    std::pair<double, double> approx(std::uint32_t id) const {
        const Approx& a = t_.approx[id];
        return {a[u_], flip_ ? -a[v_] : a[v_]};
    }

private:
    const Topology& t_;
    int u_, v_;
    bool flip_;
};

// A polygon as a ring of nodes; bridges to holes repeat points.
struct Node {
    std::uint32_t id;
    std::size_t prev, next;
    bool gone = false;
};

class Ring {
public:
    std::vector<Node> nodes;
    std::size_t add_loop(const std::vector<std::uint32_t>& ids) {
        const std::size_t first = nodes.size();
        for (std::size_t i = 0; i < ids.size(); ++i)
            nodes.push_back({ids[i], first + (i + ids.size() - 1) % ids.size(), first + (i + 1) % ids.size()});
        return first;
    }
    // Joins the loop through node m (a hole) to the ring at node v: v, m,
    // the hole round to m again, v again, then on as before.
    void bridge(std::size_t v, std::size_t m) {
        const std::size_t v2 = nodes.size();
        nodes.push_back({nodes[v].id, 0, nodes[v].next});
        const std::size_t m2 = nodes.size();
        nodes.push_back({nodes[m].id, nodes[m].prev, v2});
        nodes[nodes[v].next].prev = v2;
        nodes[nodes[m].prev].next = m2;
        nodes[v2].prev = m2;
        nodes[v].next = m;
        nodes[m].prev = v;
    }
    void remove(std::size_t i) {
        nodes[nodes[i].prev].next = nodes[i].next;
        nodes[nodes[i].next].prev = nodes[i].prev;
        nodes[i].gone = true;
    }
};

// Whether the segment from node a towards point b starts inside the ring's
// interior angle at a (the region lies left of the ring).
bool locally_inside(const Ring& r, std::size_t a, std::uint32_t b, const FacePlane& fp) {
    const Node& n = r.nodes[a];
    const std::uint32_t p = r.nodes[n.prev].id, q = r.nodes[n.next].id;
    if (fp.turn(p, n.id, q) >= 0)  // convex: strictly between the two sides
        return fp.turn(n.id, q, b) > 0 && fp.turn(p, n.id, b) > 0;
    // reflex: anywhere but the closed outside wedge
    return !(fp.turn(n.id, q, b) <= 0 && fp.turn(p, n.id, b) <= 0);
}

// The node of the ring (outer loop and the holes joined so far) nearest
// to the hole's leftmost node m that m can see: the segment between them
// leaves both nodes into the face, crosses no edge of any loop and passes
// no point. Only nodes not to the right of m are tried, nearest first.
std::size_t bridge_end(const Ring& r, std::size_t start, std::size_t m, const FacePlane& fp) {
    const std::uint32_t mid = r.nodes[m].id;
    const Flat pm = fp.at(mid);
    const auto am = fp.approx(mid);
    std::vector<std::pair<double, std::size_t>> near;
    for (std::size_t i = start;;) {
        const Node& n = r.nodes[i];
        if (fp.at(n.id).x <= pm.x) {
            const auto a = fp.approx(n.id);
            near.emplace_back((a.first - am.first) * (a.first - am.first) +
                                  (a.second - am.second) * (a.second - am.second),
                              i);
        }
        i = n.next;
        if (i == start) break;
    }
    std::sort(near.begin(), near.end());
    for (const auto& [dist, v] : near) {
        poll_interrupt();
        const std::uint32_t vid = r.nodes[v].id;
        if (vid == mid) return v;  // the hole touches the ring there
        if (!locally_inside(r, v, mid, fp) || !locally_inside(r, m, vid, fp)) continue;
        bool clear = true;
        for (std::size_t i = 0; clear && i < r.nodes.size(); ++i) {
            const Node& n = r.nodes[i];
            if (n.gone) continue;
            const std::uint32_t a = n.id, b = r.nodes[n.next].id;
            // A point on the open segment.
            if (a != vid && a != mid && fp.turn(mid, vid, a) == 0) {
                const Flat pa = fp.at(a), pv = fp.at(vid);
                const bool between_x = std::min(pm.x, pv.x) <= pa.x && pa.x <= std::max(pm.x, pv.x);
                const bool between_y = std::min(pm.y, pv.y) <= pa.y && pa.y <= std::max(pm.y, pv.y);
                if (between_x && between_y) clear = false;
            }
            if (a == vid || b == vid || a == mid || b == mid) continue;
            // An edge crossing it.
            if (fp.turn(mid, vid, a) * fp.turn(mid, vid, b) < 0 &&
                fp.turn(a, b, mid) * fp.turn(a, b, vid) < 0)
                clear = false;
        }
        if (clear) return v;
    }
    throw InputError("no bridge from a hole to its face's outer loop");
}

// Triangles of a ring by clipping ears: a corner that turns left and whose
// triangle holds no other node that is not at one of its corners.
bool clip_ears(Ring& r, std::size_t start, std::size_t count, const FacePlane& fp,
               std::vector<std::array<std::uint32_t, 3>>& out) {
    std::size_t i = start, since = 0;
    while (count > 3) {
        poll_interrupt();
        Node& n = r.nodes[i];
        const std::uint32_t a = r.nodes[n.prev].id, b = n.id, c = r.nodes[n.next].id;
        bool ear = a != c && fp.turn(a, b, c) > 0;
        if (ear) {
            double lo[2], hi[2];
            const auto pa = fp.approx(a), pb = fp.approx(b), pc = fp.approx(c);
            lo[0] = std::min({pa.first, pb.first, pc.first});
            hi[0] = std::max({pa.first, pb.first, pc.first});
            lo[1] = std::min({pa.second, pb.second, pc.second});
            hi[1] = std::max({pa.second, pb.second, pc.second});
            for (std::size_t j = r.nodes[n.next].next; ear && j != n.prev; j = r.nodes[j].next) {
                const std::uint32_t q = r.nodes[j].id;
                if (q == a || q == b || q == c) continue;
                // Rounding keeps order, so a point inside the exact box is
                // inside the box of the doubles.
                const auto pq = fp.approx(q);
                if (pq.first < lo[0] || pq.first > hi[0] || pq.second < lo[1] || pq.second > hi[1])
                    continue;
                if (fp.in_triangle(a, b, c, q)) ear = false;
            }
        }
        if (ear) {
            out.push_back({a, b, c});
            const std::size_t next = n.next;
            r.remove(i);
            --count;
            i = next;
            since = 0;
            continue;
        }
        i = n.next;
        if (++since > count) {
            // No ear: what is left has no area (a bridge and its return).
            std::size_t j = i;
            for (std::size_t k = 0; k < count; ++k, j = r.nodes[j].next)
                if (fp.turn(r.nodes[r.nodes[j].prev].id, r.nodes[j].id, r.nodes[r.nodes[j].next].id) != 0)
                    return false;
            return true;
        }
    }
    const Node& n = r.nodes[i];
    const std::uint32_t a = r.nodes[n.prev].id, b = n.id, c = r.nodes[n.next].id;
    if (fp.turn(a, b, c) > 0) out.push_back({a, b, c});
    return true;
}

// Joins triangles into convex pieces across their shared sides.
std::vector<std::vector<std::uint32_t>> join_convex(
    const std::vector<std::array<std::uint32_t, 3>>& tris, const FacePlane& fp,
    const std::vector<bool>& reflex_point) {
    std::vector<std::vector<std::uint32_t>> piece;
    std::vector<std::size_t> owner(tris.size());
    for (std::size_t i = 0; i < tris.size(); ++i) {
        piece.push_back({tris[i][0], tris[i][1], tris[i][2]});
        owner[i] = i;
    }
    // Sides shared by two triangles: the diagonals.
    struct Side {
        std::uint64_t key;
        std::uint32_t a, b;
        std::size_t tri;
    };
    std::vector<Side> sides;
    for (std::size_t i = 0; i < tris.size(); ++i)
        for (int k = 0; k < 3; ++k)
            sides.push_back({pair_key(tris[i][k], tris[i][(k + 1) % 3]), tris[i][k], tris[i][(k + 1) % 3], i});
    std::sort(sides.begin(), sides.end(), [](const Side& x, const Side& y) {
        return x.key < y.key || (x.key == y.key && x.tri < y.tri);
    });
    struct Diagonal {
        std::uint32_t a, b;  // a -> b in tri x, b -> a in tri y
        std::size_t x, y;
        int reflex_ends;
    };
    std::vector<Diagonal> diagonals;
    for (std::size_t i = 0; i + 1 < sides.size(); ++i) {
        if (sides[i].key != sides[i + 1].key || sides[i].a != sides[i + 1].b) continue;
        const Side& s = sides[i];
        diagonals.push_back({s.a, s.b, s.tri, sides[i + 1].tri,
                             int(reflex_point[s.a]) + int(reflex_point[s.b])});
        ++i;
    }
    // Diagonals between convex corners go first; those that hold two reflex
    // corners apart are the ones a good partition keeps.
    std::stable_sort(diagonals.begin(), diagonals.end(),
                     [](const Diagonal& x, const Diagonal& y) { return x.reflex_ends < y.reflex_ends; });
    auto root = [&](std::size_t x) {
        while (owner[x] != x) x = owner[x] = owner[owner[x]];
        return x;
    };
    // Joins change the corners at a diagonal's ends, so a diagonal kept in
    // one pass may go in the next: repeat while any goes.
    for (bool joined = true; joined;) {
        joined = false;
        for (const Diagonal& d : diagonals) {
            poll_interrupt();
            const std::size_t px = root(d.x), py = root(d.y);
            if (px == py) continue;
            const auto& A = piece[px];  // runs a -> b
            const auto& B = piece[py];  // runs b -> a
            auto at = [](const std::vector<std::uint32_t>& p, std::uint32_t id) {
                return std::size_t(std::find(p.begin(), p.end(), id) - p.begin());
            };
            const std::size_t ia = at(A, d.a), ib = at(B, d.b);
            if (ia == A.size() || ib == B.size() || A[(ia + 1) % A.size()] != d.b ||
                B[(ib + 1) % B.size()] != d.a)
                continue;
            // A from b round to a, then B from a round to b.
            std::vector<std::uint32_t> merged;
            for (std::size_t k = 1; k <= A.size(); ++k) merged.push_back(A[(ia + k) % A.size()]);
            for (std::size_t k = 1; k + 1 <= B.size() - 1; ++k) merged.push_back(B[(ib + 1 + k) % B.size()]);
            // Only the corners at a and b changed.
            const std::size_t m = merged.size();
            bool convex = true;
            for (std::size_t k = 0; k < m && convex; ++k) {
                if (merged[k] != d.a && merged[k] != d.b) continue;
                const std::uint32_t p = merged[(k + m - 1) % m], q = merged[k], r = merged[(k + 1) % m];
                const int t = fp.turn(p, q, r);
                convex = t > 0 || (t == 0 && fp.straight_on(p, q, r));
            }
            if (!convex) continue;
            const std::size_t keep = std::min(px, py), drop = std::max(px, py);
            piece[keep] = std::move(merged);
            piece[drop].clear();
            owner[drop] = keep;
            joined = true;
        }
    }
    std::vector<std::vector<std::uint32_t>> out;
    for (auto& p : piece)
        if (!p.empty()) out.push_back(std::move(p));
    return out;
}

}  // namespace

Solid convex_pieces(const Solid& s, const Topology& t) {
    std::vector<bool> reflex_point(t.points.size(), false);
    std::vector<Face> faces;
    for (const LogicalFace& f : t.faces) {
        poll_interrupt();
        const FacePlane fp(t, f);
        // The label of the largest piece.
        std::string label;
        Rational largest(-1);
        const Point3 n(f.plane[0], f.plane[1], f.plane[2]);
        for (std::size_t piece : f.pieces) {
            Rational a = dot(area_vector(s.faces[piece].vertices), n);
            if (a > largest) {
                largest = std::move(a);
                label = s.faces[piece].label;
            }
        }
        for (const auto& loop : f.loops)
            for (std::size_t i = 0; i < loop.size(); ++i)
                reflex_point[loop[i]] =
                    fp.turn(loop[(i + loop.size() - 1) % loop.size()], loop[i], loop[(i + 1) % loop.size()]) < 0;
        std::vector<std::vector<std::uint32_t>> parts;
        if (f.loops.size() == 1 && f.loops[0].size() >= 3) {
            bool convex = true;
            for (std::uint32_t id : f.loops[0]) convex = convex && !reflex_point[id];
            if (convex) parts.push_back(f.loops[0]);
        }
        if (parts.empty()) {
            Ring r;
            const std::size_t start = r.add_loop(f.loops[0]);
            // Holes by their leftmost point, left to right.
            std::vector<std::pair<std::size_t, std::size_t>> holes;  // (leftmost node, loop)
            for (std::size_t l = 1; l < f.loops.size(); ++l) {
                const std::size_t first = r.add_loop(f.loops[l]);
                std::size_t left = first;
                for (std::size_t k = first; k < first + f.loops[l].size(); ++k) {
                    const Flat p = fp.at(r.nodes[k].id), q = fp.at(r.nodes[left].id);
                    if (p.x < q.x || (p.x == q.x && p.y < q.y)) left = k;
                }
                holes.emplace_back(left, l);
            }
            std::sort(holes.begin(), holes.end(), [&](const auto& x, const auto& y) {
                const Flat p = fp.at(r.nodes[x.first].id), q = fp.at(r.nodes[y.first].id);
                return p.x < q.x || (p.x == q.x && p.y < q.y);
            });
            bool bridged = true;
            for (const auto& [m, l] : holes) {
                std::size_t v;
                try {
                    v = bridge_end(r, start, m, fp);
                } catch (const InputError&) {
                    bridged = false;
                    break;
                }
                r.bridge(v, m);
            }
            // A hole that touches the ring at a point is bridged to that
            // point: drop the repeat, walking the ring into a fresh one.
            std::vector<std::uint32_t> seq;
            for (std::size_t i = start;;) {
                if (seq.empty() || seq.back() != r.nodes[i].id) seq.push_back(r.nodes[i].id);
                i = r.nodes[i].next;
                if (i == start) break;
            }
            while (seq.size() > 1 && seq.back() == seq.front()) seq.pop_back();
            Ring ring;
            ring.add_loop(seq);
            std::vector<std::array<std::uint32_t, 3>> tris;
            if (bridged && seq.size() >= 3 && clip_ears(ring, 0, seq.size(), fp, tris))
                parts = join_convex(tris, fp, reflex_point);
        }
        if (parts.empty()) {
            // Not expected: keep the face's own pieces rather than fail.
            for (std::size_t piece : f.pieces) faces.push_back(s.faces[piece]);
            continue;
        }
        for (auto& part : parts) {
            // make_face takes the plane from the first three corners: start
            // where they turn.
            const std::size_t m = part.size();
            std::size_t at = 0;
            while (at < m && fp.turn(part[at], part[(at + 1) % m], part[(at + 2) % m]) == 0) ++at;
            if (at == m) continue;
            std::vector<Point3> vs;
            vs.reserve(m);
            for (std::size_t k = 0; k < m; ++k) vs.push_back(t.points[part[(at + k) % m]]);
            faces.push_back(make_face(std::move(vs), label));
        }
    }
    return solid_from_faces(std::move(faces));
}

}  // namespace qs::topo
