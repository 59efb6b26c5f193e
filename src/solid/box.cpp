#include "solid/box.hpp"

#include <string>

namespace qs {

Solid build_box(const Rational& dx, const Rational& dy, const Rational& dz,
                std::string_view prefix) {
    // Corner i: x = dx for i in {1,2,5,6}, y = dy for {2,3,6,7}, z = dz for {4..7}.
    auto corner = [&](int i) {
        bool ix = i == 1 || i == 2 || i == 5 || i == 6;
        bool iy = i == 2 || i == 3 || i == 6 || i == 7;
        bool iz = i >= 4;
        return Point3(ix ? dx : Rational(), iy ? dy : Rational(), iz ? dz : Rational());
    };
    struct BoxFace {
        const char* name;
        int loop[4];
    };
    static const BoxFace kFaces[6] = {
        {"bottom", {0, 3, 2, 1}}, {"top", {4, 5, 6, 7}},   {"front", {0, 1, 5, 4}},
        {"back", {2, 3, 7, 6}},   {"right", {1, 2, 6, 5}}, {"left", {3, 0, 4, 7}},
    };
    std::vector<Face> faces;
    faces.reserve(6);
    for (const BoxFace& s : kFaces) {
        std::vector<Point3> v;
        v.reserve(4);
        for (int c : s.loop) v.push_back(corner(c));
        std::string label(prefix);
        label += '.';
        label += s.name;
        faces.push_back(make_face(std::move(v), std::move(label)));
    }
    return solid_from_faces(std::move(faces));
}

}  // namespace qs
