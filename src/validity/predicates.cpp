#include "validity/predicates.hpp"

#include <cmath>
#include <numeric>

namespace qs::validity {

namespace {

constexpr double kU = 0x1p-53;  // the unit roundoff
// Room for results that fall below the normal range: the tests make fewer
// than thirty roundings, each off by at most 2^-1075 there.
constexpr double kTiny = 0x1p-1060;

bool fine_coordinate(double x) {
    const double m = std::fabs(x);
    return m == 0 || (m >= 0x1p-300 && m <= 0x1p300);
}

// Each coordinate of a fine point is its exact value times (1 + d), |d| <=
// u. A difference of two is then off by at most about 2u of the sum m of
// their magnitudes (u from each input, u from its own rounding), a product
// of two differences by 5u of the product of their m, a 2 x 2 minor by 6u,
// one of its products with a third difference by 9u, and the two additions
// of a 3 x 3 determinant add 2u of the sum of the magnitudes of its terms:
// 11.1u in all. 16u leaves room for the rounding of the bound itself.
int filtered3(const double e[3][3], const double m[3][3], const auto& exact) {
    const double det = e[0][0] * (e[1][1] * e[2][2] - e[1][2] * e[2][1]) +
                       e[0][1] * (e[1][2] * e[2][0] - e[1][0] * e[2][2]) +
                       e[0][2] * (e[1][0] * e[2][1] - e[1][1] * e[2][0]);
    const double perm = m[0][0] * (m[1][1] * m[2][2] + m[1][2] * m[2][1]) +
                        m[0][1] * (m[1][2] * m[2][0] + m[1][0] * m[2][2]) +
                        m[0][2] * (m[1][0] * m[2][1] + m[1][1] * m[2][0]);
    const double bound = 16 * kU * perm + kTiny;
    if (det > bound) return 1;
    if (det < -bound) return -1;
    return exact();
}

int det3_sign(const Point3& r0, const Point3& r1, const Point3& r2) {
    return dot(r0, cross(r1, r2)).sign();
}

}  // namespace

constexpr long kIntegralBound = 1L << 30;

long common_scale(const std::vector<const Point3*>& points) {
    long scale = 1;
    for (const Point3* p : points)
        for (int c = 0; c < 3; ++c) {
            const fmpz d = *(*p)[c].den();
            if (COEFF_IS_MPZ(d) || d >= kIntegralBound) return 0;
            const long g = std::gcd(scale, long(d));
            if (scale / g > kIntegralBound / d) return 0;
            scale = scale / g * long(d);
        }
    return scale;
}

Vert make_vert(const Point3& p, long scale) {
    Vert v;
    v.p = &p;
    v.a = approx_of(p);
    v.fine = fine_coordinate(v.a[0]) && fine_coordinate(v.a[1]) && fine_coordinate(v.a[2]);
    if (scale == 0) return v;
    for (int c = 0; c < 3; ++c) {
        const Rational& x = p[c];
        const fmpz n = *x.num(), d = *x.den();
        // x * scale = n * (scale / d), an integer, when d divides scale.
        if (COEFF_IS_MPZ(n) || COEFF_IS_MPZ(d) || scale % d != 0) return v;
        const __int128 k = __int128(n) * (scale / d);
        if (k >= kIntegralBound || k <= -kIntegralBound) return v;
        v.i[c] = std::int64_t(k);
    }
    v.integral = true;
    return v;
}

namespace {

// det[r0, r1, r2] of integer rows below 2^31: minors below 2^63, terms
// below 2^94, exact in 128 bits.
int det3_int(const std::int64_t r0[3], const std::int64_t r1[3], const std::int64_t r2[3]) {
    const __int128 m0 = __int128(r1[1]) * r2[2] - __int128(r1[2]) * r2[1];
    const __int128 m1 = __int128(r1[2]) * r2[0] - __int128(r1[0]) * r2[2];
    const __int128 m2 = __int128(r1[0]) * r2[1] - __int128(r1[1]) * r2[0];
    const __int128 det = r0[0] * m0 + r0[1] * m1 + r0[2] * m2;
    return det > 0 ? 1 : (det < 0 ? -1 : 0);
}

void int_diff(const Vert& x, const Vert& o, std::int64_t out[3]) {
    for (int k = 0; k < 3; ++k) out[k] = x.i[k] - o.i[k];
}

}  // namespace

int orient3d(const Vert& a, const Vert& b, const Vert& c, const Vert& d) {
    if (a.integral && b.integral && c.integral && d.integral) {
        std::int64_t e[3][3];
        int_diff(b, a, e[0]);
        int_diff(c, a, e[1]);
        int_diff(d, a, e[2]);
        return det3_int(e[0], e[1], e[2]);
    }
    auto exact = [&] { return det3_sign(*b.p - *a.p, *c.p - *a.p, *d.p - *a.p); };
    if (!(a.fine && b.fine && c.fine && d.fine)) return exact();
    double e[3][3], m[3][3];
    const Vert* rows[3] = {&b, &c, &d};
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) {
            e[r][k] = rows[r]->a[std::size_t(k)] - a.a[std::size_t(k)];
            m[r][k] = std::fabs(rows[r]->a[std::size_t(k)]) + std::fabs(a.a[std::size_t(k)]);
        }
    return filtered3(e, m, exact);
}

int orient_dir(const Vert& a, const Vert& b, const Vert& c, const Vert& v) {
    auto exact = [&] { return det3_sign(*b.p - *a.p, *c.p - *a.p, *v.p); };
    if (!(a.fine && b.fine && c.fine && v.fine)) return exact();
    double e[3][3], m[3][3];
    const Vert* rows[2] = {&b, &c};
    for (int r = 0; r < 2; ++r)
        for (int k = 0; k < 3; ++k) {
            e[r][k] = rows[r]->a[std::size_t(k)] - a.a[std::size_t(k)];
            m[r][k] = std::fabs(rows[r]->a[std::size_t(k)]) + std::fabs(a.a[std::size_t(k)]);
        }
    for (int k = 0; k < 3; ++k) {
        e[2][k] = v.a[std::size_t(k)];
        m[2][k] = 2 * std::fabs(v.a[std::size_t(k)]);  // as if a difference, for one bound
    }
    return filtered3(e, m, exact);
}

int along(const Vert& a, const Vert& b, const Vert& p, const Vert& q) {
    if (a.integral && b.integral && p.integral && q.integral) {
        __int128 s = 0;
        for (int k = 0; k < 3; ++k) s += __int128(b.i[k] - a.i[k]) * (q.i[k] - p.i[k]);
        return s > 0 ? 1 : (s < 0 ? -1 : 0);
    }
    if (a.fine && b.fine && p.fine && q.fine) {
        // Each difference off by 2u of its m, each product by 5u, the two
        // additions by 2u of the sum of the magnitudes: 8u covers it.
        double s = 0, m = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            s += (b.a[k] - a.a[k]) * (q.a[k] - p.a[k]);
            m += (std::fabs(b.a[k]) + std::fabs(a.a[k])) * (std::fabs(q.a[k]) + std::fabs(p.a[k]));
        }
        const double bound = 8 * kU * m + kTiny;
        if (s > bound) return 1;
        if (s < -bound) return -1;
    }
    return dot(*b.p - *a.p, *q.p - *p.p).sign();
}

Rational orient2d_value(const Point3& a, const Point3& b, const Point3& c, int drop) {
    const int i = (drop + 1) % 3, j = (drop + 2) % 3;
    Rational r = (b[i] - a[i]) * (c[j] - a[j]);
    r.sub_mul(b[j] - a[j], c[i] - a[i]);
    return r;
}

int orient2d(const Vert& a, const Vert& b, const Vert& c, int drop) {
    if (a.integral && b.integral && c.integral) {
        const int i = (drop + 1) % 3, j = (drop + 2) % 3;
        const __int128 det = __int128(b.i[i] - a.i[i]) * (c.i[j] - a.i[j]) -
                             __int128(b.i[j] - a.i[j]) * (c.i[i] - a.i[i]);
        return det > 0 ? 1 : (det < 0 ? -1 : 0);
    }
    if (a.fine && b.fine && c.fine) {
        // Differences off by 2u of their m, products by 5u, the difference
        // of the products by 6u of the sum of the magnitudes: 8u covers it.
        const auto i = std::size_t((drop + 1) % 3), j = std::size_t((drop + 2) % 3);
        const double det = (b.a[i] - a.a[i]) * (c.a[j] - a.a[j]) -
                           (b.a[j] - a.a[j]) * (c.a[i] - a.a[i]);
        const double perm = (std::fabs(b.a[i]) + std::fabs(a.a[i])) *
                                (std::fabs(c.a[j]) + std::fabs(a.a[j])) +
                            (std::fabs(b.a[j]) + std::fabs(a.a[j])) *
                                (std::fabs(c.a[i]) + std::fabs(a.a[i]));
        const double bound = 8 * kU * perm + kTiny;
        if (det > bound) return 1;
        if (det < -bound) return -1;
    }
    return orient2d_value(*a.p, *b.p, *c.p, drop).sign();
}

}  // namespace qs::validity
