// Chamfer by 1/10 of a unit cube, the L plate, a staircase plate, the plate
// of holes of the boolean benchmarks and bench_boolean.py's spiral
// staircase: time per call, cuts per second (edge and corner cuts counted by
// the chamfer itself) and the result's face count. The solids are built once,
// outside the timing; a call includes finding the edges and corners, making
// the cutters and every boolean cut.
#include <benchmark/benchmark.h>

#include <vector>

#include "chamfer/chamfer.hpp"
#include "solid/box.hpp"
#include "solid/prism.hpp"
#include "workloads.hpp"

namespace {

using qs::Rational;

qs::Solid plate_of(const std::vector<long>& xy) {
    std::vector<qs::Point2> poly;
    for (std::size_t i = 0; i + 1 < xy.size(); i += 2)
        poly.push_back({Rational(xy[i]), Rational(xy[i + 1])});
    return qs::build_prism(std::move(poly), Rational(1), "l");
}

// A staircase outline of `steps` unit steps: (0,0), (k,0), (k,1), (k-1,1),
// (k-1,2), ..., (1,k), (0,k).
qs::Solid staircase_plate(long steps) {
    std::vector<long> xy = {0, 0, steps, 0};
    for (long i = 0; i < steps; ++i) {
        xy.insert(xy.end(), {steps - i, i + 1});
        if (i + 1 < steps) xy.insert(xy.end(), {steps - i - 1, i + 1});
    }
    xy.insert(xy.end(), {0, steps});
    return plate_of(xy);
}

void run(benchmark::State& st, const qs::Solid& s) {
    const Rational d(1, 10);
    qs::ChamferStats stats;
    std::size_t faces = 0;
    for (auto _ : st) {
        qs::Solid r = qs::chamfer_solid(s, d, &stats);
        faces = r.faces.size();
        benchmark::DoNotOptimize(r);
    }
    const double cuts = double(stats.edge_cuts + stats.corner_cuts);
    st.counters["edge_cuts"] = double(stats.edge_cuts);
    st.counters["corner_cuts"] = double(stats.corner_cuts);
    st.counters["cuts_per_s"] =
        benchmark::Counter(cuts, benchmark::Counter::kIsIterationInvariantRate);
    st.counters["faces_in"] = double(s.faces.size());
    st.counters["faces_out"] = double(faces);
}

void BM_ChamferCube(benchmark::State& st) {
    run(st, qs::build_box(Rational(1), Rational(1), Rational(1), "c"));
}
void BM_ChamferLPlate(benchmark::State& st) {
    run(st, plate_of({0, 0, 2, 0, 2, 1, 1, 1, 1, 2, 0, 2}));
}
void BM_ChamferStaircase(benchmark::State& st) { run(st, staircase_plate(st.range(0))); }
void BM_ChamferPlate(benchmark::State& st) { run(st, qs::bench::plate()); }
void BM_ChamferSpiral(benchmark::State& st) { run(st, qs::bench::spiral_staircase()); }

}  // namespace

BENCHMARK(BM_ChamferCube)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChamferLPlate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChamferStaircase)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChamferPlate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChamferSpiral)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
