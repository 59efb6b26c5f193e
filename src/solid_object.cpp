// wrap_solid and borrow_solid over the shared instance layout.
#include "solid_object.hpp"

#include <memory>

namespace qs::py {

namespace {

PyTypeObject* g_solid_type = nullptr;  // borrowed: the defining module keeps it alive

PyTypeObject* solid_type() {
    if (!g_solid_type) throw Panic(text::kSolidTypeNotReady);
    return g_solid_type;
}

}  // namespace

void use_solid_type(PyObject* type) noexcept {
    g_solid_type = reinterpret_cast<PyTypeObject*>(type);
}

PyObject* wrap_solid(Solid&& s) {
    // Take the solid first: if anything below fails, it is freed here.
    auto owned = std::make_unique<Solid>(std::move(s));
    PyTypeObject* tp = solid_type();
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(tp, Py_tp_alloc));
    PyObject* obj = alloc(tp, 0);
    if (!obj) {
        PyErr_Clear();
        throw Panic(text::kSolidAllocation);
    }
    reinterpret_cast<PySolidObject*>(obj)->solid = owned.release();
    return obj;
}

const Solid& borrow_solid(PyObject* o, const char* name) {
    // An instance that wrap_solid did not fill holds no solid; none can be
    // made from Python, but it is refused all the same.
    int ok = PyObject_TypeCheck(o, solid_type());
    const Solid* solid = ok ? reinterpret_cast<PySolidObject*>(o)->solid : nullptr;
    if (!solid) raise_error(PyExc_TypeError, text::argument(name, text::kExpectedSolid));
    return *solid;
}

}  // namespace qs::py
