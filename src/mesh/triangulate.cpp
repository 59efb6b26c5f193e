#include "mesh/triangulate.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "exact/point_hash.hpp"
#include "query/watertight.hpp"

namespace qs {

namespace {

using Index = std::uint32_t;

[[noreturn]] void not_convex(std::size_t face, const std::string& what) {
    throw InputError("face " + std::to_string(face) + " " + what);
}

// A face edge whose end points are not matched by an edge running back
// between them: its place on its line, to be split at the other points
// found on that line.
struct LooseEdge {
    std::size_t line;
    Rational ta, tb;
};

// The points where loose edges end, per line, sorted along the line.
struct LinePoints {
    std::vector<std::pair<Rational, Index>> at;
};

}  // namespace

void triangulate_convex_loop(const std::vector<Point3>& pts, const std::vector<Index>& loop,
                             const Point3& area, std::size_t face,
                             std::vector<std::array<Index, 3>>& out) {
    const std::size_t k = loop.size();
    if (k < 3) return;
    if (k == 3) {
        out.push_back({loop[0], loop[1], loop[2]});
        return;
    }
    std::vector<std::size_t> prev(k), next(k);
    for (std::size_t i = 0; i < k; ++i) {
        prev[i] = (i + k - 1) % k;
        next[i] = (i + 1) % k;
    }
    auto P = [&](std::size_t i) -> const Point3& { return pts[loop[i]]; };
    // Sign of the turn at i seen from the tip of the area vector: +1 a
    // corner, 0 a point along a side; a right turn or a fold back is refused.
    auto turn = [&](std::size_t i) {
        Point3 e1 = P(i) - P(prev[i]), e2 = P(next[i]) - P(i);
        int t = dot(cross(e1, e2), area).sign();
        if (t < 0) not_convex(face, "is not convex");
        if (t == 0 && dot(e1, e2).sign() <= 0) not_convex(face, "folds back on itself");
        return t;
    };
    std::vector<int> t(k);
    std::size_t flats = 0;
    for (std::size_t i = 0; i < k; ++i) flats += (t[i] = turn(i)) == 0;

    // While points lie along the sides, cut off a corner next to one of
    // them: the triangle has area (its apex is a corner) and what is left
    // keeps area (the side's line holds the flat neighbour and the apex, so
    // not all that remains can lie on one line).
    std::vector<std::size_t> todo;
    auto candidate = [&](std::size_t i) {
        return t[i] > 0 && (t[prev[i]] == 0 || t[next[i]] == 0);
    };
    for (std::size_t i = 0; i < k; ++i)
        if (candidate(i)) todo.push_back(i);
    std::vector<bool> gone(k, false);
    std::size_t start = 0;
    while (flats > 0) {
        if (todo.empty()) throw Panic(text::kNoCornerNextToFlat);
        std::size_t v = todo.back();
        todo.pop_back();
        if (gone[v] || !candidate(v)) continue;
        const std::size_t p = prev[v], n = next[v];
        out.push_back({loop[p], loop[v], loop[n]});
        gone[v] = true;
        next[p] = n;
        prev[n] = p;
        start = p;
        for (std::size_t u : {p, n}) {
            int was = t[u];
            t[u] = turn(u);
            if (was == 0 && t[u] != 0) --flats;
            if (was != 0 && t[u] == 0) ++flats;
        }
        for (std::size_t u : {prev[p], p, n, next[n]}) todo.push_back(u);
    }
    // What is left is strictly convex: a fan.
    for (std::size_t a = next[start], b = next[a]; b != start; a = b, b = next[b])
        out.push_back({loop[start], loop[a], loop[b]});
}

TriangleMesh triangulate_solid(const Solid& s) {
    TriangleMesh mesh;
    // Vertex indices by exact value.
    std::vector<const Point3*> points;
    PointIds index_of;
    std::vector<std::vector<Index>> loops(s.faces.size());
    for (std::size_t i = 0; i < s.faces.size(); ++i) {
        poll_interrupt();
        const Face& f = s.faces[i];
        if (is_degenerate(f)) continue;
        std::vector<Index>& loop = loops[i];
        for (const Point3& p : f.vertices) {
            const auto [id, fresh] = index_of.id(p);
            if (index_of.full()) throw InputError(text::kTooManyMeshVertices);
            if (fresh) points.push_back(&p);
            if (loop.empty() || loop.back() != id) loop.push_back(id);
        }
        while (loop.size() > 1 && loop.back() == loop.front()) loop.pop_back();
    }

    mesh.vertices.reserve(points.size());
    for (const Point3* p : points) mesh.vertices.push_back(*p);

    // Edges whose end points are matched by edges running back between the
    // same two points need no split. The others are placed on their lines.
    std::unordered_map<std::uint64_t, long> net;
    for (const auto& loop : loops)
        for (std::size_t j = 0; j < loop.size(); ++j) {
            Index a = loop[j], b = loop[(j + 1) % loop.size()];
            net[pair_key(a, b)] += a < b ? 1 : -1;
        }
    std::unordered_map<std::string, std::size_t> line_of;
    std::vector<LinePoints> lines;
    std::vector<std::vector<std::pair<std::size_t, LooseEdge>>> loose(loops.size());
    for (std::size_t i = 0; i < loops.size(); ++i) {
        poll_interrupt();
        const auto& loop = loops[i];
        for (std::size_t j = 0; j < loop.size(); ++j) {
            Index a = loop[j], b = loop[(j + 1) % loop.size()];
            if (net[pair_key(a, b)] == 0) continue;
            std::optional<LineEdge> e = edge_on_line(mesh.vertices[a], mesh.vertices[b]);
            auto [it, fresh] = line_of.try_emplace(std::move(e->key), lines.size());
            if (fresh) lines.emplace_back();
            lines[it->second].at.emplace_back(e->ta, a);
            lines[it->second].at.emplace_back(e->tb, b);
            loose[i].push_back({j, LooseEdge{it->second, std::move(e->ta), std::move(e->tb)}});
        }
    }
    for (LinePoints& l : lines) {
        poll_interrupt();
        auto& at = l.at;
        std::sort(at.begin(), at.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
        at.erase(std::unique(at.begin(), at.end(),
                             [](const auto& x, const auto& y) { return x.first == y.first; }),
                 at.end());
    }

    for (std::size_t i = 0; i < loops.size(); ++i) {
        poll_interrupt();
        const auto& loop = loops[i];
        if (loop.size() < 3) continue;
        std::vector<Index> split;
        split.reserve(loop.size());
        std::size_t next_loose = 0;
        for (std::size_t j = 0; j < loop.size(); ++j) {
            split.push_back(loop[j]);
            if (next_loose == loose[i].size() || loose[i][next_loose].first != j) continue;
            const LooseEdge& e = loose[i][next_loose++].second;
            const auto& at = lines[e.line].at;
            auto less = [](const auto& x, const Rational& t) { return x.first < t; };
            if (e.ta < e.tb) {
                auto lo = std::lower_bound(at.begin(), at.end(), e.ta, less) + 1;
                for (auto it = lo; it != at.end() && it->first < e.tb; ++it)
                    split.push_back(it->second);
            } else {
                auto lo = std::lower_bound(at.begin(), at.end(), e.tb, less) + 1;
                auto hi = std::lower_bound(at.begin(), at.end(), e.ta, less);
                for (auto it = hi; it != lo;) split.push_back((--it)->second);
            }
        }
        triangulate_convex_loop(mesh.vertices, split, area_vector(s.faces[i].vertices), i,
                                mesh.triangles);
        mesh.face_of.resize(mesh.triangles.size(), Index(i));
    }
    return mesh;
}

}  // namespace qs
