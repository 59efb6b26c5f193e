// The PySolid class: an immutable holder of one Solid.
#include <memory>

#include "bindings.hpp"
#include "pyutil.hpp"

namespace qs::py {

namespace {

struct PySolidObject {
    PyObject_HEAD
    Solid* solid;  // owned; never changed after wrapping
};

PyObject* pysolid_new(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "No constructor defined for PySolid");
    return nullptr;
}

void pysolid_dealloc(PyObject* self) {
    PyTypeObject* tp = Py_TYPE(self);
    delete reinterpret_cast<PySolidObject*>(self)->solid;
    auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(tp, Py_tp_free));
    free_fn(self);
    Py_DECREF(tp);  // instances of heap types own a reference to their type
}

PyMethodDef kMethods[] = {
    QS_ENTRY("translate", py_translate, "translate($self, x, y, z)"),
    QS_ENTRY("scale", py_scale, "scale($self, fx, fy, fz)"),
    QS_ENTRY("mirror", py_mirror, "mirror($self, axis)"),
    QS_ENTRY("rotate_quarter", py_rotate_quarter, "rotate_quarter($self, axis, quarters)"),
    QS_ENTRY("boolean", py_boolean, "boolean($self, op, other)"),
    QS_ENTRY("chamfer", py_chamfer, "chamfer($self, dist)"),
    QS_ENTRY("volume", py_volume, "volume($self)"),
    QS_ENTRY("volume6_str", py_volume6_str, "volume6_str($self)"),
    QS_ENTRY("canonical", py_canonical, "canonical($self)"),
    QS_ENTRY("watertight_ok", py_watertight_ok, "watertight_ok($self)"),
    QS_ENTRY("logical_faces", py_logical_faces, "logical_faces($self)"),
    QS_ENTRY("bbox", py_bbox, "bbox($self)"),
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(pysolid_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(pysolid_dealloc)},
    {Py_tp_methods, kMethods},
    {0, nullptr},
};

PyType_Spec kSpec = {
    "quillstone.PySolid",
    sizeof(PySolidObject),
    0,
    Py_TPFLAGS_DEFAULT,
    kSlots,
};

}  // namespace

PyObject* pysolid_type() {
    static PyObject* type = nullptr;
    if (!type) type = PyType_FromSpec(&kSpec);
    return type;
}

PyObject* wrap_solid(Solid&& s) {
    // Take the solid first: if anything below fails, it is freed here.
    auto owned = std::make_unique<Solid>(std::move(s));
    PyObject* tp = pysolid_type();
    if (!tp) throw ErrorSet{};
    auto alloc = reinterpret_cast<allocfunc>(
        PyType_GetSlot(reinterpret_cast<PyTypeObject*>(tp), Py_tp_alloc));
    PyObject* obj = alloc(reinterpret_cast<PyTypeObject*>(tp), 0);
    if (!obj) {
        PyErr_Clear();
        throw Panic("failed to allocate a PySolid");
    }
    reinterpret_cast<PySolidObject*>(obj)->solid = owned.release();
    return obj;
}

const Solid& borrow_solid(PyObject* o, const char* name) {
    PyObject* tp = pysolid_type();
    if (!tp) throw ErrorSet{};
    int ok = PyObject_TypeCheck(o, reinterpret_cast<PyTypeObject*>(tp));
    if (!ok) {
        PyErr_Format(PyExc_TypeError, "argument '%s': expected PySolid", name);
        throw ErrorSet{};
    }
    return *reinterpret_cast<PySolidObject*>(o)->solid;
}

}  // namespace qs::py
