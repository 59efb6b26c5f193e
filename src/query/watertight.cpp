#include "query/watertight.hpp"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "exact/interrupt.hpp"
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
// two ends; nothing when the line is closed.
std::optional<std::pair<const Rational*, const Rational*>> open_gap(
    const std::vector<EdgeSpan>& spans) {
    std::vector<const Rational*> cuts;
    cuts.reserve(spans.size() * 2);
    for (const EdgeSpan& e : spans) {
        cuts.push_back(&e.lo);
        cuts.push_back(&e.hi);
    }
    std::sort(cuts.begin(), cuts.end(), [](const Rational* a, const Rational* b) { return *a < *b; });
    cuts.erase(std::unique(cuts.begin(), cuts.end(),
                           [](const Rational* a, const Rational* b) { return *a == *b; }),
               cuts.end());
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        poll_interrupt();
        const Rational& s = *cuts[i];
        const Rational& t = *cuts[i + 1];
        long sum = 0;
        for (const EdgeSpan& e : spans)
            if (e.lo <= s && t <= e.hi) sum += e.sign;
        if (sum != 0) return std::make_pair(&s, &t);
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
    std::map<std::string, std::vector<EdgeSpan>> lines;
    for (std::size_t i = 0; i < s.faces.size(); ++i) {
        poll_interrupt();
        const auto& v = s.faces[i].vertices;
        for (std::size_t j = 0; j < v.size(); ++j) {
            const Point3& a = v[j];
            const Point3& b = v[(j + 1) % v.size()];
            std::optional<LineEdge> e = edge_on_line(a, b);
            if (!e) continue;
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
