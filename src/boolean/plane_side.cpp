// A plane made ready for exact tests: its integer form and signs, the
// position of a plane along one axis, and the exact side test and crossing
// point in integers. The double filter is classify.cpp's, compiled under
// the flags its error bound needs; nothing here adds or multiplies doubles
// beyond one correctly rounded division.
#include "boolean/classify.hpp"

#include <flint/fmpq.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <thread>
#include <utility>

#include "exact/point_hash.hpp"

namespace qs {

namespace {

inline const fmpz* num(const Rational& r) { return r.num(); }
inline const fmpz* den(const Rational& r) { return r.den(); }

// z as a GMP integer to read: the one it holds when it is wide, otherwise
// a copy in `spare`.
inline mpz_srcptr read_mpz(const fmpz* z, mpz_ptr spare) {
    if (COEFF_IS_MPZ(*z)) return COEFF_TO_PTR(*z);
    mpz_set_si(spare, *z);
    return spare;
}

// p as homogeneous integers (x, y, z, w) with w > 0 the least common
// denominator of its coordinates. t, u and spare are scratch.
void homogeneous(const Point3& p, mpz_ptr x, mpz_ptr y, mpz_ptr z, mpz_ptr w, mpz_ptr t, mpz_ptr u,
                 mpz_ptr spare) {
    fmpz_get_mpz(x, num(p.x));
    fmpz_get_mpz(y, num(p.y));
    fmpz_get_mpz(z, num(p.z));
    fmpz_get_mpz(w, den(p.x));
    // Bring in one more coordinate over denominator d: with g = gcd(w, d)
    // the new w is w (d / g), the coordinates so far scale by d / g and
    // the new one by w / g.
    auto join = [&](mpz_ptr c, const fmpz* dc, mpz_ptr const* done, int n_done) {
        if (fmpz_is_one(dc)) {
            if (mpz_cmp_ui(w, 1) != 0) mpz_mul(c, c, w);
            return;
        }
        const mpz_srcptr d = read_mpz(dc, spare);
        if (mpz_cmp(w, d) == 0) return;
        mpz_gcd(t, w, d);
        mpz_divexact(u, d, t);  // d / g
        mpz_divexact(t, w, t);  // w / g
        mpz_mul(c, c, t);
        for (int i = 0; i < n_done; ++i) mpz_mul(done[i], done[i], u);
        mpz_mul(w, w, u);
    };
    mpz_ptr const done[2] = {x, y};
    join(y, den(p.y), done, 1);
    join(z, den(p.z), done, 2);
}

}  // namespace

PlaneApprox plane_approx(const Plane& plane) {
    return {rational_to_double(plane.normal.x), rational_to_double(plane.normal.y),
            rational_to_double(plane.normal.z), rational_to_double(plane.offset)};
}

namespace {

// Whole components held inline: the integer form in machine words.
bool whole_inline_plane(const Rational* const c[4], fmpz_t k[4]) {
    slong v[4];
    ulong g = 0;
    for (int i = 0; i < 4; ++i) {
        if (!fmpz_is_one(c[i]->den()) || COEFF_IS_MPZ(*c[i]->num())) return false;
        v[i] = *c[i]->num();
        g = std::gcd(g, ulong(v[i] < 0 ? -v[i] : v[i]));
    }
    for (int i = 0; i < 4; ++i) fmpz_set_si(k[i], g > 1 ? v[i] / slong(g) : v[i]);
    return true;
}

}  // namespace

TestPlane::TestPlane(const Plane& plane) : approx_(plane_approx(plane)), plane_(&plane) {
    const Rational* c[4] = {&plane.normal.x, &plane.normal.y, &plane.normal.z, &plane.offset};
    // The integer form is a positive multiple of the plane: its signs are
    // the plane's own.
    orient_ = 0;
    for (int i = 0; i < 4; ++i) {
        sign_[i] = std::int8_t(c[i]->sign());
        if (!orient_) orient_ = sign_[i];
    }
    axis_ = -1;
    for (int c = 0; c < 3; ++c) {
        low_[c] = std::uint8_t(sign_[c] >= 0 ? c : c + 3);
        high_[c] = std::uint8_t(sign_[c] >= 0 ? c + 3 : c);
        if (sign_[c] != 0) axis_ = sign_[(c + 1) % 3] == 0 && sign_[(c + 2) % 3] == 0 ? c : -1;
    }
    for (fmpz_t& k : k_) fmpz_init(k);
    // A plane along an axis needs its integers for its position, and a
    // plane of small numbers finds them cheaply. Any other (a mesh's, of
    // wide numbers) finds them when a test first needs them: the filter
    // and the box tests decide most planes' pieces without them.
    try {
        const bool small = c[0]->is_small() && c[1]->is_small() && c[2]->is_small() &&
                           c[3]->is_small();
        if (axis_ >= 0 || small) {
            make_exact();
            made_.store(kMade, std::memory_order_relaxed);
        }
    } catch (...) {
        for (fmpz_t& k : k_) fmpz_clear(k);
        throw;
    }
}

void TestPlane::make_exact() const {
    const Plane& plane = *plane_;
    const Rational* c[4] = {&plane.normal.x, &plane.normal.y, &plane.normal.z, &plane.offset};
    if (!whole_inline_plane(c, k_)) {
        fmpz* const out[4] = {k_[0], k_[1], k_[2], k_[3]};
        coprime_integers(c, 4, out);
    }
    inline_ = true;
    for (int i = 0; i < 4; ++i) inline_ = inline_ && !COEFF_IS_MPZ(*k_[i]);
    if (axis_ >= 0) {
        // Integers within 2^53 are exact doubles, and their quotient is
        // rounded once, to nearest: the rounding of the rational.
        const slong lim = slong(1) << 53;
        const fmpz d = *k_[3], a = *k_[axis_];
        if (inline_ && d <= lim && d >= -lim && a <= lim && a >= -lim)
            at_ = double(d) / double(a);
        else
            at_ = rational_to_double(Rational::from_fmpz(k_[3], k_[axis_]));
    }
}

void TestPlane::make_exact_once() const {
    for (;;) {
        std::uint8_t state = kNotMade;
        if (made_.compare_exchange_strong(state, kMaking, std::memory_order_acquire)) {
            try {
                make_exact();
            } catch (...) {
                made_.store(kNotMade, std::memory_order_release);
                throw;
            }
            made_.store(kMade, std::memory_order_release);
            return;
        }
        if (state == kMade) return;
        std::this_thread::yield();  // the other thread is making it
    }
}

std::uint64_t TestPlane::key() const {
    // Made when first compared: most planes never are. A hash of 0 is taken
    // as 1, so that a key once made is not made again.
    std::uint64_t key = key_.load(std::memory_order_relaxed);
    if (key == 0) {
        need_exact();
        std::uint64_t h = 1469598103934665603ull;
        for (const fmpz_t& k : k_) h = (h ^ hash_fmpz(k, orient_)) * 1099511628211ull;
        key = h != 0 ? h : 1;
        key_.store(key, std::memory_order_relaxed);  // the same from either thread
    }
    return key;
}

TestPlane::~TestPlane() {
    for (fmpz_t& k : k_) fmpz_clear(k);
}

bool TestPlane::same_plane(const TestPlane& o) const {
    need_exact();
    o.need_exact();
    if (key() != o.key() || orient_ == 0 || o.orient_ == 0) return false;
    for (int i = 0; i < 4; ++i)
        if (sign_[i] * orient_ != o.sign_[i] * o.orient_ || fmpz_cmpabs(k_[i], o.k_[i]) != 0)
            return false;
    return true;
}

namespace {

int cmp_sign(const fmpz* a, const fmpz* b) {
    const int c = fmpz_cmp(a, b);
    return (c > 0) - (c < 0);
}

}  // namespace

// Over the product of the denominators, which is positive: acc / e
// collects a x + b y (+ c z), term by term, without a gcd.
Side TestPlane::wide_side(const Point3& p, Scratch& s) const {
    need_exact();
    const fmpz *a = k_[0], *b = k_[1], *c = k_[2], *d = k_[3];
    const Rational* coord[3] = {&p.x, &p.y, &p.z};
    fmpz *acc = s[0], *e = s[1], *t = s[2];
    const fmpz* k[3] = {a, b, c};
    // Denominators that are powers of two, as every coordinate read from
    // doubles has: over the largest, each term is a product and a shift.
    slong pow[3], top = 0;
    bool dyadic = true;
    for (int i = 0; i < 3 && dyadic; ++i) {
        pow[i] = fmpz_is_zero(k[i]) ? 0 : power_of_two(den(*coord[i]));
        dyadic = pow[i] >= 0;
        top = std::max(top, pow[i]);
    }
    // The two sides are compared rather than subtracted: a point in the
    // plane would leave a zero, which the library shrinks into its word
    // and makes room for again on the next test.
    // The first term is written over acc, not added to a zero, for the
    // same reason.
    bool first = true;
    if (dyadic) {
        fmpz_mul_2exp(e, d, ulong(top));
        for (int i = 0; i < 3; ++i) {
            if (fmpz_is_zero(k[i])) continue;
            fmpz* term = first ? acc : t;
            fmpz_mul(term, k[i], num(*coord[i]));
            if (pow[i] != top) fmpz_mul_2exp(term, term, ulong(top - pow[i]));
            if (!first) fmpz_add(acc, acc, t);
            first = false;
        }
        if (first) fmpz_zero(acc);
        return Side(cmp_sign(acc, e));
    }
    for (int i = 0; i < 3; ++i) {
        if (fmpz_is_zero(k[i])) continue;
        const fmpz* di = den(*coord[i]);
        if (first) {
            fmpz_mul(acc, k[i], num(*coord[i]));
            fmpz_set(e, di);
            first = false;
            continue;
        }
        fmpz_mul(t, k[i], num(*coord[i]));
        if (!fmpz_is_one(di)) {
            fmpz_mul(acc, acc, di);
            fmpz_addmul(acc, t, e);
            fmpz_mul(e, e, di);
        } else {
            fmpz_addmul(acc, t, e);
        }
    }
    if (first) {
        fmpz_zero(acc);
        fmpz_one(e);
    }
    fmpz_mul(t, d, e);
    return Side(cmp_sign(acc, t));
}

namespace {

// |v| < 2^20 for an integer held inline.
inline bool small20(const fmpz* z) { return !COEFF_IS_MPZ(*z) && *z < (1L << 20) && *z > -(1L << 20); }

inline bool small_whole(const Point3& p) {
    return fmpz_is_one(den(p.x)) && fmpz_is_one(den(p.y)) && fmpz_is_one(den(p.z)) &&
           small20(num(p.x)) && small20(num(p.y)) && small20(num(p.z));
}

constexpr slong kWord31 = slong(1) << 31;

// |v| < 2^31 for an integer held inline.
inline bool small31(const fmpz* z) { return !COEFF_IS_MPZ(*z) && *z < kWord31 && *z > -kWord31; }

// p as homogeneous integers (x, y, z, w), w > 0 the least common
// denominator, when every one of them lies below 2^31 in magnitude, as the
// points of boxes and prisms of small rationals do; false otherwise.
bool small_homogeneous(const Point3& p, slong h[4]) {
    const Rational* c[3] = {&p.x, &p.y, &p.z};
    ulong w = 1;
    for (const Rational* r : c) {
        if (!small31(num(*r)) || !small31(den(*r))) return false;
        const ulong d = ulong(*den(*r));
        if (d == 1 || d == w) continue;
        w = w / std::gcd(w, d) * d;  // below 2^62: both factors are below 2^31
        if (w >= ulong(kWord31)) return false;
    }
    for (int i = 0; i < 3; ++i) {
        const slong x = *num(*c[i]) * slong(w / ulong(*den(*c[i])));
        if (x >= kWord31 || x <= -kWord31) return false;
        h[i] = x;
    }
    h[3] = slong(w);
    return true;
}

// n / d in lowest terms into r, for d > 0, both within a word: one gcd in
// the word, where the library's general path would take more.
void set_word_quotient(fmpq_t r, slong n, ulong d) {
    const ulong m = n < 0 ? 0 - ulong(n) : ulong(n);
    const ulong g = std::gcd(m, d);
    fmpz_set_si(fmpq_numref(r), n < 0 ? -slong(m / g) : slong(m / g));
    fmpz_set_ui(fmpq_denref(r), d / g);
}

// n / d in lowest terms into r, for d != 0.
void set_quotient(fmpq_t r, __int128 n, __int128 d, fmpz* tn, fmpz* td) {
    if (d < 0) {
        n = -n;
        d = -d;
    }
    constexpr __int128 lim = __int128(1) << 62;
    if (n < lim && n > -lim && d < lim) {
        set_word_quotient(r, slong(n), ulong(d));
        return;
    }
    auto set = [](fmpz* z, __int128 v) {
        const unsigned __int128 u = static_cast<unsigned __int128>(v);
        fmpz_set_signed_uiui(z, ulong(u >> 64), ulong(u));
    };
    set(tn, n);
    set(td, d);
    fmpq_set_fmpz_frac(r, tn, td);
}

}  // namespace

Point3 TestPlane::crossing(const Point3& p, const Point3& q, Scratch& s) const {
    need_exact();
    if (small20(k_[0]) && small20(k_[1]) && small20(k_[2]) && small20(k_[3]) && small_whole(p) &&
        small_whole(q)) {
        // Below 2^20 everywhere: the plane's values stay below 2^42 and the
        // crossing's homogeneous coordinates below 2^63, all in one word.
        const slong pc[3] = {*num(p.x), *num(p.y), *num(p.z)};
        const slong qc[3] = {*num(q.x), *num(q.y), *num(q.z)};
        slong sp = -*k_[3], sq = -*k_[3];
        for (int i = 0; i < 3; ++i) {
            sp += *k_[i] * pc[i];
            sq += *k_[i] * qc[i];
        }
        slong w = sq - sp;
        const slong sign = w < 0 ? -1 : 1;
        w *= sign;
        Point3 x;
        for (int i = 0; i < 3; ++i)
            set_word_quotient(x[i].raw(), sign * (sq * pc[i] - sp * qc[i]), ulong(w));
        return x;
    }
    slong a[4], b[4];
    if (small31(k_[0]) && small31(k_[1]) && small31(k_[2]) && small31(k_[3]) &&
        small_homogeneous(p, a) && small_homogeneous(q, b)) {
        // Fractions, or numbers up to 2^31: the plane's values at p and q
        // stay below 2^64 and the crossing's homogeneous coordinates below
        // 2^97.
        __int128 sa = -__int128(*k_[3]) * a[3], sb = -__int128(*k_[3]) * b[3];
        for (int i = 0; i < 3; ++i) {
            sa += __int128(*k_[i]) * a[i];
            sb += __int128(*k_[i]) * b[i];
        }
        // sb p - sa q, as below.
        const __int128 w = sb * a[3] - sa * b[3];
        Point3 x;
        for (int i = 0; i < 3; ++i) set_quotient(x[i].raw(), sb * a[i] - sa * b[i], w, s[0], s[1]);
        return x;
    }
    mpz_ptr hp[4] = {s.wide(0), s.wide(1), s.wide(2), s.wide(3)};
    mpz_ptr hq[4] = {s.wide(4), s.wide(5), s.wide(6), s.wide(7)};
    mpz_ptr sp = s.wide(8), sq = s.wide(9), t = s.wide(10), u = s.wide(11);
    homogeneous(p, hp[0], hp[1], hp[2], hp[3], t, u, s.wide(12));
    homogeneous(q, hq[0], hq[1], hq[2], hq[3], t, u, s.wide(12));
    // sp, sq: the plane's value at p and q, both scaled by their w.
    mpz_srcptr k[4];
    for (int i = 0; i < 4; ++i) k[i] = read_mpz(k_[i], s.wide(12 + i));
    mpz_mul(sp, k[0], hp[0]);
    mpz_mul(sq, k[0], hq[0]);
    for (int i = 1; i < 3; ++i) {
        mpz_addmul(sp, k[i], hp[i]);
        mpz_addmul(sq, k[i], hq[i]);
    }
    mpz_submul(sp, k[3], hp[3]);
    mpz_submul(sq, k[3], hq[3]);
    // sq p - sp q is on the plane; its w is nonzero because sp and sq have
    // opposite signs and both w are positive. It is written over p's
    // homogeneous coordinates, each read for the last time there.
    for (int i = 0; i < 4; ++i) {
        mpz_mul(hp[i], hp[i], sq);
        mpz_submul(hp[i], sp, hq[i]);
    }
    mpz_ptr w = hp[3];
    if (mpz_sgn(w) < 0) {
        for (int i = 0; i < 4; ++i) mpz_neg(hp[i], hp[i]);
    }
    Point3 x;
    for (int i = 0; i < 3; ++i) {
        mpz_gcd(t, hp[i], w);
        fmpq* r = x[i].raw();
        if (mpz_cmp_ui(t, 1) == 0) {
            fmpz_set_mpz(fmpq_numref(r), hp[i]);
            fmpz_set_mpz(fmpq_denref(r), w);
            continue;
        }
        mpz_divexact(u, hp[i], t);
        fmpz_set_mpz(fmpq_numref(r), u);
        mpz_divexact(u, w, t);
        fmpz_set_mpz(fmpq_denref(r), u);
    }
    return x;
}

int TestPlane::normal_dot_sign(const TestPlane& o, Scratch& s) const {
    need_exact();
    o.need_exact();
    fmpz* acc = s[0];
    fmpz_mul(acc, k_[0], o.k_[0]);
    fmpz_addmul(acc, k_[1], o.k_[1]);
    fmpz_addmul(acc, k_[2], o.k_[2]);
    return fmpz_sgn(acc);
}

}  // namespace qs
