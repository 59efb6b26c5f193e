// Every function and method the module offers, by the file that binds it:
// each binding file is named after the core folder it exposes. Each has the
// vectorcall shape of QS_BINDING (pyutil.hpp); methods receive their
// instance as the first parameter.
#pragma once

#include "pyutil.hpp"

namespace qs::py {

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
