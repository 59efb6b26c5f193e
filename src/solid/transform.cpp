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

Rational determinant(const Affine& a) {
    const auto& m = a.m;
    Rational d = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]);
    d.sub_mul(m[0][1], m[1][0] * m[2][2] - m[1][2] * m[2][0]);
    d.add_mul(m[0][2], m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    return d;
}

Solid affine_solid(const Solid& s, const Affine& a) {
    const Rational det = determinant(a);
    if (det.is_zero()) throw InputError(text::kSingularMap);
    const auto& m = a.m;
    // The cofactor matrix, det * m^-T: normals map through it, so that
    // n . p == d becomes (C n) . q == det d + (C n) . t for q = m p + t.
    Rational c[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            c[i][j] = m[i1][j1] * m[i2][j2];
            c[i][j].sub_mul(m[i1][j2], m[i2][j1]);
        }
    auto apply = [](const Rational (&r)[3][3], const Point3& p) {
        Point3 q;
        for (int i = 0; i < 3; ++i) {
            Rational& v = q[i];
            v = r[i][0] * p.x;
            v.add_mul(r[i][1], p.y);
            v.add_mul(r[i][2], p.z);
        }
        return q;
    };
    const bool flip = det.sign() < 0;
    Solid out;
    out.faces.reserve(s.faces.size());
    for (const Face& f : s.faces) {
        poll_interrupt();
        Face g;
        g.label = f.label;
        g.vertices.reserve(f.vertices.size());
        for (const Point3& p : f.vertices) g.vertices.push_back(apply(m, p) + a.t);
        g.plane.normal = apply(c, f.plane.normal);
        g.plane.offset = det * f.plane.offset + dot(g.plane.normal, a.t);
        g.approx = approximate(g.vertices);
        // The map is applied exactly to the vertices and the plane alike.
        g.planar = f.planar;
        if (flip) {
            reverse_loop(g.vertices, g.approx);
            negate(g.plane);
        }
        out.faces.push_back(std::move(g));
    }
    return out;
}

}  // namespace qs
