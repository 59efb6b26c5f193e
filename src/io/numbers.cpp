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
    if (int_part.size() + frac_part.size() <= 18 && shift <= 0 && shift >= -18) {
        long v = 0, scale = 1;
        for (char c : int_part) v = v * 10 + (c - '0');
        for (char c : frac_part) v = v * 10 + (c - '0');
        for (long k = 0; k < -shift; ++k) scale *= 10;
        return Rational(negative ? -v : v, scale);
    }
    ScratchInt num, scale;
    if (int_part.size() + frac_part.size() <= 18) {
        std::int64_t v = 0;
        for (char c : int_part) v = v * 10 + (c - '0');
        for (char c : frac_part) v = v * 10 + (c - '0');
        fmpz_set_si(num.v, v);
    } else {
        std::string digits(int_part);
        digits.append(frac_part);
        fmpz_set_str(num.v, digits.c_str(), 10);
    }
    if (negative) fmpz_neg(num.v, num.v);
    fmpz_set_ui(scale.v, 10);
    fmpz_pow_ui(scale.v, scale.v, static_cast<ulong>(shift < 0 ? -shift : shift));
    if (shift >= 0) {
        fmpz_mul(num.v, num.v, scale.v);
        return Rational::from_fmpz(num.v);
    }
    return Rational::from_fmpz(num.v, scale.v);
}

namespace {

// Up to 18 digits, all of d, as a word; nothing otherwise.
std::optional<long> small_digits(std::string_view d) {
    if (d.empty() || d.size() > 18) return std::nullopt;
    long v = 0;
    for (char c : d) {
        if (!digit(c)) return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

}  // namespace

std::optional<Rational> parse_fraction(std::string_view s) {
    {
        // The common case in machine words: both parts at most 18 digits.
        const bool negative = !s.empty() && s[0] == '-';
        std::string_view body = s.substr(negative ? 1 : 0);
        const std::size_t slash = body.find('/');
        std::optional<long> num = small_digits(body.substr(0, slash));
        std::optional<long> den =
            slash == std::string_view::npos ? std::optional<long>(1) : small_digits(body.substr(slash + 1));
        if (num && den) {
            if (*den == 0) return std::nullopt;
            return Rational(negative ? -*num : *num, *den);
        }
    }
    const std::size_t start = !s.empty() && s[0] == '-' ? 1 : 0;
    const std::size_t slash = s.find('/');
    const std::size_t num_end = slash == std::string_view::npos ? s.size() : slash;
    auto all_digits = [](std::string_view d) {
        return !d.empty() && std::all_of(d.begin(), d.end(), digit);
    };
    if (!all_digits(s.substr(start, num_end - start))) return std::nullopt;
    if (slash != std::string_view::npos) {
        std::string_view den = s.substr(slash + 1);
        if (!all_digits(den) || den.find_first_not_of('0') == std::string_view::npos)
            return std::nullopt;
    }
    return parse_rational(s);
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
