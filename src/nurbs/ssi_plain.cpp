// The intersection search as the algorithm states it, on the literal pieces
// of patch.hpp: each level tests every pair, halves both patches of each
// pair that overlaps, and keeps the pairs of children whose boxes meet.
#include <utility>

#include "exact/interrupt.hpp"
#include "nurbs/ssi.hpp"

namespace qs::nurbs {

std::vector<PairBoxes> ssi_pairs_plain(const Net& a, const Net& b, const ParamBox& a_box,
                                       const ParamBox& b_box, std::uint64_t depth) {
    std::vector<std::pair<Patch, Patch>> list;
    list.emplace_back(Patch{a, a_box}, Patch{b, b_box});
    for (std::uint64_t level = 0; level < depth; ++level) {
        std::vector<std::pair<Patch, Patch>> next;
        for (const auto& [pa, pb] : list) {
            poll_interrupt();
            if (!boxes_overlap(control_box(pa.net), control_box(pb.net))) continue;
            std::array<Patch, 4> ka = subdivide_patch(pa);
            std::array<Patch, 4> kb = subdivide_patch(pb);
            // The boxes of b's children once per parent pair.
            std::array<ControlBox, 4> bb;
            for (int j = 0; j < 4; ++j) bb[j] = control_box(kb[j].net);
            for (const Patch& x : ka) {
                const ControlBox bx = control_box(x.net);
                for (int j = 0; j < 4; ++j)
                    if (boxes_overlap(bx, bb[j])) next.emplace_back(x, kb[j]);
            }
        }
        // No later level can add pairs.
        if (next.empty()) return {};
        list = std::move(next);
    }
    std::vector<PairBoxes> out;
    out.reserve(list.size());
    for (const auto& [pa, pb] : list) out.push_back(boxes_of(pa.box, pb.box));
    return out;
}

}  // namespace qs::nurbs
