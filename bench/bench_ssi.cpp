// The two searches of ssi_pairs side by side on the same patches: the plain
// algorithm (rational de Casteljau, a control box per child) against the
// search in scaled integers that ssi_pairs runs past the first level. Both
// give the same pairs; a timing covers the whole search from the two nets to
// the list of pairs (no text). The patches are those of bench_nurbs.py: a
// bicubic dome and a tilted plane that cross along a closed curve.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>

#include "nurbs/ssi.hpp"

using namespace qs;
using namespace qs::nurbs;

namespace {

Net bicubic(const std::function<Rational(long, long)>& height) {
    Net net(4);
    for (long i = 0; i < 4; ++i)
        for (long j = 0; j < 4; ++j) net[i].push_back({Rational(i, 3), Rational(j, 3), height(i, j)});
    return net;
}

const Net kDome = bicubic([](long i, long j) { return Rational((i - 1) * (2 - i) + (j - 1) * (2 - j) + 2); });
const Net kTilt = bicubic([](long i, long j) { return Rational(i - j, 5) + Rational(1, 7); });
const ParamBox kUnit{Rational(0), Rational(1), Rational(0), Rational(1)};

void BM_SsiPlain(benchmark::State& st) {
    const auto depth = static_cast<std::uint64_t>(st.range(0));
    std::size_t pairs = 0;
    for (auto _ : st) pairs = ssi_pairs_plain(kDome, kTilt, kUnit, kUnit, depth).size();
    st.counters["pairs"] = static_cast<double>(pairs);
}

void BM_SsiFast(benchmark::State& st) {
    const auto depth = static_cast<std::uint64_t>(st.range(0));
    std::size_t pairs = 0;
    for (auto _ : st) pairs = ssi_pairs(kDome, kTilt, kUnit, kUnit, depth).size();
    st.counters["pairs"] = static_cast<double>(pairs);
}

}  // namespace

BENCHMARK(BM_SsiPlain)->DenseRange(4, 8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SsiFast)->DenseRange(4, 8)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
