// Chamfer by 1/10 of a unit cube, an L-shaped prism and a plate with an
// n x n grid of through-holes: time per call, cuts per second (edge and
// corner cuts counted by the chamfer itself) and the result's face count.
#include <benchmark/benchmark.h>

#include <vector>

#include "boolean/boolean.hpp"
#include "chamfer/chamfer.hpp"
#include "solid/box.hpp"
#include "solid/prism.hpp"
#include "solid/transform.hpp"

namespace {

using qs::Rational;

qs::Solid holed_plate(long n) {
    qs::Solid plate = qs::build_box(Rational(2 * n + 1), Rational(2 * n + 1), Rational(1), "plate");
    qs::Solid hole = qs::build_box(Rational(1), Rational(1), Rational(3), "hole");
    for (long i = 0; i < n; ++i) {
        for (long j = 0; j < n; ++j) {
            qs::Point3 at(Rational(2 * i + 1), Rational(2 * j + 1), Rational(-1));
            plate = qs::boolean_solids("cut", plate, qs::translate_solid(hole, at));
        }
    }
    return plate;
}

qs::Solid l_prism() {
    std::vector<qs::Point2> l = {{Rational(0), Rational(0)}, {Rational(2), Rational(0)},
                                 {Rational(2), Rational(1)}, {Rational(1), Rational(1)},
                                 {Rational(1), Rational(2)}, {Rational(0), Rational(2)}};
    return qs::build_prism(std::move(l), Rational(1), "l");
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
    st.counters["cuts_per_s"] = benchmark::Counter(cuts, benchmark::Counter::kIsIterationInvariantRate);
    st.counters["faces_in"] = double(s.faces.size());
    st.counters["faces_out"] = double(faces);
}

void BM_ChamferCube(benchmark::State& st) {
    run(st, qs::build_box(Rational(1), Rational(1), Rational(1), "c"));
}
void BM_ChamferLPrism(benchmark::State& st) { run(st, l_prism()); }
void BM_ChamferPlate(benchmark::State& st) { run(st, holed_plate(st.range(0))); }

}  // namespace

BENCHMARK(BM_ChamferCube)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChamferLPrism)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChamferPlate)->Arg(3)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
