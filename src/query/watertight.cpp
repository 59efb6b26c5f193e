#include "query/watertight.hpp"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "query/primitive.hpp"

namespace qs {

namespace {

// One face edge on its line: parameter interval along u and direction.
struct EdgeSpan {
    Rational lo, hi;
    int sign;
};

// True when the signed coverage of every elementary interval is zero.
bool line_closed(const std::vector<EdgeSpan>& spans) {
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
        const Rational& s = *cuts[i];
        const Rational& t = *cuts[i + 1];
        long sum = 0;
        for (const EdgeSpan& e : spans)
            if (e.lo <= s && t <= e.hi) sum += e.sign;
        if (sum != 0) return false;
    }
    return true;
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

bool watertight_ok(const Solid& s) {
    std::map<std::string, std::vector<EdgeSpan>> lines;
    for (const Face& f : s.faces) {
        const auto& v = f.vertices;
        for (std::size_t j = 0; j < v.size(); ++j) {
            const Point3& a = v[j];
            const Point3& b = v[(j + 1) % v.size()];
            std::optional<LineEdge> e = edge_on_line(a, b);
            if (!e) continue;
            EdgeSpan span;
            span.sign = e->ta < e->tb ? 1 : -1;
            span.lo = std::move(span.sign > 0 ? e->ta : e->tb);
            span.hi = std::move(span.sign > 0 ? e->tb : e->ta);
            lines[std::move(e->key)].push_back(std::move(span));
        }
    }
    for (const auto& [key, spans] : lines)
        if (!line_closed(spans)) return false;
    return true;
}

}  // namespace qs
