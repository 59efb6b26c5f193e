#include "solid/transform.hpp"

#include <utility>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"

namespace qs {

namespace {

Solid flipped(Solid s) {
    flip_faces(s.faces);
    return s;
}

}  // namespace

Solid transform_solid(const Solid& s, const PointMap& map) {
    Solid out;
    out.faces.reserve(s.faces.size());
    for (const Face& f : s.faces) {
        poll_interrupt();
        std::vector<Point3> v;
        v.reserve(f.vertices.size());
        for (const Point3& p : f.vertices) v.push_back(map(p));
        out.faces.push_back(make_face(std::move(v), f.label));
    }
    return out;
}

Solid translate_solid(const Solid& s, const Point3& by) {
    return transform_solid(s, [&](const Point3& p) { return p + by; });
}

Solid scale_solid(const Solid& s, const Rational& fx, const Rational& fy, const Rational& fz) {
    Solid out = transform_solid(
        s, [&](const Point3& p) { return Point3(p.x * fx, p.y * fy, p.z * fz); });
    // The sign of the exact product; a zero factor is not negative.
    if (fx.sign() * fy.sign() * fz.sign() < 0) return flipped(std::move(out));
    return out;
}

Solid mirror_solid(const Solid& s, std::uint64_t axis) {
    Solid out = transform_solid(s, [&](const Point3& p) {
        if (axis > 2) index_panic(3, axis);
        Point3 q = p;
        q[int(axis)].negate();
        return q;
    });
    return flipped(std::move(out));
}

Solid rotate_quarter_solid(const Solid& s, std::uint64_t axis, std::int64_t quarters) {
    const unsigned q = static_cast<std::uint64_t>(quarters) & 3u;
    // Unsigned arithmetic: the additions wrap before the remainder is taken.
    const int i = int((axis + 1) % 3), j = int((axis + 2) % 3);
    return transform_solid(s, [&](const Point3& p) {
        Point3 r = p;
        for (unsigned step = 0; step < q; ++step) {
            // (p_i, p_j) becomes (-p_j, p_i); when i == j the second write wins.
            Rational a = -r[j];
            Rational b = r[i];
            r[i] = std::move(a);
            r[j] = std::move(b);
        }
        return r;
    });
}

}  // namespace qs
