// The builders and the transforms: make_box, make_prism, make_prismatoid,
// and translate, scale, mirror and rotate_quarter on PySolid.
#include <string>

#include "bindings.hpp"
#include "entry/solid.hpp"
#include "solid/transform.hpp"

namespace qs::py {

namespace {

const char* const kBoxNames[] = {"dx", "dy", "dz", "prefix"};
const Signature kMakeBox{"make_box", kBoxNames, 4, 4};
const char* const kPrismNames[] = {"loop_flat", "h", "prefix"};
const Signature kMakePrism{"make_prism", kPrismNames, 3, 3};
const char* const kPrismatoidNames[] = {"bottom", "z0", "top", "z1", "prefix"};
const Signature kMakePrismatoid{"make_prismatoid", kPrismatoidNames, 5, 5};

const char* const kXyz[] = {"x", "y", "z"};
const char* const kFactors[] = {"fx", "fy", "fz"};
const char* const kMirror[] = {"axis"};
const char* const kRotate[] = {"axis", "quarters"};
const Signature kTranslateSig{"translate", kXyz, 3, 3};
const Signature kScaleSig{"scale", kFactors, 3, 3};
const Signature kMirrorSig{"mirror", kMirror, 1, 1};
const Signature kRotateSig{"rotate_quarter", kRotate, 2, 2};

}  // namespace

QS_BINDING(py_make_box) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[4];
        match(kMakeBox, args, nargs, kwnames, a);
        const auto d = arg_strs<3>(a, kBoxNames);
        const std::string prefix = arg_name(a[3], "prefix");
        return wrap_solid(entry::make_box(d[0], d[1], d[2], prefix));
    });
}

QS_BINDING(py_make_prism) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[3];
        match(kMakePrism, args, nargs, kwnames, a);
        std::vector<std::string> loop = arg_str_seq(a[0], "loop_flat");
        std::string h = arg_str(a[1], "h");
        std::string prefix = arg_name(a[2], "prefix");
        return wrap_solid(entry::make_prism(loop, h, prefix));
    });
}

QS_BINDING(py_make_prismatoid) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[5];
        match(kMakePrismatoid, args, nargs, kwnames, a);
        std::vector<std::string> bottom = arg_str_seq(a[0], "bottom");
        std::string z0 = arg_str(a[1], "z0");
        std::vector<std::string> top = arg_str_seq(a[2], "top");
        std::string z1 = arg_str(a[3], "z1");
        std::string prefix = arg_name(a[4], "prefix");
        return wrap_solid(entry::make_prismatoid(bottom, z0, top, z1, prefix));
    });
}

QS_BINDING(py_translate) {
    return guard([&]() -> PyObject* {
        PyObject* a[3];
        match(kTranslateSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(self, "self");
        const auto t = arg_strs<3>(a, kXyz);
        return wrap_solid(entry::translate(s, t[0], t[1], t[2]));
    });
}

QS_BINDING(py_scale) {
    return guard([&]() -> PyObject* {
        PyObject* a[3];
        match(kScaleSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(self, "self");
        const auto f = arg_strs<3>(a, kFactors);
        return wrap_solid(entry::scale(s, f[0], f[1], f[2]));
    });
}

QS_BINDING(py_mirror) {
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        match(kMirrorSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(self, "self");
        std::uint64_t axis = arg_u64(a[0], "axis");
        return wrap_solid(mirror_solid(s, axis));
    });
}

QS_BINDING(py_rotate_quarter) {
    return guard([&]() -> PyObject* {
        PyObject* a[2];
        match(kRotateSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(self, "self");
        std::uint64_t axis = arg_u64(a[0], "axis");
        std::int64_t quarters = arg_i64(a[1], "quarters");
        return wrap_solid(rotate_quarter_solid(s, axis, quarters));
    });
}

}  // namespace qs::py
