// The entry point of quillstone_io._native. It takes the PySolid type and
// the PanicException type from quillstone itself (adopt_kernel).
#include <utility>

#include "companion.hpp"
#include "native.hpp"

namespace qs::py::io {

namespace {

PyObject* g_format_error = nullptr;  // owned for the life of the process

const char* const kSetFormatErrorNames[] = {"type"};
const Signature kSetFormatErrorSig{"set_format_error", kSetFormatErrorNames, 1, 1};

// The Python exception for e: MeshFormatError(reason, line=..., part=...).
void set_format_error(const InputError& e) {
    if (!g_format_error) {
        PyErr_SetString(PyExc_ValueError, e.what());
        return;
    }
    Ref reason(new_str(e.reason()));
    Ref args(check(PyTuple_Pack(1, reason.get())));
    Ref kwargs(check(PyDict_New()));
    if (e.line()) {
        Ref line(check(PyLong_FromSize_t(e.line())));
        if (PyDict_SetItemString(kwargs.get(), "line", line.get()) < 0) throw ErrorSet{};
    }
    if (!e.part().empty()) {
        Ref part(new_str(e.part()));
        if (PyDict_SetItemString(kwargs.get(), "part", part.get()) < 0) throw ErrorSet{};
    }
    Ref exc(check(PyObject_Call(g_format_error, args.get(), kwargs.get())));
    PyErr_SetObject(g_format_error, exc.get());
}

}  // namespace

PyObject* run_reading(PyObject* (*body)(void*), void* ctx) {
    struct Ctx {
        PyObject* (*body)(void*);
        void* ctx;
    } c{body, ctx};
    return guard([&]() -> PyObject* {
        try {
            return c.body(c.ctx);
        } catch (const InputError& e) {
            set_format_error(e);
            throw ErrorSet{};
        }
    });
}

QS_BINDING(py_set_format_error) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        match(kSetFormatErrorSig, args, nargs, kwnames, a);
        if (!PyType_Check(a[0]) || !PyObject_IsSubclass(a[0], PyExc_ValueError))
            raise_error(PyExc_TypeError, "expected a subclass of ValueError");
        Py_INCREF(a[0]);
        Py_XDECREF(std::exchange(g_format_error, a[0]));
        Py_RETURN_NONE;
    });
}

namespace {

PyMethodDef kFunctions[] = {
    QS_ENTRY("faces", py_faces, "faces(solid)"),
    QS_ENTRY("from_faces", py_from_faces, "from_faces(faces, check=True)"),
    QS_ENTRY("dumps", py_dumps, "dumps(solid)"),
    QS_ENTRY("loads", py_loads, "loads(text, check=False)"),
    QS_ENTRY("read_mesh", py_read_mesh, "read_mesh(data, format, check, triangulate)"),
    QS_ENTRY("write_mesh", py_write_mesh, "write_mesh(solid, format, exact, binary)"),
    QS_ENTRY("mesh_arrays", py_mesh_arrays, "mesh_arrays(solid)"),
    QS_ENTRY("face_loops", py_face_loops, "face_loops(solid)"),
    QS_ENTRY("read_3mf", py_read_3mf,
             "read_3mf(objects, placements, check, triangulate, file_bytes)"),
    QS_ENTRY("set_format_error", py_set_format_error, "set_format_error(type)"),
    QS_ENTRY("validate", py_validate, "validate(solid, max_faults)"),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "quillstone_io._native", "", 0, kFunctions,
    nullptr, nullptr, nullptr, nullptr,
};

PyObject* create_module() {
    if (!adopt_kernel()) return nullptr;
    Ref module(PyModule_Create(&kModule));
    if (!module) return nullptr;
    PyObject* panic = panic_type();
    Py_INCREF(panic);
    if (PyModule_AddObject(module.get(), "PanicException", panic) < 0) {
        Py_DECREF(panic);
        return nullptr;
    }
    return module.release();
}

}  // namespace

}  // namespace qs::py::io

PyMODINIT_FUNC PyInit__native(void) {
    return qs::py::io::create_module();
}
