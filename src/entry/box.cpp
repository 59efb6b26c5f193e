#include "entry/box.hpp"

#include "boolean/boolean.hpp"
#include "exact/parse.hpp"
#include "query/canonical.hpp"
#include "query/volume.hpp"
#include "solid/box.hpp"

namespace qs::entry {

namespace {

TextPair summary(const Solid& s) { return {format_rational(solid_volume6(s)), canonical_form(s)}; }

}  // namespace

TextPair box_form(std::string_view dx, std::string_view dy, std::string_view dz) {
    Rational x = parse_rational(dx);
    Rational y = parse_rational(dy);
    Rational z = parse_rational(dz);
    return summary(build_box(x, y, z, "box"));
}

TextPair box_boolean(std::string_view dx, std::string_view dy, std::string_view dz,
                     std::string_view ex, std::string_view ey, std::string_view ez,
                     std::string_view tx, std::string_view ty, std::string_view tz,
                     std::string_view op) {
    Solid a;
    {
        Rational x = parse_rational(dx);
        Rational y = parse_rational(dy);
        Rational z = parse_rational(dz);
        a = build_box(x, y, z, "A");
    }
    Rational x = parse_rational(ex);
    Rational y = parse_rational(ey);
    Rational z = parse_rational(ez);
    Point3 t;
    t.x = parse_rational(tx);
    t.y = parse_rational(ty);
    t.z = parse_rational(tz);
    // The box of sizes x, y, z translated by t, built in place.
    const Solid b = build_box_at(x, y, z, t, "B");
    return summary(boolean_solids(op, a, b));
}

}  // namespace qs::entry
