// One workload of bench_workloads.cpp, run once, for instruction counts:
//   valgrind --tool=callgrind --toggle-collect='qs::bench::run*' build-bench/bench_once plate
// counts the plate alone (building its boxes included), not the start-up.
// Workloads: plate, boxes, prism-N-coplanar|shifted-union|cut|intersect.
#include <cstdio>
#include <cstring>
#include <string>

#include "workloads.hpp"

namespace qs::bench {

// Not inlined, so callgrind's toggle finds them by name.
[[gnu::noinline]] std::size_t run_plate() { return plate().faces.size(); }
[[gnu::noinline]] std::size_t run_boxes() { return box_grid(); }
[[gnu::noinline]] std::size_t run_prism(const PrismPair& p, const char* op) {
    return boolean_solids(op, p.a, p.b).faces.size();
}

}  // namespace qs::bench

int main(int argc, char** argv) {
    using namespace qs::bench;
    const std::string w = argc > 1 ? argv[1] : "";
    if (w == "plate") {
        std::printf("plate: %zu faces\n", run_plate());
        return 0;
    }
    if (w == "boxes") {
        std::printf("boxes: %zu canonical characters\n", run_boxes());
        return 0;
    }
    int n = 0;
    char cap[16] = {}, op[16] = {};
    if (std::sscanf(w.c_str(), "prism-%d-%15[a-z]-%15[a-z]", &n, cap, op) == 3 && n >= 3) {
        const PrismPair p = prism_pair(n, std::strcmp(cap, "shifted") == 0);
        std::printf("%s: %zu faces\n", w.c_str(), run_prism(p, op));
        return 0;
    }
    std::fprintf(stderr, "usage: bench_once plate | boxes | prism-N-coplanar|shifted-OP\n");
    return 2;
}
