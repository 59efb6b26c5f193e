#include "io/numbers.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "exact/parse.hpp"

namespace qs {

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<Rational> parse_decimal(std::string_view s) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    const std::size_t int_start = i;
    while (i < s.size() && digit(s[i])) ++i;
    const std::string_view int_part = s.substr(int_start, i - int_start);
    std::string_view frac_part;
    if (i < s.size() && s[i] == '.') {
        const std::size_t frac_start = ++i;
        while (i < s.size() && digit(s[i])) ++i;
        frac_part = s.substr(frac_start, i - frac_start);
    }
    if (int_part.empty() && frac_part.empty()) return std::nullopt;
    if (int_part.size() + frac_part.size() > kMaxDecimalDigits) return std::nullopt;
    long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool eneg = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
        const std::size_t start = i;
        while (i < s.size() && digit(s[i])) {
            exponent = exponent * 10 + (s[i++] - '0');
            if (exponent > kMaxDecimalExponent) return std::nullopt;
        }
        if (i == start) return std::nullopt;
        if (eneg) exponent = -exponent;
    }
    if (i != s.size()) return std::nullopt;

    // The digits without the point, as one integer: in a machine word when
    // they fit, the common case in files written from doubles.
    const long shift = exponent - long(frac_part.size());
    const bool in_word = int_part.size() + frac_part.size() <= 18;
    long v = 0;
    if (in_word) {
        for (char c : int_part) v = v * 10 + (c - '0');
        for (char c : frac_part) v = v * 10 + (c - '0');
        if (negative) v = -v;
        if (shift <= 0 && shift >= -18) {
            long scale = 1;
            for (long k = 0; k < -shift; ++k) scale *= 10;
            return Rational(v, scale);
        }
    }
    ScratchInt num, scale;
    if (in_word) {
        fmpz_set_si(num.v, v);
    } else {
        std::string digits(int_part);
        digits.append(frac_part);
        fmpz_set_str(num.v, digits.c_str(), 10);
        if (negative) fmpz_neg(num.v, num.v);
    }
    fmpz_set_ui(scale.v, 10);
    fmpz_pow_ui(scale.v, scale.v, static_cast<ulong>(shift < 0 ? -shift : shift));
    if (shift >= 0) {
        fmpz_mul(num.v, num.v, scale.v);
        return Rational::from_fmpz(num.v);
    }
    return Rational::from_fmpz(num.v, scale.v);
}

std::optional<Rational> parse_fraction(std::string_view s) {
    // One pass; values of up to 18 digits a part are built in words.
    const std::size_t n = s.size();
    std::size_t i = 0;
    const bool negative = n > 0 && s[0] == '-';
    if (negative) ++i;
    long num = 0, den = 1;
    std::size_t num_digits = 0, den_digits = 0;
    bool den_zero = true;
    for (; i < n && digit(s[i]); ++i, ++num_digits)
        if (num_digits < 18) num = num * 10 + (s[i] - '0');
    if (num_digits == 0) return std::nullopt;
    const bool slash = i < n && s[i] == '/';
    if (slash) {
        den = 0;
        for (++i; i < n && digit(s[i]); ++i, ++den_digits) {
            if (den_digits < 18) den = den * 10 + (s[i] - '0');
            den_zero &= s[i] == '0';
        }
        if (den_digits == 0 || den_zero) return std::nullopt;
    }
    if (i != n) return std::nullopt;
    if (num_digits > 18 || den_digits > 18) return parse_rational(s);
    if (den == 1) return Rational(negative ? -num : num);
    return Rational(negative ? -num : num, den);
}

std::optional<Rational> double_value(double d) {
    if (!std::isfinite(d)) return std::nullopt;
    int e = 0;
    double m = std::frexp(d, &e);  // d = m * 2^e, 0.5 <= |m| < 1
    // 53 bits of mantissa as an integer: d = k * 2^(e - 53), exactly.
    auto k = static_cast<std::int64_t>(std::ldexp(m, 53));
    e -= 53;
    ScratchInt num, den;
    fmpz_set_si(num.v, k);
    fmpz_one(den.v);
    if (e >= 0)
        fmpz_mul_2exp(num.v, num.v, ulong(e));
    else
        fmpz_mul_2exp(den.v, den.v, ulong(-e));
    return Rational::from_fmpz(num.v, den.v);
}

float rational_to_float(const Rational& r) {
    const double d = rational_to_double(r);
    const float f = static_cast<float>(d);
    if (!std::isfinite(f) || static_cast<double>(f) == d) return f;
    // d lies strictly between two floats. Rounding d again is wrong only
    // when d is their exact midpoint (r itself may lie off it): then r
    // decides. The midpoint of two floats is exact in a double.
    float lo = f, hi = f;
    if (static_cast<double>(f) < d)
        hi = std::nextafter(f, HUGE_VALF);
    else
        lo = std::nextafter(f, -HUGE_VALF);
    const double mid = (static_cast<double>(lo) + static_cast<double>(hi)) / 2;
    if (d != mid) return f;
    const auto c = r <=> *double_value(mid);
    if (c > 0) return hi;
    if (c < 0) return lo;
    return f;  // a true tie: the cast rounded it to even
}

void append_double(std::string& out, double d) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, d);
    out.append(buf, res.ptr);
}

}  // namespace qs
