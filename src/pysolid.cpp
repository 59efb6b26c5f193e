// The PySolid class: an immutable holder of one Solid.
#include "bindings.hpp"
#include "solid_object.hpp"

namespace qs::py {

namespace {

PyObject* pysolid_new(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, text::kNoConstructor);
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

// Immutable: nothing can replace __new__ (or a method) to make an instance
// that wrap_solid did not fill. The own tp_new above keeps the documented
// refusal text, which the flag that forbids instantiation would change.
PyType_Spec kSpec = {
    "quillstone.PySolid",
    sizeof(PySolidObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    kSlots,
};

}  // namespace

PyObject* pysolid_type() {
    static PyObject* type = nullptr;
    if (!type) {
        type = PyType_FromSpec(&kSpec);
        if (type) use_solid_type(type);
    }
    return type;
}

}  // namespace qs::py
