#include "entry/solid.hpp"

#include <utility>

#include "chamfer/chamfer.hpp"
#include "solid/box.hpp"
#include "solid/transform.hpp"

namespace qs::entry {

Solid make_box(std::string_view dx, std::string_view dy, std::string_view dz,
               std::string_view prefix) {
    const Point3 d = parse_point(dx, dy, dz);
    return build_box(d.x, d.y, d.z, prefix);
}

std::vector<Point2> read_flat_points(const Texts& texts) {
    std::vector<Point2> out;
    out.reserve(texts.size() / 2);
    for (std::size_t i = 0; i + 1 < texts.size(); i += 2) {
        poll_interrupt();
        Rational x = parse_rational(texts[i]);
        Rational y = parse_rational(texts[i + 1]);
        out.push_back({std::move(x), std::move(y)});
    }
    return out;
}

Solid make_prism(const Texts& loop_flat, std::string_view h, std::string_view prefix) {
    std::vector<Point2> p = read_flat_points(loop_flat);
    const Rational height = parse_rational(h);
    return build_prism(std::move(p), height, prefix);
}

Solid make_prismatoid(const Texts& bottom, std::string_view z0, const Texts& top,
                      std::string_view z1, std::string_view prefix) {
    std::vector<Point2> b = read_flat_points(bottom);
    const Rational lo = parse_rational(z0);
    std::vector<Point2> t = read_flat_points(top);
    const Rational hi = parse_rational(z1);
    return build_prismatoid(std::move(b), lo, std::move(t), hi, prefix);
}

Solid translate(const Solid& s, std::string_view x, std::string_view y, std::string_view z) {
    return translate_solid(s, parse_point(x, y, z));
}

Solid scale(const Solid& s, std::string_view fx, std::string_view fy, std::string_view fz) {
    const Point3 f = parse_point(fx, fy, fz);
    return scale_solid(s, f.x, f.y, f.z);
}

Solid chamfer(const Solid& s, std::string_view dist) { return chamfer_solid(s, parse_rational(dist)); }

}  // namespace qs::entry
