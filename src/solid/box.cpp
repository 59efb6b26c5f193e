#include "solid/box.hpp"

#include <string>

namespace qs {

namespace {

// Corner i: x = dx for i in {1,2,5,6}, y = dy for {2,3,6,7}, z = dz for {4..7}.
bool far_side(int corner, int axis) {
    switch (axis) {
        case 0: return corner == 1 || corner == 2 || corner == 5 || corner == 6;
        case 1: return corner == 2 || corner == 3 || corner == 6 || corner == 7;
        default: return corner >= 4;
    }
}

// Each face's name and the one axis its normal points along, in the order
// of kBoxLoops.
struct BoxFace {
    const char* name;
    int axis;
    bool outward;  // the normal points towards +axis for positive sizes
};
const BoxFace kFaces[6] = {
    {"bottom", 2, false}, {"top", 2, true},   {"front", 1, false},
    {"back", 1, true},    {"right", 0, true}, {"left", 0, false},
};

}  // namespace

// The faces make_face would build from these loops, without its rational
// cross products: for a loop of a box, (P1 - P0) x (P2 - P0) has one
// nonzero component, plus or minus the product of the two sizes across
// that axis, and the offset is that component times P0's coordinate on
// the axis. The approximations take two values per axis. A face's area
// vector is twice its normal, so the faces the degenerate filter would drop
// are exactly those with a zero normal.
Solid build_box_at(const Rational& dx, const Rational& dy, const Rational& dz, const Point3& at,
                   std::string_view prefix) {
    const Rational* size[3] = {&dx, &dy, &dz};
    Rational value[3][2];
    double approx[3][2];
    for (int c = 0; c < 3; ++c) {
        value[c][0] = at[c];
        value[c][1] = at[c] + *size[c];
        for (int k = 0; k < 2; ++k) approx[c][k] = rational_to_double(value[c][k]);
    }
    // Across x: dy dz; across y: dx dz; across z: dx dy.
    const Rational across[3] = {dy * dz, dx * dz, dx * dy};
    Solid s;
    s.faces.reserve(6);
    for (int i = 0; i < 6; ++i) {
        const BoxFace& b = kFaces[i];
        if (across[b.axis].is_zero()) continue;
        Face& f = s.faces.emplace_back();
        f.vertices.reserve(4);
        f.approx.reserve(4);
        for (int corner : kBoxLoops[i]) {
            const int k[3] = {far_side(corner, 0), far_side(corner, 1), far_side(corner, 2)};
            f.vertices.emplace_back(value[0][k[0]], value[1][k[1]], value[2][k[2]]);
            f.approx.push_back({approx[0][k[0]], approx[1][k[1]], approx[2][k[2]]});
        }
        Rational& n = f.plane.normal[b.axis];
        n = across[b.axis];
        if (!b.outward) n.negate();
        f.plane.offset = n * f.vertices[0][b.axis];
        f.planar = true;  // its corners share the coordinate along the axis
        f.label.reserve(prefix.size() + 8);
        f.label.append(prefix);
        f.label += '.';
        f.label += b.name;
    }
    return s;
}

Solid build_box(const Rational& dx, const Rational& dy, const Rational& dz,
                std::string_view prefix) {
    return build_box_at(dx, dy, dz, Point3(), prefix);
}

}  // namespace qs
