#include "topology/regions.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "exact/point_hash.hpp"
#include "query/watertight.hpp"

namespace qs::topo {
namespace {

// A point of the plane in two of its three coordinates: the plane's
// normal has its largest component along the third, and the second
// coordinate is negated where that component is negative, so that turns
// counter-clockwise about the normal are counter-clockwise here.
struct P2 {
    Rational x, y;
};

class Frame {
public:
    explicit Frame(const Point3& n) {
        int k = 0;
        for (int i = 1; i < 3; ++i)
            if (n[i].abs() > n[k].abs()) k = i;
        u_ = (k + 1) % 3;
        v_ = (k + 2) % 3;
        flip_ = n[k].sign() < 0;
    }
    P2 operator()(const Point3& p) const { return {p[u_], flip_ ? -p[v_] : p[v_]}; }

private:
    int u_, v_;
    bool flip_;
};

P2 minus(const P2& a, const P2& b) { return {a.x - b.x, a.y - b.y}; }

Rational cross2(const P2& a, const P2& b) {
    Rational r = a.x * b.y;
    r.sub_mul(a.y, b.x);
    return r;
}

Rational dot2(const P2& a, const P2& b) {
    Rational r = a.x * b.x;
    r.add_mul(a.y, b.y);
    return r;
}

// Twice the signed area of a loop about the frame's normal.
Rational area2(const std::vector<Point3>& points, const std::vector<std::uint32_t>& loop,
               const Frame& f) {
    Rational s;
    const P2 o = f(points[loop[0]]);
    P2 prev = minus(f(points[loop[1]]), o);
    for (std::size_t i = 2; i < loop.size(); ++i) {
        P2 cur = minus(f(points[loop[i]]), o);
        s += cross2(prev, cur);
        prev = std::move(cur);
    }
    return s;
}

// Segment indices sorted by (group, the pair of points they join), ties in
// input order: runs of segments between the same two points.
std::vector<std::pair<std::uint64_t, std::uint64_t>> by_pair(const std::vector<Segment>& segments,
                                                             bool with_group) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> keyed(segments.size());
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        keyed[i] = {pair_key(s.a, s.b), (with_group ? std::uint64_t(s.group) << 32 : 0) | i};
    }
    // The group sits above the index, so it sorts before it within a pair.
    std::sort(keyed.begin(), keyed.end());
    return keyed;
}

// Cuts a loop that passes some point twice into loops that do not.
void cut_at_repeats(const std::vector<std::uint32_t>& cycle,
                    std::vector<std::vector<std::uint32_t>>& out) {
    std::vector<std::uint32_t> stack;
    std::unordered_map<std::uint32_t, std::size_t> at;
    for (std::uint32_t v : cycle) {
        auto it = at.find(v);
        if (it == at.end()) {
            at.emplace(v, stack.size());
            stack.push_back(v);
            continue;
        }
        const std::size_t p = it->second;
        out.emplace_back(stack.begin() + long(p), stack.end());
        for (std::size_t i = p + 1; i < stack.size(); ++i) at.erase(stack[i]);
        stack.resize(p + 1);
    }
    out.push_back(std::move(stack));
}

using Box = std::array<double, 4>;  // u lo, v lo, u hi, v hi of the nearest doubles

}  // namespace

std::vector<Segment> split_at_junctions(const std::vector<Point3>& points,
                                        const std::vector<Segment>& segments) {
    // A segment that exactly one other runs back along, and no third joins
    // the same points, stays whole.
    std::vector<bool> whole(segments.size(), false);
    const auto keyed = by_pair(segments, false);
    for (std::size_t lo = 0, hi; lo < keyed.size(); lo = hi) {
        for (hi = lo + 1; hi < keyed.size() && keyed[hi].first == keyed[lo].first;) ++hi;
        if (hi - lo != 2) continue;
        const Segment& x = segments[std::uint32_t(keyed[lo].second)];
        const Segment& y = segments[std::uint32_t(keyed[lo + 1].second)];
        if (x.a == y.b) whole[std::uint32_t(keyed[lo].second)] = whole[std::uint32_t(keyed[lo + 1].second)] = true;
    }
    struct Loose {
        std::size_t line;
        Rational ta, tb;
    };
    std::unordered_map<std::string, std::size_t> line_of;
    std::vector<std::vector<std::pair<Rational, std::uint32_t>>> at;
    std::vector<Loose> loose(segments.size());
    for (std::size_t i = 0; i < segments.size(); ++i) {
        poll_interrupt();
        const Segment& s = segments[i];
        if (whole[i]) continue;
        std::optional<LineEdge> e = edge_on_line(points[s.a], points[s.b]);
        if (!e) throw InputError("a segment joins a point to itself");
        auto [it, fresh] = line_of.try_emplace(std::move(e->key), at.size());
        if (fresh) at.emplace_back();
        at[it->second].emplace_back(e->ta, s.a);
        at[it->second].emplace_back(e->tb, s.b);
        loose[i] = {it->second, std::move(e->ta), std::move(e->tb)};
    }
    for (auto& l : at) {
        poll_interrupt();
        std::sort(l.begin(), l.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
        l.erase(std::unique(l.begin(), l.end(),
                            [](const auto& x, const auto& y) { return x.first == y.first; }),
                l.end());
    }
    std::vector<Segment> out;
    out.reserve(segments.size());
    auto less = [](const std::pair<Rational, std::uint32_t>& x, const Rational& t) {
        return x.first < t;
    };
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        if (whole[i]) {
            out.push_back(s);
            continue;
        }
        const Loose& e = loose[i];
        const auto& l = at[e.line];
        std::uint32_t from = s.a;
        if (e.ta < e.tb) {
            for (auto it = std::lower_bound(l.begin(), l.end(), e.ta, less) + 1;
                 it != l.end() && it->first < e.tb; ++it) {
                out.push_back({from, it->second, s.group, std::uint32_t(e.line), s.owner});
                from = it->second;
            }
        } else {
            auto lo = std::lower_bound(l.begin(), l.end(), e.tb, less) + 1;
            for (auto it = std::lower_bound(l.begin(), l.end(), e.ta, less); it != lo;) {
                --it;
                out.push_back({from, it->second, s.group, std::uint32_t(e.line), s.owner});
                from = it->second;
            }
        }
        out.push_back({from, s.b, s.group, std::uint32_t(e.line), s.owner});
    }
    return out;
}

std::vector<Segment> cancel_pairs(const std::vector<Segment>& segments,
                                  std::vector<std::pair<std::uint32_t, std::uint32_t>>* joined) {
    std::vector<bool> keep(segments.size(), false);
    const auto keyed = by_pair(segments, true);
    auto group_of = [&](std::size_t k) { return keyed[k].second >> 32; };
    for (std::size_t lo = 0, hi; lo < keyed.size(); lo = hi) {
        for (hi = lo + 1; hi < keyed.size() && keyed[hi].first == keyed[lo].first &&
                          group_of(hi) == group_of(lo);)
            ++hi;
        long net = 0;
        for (std::size_t k = lo; k < hi; ++k) {
            const Segment& s = segments[std::uint32_t(keyed[k].second)];
            net += s.a < s.b ? 1 : -1;
        }
        // Some pair cancels: the owners on both sides meet along it.
        if (joined && std::size_t(net < 0 ? -net : net) < hi - lo)
            for (std::size_t k = lo + 1; k < hi; ++k)
                joined->emplace_back(segments[std::uint32_t(keyed[lo].second)].owner,
                                     segments[std::uint32_t(keyed[k].second)].owner);
        // Each surplus segment once, in the direction that is left over.
        for (std::size_t k = lo; k < hi && net != 0; ++k) {
            const Segment& s = segments[std::uint32_t(keyed[k].second)];
            if ((s.a < s.b) != (net > 0)) continue;
            keep[std::uint32_t(keyed[k].second)] = true;
            net += net > 0 ? -1 : 1;
        }
    }
    std::vector<Segment> out;
    for (std::size_t i = 0; i < segments.size(); ++i)
        if (keep[i]) out.push_back(segments[i]);
    return out;
}

std::vector<std::vector<std::uint32_t>> trace_loops(const std::vector<Point3>& points,
                                                    const std::vector<Segment>& segments,
                                                    const Point3& normal) {
    const std::size_t n = segments.size();
    // The segments leaving each point.
    std::vector<std::size_t> by_start(n);
    for (std::size_t i = 0; i < n; ++i) by_start[i] = i;
    std::sort(by_start.begin(), by_start.end(), [&](std::size_t x, std::size_t y) {
        return segments[x].a < segments[y].a || (segments[x].a == segments[y].a && x < y);
    });
    auto leaving = [&](std::uint32_t v) {
        auto lo = std::lower_bound(by_start.begin(), by_start.end(), v,
                                   [&](std::size_t i, std::uint32_t p) { return segments[i].a < p; });
        auto hi = lo;
        while (hi != by_start.end() && segments[*hi].a == v) ++hi;
        return std::make_pair(lo, hi);
    };
    const Frame f(normal);
    std::vector<std::size_t> next(n, SIZE_MAX);
    std::vector<bool> taken(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        poll_interrupt();
        const Segment& s = segments[i];
        auto [lo, hi] = leaving(s.b);
        if (lo == hi) throw InputError("the faces do not close up: a boundary ends at a point");
        std::size_t best = *lo;
        if (hi - lo > 1) {
            // The largest angle counter-clockwise from the way back.
            const P2 v = f(points[s.b]);
            const P2 back = minus(f(points[s.a]), v);
            auto half = [&](const P2& w) {
                const int c = cross2(back, w).sign();
                return c > 0 || (c == 0 && dot2(back, w).sign() > 0) ? 0 : 1;
            };
            P2 best_w = minus(f(points[segments[best].b]), v);
            int best_h = half(best_w);
            for (auto it = lo + 1; it != hi; ++it) {
                P2 w = minus(f(points[segments[*it].b]), v);
                const int h = half(w);
                if (h > best_h || (h == best_h && cross2(best_w, w).sign() > 0)) {
                    best = *it;
                    best_w = std::move(w);
                    best_h = h;
                }
            }
        }
        if (taken[best]) throw InputError("the faces overlap: a boundary point is passed twice");
        taken[best] = true;
        next[i] = best;
    }
    std::vector<std::vector<std::uint32_t>> loops;
    std::vector<bool> seen(n, false);
    std::vector<std::uint32_t> cycle;
    for (std::size_t i = 0; i < n; ++i) {
        if (seen[i]) continue;
        cycle.clear();
        for (std::size_t j = i; !seen[j]; j = next[j]) {
            seen[j] = true;
            cycle.push_back(segments[j].a);
        }
        cut_at_repeats(cycle, loops);
    }
    return loops;
}

int locate(const std::vector<Point3>& points, const std::vector<std::uint32_t>& loop,
           const Point3& p, const Point3& normal) {
    const Frame f(normal);
    const P2 q = f(p);
    bool inside = false;
    const std::size_t k = loop.size();
    for (std::size_t i = 0; i < k; ++i) {
        const P2 a = f(points[loop[i]]);
        const P2 b = f(points[loop[(i + 1) % k]]);
        const int c = cross2(minus(b, a), minus(q, a)).sign();
        if (c == 0 && std::min(a.x, b.x) <= q.x && q.x <= std::max(a.x, b.x) &&
            std::min(a.y, b.y) <= q.y && q.y <= std::max(a.y, b.y))
            return 0;
        if ((a.y > q.y) != (b.y > q.y) && (b.y > a.y ? c > 0 : c < 0)) inside = !inside;
    }
    return inside ? 1 : -1;
}

std::vector<Region> nest_loops(const std::vector<Point3>& points,
                               std::vector<std::vector<std::uint32_t>> loops,
                               const Point3& normal) {
    std::vector<Region> regions;
    if (loops.size() == 1) {  // the common case: one loop, which must run the outer way
        regions.push_back({std::move(loops[0]), {}});
        return regions;
    }
    const Frame f(normal);
    std::vector<Rational> area;  // of each region's outer loop
    std::vector<std::size_t> holes;
    for (std::size_t i = 0; i < loops.size(); ++i) {
        poll_interrupt();
        Rational a = area2(points, loops[i], f);
        if (a.sign() > 0) {
            regions.push_back({std::move(loops[i]), {}});
            area.push_back(std::move(a));
        } else if (a.sign() < 0) {
            holes.push_back(i);
        }
    }
    if (holes.empty()) return regions;
    if (regions.empty()) throw InputError("the faces' boundary has holes but no outer loop");
    // Boxes of the nearest doubles: containment survives the rounding, so a
    // box that does not hold the hole's box rules its loop out.
    auto box_of = [&](const std::vector<std::uint32_t>& loop) {
        Box b = {INFINITY, INFINITY, -INFINITY, -INFINITY};
        for (std::uint32_t id : loop) {
            const P2 q = f(points[id]);
            const double x = rational_to_double(q.x), y = rational_to_double(q.y);
            b = {std::min(b[0], x), std::min(b[1], y), std::max(b[2], x), std::max(b[3], y)};
        }
        return b;
    };
    std::vector<Box> boxes;
    if (regions.size() > 1)
        for (const Region& r : regions) boxes.push_back(box_of(r.outer));
    for (std::size_t h : holes) {
        poll_interrupt();
        std::vector<std::uint32_t>& hole = loops[h];
        long best = regions.size() == 1 ? 0 : -1;
        if (best < 0) {
            const Box hb = box_of(hole);
            for (std::size_t r = 0; r < regions.size(); ++r) {
                const Box& b = boxes[r];
                if (hb[0] < b[0] || hb[1] < b[1] || hb[2] > b[2] || hb[3] > b[3]) continue;
                if (best >= 0 && area[std::size_t(best)] < area[r]) continue;
                // A point of the hole off the outer loop tells.
                int where = 0;
                for (std::size_t i = 0; i < hole.size() && where == 0; ++i)
                    where = locate(points, regions[r].outer, points[hole[i]], normal);
                if (where > 0) best = long(r);
            }
        }
        if (best < 0) throw InputError("the faces' boundary has a hole outside every outer loop");
        regions[std::size_t(best)].holes.push_back(std::move(hole));
    }
    return regions;
}

std::vector<Region> group_loops(const std::vector<Point3>& points,
                                std::vector<std::vector<std::uint32_t>> loops,
                                const std::vector<std::uint32_t>& key, const Point3& normal,
                                std::vector<std::uint32_t>& keys) {
    keys.clear();
    const Frame f(normal);
    std::vector<int> sign(loops.size());
    std::unordered_map<std::uint32_t, std::size_t> region_of_key;
    bool whole = true;
    for (std::size_t i = 0; whole && i < loops.size(); ++i) {
        poll_interrupt();
        sign[i] = loops.size() == 1 ? 1 : area2(points, loops[i], f).sign();
        // Two outer loops of one key: the geometry must tell.
        if (sign[i] > 0) whole = region_of_key.emplace(key[i], region_of_key.size()).second;
    }
    for (std::size_t i = 0; whole && i < loops.size(); ++i)
        whole = sign[i] >= 0 || region_of_key.count(key[i]) != 0;
    if (!whole) return nest_loops(points, std::move(loops), normal);
    std::vector<Region> regions(region_of_key.size());
    keys.resize(regions.size());
    for (std::size_t i = 0; i < loops.size(); ++i) {
        if (sign[i] == 0) continue;
        const std::size_t r = region_of_key.at(key[i]);
        if (sign[i] > 0) {
            regions[r].outer = std::move(loops[i]);
            keys[r] = key[i];
        } else {
            regions[r].holes.push_back(std::move(loops[i]));
        }
    }
    return regions;
}

long region_of(const std::vector<Point3>& points, const std::vector<Region>& regions,
               const Point3& p, const Point3& normal) {
    if (regions.size() == 1) return 0;
    const Frame f(normal);
    long best = -1;
    Rational best_area;
    for (std::size_t r = 0; r < regions.size(); ++r) {
        if (locate(points, regions[r].outer, p, normal) <= 0) continue;
        Rational a = area2(points, regions[r].outer, f);
        if (best < 0 || a < best_area) {
            best = long(r);
            best_area = std::move(a);
        }
    }
    return best;
}

}  // namespace qs::topo
