#include "companion.hpp"

#include "exact/interrupt.hpp"
#include "exact/memory.hpp"
#include "solid_object.hpp"

namespace qs::py {

namespace {

bool import_error(const char* text) {
    PyErr_SetString(PyExc_ImportError, text);
    return false;
}

// quillstone's PySolid, checked to have the layout this module was built
// with (a quillstone from another build would not).
bool adopt_solid_type(PyObject* quillstone) {
    Ref type(PyObject_GetAttrString(quillstone, "PySolid"));
    if (!type) return false;
    if (!PyType_Check(type.get())) return import_error("quillstone.PySolid is not a type");
    Ref size(PyObject_GetAttrString(type.get(), "__basicsize__"));
    if (!size) return false;
    if (PyLong_AsSsize_t(size.get()) != Py_ssize_t(sizeof(PySolidObject)))
        return import_error("a companion module was built for another quillstone: PySolid differs");
    use_solid_type(type.release());  // kept for the life of the process
    return true;
}

// PanicException is no attribute of quillstone; one malformed number
// through its public surface shows it.
bool adopt_panic_type(PyObject* quillstone) {
    Ref r(PyObject_CallMethod(quillstone, "make_box", "ssss", "x", "1", "1", "p"));
    if (r) return import_error("quillstone accepted a malformed number");
    PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
    PyErr_Fetch(&type, &value, &tb);
    Ref t(type), v(value), b(tb);
    if (!t || !PyType_Check(t.get()) ||
        !PyObject_IsSubclass(t.get(), PyExc_BaseException) ||
        PyObject_IsSubclass(t.get(), PyExc_Exception))
        return import_error("quillstone raised something other than its PanicException");
    use_panic_type(t.get());
    return true;
}

}  // namespace

bool adopt_kernel() {
    install_throwing_allocators();
    set_interrupt_hook(stop_on_signal);
    Ref quillstone(PyImport_ImportModule("quillstone"));
    return quillstone && adopt_solid_type(quillstone.get()) && adopt_panic_type(quillstone.get());
}

}  // namespace qs::py
