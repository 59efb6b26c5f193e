// The three whole-operation workloads of bench/bench_boolean.py, run on the
// core directly: operations per second without the Python layer, and the
// share of vertex tests that the double filter decided (the rest fell back
// to rationals). The workloads draw from the same generator as the Python
// script, so both see the same boxes.
#include <benchmark/benchmark.h>

#include <string>

#include "boolean/classify.hpp"
#include "workloads.hpp"

using namespace qs;

namespace {

void report(benchmark::State& st, double ops_per_iteration, std::size_t faces) {
    ClassifyStats s = classify_stats();
    double total = double(s.filtered + s.exact);
    st.counters["ops/s"] =
        benchmark::Counter(ops_per_iteration, benchmark::Counter::kIsIterationInvariantRate);
    st.counters["filter_share"] = total > 0 ? double(s.filtered) / total : 0.0;
    st.counters["tests/iter"] = total / double(st.iterations());
    st.counters["faces"] = double(faces);
}

// 200 booleans of two boxes on a small integer grid: faces coincide and
// touch all the time, so many tests land exactly on a plane.
void BM_BoxBooleanGrid(benchmark::State& st) {
    std::size_t chars = 0;
    reset_classify_stats();
    for (auto _ : st) chars += bench::box_grid();
    benchmark::DoNotOptimize(chars);
    report(st, 200, 0);
}

// A 21 x 21 x 1 slab with a 10 x 10 grid of unit holes cut one after
// another: the working solid grows with every cut.
void BM_PlateOfHoles(benchmark::State& st) {
    std::size_t faces = 0;
    reset_classify_stats();
    for (auto _ : st) faces = bench::plate().faces.size();
    report(st, 100, faces);
}

// The spiral staircase: 49 unions, the result growing with each.
void BM_Staircase(benchmark::State& st) {
    std::size_t faces = 0;
    reset_classify_stats();
    for (auto _ : st) faces = bench::spiral_staircase().faces.size();
    report(st, 49, faces);
}

}  // namespace

BENCHMARK(BM_BoxBooleanGrid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlateOfHoles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Staircase)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
