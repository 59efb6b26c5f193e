// Cost of the Rational wrapper beside raw fmpq calls on the same values,
// for one-word values and for 100-digit values.
#include <benchmark/benchmark.h>

#include <string>

#include "exact/parse.hpp"
#include "exact/rational.hpp"

using qs::Rational;

namespace {

const std::string kSmallA = "123456789/987654", kSmallB = "-5/7";
std::string digits_over(char sign, char num, char den) {
    std::string s;
    if (sign) s.push_back(sign);
    s.append(100, num);
    s.push_back('/');
    s.append(99, den);
    s.push_back('1');
    return s;
}
const std::string kBigA = digits_over(0, '7', '3');
const std::string kBigB = digits_over('-', '9', '1');

const std::string& pick_a(int64_t big) { return big ? kBigA : kSmallA; }
const std::string& pick_b(int64_t big) { return big ? kBigB : kSmallB; }

void BM_WrapperAdd(benchmark::State& st) {
    Rational a = qs::parse_rational(pick_a(st.range(0))), b = qs::parse_rational(pick_b(st.range(0)));
    for (auto _ : st) {
        Rational c = a + b;
        benchmark::DoNotOptimize(c);
    }
}
void BM_RawAdd(benchmark::State& st) {
    Rational a = qs::parse_rational(pick_a(st.range(0))), b = qs::parse_rational(pick_b(st.range(0)));
    for (auto _ : st) {
        fmpq_t c;
        fmpq_init(c);
        fmpq_add(c, a.raw(), b.raw());
        benchmark::DoNotOptimize(c);
        fmpq_clear(c);
    }
}
void BM_WrapperMul(benchmark::State& st) {
    Rational a = qs::parse_rational(pick_a(st.range(0))), b = qs::parse_rational(pick_b(st.range(0)));
    for (auto _ : st) {
        Rational c = a * b;
        benchmark::DoNotOptimize(c);
    }
}
void BM_RawMul(benchmark::State& st) {
    Rational a = qs::parse_rational(pick_a(st.range(0))), b = qs::parse_rational(pick_b(st.range(0)));
    for (auto _ : st) {
        fmpq_t c;
        fmpq_init(c);
        fmpq_mul(c, a.raw(), b.raw());
        benchmark::DoNotOptimize(c);
        fmpq_clear(c);
    }
}
void BM_WrapperCompare(benchmark::State& st) {
    Rational a = qs::parse_rational(pick_a(st.range(0))), b = qs::parse_rational(pick_b(st.range(0)));
    for (auto _ : st) benchmark::DoNotOptimize(a < b);
}
void BM_RawCompare(benchmark::State& st) {
    Rational a = qs::parse_rational(pick_a(st.range(0))), b = qs::parse_rational(pick_b(st.range(0)));
    for (auto _ : st) benchmark::DoNotOptimize(fmpq_cmp(a.raw(), b.raw()) < 0);
}
void BM_WrapperParse(benchmark::State& st) {
    const std::string& text = pick_a(st.range(0));
    for (auto _ : st) {
        Rational r = qs::parse_rational(text);
        benchmark::DoNotOptimize(r);
    }
}
// FLINT's own reader on the same text (it has no underscores or sign
// rules), brought to lowest terms as every parsed value must be.
void BM_RawParse(benchmark::State& st) {
    const std::string& text = pick_a(st.range(0));
    for (auto _ : st) {
        fmpq_t r;
        fmpq_init(r);
        fmpq_set_str(r, text.c_str(), 10);
        fmpq_canonicalise(r);
        benchmark::DoNotOptimize(r);
        fmpq_clear(r);
    }
}
void BM_Format(benchmark::State& st) {
    Rational a = qs::parse_rational(pick_a(st.range(0)));
    for (auto _ : st) benchmark::DoNotOptimize(qs::format_rational(a));
}
void BM_ToDouble(benchmark::State& st) {
    Rational a = qs::parse_rational(pick_a(st.range(0)));
    for (auto _ : st) benchmark::DoNotOptimize(qs::rational_to_double(a));
}

}  // namespace

// Argument 0: one-word values; 1: 100-digit values.
BENCHMARK(BM_WrapperAdd)->Arg(0)->Arg(1);
BENCHMARK(BM_RawAdd)->Arg(0)->Arg(1);
BENCHMARK(BM_WrapperMul)->Arg(0)->Arg(1);
BENCHMARK(BM_RawMul)->Arg(0)->Arg(1);
BENCHMARK(BM_WrapperCompare)->Arg(0)->Arg(1);
BENCHMARK(BM_RawCompare)->Arg(0)->Arg(1);
BENCHMARK(BM_WrapperParse)->Arg(0)->Arg(1);
BENCHMARK(BM_RawParse)->Arg(0)->Arg(1);
BENCHMARK(BM_Format)->Arg(0)->Arg(1);
BENCHMARK(BM_ToDouble)->Arg(0)->Arg(1);

BENCHMARK_MAIN();
