// Every function and method the module offers, by the file that binds it:
// each binding file is named after the core folder it exposes. Each has the
// vectorcall shape; methods receive their instance as the first parameter.
#pragma once

#include "pyutil.hpp"

namespace qs::py {

#define QS_BINDING(name) \
    PyObject* name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)

// A table entry: vectorcall with keywords, and a docstring that is the
// signature line the interpreter turns into __text_signature__.
#define QS_ENTRY(name, fn, sig)                                             \
    {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fn)), \
     METH_FASTCALL | METH_KEYWORDS, sig "\n--\n\n"}

// py_solid.cpp: the builders and the transforms.
QS_BINDING(py_make_box);
QS_BINDING(py_make_prism);
QS_BINDING(py_make_prismatoid);
QS_BINDING(py_translate);
QS_BINDING(py_scale);
QS_BINDING(py_mirror);
QS_BINDING(py_rotate_quarter);

// py_query.cpp: the queries and the box entry points.
QS_BINDING(py_volume);
QS_BINDING(py_volume6_str);
QS_BINDING(py_canonical);
QS_BINDING(py_watertight_ok);
QS_BINDING(py_logical_faces);
QS_BINDING(py_bbox);
QS_BINDING(py_box_form);
QS_BINDING(py_box_boolean);

// py_boolean.cpp, py_chamfer.cpp and py_nurbs.cpp.
QS_BINDING(py_boolean);
QS_BINDING(py_chamfer);
QS_BINDING(py_nurbs_curve_eval);
QS_BINDING(py_nurbs_surface_eval);
QS_BINDING(py_ssi_pairs);

// The PySolid type, made once; null with a Python error set on failure.
PyObject* pysolid_type();

}  // namespace qs::py
