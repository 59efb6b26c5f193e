#include "validity/box_tree.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numeric>

namespace qs::validity {

namespace {

constexpr std::uint32_t kLeafSize = 4;

Box empty_box() {
    return {{HUGE_VAL, HUGE_VAL, HUGE_VAL}, {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL}};
}

void grow(Box& into, const Box& b) {
    for (std::size_t k = 0; k < 3; ++k) {
        into.lo[k] = std::min(into.lo[k], b.lo[k]);
        into.hi[k] = std::max(into.hi[k], b.hi[k]);
    }
}

// A box's centre along axis k, finite even for infinite boxes (numbers
// beyond the doubles), so that sorting by it is well defined.
double centre(const Box& b, std::size_t k) {
    const double lo = std::clamp(b.lo[k], -DBL_MAX, DBL_MAX);
    const double hi = std::clamp(b.hi[k], -DBL_MAX, DBL_MAX);
    return lo / 2 + hi / 2;
}

}  // namespace

BoxTree::BoxTree(const std::vector<Box>& boxes) : boxes_(boxes), order_(boxes.size()) {
    if (boxes.empty()) return;
    std::iota(order_.begin(), order_.end(), 0u);
    std::vector<std::array<double, 3>> centres(boxes.size());
    for (std::size_t i = 0; i < boxes.size(); ++i)
        for (std::size_t k = 0; k < 3; ++k) centres[i][k] = centre(boxes[i], k);
    nodes_.reserve(2 * boxes.size() / kLeafSize + 2);
    struct Todo {
        std::uint32_t node, first, count;
    };
    nodes_.push_back({});
    std::vector<Todo> stack = {{0, 0, std::uint32_t(boxes.size())}};
    while (!stack.empty()) {
        poll_interrupt();
        const Todo t = stack.back();
        stack.pop_back();
        Box box = empty_box(), spread = empty_box();
        for (std::uint32_t x = t.first; x < t.first + t.count; ++x) {
            grow(box, boxes_[order_[x]]);
            const auto& c = centres[order_[x]];
            grow(spread, Box{c, c});
        }
        nodes_[t.node].box = box;
        if (t.count <= kLeafSize) {
            nodes_[t.node].first = t.first;
            nodes_[t.node].count = t.count;
            continue;
        }
        std::size_t axis = 0;
        for (std::size_t k = 1; k < 3; ++k)
            if (spread.hi[k] - spread.lo[k] > spread.hi[axis] - spread.lo[axis]) axis = k;
        const std::uint32_t half = t.count / 2;
        auto begin = order_.begin() + t.first;
        // Ties are broken by index, so the tree depends on the boxes alone.
        std::nth_element(begin, begin + half, begin + t.count,
                         [&](std::uint32_t i, std::uint32_t j) {
                             const double ci = centres[i][axis], cj = centres[j][axis];
                             return ci < cj || (ci == cj && i < j);
                         });
        const auto left = std::uint32_t(nodes_.size());
        nodes_.push_back({});
        nodes_.push_back({});
        nodes_[t.node].count = 0;
        nodes_[t.node].left = left;
        nodes_[t.node].right = left + 1;
        stack.push_back({left, t.first, half});
        stack.push_back({left + 1, t.first + half, t.count - half});
    }
}

// The slab test in doubles, on a box widened on every side by 2^-30 of the
// magnitudes involved: the origin and direction are the nearest doubles of
// exact values and the divisions round, but those errors are some 2^-50 of
// the same magnitudes, so no box the exact ray meets is passed over. A NaN
// (from infinite boxes) compares false and keeps the box.
bool BoxTree::ray_meets(const Box& b, const std::array<double, 3>& o,
                        const std::array<double, 3>& d) const {
    double t0 = 0, t1 = HUGE_VAL;
    for (std::size_t k = 0; k < 3; ++k) {
        const double margin =
            0x1p-30 * (std::fabs(o[k]) + std::max(std::fabs(b.lo[k]), std::fabs(b.hi[k]))) +
            0x1p-1000;
        const double lo = b.lo[k] - margin, hi = b.hi[k] + margin;
        if (d[k] == 0) {
            if (o[k] < lo || o[k] > hi) return false;
            continue;
        }
        double ta = (lo - o[k]) / d[k], tb = (hi - o[k]) / d[k];
        if (ta > tb) std::swap(ta, tb);
        if (ta > t0) t0 = ta;
        if (tb < t1) t1 = tb;
        if (t0 > t1) return false;
    }
    return true;
}

}  // namespace qs::validity
