// Number texts in and out, and the correctly rounded conversion to double.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdlib>
#include <gmp.h>
#include <cmath>
#include <random>
#include <string>

#include "exact/errors.hpp"
#include "exact/parse.hpp"
#include "exact/point3.hpp"
#include "exact/rational.hpp"
#include "support.hpp"

using qs::format_rational;
using qs::parse_rational;
using qs::Rational;
using qs::rational_to_double;

namespace {

const std::string kInvalid =
    "called `Result::unwrap()` on an `Err` value: ParseBigIntError { kind: InvalidDigit }";
const std::string kEmpty =
    "called `Result::unwrap()` on an `Err` value: ParseBigIntError { kind: Empty }";

std::string parse_failure(const std::string& text) {
    return qs::test::panic_text([&] { parse_rational(text); });
}

std::string roundtrip(const std::string& text) { return format_rational(parse_rational(text)); }

// The exact value of a finite double, built independently of the code under test.
Rational exact_of(double d) {
    int e = 0;
    double m = std::frexp(d, &e);  // d = m * 2^e, 0.5 <= |m| < 1
    long long mant = static_cast<long long>(std::ldexp(m, 53));
    e -= 53;
    Rational r(mant);
    Rational two(2);
    Rational scale(1);
    for (int i = 0; i < std::abs(e); ++i) scale *= two;
    return e >= 0 ? r * scale : r / scale;
}

Rational pow2(int k) {
    fmpz_t p;
    fmpz_init_set_ui(p, 1);
    fmpz_mul_2exp(p, p, ulong(std::abs(k)));
    Rational r = Rational::from_fmpz(p);
    fmpz_clear(p);
    return k >= 0 ? r : Rational(1) / r;
}

// The value FLINT's own reader gives a decimal integer text.
Rational flint_reads(const std::string& digits) {
    fmpz_t v;
    fmpz_init(v);
    fmpz_set_str(v, digits.c_str(), 10);
    Rational r = Rational::from_fmpz(v);
    fmpz_clear(v);
    return r;
}

}  // namespace

TEST(ParseRational, AcceptedForms) {
    EXPECT_EQ(roundtrip("3/6"), "1/2");
    EXPECT_EQ(roundtrip("4/2"), "2/1");
    EXPECT_EQ(roundtrip("0/9"), "0/1");
    EXPECT_EQ(roundtrip("-0"), "0/1");
    EXPECT_EQ(roundtrip("0/-1"), "0/1");
    EXPECT_EQ(roundtrip("6/-4"), "-3/2");
    EXPECT_EQ(roundtrip("-6/-4"), "3/2");
    EXPECT_EQ(roundtrip("1_000/1_0"), "100/1");
    EXPECT_EQ(roundtrip("+7"), "7/1");
    EXPECT_EQ(roundtrip("007"), "7/1");
    EXPECT_EQ(roundtrip("1_"), "1/1");
    EXPECT_EQ(roundtrip("-12"), "-12/1");
    EXPECT_EQ(roundtrip("+3/-6"), "-1/2");
    // Three or more pieces: the integer before the first slash is the value.
    EXPECT_EQ(roundtrip("1/2/3"), "1/1");
    EXPECT_EQ(roundtrip("5/x/0"), "5/1");
}

TEST(ParseRational, RejectedForms) {
    for (const char* t : {"-+7", "+-1", "++1", "_1", "-_1", " 1", "1 ", "1.5", "1e3", "0x10",
                          "\xc2\xbd", "1/_2", "1/ 2", "x/0"})
        EXPECT_EQ(parse_failure(t), kInvalid) << t;
    for (const char* t : {"", "-", "+", "/", "3/", "/3", "-/1"})
        EXPECT_EQ(parse_failure(t), kEmpty) << t;
    for (const char* t : {"1/0", "0/0", "-5/0", "5/-0", "1/000"})
        EXPECT_EQ(parse_failure(t), "denominator == 0") << t;
}

TEST(ParseRational, LongValuesRoundTripDigitForDigit) {
    std::mt19937_64 rng(7);
    for (int trial = 0; trial < 50; ++trial) {
        std::string num = std::to_string(1 + rng() % 9), den = "1";
        for (int i = 0; i < 299; ++i) num.push_back(char('0' + rng() % 10));
        EXPECT_EQ(roundtrip(num), num + "/1");
        EXPECT_EQ(roundtrip("-" + num), "-" + num + "/1");
        // 2^k denominators keep the fraction in lowest terms when num is odd.
        if ((num.back() - '0') % 2 == 1) {
            EXPECT_EQ(roundtrip(num + "/1024"), num + "/1024");
        }
    }
    // Every length around the reader's 19-digit chunks, with and without
    // underscores, against FLINT's own reader.
    for (int len = 1; len <= 1100; len += (len < 100 ? 1 : 37)) {
        std::string digits, spaced;
        for (int i = 0; i < len; ++i) {
            char c = char('0' + rng() % 10);
            digits.push_back(c);
            spaced.push_back(c);
            if (i % 3 == 2) spaced.push_back('_');
        }
        const Rational expect = flint_reads(digits);
        EXPECT_EQ(parse_rational(digits), expect) << len;
        EXPECT_EQ(parse_rational("-" + spaced), -expect) << len;
    }
    // Very long texts are read in blocks joined pairwise: lengths around
    // the first blocked length and multiples of the block, leading zeros
    // included.
    const int kBlock = 1 << 18;
    for (int len : {4 * kBlock - 1, 4 * kBlock, 4 * kBlock + 1, 5 * kBlock, 7 * kBlock + 5,
                    9 * kBlock - 1}) {
        std::string digits = "000";
        for (int i = 3; i < len; ++i) digits.push_back(char('0' + rng() % 10));
        const Rational expect = flint_reads(digits);
        EXPECT_EQ(parse_rational(digits), expect) << len;
        EXPECT_EQ(parse_rational("-" + digits + "/7"), -expect / Rational(7)) << len;
    }
    // Normalisation of long values: (10^300 * 3) / (10^300 * 6) is 1/2.
    std::string z(300, '0');
    EXPECT_EQ(roundtrip("3" + z + "/6" + z), "1/2");
}

TEST(Rational, ArithmeticStaysNormalised) {
    Rational a = parse_rational("1/6"), b = parse_rational("1/3");
    EXPECT_EQ(format_rational(a + b), "1/2");
    EXPECT_EQ(format_rational(a - b), "-1/6");
    EXPECT_EQ(format_rational(a * b), "1/18");
    EXPECT_EQ(format_rational(a / b), "1/2");
    EXPECT_EQ(format_rational(b - b), "0/1");
    EXPECT_TRUE(a < b);
    EXPECT_TRUE(-b < -a);
    EXPECT_EQ(Rational(2, -4), parse_rational("-1/2"));
    EXPECT_THROW(a / Rational(), qs::Panic);
    // Aliased updates.
    Rational c = a;
    c += c;
    EXPECT_EQ(c, b);
    c.add_mul(c, c);  // 1/3 + 1/9
    EXPECT_EQ(format_rational(c), "4/9");
    // Moves leave a usable zero behind.
    Rational big = parse_rational("1" + std::string(40, '0') + "/7");
    Rational moved = std::move(big);
    EXPECT_EQ(format_rational(big), "0/1");  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(format_rational(moved), "1" + std::string(40, '0') + "/7");
}

TEST(RationalToDouble, MatchesHardwareOnSmallValues) {
    std::mt19937_64 rng(11);
    const long long lim = 1LL << 53;
    for (int i = 0; i < 200000; ++i) {
        long long n = static_cast<long long>(rng() % (2 * lim + 1)) - lim;
        long long d = 1 + static_cast<long long>(rng() % lim);
        if (i % 3 == 0) d = 1 + static_cast<long long>(rng() % 1000);
        double expect = double(n) / double(d);
        ASSERT_EQ(rational_to_double(Rational(n, d)), expect) << n << "/" << d;
    }
}

// The result must be a nearest double, ties to even, checked with exact
// arithmetic against both neighbours.
void expect_nearest(const Rational& q, const std::string& what) {
    double r = rational_to_double(q);
    if (!std::isfinite(r)) {
        // Only past the largest finite double and its half ulp.
        ASSERT_TRUE(q.abs() >= pow2(1024) - pow2(970)) << what;
        return;
    }
    Rational err = (q - exact_of(r)).abs();
    for (double nb : {std::nextafter(r, -HUGE_VAL), std::nextafter(r, HUGE_VAL)}) {
        if (!std::isfinite(nb)) continue;
        Rational other = (q - exact_of(nb)).abs();
        ASSERT_TRUE(err <= other) << what;
        if (err == other) {
            int e;
            long long mr = static_cast<long long>(std::ldexp(std::frexp(r, &e), 53));
            // In the subnormals fewer bits are held: even is in the last one.
            if (std::fabs(r) >= DBL_MIN) {
                ASSERT_EQ(mr % 2, 0) << "tie not to even: " << what;
            }
        }
    }
}

// Random big rationals, and random numerators over powers of two (the
// values read from doubles and their sums and products), from the
// subnormals to past the largest double.
TEST(RationalToDouble, NearestWithTiesToEvenOnBigValues) {
    std::mt19937_64 rng(5);
    for (int i = 0; i < 3000; ++i) {
        std::string num = std::to_string(1 + rng() % 9), den = std::to_string(1 + rng() % 9);
        int ln = int(rng() % 60), ld = int(rng() % 60);
        for (int k = 0; k < ln; ++k) num.push_back(char('0' + rng() % 10));
        for (int k = 0; k < ld; ++k) den.push_back(char('0' + rng() % 10));
        expect_nearest(parse_rational(num + "/" + den), num + "/" + den);
    }
    for (int i = 0; i < 3000; ++i) {
        // Numerators of 1 to 300 bits, some with a run of zeros or ones
        // below the 53rd bit (ties and near ties).
        Rational n(0);
        const int bits = 1 + int(rng() % 300);
        for (int k = 0; k < bits; k += 30) n = n * Rational(1L << 30) + Rational(long(rng() % (1u << 30)));
        if (i % 3 == 0) n = n * pow2(int(rng() % 80)) + Rational(long(rng() % 3));
        if (i % 2) n = -n;
        const int e = int(rng() % 2300) - 1150;
        expect_nearest(n * pow2(e), format_rational(n) + " 2^" + std::to_string(e));
    }
}

TEST(RationalToDouble, TiesAreRoundedToEven) {
    // 2^53 + 1 lies halfway between 2^53 and 2^53 + 2: even is 2^53.
    Rational two53 = pow2(53);
    EXPECT_EQ(rational_to_double(two53 + Rational(1)), 9007199254740992.0);
    // 2^53 + 3 is halfway between 2^53 + 2 and 2^53 + 4: even mantissa is 2^53 + 4.
    EXPECT_EQ(rational_to_double(two53 + Rational(3)), 9007199254740996.0);
    // Just above a tie rounds up; the sticky remainder must be seen.
    Rational above = two53 + Rational(1) + Rational(1) / pow2(200);
    EXPECT_EQ(rational_to_double(above), 9007199254740994.0);
    EXPECT_EQ(rational_to_double(-above), -9007199254740994.0);
    // A tie with a huge denominator: (2^60 + 2^7) / 2^60 = 1 + 2^-53 -> 1.
    EXPECT_EQ(rational_to_double((pow2(60) + pow2(7)) / pow2(60)), 1.0);
    EXPECT_EQ(rational_to_double(parse_rational("1/3")), 1.0 / 3.0);
}

TEST(RationalToDouble, OverflowAndTheLargestFinite) {
    Rational max = exact_of(DBL_MAX);
    EXPECT_EQ(rational_to_double(max), DBL_MAX);
    EXPECT_EQ(rational_to_double(-max), -DBL_MAX);
    // Halfway between DBL_MAX and 2^1024 rounds to even, which overflows.
    Rational half_ulp = pow2(970);
    EXPECT_EQ(rational_to_double(max + half_ulp), HUGE_VAL);
    EXPECT_EQ(rational_to_double(max + half_ulp - Rational(1)), DBL_MAX);
    EXPECT_EQ(rational_to_double(-(max + half_ulp)), -HUGE_VAL);
    EXPECT_EQ(rational_to_double(pow2(1024)), HUGE_VAL);
    EXPECT_EQ(rational_to_double(parse_rational("-1" + std::string(400, '0'))), -HUGE_VAL);
}

TEST(RationalToDouble, SubnormalsAndSignedZero) {
    const double tiny = std::ldexp(1.0, -1074);
    EXPECT_EQ(rational_to_double(pow2(-1074)), tiny);
    EXPECT_EQ(rational_to_double(pow2(-1022)), DBL_MIN);
    EXPECT_EQ(rational_to_double(pow2(-1022) - pow2(-1074)), DBL_MIN - tiny);
    // Exactly half the smallest subnormal: tie to even gives zero.
    double z = rational_to_double(pow2(-1075));
    EXPECT_EQ(z, 0.0);
    EXPECT_FALSE(std::signbit(z));
    double nz = rational_to_double(-pow2(-1075));
    EXPECT_EQ(nz, 0.0);
    EXPECT_TRUE(std::signbit(nz));
    // Just above half rounds up to the smallest subnormal.
    EXPECT_EQ(rational_to_double(pow2(-1075) + pow2(-1200)), tiny);
    // 3 * 2^-1075 lies between 1 and 2 subnormal steps: even is 2.
    EXPECT_EQ(rational_to_double(Rational(3) * pow2(-1075)), 2 * tiny);
    EXPECT_EQ(rational_to_double(Rational(5) * pow2(-1075)), 2 * tiny);
    EXPECT_EQ(rational_to_double(Rational(7) * pow2(-1075)), 4 * tiny);
    EXPECT_TRUE(std::signbit(rational_to_double(-pow2(-1100))));
    EXPECT_EQ(rational_to_double(Rational(1) / parse_rational("1" + std::string(400, '0'))), 0.0);
    // Random subnormal values against an exact nearest check.
    std::mt19937_64 rng(3);
    for (int i = 0; i < 2000; ++i) {
        Rational q = Rational(static_cast<long>(rng() % (1ULL << 60))) * pow2(-1074 - 10 - int(rng() % 30));
        double r = rational_to_double(q);
        Rational err = (q - exact_of(r)).abs();
        ASSERT_TRUE(err <= (q - exact_of(std::nextafter(r, HUGE_VAL))).abs());
        if (r > 0) {
            ASSERT_TRUE(err <= (q - exact_of(std::nextafter(r, 0.0))).abs());
        }
    }
}

namespace {

// Counts every allocation FLINT and GMP make while installed.
long g_allocs = 0;
void* count_malloc(size_t n) { ++g_allocs; return std::malloc(n); }
void* count_calloc(size_t n, size_t m) { ++g_allocs; return std::calloc(n, m); }
void* count_realloc(void* p, size_t n) { ++g_allocs; return std::realloc(p, n); }
void* gmp_realloc(void* p, size_t, size_t n) { ++g_allocs; return std::realloc(p, n); }
void gmp_free(void* p, size_t) { std::free(p); }

}  // namespace

TEST(Rational, SmallValuesNeverTouchTheHeap) {
    Rational a = parse_rational("123456789/987654"), b = parse_rational("-5/7");
    void* (*fm)(size_t);
    void* (*fc)(size_t, size_t);
    void* (*fr)(void*, size_t);
    void (*ff)(void*);
    __flint_get_memory_functions(&fm, &fc, &fr, &ff);
    void* (*gm)(size_t);
    void* (*gr)(void*, size_t, size_t);
    void (*gf)(void*, size_t);
    mp_get_memory_functions(&gm, &gr, &gf);
    __flint_set_memory_functions(count_malloc, count_calloc, count_realloc, std::free);
    mp_set_memory_functions(count_malloc, gmp_realloc, gmp_free);
    g_allocs = 0;
    Rational acc;
    for (int i = 0; i < 1000; ++i) {
        Rational c = a * b + a / b - b;
        acc = std::move(c);
        acc.add_mul(a, b);
        bool less = a < b;
        (void)less;
    }
    Rational parsed = parse_rational("-1_234/5_678");
    long small_allocs = g_allocs;
    // A value beyond one word must allocate, which shows the counter works.
    Rational big = parse_rational("1" + std::string(5000, '0'));
    Rational big2 = big * big;
    long big_allocs = g_allocs;
    __flint_set_memory_functions(fm, fc, fr, ff);
    mp_set_memory_functions(gm, gr, gf);
    EXPECT_EQ(small_allocs, 0);
    EXPECT_GT(big_allocs, 0);
    EXPECT_EQ(format_rational(parsed), "-617/2839");
}

// Copies take the two-word path when both words are inline; every mix of
// inline and heap source and target must give the value, and leave the
// source as it was.
TEST(Rational, CopiesAcrossInlineAndHeapValues) {
    const Rational small = parse_rational("-7/3");
    const Rational big = parse_rational("123456789012345678901234567891/7");
    const Rational big_den = parse_rational("1/123456789012345678901234567891");
    for (const Rational* from : {&small, &big, &big_den}) {
        for (const Rational* into : {&small, &big, &big_den}) {
            Rational target = *into;
            target = *from;
            EXPECT_EQ(target, *from);
            EXPECT_EQ(format_rational(target), format_rational(*from));
        }
        Rational copy(*from);
        copy += Rational(1);  // the copy owns its integers
        EXPECT_EQ(copy - Rational(1), *from);
    }
    EXPECT_EQ(format_rational(small), "-7/3");
    EXPECT_EQ(format_rational(big), "123456789012345678901234567891/7");
}

// Values held in their words are written straight from the words, larger
// ones through the big-integer printer; around the limit of a word both
// must give FLINT's own digits, and a point its three texts joined.
TEST(FormatRational, WordAndBigValuesGiveTheSameDigits) {
    const char* const kNums[] = {"0", "1", "-1", "4611686018427387903", "-4611686018427387903",
                                 "4611686018427387904", "-4611686018427387904",
                                 "-9223372036854775808", "123456789012345678901234567890"};
    const char* const kDens[] = {"1", "7", "4611686018427387903", "4611686018427387905"};
    for (const char* n : kNums)
        for (const char* d : kDens) {
            const Rational r = parse_rational(std::string(n) + "/" + d);
            char* text = fmpq_get_str(nullptr, 10, r.raw());
            std::string expected = text;
            flint_free(text);
            if (expected.find('/') == std::string::npos) expected += "/1";
            EXPECT_EQ(format_rational(r), expected) << n << "/" << d;
            const qs::Point3 p(r, Rational(-3, 2), r);
            EXPECT_EQ(qs::point_text(p), expected + ",-3/2," + expected) << n << "/" << d;
        }
}
