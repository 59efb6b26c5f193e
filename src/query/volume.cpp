#include "query/volume.hpp"

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"

namespace qs {

Rational solid_volume6(const Solid& s) {
    Rational sum;
    Rational t;
    for (const Face& f : s.faces) {
        poll_interrupt();
        const auto& v = f.vertices;
        if (v.empty()) index_panic(0, 0);
        const Point3& p0 = v[0];
        for (std::size_t i = 1; i + 1 < v.size(); ++i) {
            // p0 . (a x b), accumulated in place to spare temporaries.
            const Point3& a = v[i];
            const Point3& b = v[i + 1];
            t = a.y * b.z;
            t.sub_mul(a.z, b.y);
            sum.add_mul(p0.x, t);
            t = a.z * b.x;
            t.sub_mul(a.x, b.z);
            sum.add_mul(p0.y, t);
            t = a.x * b.y;
            t.sub_mul(a.y, b.x);
            sum.add_mul(p0.z, t);
        }
    }
    return sum;
}

}  // namespace qs
