// The functions of quillstone_cad._native, the modelling layer's compiled
// half: the exact work the layer needs from the core. They take and return
// quillstone's own PySolid objects and number texts; the Python half
// (quillstone_cad/) converts numbers and documents them.
#pragma once

#include <cstdint>
#include <vector>

#include "exact/interrupt.hpp"
#include "pyutil.hpp"

namespace qs::topo {
struct Topology;
}

namespace qs::py::cad {

// Exact measures.
QS_BINDING(py_bbox);
QS_BINDING(py_face_count);
QS_BINDING(py_moments);
QS_BINDING(py_area);
// Whether two solids bound the same points.
QS_BINDING(py_same_surface);
// Any invertible affine map.
QS_BINDING(py_affine);
// A solid from a vertex list and index polygons.
QS_BINDING(py_from_mesh);
// Logical faces and edges, kept in a capsule for the calls below.
QS_BINDING(py_topology);
QS_BINDING(py_face_centroids);
const topo::Topology& borrow_topology(PyObject* o, const char* name);
// Point or edge ids as a tuple of ints (-1 for topo::kNoEdge).
PyObject* id_tuple(const std::vector<std::uint32_t>& ids);
// Sections and STEP text.
QS_BINDING(py_section);
QS_BINDING(py_step_text);
// Convex pieces of the logical faces, and bevels of chosen edges.
QS_BINDING(py_merged);
QS_BINDING(py_bevel);

}  // namespace qs::py::cad
