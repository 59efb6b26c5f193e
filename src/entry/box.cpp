#include "entry/box.hpp"

#include <utility>

#include "boolean/boolean.hpp"
#include "entry/texts.hpp"
#include "query/canonical.hpp"
#include "query/volume.hpp"
#include "solid/box.hpp"

namespace qs::entry {

namespace {

TextPair summary(const Solid& s) { return {format_rational(solid_volume6(s)), canonical_form(s)}; }

}  // namespace

TextPair box_form(std::string_view dx, std::string_view dy, std::string_view dz) {
    const Point3 d = parse_point(dx, dy, dz);
    return summary(build_box(d.x, d.y, d.z, "box"));
}

TextPair box_boolean(std::string_view dx, std::string_view dy, std::string_view dz,
                     std::string_view ex, std::string_view ey, std::string_view ez,
                     std::string_view tx, std::string_view ty, std::string_view tz,
                     std::string_view op) {
    const Point3 d = parse_point(dx, dy, dz), e = parse_point(ex, ey, ez),
                 t = parse_point(tx, ty, tz);
    Solid a = build_box(d.x, d.y, d.z, "A");
    // The box of sizes e translated by t, built in place.
    const Solid b = build_box_at(e.x, e.y, e.z, t, "B");
    return summary(boolean_solids(op, std::move(a), b));
}

}  // namespace qs::entry
