#include "query/logical_faces.hpp"

#include <set>

#include "exact/interrupt.hpp"
#include "query/primitive.hpp"

namespace qs {

std::array<Rational, 4> primitive_plane(const Plane& p) {
    std::array<Rational, 4> k = {p.normal.x, p.normal.y, p.normal.z, p.offset};
    detail::make_primitive(k.data(), k.size());
    return k;
}

std::string plane_key(const std::array<Rational, 4>& k) {
    std::string key;
    for (std::size_t i = 0; i < k.size(); ++i) {
        if (i) key.push_back(',');
        // Integers only: the numerator is the whole value.
        append_fmpz(key, k[i].num());
    }
    return key;
}

std::size_t logical_faces(const Solid& s) {
    std::set<std::string> keys;
    for (const Face& f : s.faces) {
        poll_interrupt();
        keys.insert(plane_key(primitive_plane(f.plane)));
    }
    return keys.size();
}

}  // namespace qs
