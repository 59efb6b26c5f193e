// The entry point of quillstone_cad._native. It takes the PySolid type and
// the PanicException type from quillstone itself (adopt_kernel).
#include "companion.hpp"
#include "native.hpp"

namespace qs::py::cad {

namespace {

PyMethodDef kFunctions[] = {
    QS_ENTRY("bbox", py_bbox, "bbox(solid)"),
    QS_ENTRY("face_count", py_face_count, "face_count(solid)"),
    QS_ENTRY("moments", py_moments, "moments(solid)"),
    QS_ENTRY("area", py_area, "area(solid)"),
    QS_ENTRY("same_surface", py_same_surface, "same_surface(a, b)"),
    QS_ENTRY("affine", py_affine, "affine(solid, matrix)"),
    QS_ENTRY("from_mesh", py_from_mesh, "from_mesh(coords, indices, corners, label, check)"),
    QS_ENTRY("topology", py_topology, "topology(solid)"),
    QS_ENTRY("face_centroids", py_face_centroids, "face_centroids(topology)"),
    QS_ENTRY("section", py_section, "section(solid, plane)"),
    QS_ENTRY("step_text", py_step_text, "step_text(topology, name)"),
    QS_ENTRY("merged", py_merged, "merged(solid, topology)"),
    QS_ENTRY("bevel", py_bevel, "bevel(solid, topology, edges, d, d2, tol=None)"),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "quillstone_cad._native", "", 0, kFunctions,
    nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace qs::py::cad

PyMODINIT_FUNC PyInit__native(void) {
    if (!qs::py::adopt_kernel()) return nullptr;
    return PyModule_Create(&qs::py::cad::kModule);
}
