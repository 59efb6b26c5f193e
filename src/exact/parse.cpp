// Number texts in. Long texts are read in bounded steps that poll for
// interruption, so a caller can stop the read of millions of digits.
#include "exact/parse.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
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

}  // namespace qs
