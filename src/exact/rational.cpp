#include "exact/rational.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "exact/errors.hpp"

namespace qs {

namespace {

using Z = ScratchInt;

}  // namespace

slong power_of_two(const fmpz* d) {
    if (!COEFF_IS_MPZ(*d)) {
        const ulong v = ulong(*d);
        return v <= 0 || (v & (v - 1)) ? -1 : slong(__builtin_ctzl(v));
    }
    if (fmpz_sgn(d) <= 0) return -1;
    const slong e = slong(fmpz_bits(d)) - 1;
    return slong(fmpz_val2(d)) == e ? e : -1;
}

bool coprime_integers(const Rational* const* c, std::size_t n, fmpz* const* k) {
    Z l, t, g;
    // Denominators that are powers of two, as every value read from doubles
    // has: the common one is the largest, and the scaling a shift.
    slong top = 0;
    bool dyadic = true;
    for (std::size_t i = 0; i < n && dyadic; ++i) {
        const slong e = power_of_two(c[i]->den());
        dyadic = e >= 0;
        top = std::max(top, e);
    }
    if (dyadic) {
        for (std::size_t i = 0; i < n; ++i) {
            fmpz_mul_2exp(k[i], c[i]->num(), ulong(top - power_of_two(c[i]->den())));
            if (!fmpz_is_one(g.v)) fmpz_gcd(g.v, g.v, k[i]);
        }
    } else {
        fmpz_one(l.v);
        for (std::size_t i = 0; i < n; ++i)
            if (!fmpz_is_one(c[i]->den())) fmpz_lcm(l.v, l.v, c[i]->den());
        for (std::size_t i = 0; i < n; ++i) {
            if (fmpz_equal(l.v, c[i]->den())) {
                fmpz_set(k[i], c[i]->num());
            } else {
                fmpz_divexact(t.v, l.v, c[i]->den());
                fmpz_mul(k[i], c[i]->num(), t.v);
            }
            if (!fmpz_is_one(g.v)) fmpz_gcd(g.v, g.v, k[i]);
        }
    }
    if (fmpz_is_zero(g.v)) return false;
    if (!fmpz_is_one(g.v))
        for (std::size_t i = 0; i < n; ++i) fmpz_divexact(k[i], k[i], g.v);
    return true;
}

Rational::Rational(long n, long d) {
    if (d == 0) panic(text::kDenominatorZero);
    fmpq_init(v_);
    fmpq_set_si(v_, n, static_cast<ulong>(d < 0 ? -d : d));
    if (d < 0) fmpq_neg(v_, v_);
}

Rational Rational::from_canonical(fmpz_t num, fmpz_t den) {
    Rational r;
    fmpz_swap(fmpq_numref(r.v_), num);
    fmpz_swap(fmpq_denref(r.v_), den);
    return r;
}

Rational Rational::from_fmpz(const fmpz_t num, const fmpz_t den) {
    if (fmpz_is_zero(den)) panic(text::kDenominatorZero);
    Rational r;
    fmpq_set_fmpz_frac(r.v_, num, den);
    return r;
}

Rational Rational::from_fmpz(const fmpz_t num) {
    Rational r;
    fmpz_set(fmpq_numref(r.v_), num);
    return r;
}

Rational& Rational::operator/=(const Rational& o) {
    if (o.is_zero()) panic(text::kDivideByZero);
    fmpq_div(v_, v_, o.v_);
    return *this;
}

Rational operator/(const Rational& a, const Rational& b) {
    if (b.is_zero()) panic(text::kDivideByZero);
    Rational r;
    fmpq_div(r.v_, a.v_, b.v_);
    return r;
}

void append_fmpz(std::string& out, const fmpz_t z) {
    if (fmpz_fits_si(z)) {
        char buf[24];
        auto res = std::to_chars(buf, buf + sizeof buf, fmpz_get_si(z));
        out.append(buf, res.ptr);
        return;
    }
    std::size_t at = out.size();
    out.resize(at + fmpz_sizeinbase(z, 10) + 2);
    fmpz_get_str(out.data() + at, 10, z);
    out.resize(at + std::strlen(out.data() + at));
}

char* write_word_rational(char* at, const Rational& r) {
    const fmpz n = *r.num(), d = *r.den();
    if (COEFF_IS_MPZ(n) || COEFF_IS_MPZ(d)) return nullptr;
    // A word holds at most 62 bits: 19 digits and a sign, then 19 digits.
    at = std::to_chars(at, at + 20, slong(n)).ptr;
    *at++ = '/';
    return std::to_chars(at, at + 20, slong(d)).ptr;
}

void append_rational(std::string& out, const Rational& r) {
    char buf[kWordRationalText];
    if (char* end = write_word_rational(buf, r)) {  // both in their words: one append
        out.append(buf, end);
        return;
    }
    append_fmpz(out, r.num());
    out.push_back('/');
    append_fmpz(out, r.den());
}

std::string format_rational(const Rational& r) {
    std::string s;
    append_rational(s, r);
    return s;
}

namespace {

// The top 64 bits of |n| (all of it when shorter), the power of two they
// stand at, and whether any bit below them is set; read from the limbs, so
// nothing is allocated.
void top_bits(const fmpz* n, ulong& top, slong& shift, bool& sticky) {
    sticky = false;
    shift = 0;
    if (!COEFF_IS_MPZ(*n)) {
        const slong v = *n;
        top = ulong(v < 0 ? -v : v);
        return;
    }
    const __mpz_struct* z = COEFF_TO_PTR(*n);
    const slong size = z->_mp_size < 0 ? -slong(z->_mp_size) : slong(z->_mp_size);
    const mp_limb_t* d = z->_mp_d;
    const ulong hi = d[size - 1];
    if (size == 1) {
        top = hi;
        return;
    }
    const int lz = __builtin_clzl(hi);
    const ulong next = d[size - 2];
    top = lz ? (hi << lz) | (next >> (64 - lz)) : hi;
    shift = (size - 1) * 64 - lz;
    sticky = lz ? (next << lz) != 0 : false;
    for (slong i = size - 3; i >= 0 && !sticky; --i) sticky = d[i] != 0;
}

// n / 2^e rounded to the nearest double when the denominator is a power of
// two, as every value read from doubles is: one rounding of the top bits.
// False where that rounding could not be the only one (a result in the
// subnormal range), which the general path below handles.
bool dyadic_to_double(const fmpz* n, const fmpz* d, double& out) {
    slong e;
    if (!COEFF_IS_MPZ(*d)) {
        const ulong v = ulong(*d);
        if (v & (v - 1)) return false;
        e = 63 - __builtin_clzl(v);
    } else {
        e = slong(fmpz_bits(d)) - 1;
        if (slong(fmpz_val2(d)) != e) return false;
    }
    ulong top;
    slong shift;
    bool sticky;
    top_bits(n, top, shift, sticky);
    const int bits = 64 - __builtin_clzl(top);
    const int drop = bits > 53 ? bits - 53 : 0;
    ulong m = top >> drop;
    if (drop > 0) {
        const ulong rem = top & ((ulong(1) << drop) - 1), half = ulong(1) << (drop - 1);
        if (rem > half || (rem == half && (sticky || (m & 1)))) ++m;
    }
    const slong exp = shift + drop - e;  // the value is m 2^exp
    // m has at most 54 bits: below 2^-1022 ldexp would round again.
    if (exp + 53 < -1021) return false;
    const double v = std::ldexp(double(m), int(std::max<slong>(std::min<slong>(exp, 2000), -2000)));
    out = fmpz_sgn(n) < 0 ? -v : v;
    return true;
}

// |n| / d from the top 64 bits of each: their quotient Q, to 64 or 65
// bits, is within 5 units of the true quotient at the same scale (each top
// is short of its number by less than a unit of its last bit). Rounding to
// 53 bits turns only where the quotient passes a halfway point, so when Q's
// dropped bits lie more than 5 from halfway, Q rounds as the true quotient
// does. False near halfway and outside the normal range: the exact path
// decides those.
bool top_quotient_to_double(const fmpz* n, const fmpz* d, double& out) {
    ulong tn, td;
    slong sn, sd;
    bool stn, std_;
    top_bits(n, tn, sn, stn);
    top_bits(d, td, sd, std_);
    const int ln = __builtin_clzl(tn), ld = __builtin_clzl(td);
    tn <<= ln;
    td <<= ld;
    sn -= ln;
    sd -= ld;
    const unsigned __int128 q = ((unsigned __int128)tn << 64) / td;  // below 2^65
    const int qb = q >> 64 ? 65 : 64;
    const int k = qb - 53;
    const ulong low = ulong(q) & ((ulong(1) << k) - 1), half = ulong(1) << (k - 1);
    if ((low > half ? low - half : half - low) <= 5) return false;
    // Near the next power of two the bit count, and so k, could differ.
    if (((q >> (qb - 1)) << (qb - 1)) + 5 >= q) return false;
    const ulong m = ulong(q >> k) + (low > half ? 1 : 0);
    const slong exp = k + (sn - sd) - 64;  // the value is m 2^exp
    if (exp + 52 < -1022) return false;
    const double v = std::ldexp(double(m), int(std::min<slong>(exp, 2000)));
    out = fmpz_sgn(n) < 0 ? -v : v;
    return true;
}

}  // namespace

// Correct rounding from bit lengths: take a quotient with at least 66
// significant bits plus a sticky bit for the remainder, then round once at
// the precision the result's exponent allows (53 bits for normal numbers,
// fewer in the subnormal range).
double rational_to_double(const Rational& r) {
    const fmpz* n = r.num();
    const fmpz* d = r.den();
    if (fmpz_is_zero(n)) return 0.0;
    // Both within 2^53: the hardware division is correctly rounded.
    if (!COEFF_IS_MPZ(*n) && !COEFF_IS_MPZ(*d)) {
        slong a = *n, b = *d;
        const slong lim = slong(1) << 53;
        if (a <= lim && a >= -lim && b <= lim) return double(a) / double(b);
    }
    if (double v; dyadic_to_double(n, d, v)) return v;
    if (double v; top_quotient_to_double(n, d, v)) return v;
    bool negative = fmpz_sgn(n) < 0;
    Z an, q, rem;
    fmpz_abs(an.v, n);
    slong bn = slong(fmpz_bits(an.v)), bd = slong(fmpz_bits(d));
    // Scale so the quotient has 66 or 67 bits: value = q * 2^-s (+ sticky).
    slong s = 66 - (bn - bd);
    if (s >= 0) {
        fmpz_mul_2exp(an.v, an.v, ulong(s));
        fmpz_fdiv_qr(q.v, rem.v, an.v, d);
    } else {
        Z sd;
        fmpz_mul_2exp(sd.v, d, ulong(-s));
        fmpz_fdiv_qr(q.v, rem.v, an.v, sd.v);
    }
    bool sticky = !fmpz_is_zero(rem.v);
    slong bq = slong(fmpz_bits(q.v));
    slong e = bq - 1 - s;  // value lies in [2^e, 2^(e+1))
    if (e > 1023) return negative ? -HUGE_VAL : HUGE_VAL;
    // Bits the result can hold at this exponent.
    slong p = e >= -1022 ? 53 : e + 1075;
    slong drop = bq - p;  // > 0 always: bq >= 66 and p <= 53
    double result;
    if (p <= -1) {
        result = 0.0;  // below half the smallest subnormal
    } else {
        Z m, low, half;
        fmpz_fdiv_q_2exp(m.v, q.v, ulong(drop));
        fmpz_fdiv_r_2exp(low.v, q.v, ulong(drop));
        fmpz_one(half.v);
        fmpz_mul_2exp(half.v, half.v, ulong(drop - 1));
        int c = fmpz_cmp(low.v, half.v);
        bool up = c > 0 || (c == 0 && (sticky || fmpz_is_odd(m.v)));
        if (up) fmpz_add_ui(m.v, m.v, 1);
        // m <= 2^53, exact in a double; ldexp scales exactly or overflows.
        result = std::ldexp(double(fmpz_get_ui(m.v)), int(drop - s));
    }
    return negative ? -result : result;
}

}  // namespace qs
