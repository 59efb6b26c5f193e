// The transforms, the boolean and the canonical form on PySolid, and the
// two box entry points.
#include "bindings.hpp"
#include "boolean/boolean.hpp"
#include "query/box_entry.hpp"
#include "query/canonical.hpp"
#include "solid/transform.hpp"

namespace qs::py {

namespace {

const char* const kXyz[] = {"x", "y", "z"};
const char* const kFactors[] = {"fx", "fy", "fz"};
const char* const kMirror[] = {"axis"};
const char* const kRotate[] = {"axis", "quarters"};
const char* const kBoolean[] = {"op", "other"};
const char* const kBoxForm[] = {"dx", "dy", "dz"};
const char* const kBoxBoolean[] = {"dx", "dy", "dz", "ex", "ey", "ez", "tx", "ty", "tz", "op"};

const Signature kTranslateSig{"translate", kXyz, 3, 3};
const Signature kScaleSig{"scale", kFactors, 3, 3};
const Signature kMirrorSig{"mirror", kMirror, 1, 1};
const Signature kRotateSig{"rotate_quarter", kRotate, 2, 2};
const Signature kBooleanSig{"boolean", kBoolean, 2, 2};
const Signature kCanonicalSig{"canonical", nullptr, 0, 0};
const Signature kBoxFormSig{"box_form", kBoxForm, 3, 3};
const Signature kBoxBooleanSig{"box_boolean", kBoxBoolean, 10, 10};

// Three str arguments, all converted before any is parsed.
Point3 three_numbers(PyObject* const* a, const char* const* names) {
    std::string x = arg_str(a[0], names[0]);
    std::string y = arg_str(a[1], names[1]);
    std::string z = arg_str(a[2], names[2]);
    Point3 p;
    p.x = parse_rational(x);
    p.y = parse_rational(y);
    p.z = parse_rational(z);
    return p;
}

}  // namespace

QS_BINDING(py_translate) {
    return guard([&]() -> PyObject* {
        PyObject* a[3];
        match(kTranslateSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(self, "self");
        return wrap_solid(translate_solid(s, three_numbers(a, kXyz)));
    });
}

QS_BINDING(py_scale) {
    return guard([&]() -> PyObject* {
        PyObject* a[3];
        match(kScaleSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(self, "self");
        Point3 f = three_numbers(a, kFactors);
        return wrap_solid(scale_solid(s, f.x, f.y, f.z));
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

QS_BINDING(py_boolean) {
    return guard([&]() -> PyObject* {
        PyObject* a[2];
        match(kBooleanSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(self, "self");
        std::string op = arg_name(a[0], "op");
        const Solid& other = borrow_solid(a[1], "other");
        return wrap_solid(boolean_solids(op, s, other));
    });
}

QS_BINDING(py_canonical) {
    return guard([&]() -> PyObject* {
        match(kCanonicalSig, args, nargs, kwnames, nullptr);
        const Solid& s = borrow_solid(self, "self");
        return new_str(canonical_form(s));
    });
}

QS_BINDING(py_box_form) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[3];
        match(kBoxFormSig, args, nargs, kwnames, a);
        std::string t[3];
        for (int i = 0; i < 3; ++i) t[i] = arg_str(a[i], kBoxForm[i]);
        TextPair r = box_form(t[0], t[1], t[2]);
        return new_str_pair(r.first, r.second);
    });
}

QS_BINDING(py_box_boolean) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[10];
        match(kBoxBooleanSig, args, nargs, kwnames, a);
        std::string t[10];
        for (int i = 0; i < 9; ++i) t[i] = arg_str(a[i], kBoxBoolean[i]);
        t[9] = arg_name(a[9], "op");
        TextPair r = box_boolean(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9]);
        return new_str_pair(r.first, r.second);
    });
}

}  // namespace qs::py
