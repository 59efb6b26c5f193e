#include "query/bbox.hpp"

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"

namespace qs {

std::pair<Point3, Point3> solid_bbox(const Solid& s) {
    if (s.faces.empty()) index_panic(0, 0);
    const auto& first = s.faces[0].vertices;
    if (first.empty()) index_panic(0, 0);
    Point3 lo = first[0];
    Point3 hi = first[0];
    for (const Face& f : s.faces)
        for (const Point3& p : f.vertices)
            for (int c = 0; c < 3; ++c) {
                if (p[c] < lo[c])
                    lo[c] = p[c];
                else if (p[c] > hi[c])
                    hi[c] = p[c];
            }
    return {std::move(lo), std::move(hi)};
}

}  // namespace qs
