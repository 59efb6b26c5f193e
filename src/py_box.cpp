// make_box and the volume queries.
#include "bindings.hpp"
#include "query/volume.hpp"
#include "solid/box.hpp"

namespace qs::py {

namespace {

const char* const kBoxNames[] = {"dx", "dy", "dz", "prefix"};
const Signature kMakeBox{"make_box", kBoxNames, 4, 4};
const Signature kVolume{"volume", nullptr, 0, 0};
const Signature kVolume6{"volume6_str", nullptr, 0, 0};

}  // namespace

QS_BINDING(py_make_box) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[4];
        match(kMakeBox, args, nargs, kwnames, a);
        std::string dx = arg_str(a[0], "dx");
        std::string dy = arg_str(a[1], "dy");
        std::string dz = arg_str(a[2], "dz");
        std::string prefix = arg_name(a[3], "prefix");
        Rational x = parse_rational(dx);
        Rational y = parse_rational(dy);
        Rational z = parse_rational(dz);
        return wrap_solid(build_box(x, y, z, prefix));
    });
}

QS_BINDING(py_volume) {
    return guard([&]() -> PyObject* {
        match(kVolume, args, nargs, kwnames, nullptr);
        const Solid& s = borrow_solid(self, "self");
        Rational v = solid_volume6(s) / Rational(6);
        return check(PyFloat_FromDouble(rational_to_double(v)));
    });
}

QS_BINDING(py_volume6_str) {
    return guard([&]() -> PyObject* {
        match(kVolume6, args, nargs, kwnames, nullptr);
        const Solid& s = borrow_solid(self, "self");
        return new_str(format_rational(solid_volume6(s)));
    });
}

}  // namespace qs::py
