#include "query/watertight.hpp"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "exact/point_hash.hpp"
#include "query/primitive.hpp"

namespace qs {

namespace {

// One face edge on its line: parameter interval along u, direction, and
// where it came from.
struct EdgeSpan {
    Rational lo, hi;
    int sign;
    std::size_t face, edge;
};

// The first elementary interval whose signed coverage is not zero, as its
// two ends; nothing when the line is closed. One sweep: each span adds its
// sign where it begins and takes it off where it ends, so the running sum
// over the sorted breakpoints is the coverage of each interval in turn
// (summing the covering spans per interval would be quadratic on a line
// that many short edges share).
std::optional<std::pair<const Rational*, const Rational*>> open_gap(
    const std::vector<EdgeSpan>& spans) {
    std::vector<const Rational*> cuts;
    cuts.reserve(spans.size() * 2);
    for (const EdgeSpan& e : spans) {
        cuts.push_back(&e.lo);
        cuts.push_back(&e.hi);
    }
    auto less = [](const Rational* a, const Rational* b) { return *a < *b; };
    std::sort(cuts.begin(), cuts.end(), less);
    cuts.erase(std::unique(cuts.begin(), cuts.end(),
                           [](const Rational* a, const Rational* b) { return *a == *b; }),
               cuts.end());
    std::vector<long> change(cuts.size(), 0);
    auto index_of = [&](const Rational& t) {
        return std::size_t(std::lower_bound(cuts.begin(), cuts.end(), &t, less) - cuts.begin());
    };
    for (const EdgeSpan& e : spans) {
        poll_interrupt();
        change[index_of(e.lo)] += e.sign;
        change[index_of(e.hi)] -= e.sign;
    }
    long sum = 0;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        sum += change[i];
        if (sum != 0) return std::make_pair(cuts[i], cuts[i + 1]);
    }
    return std::nullopt;
}

}  // namespace

std::optional<Point3> primitive_direction(const Point3& d) {
    Rational k[3] = {d.x, d.y, d.z};
    if (!detail::make_primitive(k, 3)) return std::nullopt;
    return Point3(std::move(k[0]), std::move(k[1]), std::move(k[2]));
}

std::string line_key(const Point3& u, const Point3& m) {
    std::string key;
    append_point(key, u);
    key.push_back('|');
    append_point(key, m);
    return key;
}

std::optional<LineEdge> edge_on_line(const Point3& a, const Point3& b) {
    std::optional<Point3> u = primitive_direction(b - a);
    if (!u) return std::nullopt;
    LineEdge e;
    e.key = line_key(*u, cross(a, *u));
    e.ta = dot(a, *u);
    e.tb = dot(b, *u);
    e.u = std::move(*u);
    return e;
}

std::optional<OpenEdge> find_open_edge(const Solid& s) {
    // Edges that run between the same two points in opposite directions
    // cover the same intervals of their line once each way, so they cancel
    // on every line; only the others (T-junctions, open or doubled edges)
    // need their lines. In a mesh whose edges all meet end to end that
    // leaves none, and no line key is made at all.
    PointIds id_of;
    std::size_t corners = 0;
    for (const Face& f : s.faces) corners += f.vertices.size();
    id_of.reserve(corners);
    std::vector<std::vector<std::uint32_t>> ids(s.faces.size());
    // Every edge by the pair of its ends and its corner; sorted, each pair's
    // edges lie together, and their directions are summed there (a sort is
    // kinder to the cache than a hash table of the pairs).
    std::vector<std::pair<std::uint64_t, std::uint32_t>> edges;
    edges.reserve(corners);
    for (std::size_t i = 0; i < s.faces.size(); ++i) {
        poll_interrupt();
        const auto& v = s.faces[i].vertices;
        ids[i].reserve(v.size());
        for (const Point3& p : v) {
            const std::uint32_t id = id_of.id(p).first;
            if (id_of.full()) throw Panic(text::kTooManyVerticesToCheck);
            ids[i].push_back(id);
        }
        for (std::size_t j = 0; j < v.size(); ++j) {
            std::uint32_t a = ids[i][j], b = ids[i][(j + 1) % v.size()];
            if (a != b) edges.emplace_back(pair_key(a, b) << 1 | (a < b), std::uint32_t(edges.size()));
        }
    }
    std::sort(edges.begin(), edges.end());
    std::vector<bool> cancelled(edges.size(), false);  // by the order edges were met
    for (std::size_t k = 0; k < edges.size();) {
        std::size_t e = k;
        long net = 0;
        for (; e < edges.size() && edges[e].first >> 1 == edges[k].first >> 1; ++e)
            net += edges[e].first & 1 ? 1 : -1;
        if (net == 0)
            for (std::size_t x = k; x < e; ++x) cancelled[edges[x].second] = true;
        k = e;
    }

    std::map<std::string, std::vector<EdgeSpan>> lines;
    std::size_t met = 0;
    for (std::size_t i = 0; i < s.faces.size(); ++i) {
        poll_interrupt();
        const auto& v = s.faces[i].vertices;
        for (std::size_t j = 0; j < v.size(); ++j) {
            std::uint32_t a = ids[i][j], b = ids[i][(j + 1) % v.size()];
            if (a == b || cancelled[met++]) continue;
            std::optional<LineEdge> e = edge_on_line(v[j], v[(j + 1) % v.size()]);
            EdgeSpan span;
            span.sign = e->ta < e->tb ? 1 : -1;
            span.lo = std::move(span.sign > 0 ? e->ta : e->tb);
            span.hi = std::move(span.sign > 0 ? e->tb : e->ta);
            span.face = i;
            span.edge = j;
            lines[std::move(e->key)].push_back(std::move(span));
        }
    }
    for (const auto& [key, spans] : lines) {
        auto gap = open_gap(spans);
        if (!gap) continue;
        for (const EdgeSpan& e : spans)
            if (e.lo <= *gap->first && *gap->second <= e.hi) return OpenEdge{e.face, e.edge};
    }
    return std::nullopt;
}

}  // namespace qs
