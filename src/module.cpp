// The module entry point and the table of module functions.
#include "bindings.hpp"
#include "exact/interrupt.hpp"
#include "exact/memory.hpp"
#include "pyutil.hpp"

namespace qs::py {

namespace {

// Added in this order, which is also the order of __all__.
PyMethodDef kFunctions[] = {
    QS_ENTRY("make_box", py_make_box, "make_box(dx, dy, dz, prefix)"),
    QS_ENTRY("make_prism", py_make_prism, "make_prism(loop_flat, h, prefix)"),
    QS_ENTRY("make_prismatoid", py_make_prismatoid,
                "make_prismatoid(bottom, z0, top, z1, prefix)"),
    QS_ENTRY("box_boolean", py_box_boolean,
                "box_boolean(dx, dy, dz, ex, ey, ez, tx, ty, tz, op)"),
    QS_ENTRY("box_form", py_box_form, "box_form(dx, dy, dz)"),
    QS_ENTRY("nurbs_curve_eval", py_nurbs_curve_eval,
                "nurbs_curve_eval(degree, cps, knots, t, weights=None)"),
    QS_ENTRY("nurbs_surface_eval", py_nurbs_surface_eval,
                "nurbs_surface_eval(pu, pv, net, ku, kv, u, v, weights=None)"),
    // The one docstring with text after the signature block.
    {"ssi_pairs", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_ssi_pairs)),
     METH_FASTCALL | METH_KEYWORDS,
     "ssi_pairs(net_a, net_b, depth, a_box=None, b_box=None)\n--\n\n"
     "Subdivision detection: returns surviving leaf-pair parameter boxes\n"
     "(au0,au1,av0,av1,bu0,bu1,bv0,bv1) as exact rational strings. Empty\n"
     "result = certified non-intersection. Clustering/refinement stay in\n"
     "Python (they are not the hot loop)."},
    {nullptr, nullptr, 0, nullptr},
};

// m_size 0: no per-module state, and the interpreter calls the entry
// point again for a second interpreter instead of copying the first
// module's dictionary, so the refusal below is reached.
PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "quillstone", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// Adds obj under name and appends name to __all__; steals obj.
bool add_exported(PyObject* module, PyObject* all, const char* name, PyObject* obj) {
    if (!obj) return false;
    if (PyModule_AddObject(module, name, obj) < 0) {
        Py_DECREF(obj);
        return false;
    }
    Ref text(PyUnicode_FromString(name));
    return text && PyList_Append(all, text.get()) == 0;
}

PyObject* create_module() {
    Ref module(PyModule_Create(&kModule));
    if (!module) return nullptr;
    PyObject* all = PyList_New(0);
    if (!all || PyModule_AddObject(module.get(), "__all__", all) < 0) {
        Py_XDECREF(all);
        return nullptr;
    }
    PyObject* type = pysolid_type();
    if (!type) return nullptr;
    Py_INCREF(type);
    if (!add_exported(module.get(), all, "PySolid", type)) return nullptr;
    Ref modname(PyUnicode_FromString("quillstone"));
    if (!modname) return nullptr;
    for (PyMethodDef* def = kFunctions; def->ml_name; ++def) {
        PyObject* fn = PyCFunction_NewEx(def, nullptr, modname.get());
        if (!add_exported(module.get(), all, def->ml_name, fn)) return nullptr;
    }
    return module.release();
}

}  // namespace

}  // namespace qs::py

// One module object per process, owned by the main interpreter: a later
// initialisation there gets the same object, and every other interpreter
// is refused, whichever comes first. (Were a sub-interpreter to own it, the
// main one could never import it, and a sub-interpreter made later at the
// same address would get the module that died with the first.)
PyMODINIT_FUNC PyInit_quillstone(void) {
    static PyObject* module = nullptr;
    if (PyInterpreterState_GetID(PyInterpreterState_Get()) != 0) {
        PyErr_SetString(PyExc_ImportError, qs::text::kSecondInterpreter);
        return nullptr;
    }
    if (module) {
        Py_INCREF(module);
        return module;
    }
    qs::install_throwing_allocators();
    qs::set_interrupt_hook(qs::py::stop_on_signal);
    PyObject* m = qs::py::create_module();
    if (!m) return nullptr;
    module = m;
    Py_INCREF(module);  // the process keeps one reference for later initialisations
    return module;
}
