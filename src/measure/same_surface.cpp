#include "measure/same_surface.hpp"

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "exact/interrupt.hpp"
#include "query/logical_faces.hpp"
#include "solid/prism.hpp"

namespace qs {

namespace {

// A face seen along its plane's largest normal component: a convex loop
// counter-clockwise in the plane of the two other coordinates, its box,
// twice its area and its weight (+1 or -1, its winding against the plane's
// key, negated for the second solid).
struct Piece {
    std::vector<Point2> loop;
    Rational xlo, xhi, ylo, yhi, area2;
    int weight;
};

// Twice the area of the overlap of two convex counter-clockwise loops: `a`
// clipped by every edge of `b`.
Rational overlap2(const std::vector<Point2>& a, const std::vector<Point2>& b) {
    std::vector<Point2> cur = a, next;
    std::vector<Rational> side;
    for (std::size_t e = 0; e < b.size() && cur.size() >= 3; ++e) {
        const Point2& p = b[e];
        const Point2& q = b[(e + 1) % b.size()];
        side.clear();
        for (const Point2& v : cur) side.push_back(orient2(p, q, v));
        next.clear();
        for (std::size_t i = 0; i < cur.size(); ++i) {
            const std::size_t j = (i + 1) % cur.size();
            if (side[i].sign() >= 0) next.push_back(cur[i]);
            if ((side[i].sign() > 0 && side[j].sign() < 0) ||
                (side[i].sign() < 0 && side[j].sign() > 0)) {
                const Rational t = side[i] / (side[i] - side[j]);
                next.push_back({cur[i].x + t * (cur[j].x - cur[i].x),
                                cur[i].y + t * (cur[j].y - cur[i].y)});
            }
        }
        std::swap(cur, next);
    }
    return cur.size() >= 3 ? polygon_area2(cur) : Rational();
}

// Adds the faces of `s` to their planes; false when one is not convex.
bool add_faces(const Solid& s, int weight, std::map<std::string, std::vector<Piece>>& planes) {
    for (const Face& f : s.faces) {
        poll_interrupt();
        const Point3& n = f.plane.normal;
        if (f.vertices.size() < 3 || n.is_zero()) continue;
        const std::array<Rational, 4> key = primitive_plane(f.plane);
        // Drop the coordinate of the largest normal component.
        int drop = 0;
        for (int c = 1; c < 3; ++c)
            if (n[c].abs() > n[drop].abs()) drop = c;
        const int u = (drop + 1) % 3, v = (drop + 2) % 3;
        Piece p;
        for (const Point3& q : f.vertices) p.loop.push_back({q[u], q[v]});
        p.area2 = polygon_area2(p.loop);
        if (p.area2.is_zero()) continue;
        if (p.area2.sign() < 0) {
            std::reverse(p.loop.begin(), p.loop.end());
            p.area2.negate();
        }
        const std::size_t m = p.loop.size();
        for (std::size_t i = 0; i < m; ++i)
            if (orient2(p.loop[i], p.loop[(i + 1) % m], p.loop[(i + 2) % m]).sign() < 0)
                return false;
        // The key's normal is the stored one times a positive or a negative
        // number; the sign of that number is the face's winding.
        const int along = (key[std::size_t(drop)].sign() == n[drop].sign()) ? 1 : -1;
        p.weight = weight * along;
        p.xlo = p.xhi = p.loop[0].x;
        p.ylo = p.yhi = p.loop[0].y;
        for (const Point2& q : p.loop) {
            if (q.x < p.xlo) p.xlo = q.x;
            if (q.x > p.xhi) p.xhi = q.x;
            if (q.y < p.ylo) p.ylo = q.y;
            if (q.y > p.yhi) p.yhi = q.y;
        }
        planes[plane_key(key)].push_back(std::move(p));
    }
    return true;
}

}  // namespace

std::optional<bool> same_surface(const Solid& a, const Solid& b) {
    std::map<std::string, std::vector<Piece>> planes;
    if (!add_faces(a, 1, planes) || !add_faces(b, -1, planes)) return std::nullopt;
    for (auto& [key, pieces] : planes) {
        // The squared integral of the difference: each piece with itself
        // and twice each overlapping pair, in pairs whose boxes meet (found
        // by a sweep along x).
        std::sort(pieces.begin(), pieces.end(),
                  [](const Piece& p, const Piece& q) { return p.xlo < q.xlo; });
        Rational norm;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            const Piece& p = pieces[i];
            norm += p.area2;
            for (std::size_t j = i + 1; j < pieces.size() && pieces[j].xlo < p.xhi; ++j) {
                poll_interrupt();
                const Piece& q = pieces[j];
                if (q.ylo >= p.yhi || p.ylo >= q.yhi) continue;
                const Rational o = overlap2(p.loop, q.loop);
                if (o.is_zero()) continue;
                if (p.weight == q.weight)
                    norm += o + o;
                else
                    norm -= o + o;
            }
        }
        if (!norm.is_zero()) return false;
    }
    return true;
}

}  // namespace qs
