// The queries on PySolid (volume, volume6_str, canonical, watertight_ok,
// logical_faces, bbox) and the two box entry points box_form and
// box_boolean.
#include "bindings.hpp"
#include "entry/box.hpp"
#include "query/bbox.hpp"
#include "query/canonical.hpp"
#include "query/logical_faces.hpp"
#include "query/volume.hpp"
#include "query/watertight.hpp"

namespace qs::py {

namespace {

const Signature kVolume{"volume", nullptr, 0, 0};
const Signature kVolume6{"volume6_str", nullptr, 0, 0};
const Signature kCanonical{"canonical", nullptr, 0, 0};
const Signature kWatertight{"watertight_ok", nullptr, 0, 0};
const Signature kLogicalFaces{"logical_faces", nullptr, 0, 0};
const Signature kBbox{"bbox", nullptr, 0, 0};

const char* const kBoxForm[] = {"dx", "dy", "dz"};
const char* const kBoxBoolean[] = {"dx", "dy", "dz", "ex", "ey", "ez", "tx", "ty", "tz", "op"};
const Signature kBoxFormSig{"box_form", kBoxForm, 3, 3};
const Signature kBoxBooleanSig{"box_boolean", kBoxBoolean, 10, 10};

// A query takes no arguments, reads the instance and gives one answer.
template <const Signature& sig, PyObject* (*answer)(const Solid&)>
PyObject* query(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        match(sig, args, nargs, kwnames, nullptr);
        return answer(borrow_solid(self, "self"));
    });
}

PyObject* volume_of(const Solid& s) {
    const Rational v = solid_volume6(s) / Rational(6);
    return check(PyFloat_FromDouble(rational_to_double(v)));
}

PyObject* volume6_of(const Solid& s) { return new_str(format_rational(solid_volume6(s))); }

PyObject* canonical_of(const Solid& s) { return new_str(canonical_form(s)); }

PyObject* watertight_of(const Solid& s) { return check(PyBool_FromLong(watertight_ok(s) ? 1 : 0)); }

PyObject* logical_faces_of(const Solid& s) { return check(PyLong_FromSize_t(logical_faces(s))); }

PyObject* bbox_of(const Solid& s) {
    auto [lo, hi] = solid_bbox(s);
    const Rational* values[6] = {&lo.x, &lo.y, &lo.z, &hi.x, &hi.y, &hi.z};
    Ref list(check(PyList_New(6)));
    for (Py_ssize_t i = 0; i < 6; ++i) {
        PyObject* f = check(PyFloat_FromDouble(rational_to_double(*values[i])));
        PyList_SetItem(list.get(), i, f);  // steals f
    }
    return list.release();
}

}  // namespace

QS_BINDING(py_volume) { return query<kVolume, volume_of>(self, args, nargs, kwnames); }
QS_BINDING(py_volume6_str) { return query<kVolume6, volume6_of>(self, args, nargs, kwnames); }
QS_BINDING(py_canonical) { return query<kCanonical, canonical_of>(self, args, nargs, kwnames); }
QS_BINDING(py_watertight_ok) {
    return query<kWatertight, watertight_of>(self, args, nargs, kwnames);
}
QS_BINDING(py_logical_faces) {
    return query<kLogicalFaces, logical_faces_of>(self, args, nargs, kwnames);
}
QS_BINDING(py_bbox) { return query<kBbox, bbox_of>(self, args, nargs, kwnames); }

QS_BINDING(py_box_form) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[3];
        match(kBoxFormSig, args, nargs, kwnames, a);
        const auto t = arg_strs<3>(a, kBoxForm);
        entry::TextPair r = entry::box_form(t[0], t[1], t[2]);
        return new_str_pair(r.first, r.second);
    });
}

QS_BINDING(py_box_boolean) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[10];
        match(kBoxBooleanSig, args, nargs, kwnames, a);
        const auto t = arg_strs<9>(a, kBoxBoolean);
        const std::string op = arg_name(a[9], "op");
        entry::TextPair r =
            entry::box_boolean(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], op);
        return new_str_pair(r.first, r.second);
    });
}

}  // namespace qs::py
