#include "query/volume.hpp"

#include <flint/fmpz.h>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"

namespace qs {

namespace {

// Whole and below 2^40 in magnitude: a triple product of three such
// coordinates, p0 . (a x b), stays below 2^123.
bool small_whole(const Rational& r) {
    const fmpz n = *r.num();
    return *r.den() == 1 && !COEFF_IS_MPZ(n) && n < (slong(1) << 40) && n > -(slong(1) << 40);
}

bool small_whole_loop(const std::vector<Point3>& v) {
    for (const Point3& p : v)
        if (!small_whole(p.x) || !small_whole(p.y) || !small_whole(p.z)) return false;
    return true;
}

void add_int128(Rational& sum, __int128 v) {
    ScratchInt z;
    const unsigned __int128 u = static_cast<unsigned __int128>(v);
    fmpz_set_signed_uiui(z.v, ulong(u >> 64), ulong(u));
    sum += Rational::from_fmpz(z.v);
}

}  // namespace

// The terms are exact, so their order does not change the sum: faces with
// small whole corners are summed in a 128-bit word (passed on to the
// rational sum before it could overflow), the others in rationals.
Rational solid_volume6(const Solid& s) {
    Rational sum;
    Rational t;
    __int128 acc = 0;
    for (const Face& f : s.faces) {
        poll_interrupt();
        const auto& v = f.vertices;
        if (v.empty()) index_panic(0, 0);
        const Point3& p0 = v[0];
        if (small_whole_loop(v)) {
            const slong x0 = *p0.x.num(), y0 = *p0.y.num(), z0 = *p0.z.num();
            for (std::size_t i = 1; i + 1 < v.size(); ++i) {
                const slong ax = *v[i].x.num(), ay = *v[i].y.num(), az = *v[i].z.num();
                const slong bx = *v[i + 1].x.num(), by = *v[i + 1].y.num(), bz = *v[i + 1].z.num();
                const __int128 term = x0 * (__int128(ay) * bz - __int128(az) * by) +
                                      y0 * (__int128(az) * bx - __int128(ax) * bz) +
                                      z0 * (__int128(ax) * by - __int128(ay) * bx);
                __int128 next;
                if (__builtin_add_overflow(acc, term, &next)) {
                    add_int128(sum, acc);
                    next = term;
                }
                acc = next;
            }
            continue;
        }
        for (std::size_t i = 1; i + 1 < v.size(); ++i) {
            // p0 . (a x b), accumulated in place to spare temporaries.
            const Point3& a = v[i];
            const Point3& b = v[i + 1];
            t = a.y * b.z;
            t.sub_mul(a.z, b.y);
            sum.add_mul(p0.x, t);
            t = a.z * b.x;
            t.sub_mul(a.x, b.z);
            sum.add_mul(p0.y, t);
            t = a.x * b.y;
            t.sub_mul(a.y, b.x);
            sum.add_mul(p0.z, t);
        }
    }
    if (acc != 0) add_int128(sum, acc);
    return sum;
}

}  // namespace qs
