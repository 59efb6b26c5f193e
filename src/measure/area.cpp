#include "measure/area.hpp"

#include <flint/fmpz.h>

#include <algorithm>
#include <vector>

#include "exact/interrupt.hpp"

namespace qs {

namespace {

// A scratch FLINT integer that can live in a vector.
struct Int {
    fmpz_t v;
    Int() { fmpz_init(v); }
    Int(const Int& o) {
        fmpz_init(v);
        fmpz_set(v, o.v);
    }
    Int& operator=(const Int&) = delete;
    ~Int() { fmpz_clear(v); }
};

// n / 2^e as a rational; e may be negative.
Rational scaled(const fmpz_t n, slong e) {
    ScratchInt num, den;
    if (e >= 0) {
        fmpz_set(num.v, n);
        fmpz_one(den.v);
        fmpz_mul_2exp(den.v, den.v, ulong(e));
    } else {
        fmpz_mul_2exp(num.v, n, ulong(-e));
        fmpz_one(den.v);
    }
    return Rational::from_fmpz(num.v, den.v);
}

}  // namespace

double solid_area(const Solid& s) {
    // Each face's squared doubled area |A|^2 = num / den; its area is
    // sqrt(num / den) / 2.
    std::vector<Int> nums, dens;
    slong top = WORD_MIN;  // about log2 of the largest sqrt(num / den)
    for (const Face& f : s.faces) {
        poll_interrupt();
        const Point3 a = area_vector(f.vertices);
        const Rational q = dot(a, a);
        if (q.is_zero()) continue;
        nums.emplace_back();
        dens.emplace_back();
        fmpz_set(nums.back().v, q.num());
        fmpz_set(dens.back().v, q.den());
        top = std::max(top, (slong(fmpz_bits(q.num())) - slong(fmpz_bits(q.den()))) / 2);
    }
    if (nums.empty()) return 0.0;
    const slong n = slong(nums.size());
    slong guard = 64 + slong(FLINT_BIT_COUNT(ulong(n)));
    ScratchInt x, root, rem, low;
    for (;;) {
        // Each term floor(2^k sqrt(q)) is below the true one by less than 1,
        // so 2^k times the sum lies in [low, low + inexact]; the largest term
        // is about 2^(k + top), which `guard` bits above the count keeps the
        // bracket narrow enough to round.
        const slong k = guard - top;
        fmpz_zero(low.v);
        slong inexact = 0;
        for (slong i = 0; i < n; ++i) {
            poll_interrupt();
            if (k >= 0) {
                fmpz_mul_2exp(x.v, nums[i].v, ulong(2 * k));
                fmpz_fdiv_qr(x.v, rem.v, x.v, dens[i].v);
            } else {
                fmpz_mul_2exp(rem.v, dens[i].v, ulong(-2 * k));
                fmpz_fdiv_qr(x.v, rem.v, nums[i].v, rem.v);
            }
            const bool divided = fmpz_is_zero(rem.v);
            fmpz_sqrtrem(root.v, rem.v, x.v);
            if (!divided || !fmpz_is_zero(rem.v)) ++inexact;
            fmpz_add(low.v, low.v, root.v);
        }
        // The area is half the sum.
        const double lo = rational_to_double(scaled(low.v, k + 1));
        fmpz_add_ui(low.v, low.v, ulong(inexact));
        const double hi = rational_to_double(scaled(low.v, k + 1));
        if (lo == hi || guard > 1100) return lo;
        guard *= 2;
    }
}

}  // namespace qs
