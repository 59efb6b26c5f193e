// The functions of quillstone_io._native, the companion module's compiled
// half. They take and return quillstone's own PySolid objects; the Python
// half (quillstone_io/__init__.py) documents them and adds file handling,
// arrays and pictures.
#pragma once

#include "exact/interrupt.hpp"
#include "pyutil.hpp"

namespace qs::py::io {

// Exact faces out and in.
QS_BINDING(py_faces);
QS_BINDING(py_from_faces);
// The lossless text.
QS_BINDING(py_dumps);
QS_BINDING(py_loads);
// Mesh files (as bytes) and arrays (as buffers numpy can view).
QS_BINDING(py_read_mesh);
QS_BINDING(py_write_mesh);
QS_BINDING(py_mesh_arrays);
QS_BINDING(py_face_loops);
QS_BINDING(py_from_indexed);

}  // namespace qs::py::io
