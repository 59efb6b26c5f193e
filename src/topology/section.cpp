#include "topology/section.hpp"

#include <cmath>
#include <deque>
#include <optional>
#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "exact/point_hash.hpp"
#include "topology/topology.hpp"

namespace qs::topo {
namespace {

Rational level(const Plane& p, const Point3& x) {
    Rational r = dot(p.normal, x);
    r -= p.offset;
    return r;
}

// Points numbered by exact value, owned here so their addresses stay put.
class PointTable {
public:
    std::uint32_t id(Point3 p) {
        store_.push_back(std::move(p));
        const auto [id, fresh] = ids_.id(store_.back());
        if (ids_.full()) throw InputError(text::kTooManyMeshVertices);
        if (!fresh) store_.pop_back();
        return id;
    }
    std::vector<Point3> take() { return {store_.begin(), store_.end()}; }

private:
    std::deque<Point3> store_;
    PointIds ids_;
};

// The side of each vertex against the plane, with the points on it counted
// above: the cut a hair below the plane, whose limit the section is. The
// double filter decides a plane along one axis by the nearest doubles,
// whose order follows the exact values' order.
class Sides {
public:
    explicit Sides(const Plane& p) : plane_(p) {
        int nonzero = 0;
        for (int i = 0; i < 3; ++i)
            if (!p.normal[i].is_zero()) {
                ++nonzero;
                axis_ = i;
            }
        if (nonzero != 1) {
            axis_ = -1;
        } else {
            at_ = rational_to_double(p.offset / p.normal[axis_]);
            sign_ = p.normal[axis_].sign();
        }
    }
    // The exact level where the filter cannot tell, else nothing.
    int side(const Point3& v, const Approx& a, Rational& lv, bool& exact) const {
        exact = false;
        if (axis_ >= 0 && std::isfinite(a[axis_]) && a[axis_] != at_)
            return (a[axis_] > at_ ? 1 : -1) * sign_;
        exact = true;
        lv = level(plane_, v);
        return lv.sign() < 0 ? -1 : 1;
    }

private:
    const Plane& plane_;
    int axis_ = -1;
    double at_ = 0;
    int sign_ = 1;
};

}  // namespace

Section section_solid(const Solid& s, const Plane& plane) {
    PointTable table;
    std::vector<Segment> segments;
    const Sides sides(plane);
    std::vector<int> side;
    std::vector<Rational> lv;
    std::vector<bool> known;
    for (const Face& f : s.faces) {
        poll_interrupt();
        const std::size_t k = f.vertices.size();
        if (k < 3 || is_degenerate(f)) continue;
        side.assign(k, 0);
        lv.resize(k);
        known.assign(k, false);
        int below = 0;
        for (std::size_t i = 0; i < k; ++i) {
            const Approx a = f.approx.size() == k ? f.approx[i] : approx_of(f.vertices[i]);
            bool exact = false;
            side[i] = sides.side(f.vertices[i], a, lv[i], exact);
            known[i] = exact;
            below += side[i] < 0;
        }
        auto exact_level = [&](std::size_t i) -> const Rational& {
            if (!known[i]) {
                lv[i] = level(plane, f.vertices[i]);
                known[i] = true;
            }
            return lv[i];
        };
        if (below == 0) {
            // Wholly above, or in the plane: a face in it that looks down
            // bounds the region from the other side, so it is added, run
            // backwards to turn counter-clockwise about the plane's normal.
            if (dot(f.plane.normal, plane.normal).sign() >= 0) continue;
            bool in_plane = true;
            for (std::size_t i = 0; i < k && in_plane; ++i) in_plane = exact_level(i).is_zero();
            if (!in_plane) continue;
            std::vector<std::uint32_t> ids;
            for (const Point3& p : f.vertices) ids.push_back(table.id(p));
            for (std::size_t i = 0; i < k; ++i)
                if (ids[i] != ids[(i + 1) % k]) segments.push_back({ids[(i + 1) % k], ids[i], 0});
            continue;
        }
        if (below == int(k)) continue;
        // A convex face crosses the plane twice: where it goes up and where
        // it comes down. A vertex on the plane counts above, so a crossing
        // there is the vertex itself.
        std::optional<Point3> ends[2];
        for (std::size_t i = 0; i < k; ++i) {
            const std::size_t j = (i + 1) % k;
            if (side[i] == side[j]) continue;
            const std::size_t up = side[i] < 0 ? j : i;  // the end above
            const std::size_t down = side[i] < 0 ? i : j;
            Point3 x;
            if (exact_level(up).is_zero()) {
                x = f.vertices[up];
            } else {
                const Rational t = exact_level(down) / (exact_level(down) - exact_level(up));
                x = f.vertices[down] + t * (f.vertices[up] - f.vertices[down]);
            }
            ends[ends[0] ? 1 : 0] = std::move(x);
        }
        if (!ends[0] || !ends[1] || *ends[0] == *ends[1]) continue;
        // The solid lies behind the face, so on the left of m x n seen from
        // the tip of the plane's normal m.
        const Point3 along = cross(plane.normal, f.plane.normal);
        if (dot(*ends[1] - *ends[0], along).sign() < 0) std::swap(ends[0], ends[1]);
        const std::uint32_t a = table.id(std::move(*ends[0]));
        const std::uint32_t b = table.id(std::move(*ends[1]));
        if (a != b) segments.push_back({a, b, 0});
    }
    Section out;
    out.points = table.take();
    std::vector<Segment> boundary = cancel_pairs(split_at_junctions(out.points, segments));
    out.regions = nest_loops(out.points, trace_loops(out.points, boundary, plane.normal), plane.normal);
    for (const Region& r : out.regions) {
        Point3 a = loop_area(out.points, r.outer);
        for (const auto& h : r.holes) a = a + loop_area(out.points, h);
        out.scaled_areas.push_back(dot(plane.normal, a).half());
    }
    return out;
}

}  // namespace qs::topo
