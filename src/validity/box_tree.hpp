// A bounding-volume hierarchy over axis-aligned boxes: the pairs of items
// whose boxes meet, and the items whose boxes a ray may meet, for the cost
// of what is near rather than of everything. It only ever narrows the
// candidates; every decision about them is made exactly by the caller.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "exact/interrupt.hpp"

namespace qs::validity {

struct Box {
    std::array<double, 3> lo, hi;
};

// Closed boxes: touching counts as meeting.
inline bool meet(const Box& a, const Box& b) {
    for (int k = 0; k < 3; ++k)
        if (a.lo[std::size_t(k)] > b.hi[std::size_t(k)] || b.lo[std::size_t(k)] > a.hi[std::size_t(k)])
            return false;
    return true;
}

class BoxTree {
public:
    // Item i has box boxes[i]. Built top down, splitting at the median of
    // the centres along the longest side, with an explicit stack.
    explicit BoxTree(const std::vector<Box>& boxes);

    // Calls pair(i, j), i < j, once for every two items whose boxes meet,
    // in an order fixed by the boxes alone, until pair returns false.
    template <class Pair>
    void pairs(Pair&& pair) const;

    // Calls hit(i) for every item whose box, widened by a margin far above
    // the rounding of the test, the ray o + t d, t >= 0, may meet.
    template <class Hit>
    void along_ray(const std::array<double, 3>& o, const std::array<double, 3>& d, Hit&& hit) const;

private:
    struct Node {
        Box box;
        std::uint32_t first, count;  // a leaf's items in order_; count 0: an inner node
        std::uint32_t left, right;
    };
    bool ray_meets(const Box& b, const std::array<double, 3>& o,
                   const std::array<double, 3>& d) const;
    // The sum of a box's sides: the larger of two meeting nodes is split.
    static double size(const Box& b) {
        return (b.hi[0] - b.lo[0]) + (b.hi[1] - b.lo[1]) + (b.hi[2] - b.lo[2]);
    }

    const std::vector<Box>& boxes_;
    std::vector<std::uint32_t> order_;
    std::vector<Node> nodes_;
};

template <class Pair>
void BoxTree::pairs(Pair&& pair) const {
    if (nodes_.empty()) return;
    auto leaf_pairs = [&](const Node& a, const Node& b, bool same) {
        for (std::uint32_t x = 0; x < a.count; ++x)
            for (std::uint32_t y = same ? x + 1 : 0; y < b.count; ++y) {
                const std::uint32_t i = order_[a.first + x], j = order_[b.first + y];
                if (meet(boxes_[i], boxes_[j]) && !pair(i < j ? i : j, i < j ? j : i)) return false;
            }
        return true;
    };
    std::vector<std::pair<std::uint32_t, std::uint32_t>> stack = {{0, 0}};
    while (!stack.empty()) {
        poll_interrupt();
        const auto [ia, ib] = stack.back();
        stack.pop_back();
        const Node& a = nodes_[ia];
        const Node& b = nodes_[ib];
        if (ia == ib) {
            if (a.count) {
                if (!leaf_pairs(a, a, true)) return;
            } else {
                stack.push_back({a.left, a.right});
                stack.push_back({a.right, a.right});
                stack.push_back({a.left, a.left});
            }
            continue;
        }
        if (!meet(a.box, b.box)) continue;
        if (a.count && b.count) {
            if (!leaf_pairs(a, b, false)) return;
        } else if (b.count || (!a.count && size(a.box) >= size(b.box))) {
            stack.push_back({a.right, ib});
            stack.push_back({a.left, ib});
        } else {
            stack.push_back({ia, b.right});
            stack.push_back({ia, b.left});
        }
    }
}

template <class Hit>
void BoxTree::along_ray(const std::array<double, 3>& o, const std::array<double, 3>& d,
                        Hit&& hit) const {
    if (nodes_.empty()) return;
    std::vector<std::uint32_t> stack = {0};
    while (!stack.empty()) {
        poll_interrupt();
        const Node& n = nodes_[stack.back()];
        stack.pop_back();
        if (!ray_meets(n.box, o, d)) continue;
        if (n.count) {
            for (std::uint32_t x = 0; x < n.count; ++x) {
                const std::uint32_t i = order_[n.first + x];
                if (ray_meets(boxes_[i], o, d)) hit(i);
            }
        } else {
            stack.push_back(n.right);
            stack.push_back(n.left);
        }
    }
}

}  // namespace qs::validity
