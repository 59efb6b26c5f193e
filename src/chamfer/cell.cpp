#include "chamfer/cell.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "chamfer/edges.hpp"
#include "query/volume.hpp"

namespace qs::chamfer {
namespace {

bool same_half_space(const Plane& a, const Plane& b) {
    // Proportional with a positive factor: the cross product of the normals
    // vanishes, they point the same way and the offsets scale alike.
    if (!cross(a.normal, b.normal).is_zero() || dot(a.normal, b.normal).sign() <= 0) return false;
    return a.offset * dot(b.normal, b.normal) == b.offset * dot(a.normal, b.normal);
}

// The loop of `pts` (the corners of a convex polygon in a plane with normal
// n) counter-clockwise seen from the tip of n: sorted by angle about their
// centroid, each compared exactly by half-turn and cross product.
std::vector<Point3> ccw_loop(std::vector<Point3> pts, const Point3& n) {
    Point3 c;
    for (const Point3& p : pts) c = c + p;
    c = Rational(1, static_cast<long>(pts.size())) * c;
    const Point3 u = pts[0] - c;
    const Point3 v = cross(n, u);
    struct Polar {
        Rational x, y;
        Point3 p;
    };
    std::vector<Polar> polar;
    polar.reserve(pts.size());
    for (Point3& p : pts) {
        Point3 r = p - c;
        polar.push_back({dot(r, u), dot(r, v), std::move(p)});
    }
    auto upper = [](const Polar& a) { return a.y.sign() > 0 || (a.y.is_zero() && a.x.sign() > 0); };
    std::sort(polar.begin(), polar.end(), [&](const Polar& a, const Polar& b) {
        if (upper(a) != upper(b)) return upper(a);
        Rational turn = a.x * b.y;
        turn.sub_mul(a.y, b.x);
        return turn.sign() > 0;
    });
    std::vector<Point3> loop;
    loop.reserve(polar.size());
    for (Polar& q : polar) loop.push_back(std::move(q.p));
    return loop;
}

}  // namespace

std::optional<Point3> meet(const Plane& p0, const Plane& p1, const Plane& p2) {
    Point3 c12 = cross(p1.normal, p2.normal);
    Rational det = dot(p0.normal, c12);
    if (det.is_zero()) return std::nullopt;
    Point3 sum = p0.offset * c12 + p1.offset * cross(p2.normal, p0.normal) +
                 p2.offset * cross(p0.normal, p1.normal);
    return (Rational(1) / det) * sum;
}

Solid convex_cell(const std::vector<Bound>& bounds) {
    std::vector<const Bound*> hs;
    for (const Bound& b : bounds) {
        bool seen = false;
        for (const Bound* h : hs) seen = seen || same_half_space(h->plane, b.plane);
        if (!seen) hs.push_back(&b);
    }
    // Corners: every point where three of the planes meet that no bound
    // leaves outside. A few planes only, so all triples are tried.
    std::vector<Point3> corners;
    const std::size_t n = hs.size();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            for (std::size_t k = j + 1; k < n; ++k) {
                std::optional<Point3> p = meet(hs[i]->plane, hs[j]->plane, hs[k]->plane);
                if (!p) continue;
                bool inside = true;
                for (const Bound* h : hs) inside = inside && side(h->plane, *p) <= 0;
                if (inside && std::find(corners.begin(), corners.end(), *p) == corners.end())
                    corners.push_back(std::move(*p));
            }
        }
    }
    // A corner of the cell in a plane is a corner of the face there, so no
    // face loop has three corners in a row on a line.
    std::vector<Face> faces;
    for (const Bound* h : hs) {
        std::vector<Point3> on;
        for (const Point3& p : corners) {
            if (side(h->plane, p) == 0) on.push_back(p);
        }
        if (on.size() < 3) continue;
        faces.push_back(make_face(ccw_loop(std::move(on), h->plane.normal), h->label));
    }
    Solid cell = solid_from_faces(std::move(faces));
    if (solid_volume6(cell).sign() <= 0) cell.faces.clear();
    return cell;
}

}  // namespace qs::chamfer
