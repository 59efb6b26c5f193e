// The functions of quillstone_io._native, the companion module's compiled
// half. They take and return quillstone's own PySolid objects; the Python
// half (quillstone_io/__init__.py) documents them and adds file handling,
// arrays and pictures.
#pragma once

#include "exact/interrupt.hpp"
#include "pyutil.hpp"

namespace qs::py::io {

// Runs body like guard(), but a file or text that cannot be read (an
// InputError) raises quillstone_io.MeshFormatError with its line, part and
// reason, once the Python half has named that type (set_format_error);
// ValueError before.
PyObject* run_reading(PyObject* (*body)(void*), void* ctx);
template <class F>
PyObject* reading_guard(F&& body) {
    using Body = std::remove_reference_t<F>;
    return run_reading([](void* f) -> PyObject* { return (*static_cast<Body*>(f))(); },
                       const_cast<void*>(static_cast<const void*>(&body)));
}
QS_BINDING(py_set_format_error);

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
QS_BINDING(py_read_3mf);
// Whether a solid's faces bound a solid.
QS_BINDING(py_validate);

}  // namespace qs::py::io
