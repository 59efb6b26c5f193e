// The workloads of bench_peers.py on the core directly: the prism pairs
// (each op, both cap cases), the plate of holes and the 200 box booleans.
// A prism time covers the boolean alone (operands built once, outside the
// loop), as in the Python script; the plate and the grid include building
// and moving their boxes.
#include <benchmark/benchmark.h>

#include "workloads.hpp"

using namespace qs;

namespace {

void BM_PrismPair(benchmark::State& st) {
    const int n = int(st.range(0));
    const bool shifted = st.range(1) != 0;
    const char* op = bench::kOps[st.range(2)];
    const bench::PrismPair p = bench::prism_pair(n, shifted);
    std::size_t faces = 0;
    for (auto _ : st) {
        Solid r = boolean_solids(op, p.a, p.b);
        faces = r.faces.size();
        benchmark::DoNotOptimize(r);
    }
    st.SetLabel(std::string(op) + (shifted ? " shifted caps" : " coplanar caps"));
    st.counters["faces"] = double(faces);
}

void BM_Plate(benchmark::State& st) {
    std::size_t faces = 0;
    for (auto _ : st) faces = bench::plate().faces.size();
    st.counters["faces"] = double(faces);
}

void BM_BoxPairs(benchmark::State& st) {
    std::size_t chars = 0;
    for (auto _ : st) chars += bench::box_grid();
    benchmark::DoNotOptimize(chars);
}

void prism_args(benchmark::internal::Benchmark* b) {
    for (int n : {16, 64, 256, 1024})
        for (int shifted : {0, 1})
            for (int op : {0, 1, 2}) b->Args({n, shifted, op});
}

}  // namespace

BENCHMARK(BM_PrismPair)->Apply(prism_args)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxPairs)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
