#include "exact/rational.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"

namespace qs {

namespace {

using Z = ScratchInt;

// Digits at a time between two interruption polls while a text is checked.
constexpr std::size_t kScanStep = 1 << 14;
// Digits read by one call of FLINT's reader when a text is very long, and
// the length from which a text is read in such blocks: below it FLINT reads
// the whole text in some tens of milliseconds, a little faster than the
// blocks would.
constexpr std::size_t kBlockDigits = 1 << 18;
constexpr std::size_t kBlockedFrom = 4 * kBlockDigits;

// A long run of decimal digits to an integer in bounded steps, so that a
// text of millions of digits can be interrupted: blocks of kBlockDigits
// digits, then neighbours joined pairwise, level by level, as
// high * 10^(length of low) + low. Only the most significant block may be
// short, so the low half of every join has the full length of its level.
void read_long_digits(const std::string& digits, fmpz_t out) {
    struct Ints {
        std::vector<fmpz> v;  // fmpz 0 is the word 0
        ~Ints() {
            for (fmpz& x : v) fmpz_clear(&x);
        }
    } parts;
    const std::size_t n = digits.size();
    parts.v.assign((n + kBlockDigits - 1) / kBlockDigits, 0);
    std::string block;
    for (std::size_t k = 0; k < parts.v.size(); ++k) {  // least significant first
        poll_interrupt(256);
        const std::size_t end = n - k * kBlockDigits;
        const std::size_t len = std::min(kBlockDigits, end);
        block.assign(digits, end - len, len);
        fmpz_set_str(&parts.v[k], block.c_str(), 10);
    }
    Z scale;  // 10^(digits of a full part at this level)
    fmpz_set_ui(scale.v, 10);
    fmpz_pow_ui(scale.v, scale.v, kBlockDigits);
    std::vector<fmpz>& v = parts.v;
    while (v.size() > 1) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < v.size(); i += 2, ++kept) {
            poll_interrupt(256);
            if (i + 1 < v.size()) fmpz_addmul(&v[i], &v[i + 1], scale.v);
            fmpz_swap(&v[kept], &v[i]);
        }
        for (std::size_t i = kept; i < v.size(); ++i) fmpz_clear(&v[i]);
        v.resize(kept);
        if (v.size() > 1) fmpz_mul(scale.v, scale.v, scale.v);
    }
    fmpz_swap(out, &v[0]);
}

// One decimal integer piece: sign rules, underscores, leading zeros.
void parse_integer(std::string_view s, fmpz_t out) {
    bool negative = false;
    if (!s.empty() && s[0] == '-' && !(s.size() > 1 && s[1] == '+')) {
        negative = true;
        s.remove_prefix(1);
    }
    if (!s.empty() && s[0] == '+' && !(s.size() > 1 && s[1] == '+')) s.remove_prefix(1);
    if (s.empty()) panic(text::kEmpty);
    if (s[0] == '_') panic(text::kInvalidDigit);

    std::size_t digits = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i % kScanStep == kScanStep - 1) poll_interrupt(16);
        const char c = s[i];
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c != '_')
            panic(text::kInvalidDigit);
    }
    if (digits <= 18) {  // fits a signed 64-bit word without overflow
        int64_t v = 0;
        for (char c : s)
            if (c != '_') v = v * 10 + (c - '0');
        fmpz_set_si(out, negative ? -v : v);
        return;
    }
    if (digits <= 1000) {
        // Nineteen digits at a time into one word, then into the integer:
        // cheaper than a copy and the general reader at these lengths.
        const ulong kPow19 = 10000000000000000000ULL;
        fmpz_zero(out);
        ulong chunk = 0, scale = 1;
        for (char c : s) {
            if (c == '_') continue;
            chunk = chunk * 10 + ulong(c - '0');
            scale *= 10;
            if (scale == kPow19) {
                fmpz_mul_ui(out, out, kPow19);
                fmpz_add_ui(out, out, chunk);
                chunk = 0;
                scale = 1;
            }
        }
        if (scale != 1) {
            fmpz_mul_ui(out, out, scale);
            fmpz_add_ui(out, out, chunk);
        }
    } else {
        std::string clean;
        clean.reserve(digits + 1);
        for (char c : s)
            if (c != '_') clean.push_back(c);
        if (digits < kBlockedFrom)
            fmpz_set_str(out, clean.c_str(), 10);
        else
            read_long_digits(clean, out);
    }
    if (negative) fmpz_neg(out, out);
}

}  // namespace

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

Rational parse_rational(std::string_view text) {
    std::size_t slash = text.find('/');
    Z num;
    parse_integer(text.substr(0, slash), num.v);
    if (slash == std::string_view::npos) return Rational::from_fmpz(num.v);
    std::string_view rest = text.substr(slash + 1);
    // Three or more pieces: the integer before the first "/" is the value.
    if (rest.find('/') != std::string_view::npos) return Rational::from_fmpz(num.v);
    Z den;
    parse_integer(rest, den.v);
    return Rational::from_fmpz(num.v, den.v);
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
