// The exact measures of a solid, as number texts.
#include "measure/area.hpp"
#include "measure/moments.hpp"
#include "measure/same_surface.hpp"
#include "native.hpp"
#include "query/bbox.hpp"

namespace qs::py::cad {

namespace {
const char* const kSolidNames[] = {"solid"};
const Signature kBboxSig{"bbox", kSolidNames, 1, 1};
const Signature kFaceCountSig{"face_count", kSolidNames, 1, 1};
const Signature kMomentsSig{"moments", kSolidNames, 1, 1};
const Signature kAreaSig{"area", kSolidNames, 1, 1};
const char* const kPairNames[] = {"a", "b"};
const Signature kSameSig{"same_surface", kPairNames, 2, 2};

bool has_vertex(const Solid& s) {
    for (const Face& f : s.faces)
        if (!f.vertices.empty()) return true;
    return false;
}

// The one solid argument of a query.
const Solid& solid_arg(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) {
    PyObject* a[1];
    match(sig, args, nargs, kwnames, a);
    return borrow_solid(a[0], "solid");
}
}  // namespace

// ([x, y, z], [x, y, z]) texts of the two corners; None without a vertex.
QS_BINDING(py_bbox) {
    (void)self;
    return guard([&]() -> PyObject* {
        const Solid& s = solid_arg(kBboxSig, args, nargs, kwnames);
        if (!has_vertex(s)) Py_RETURN_NONE;
        auto [lo, hi] = solid_bbox(s);
        Ref l(new_point_list(lo)), h(new_point_list(hi));
        return check(PyTuple_Pack(2, l.get(), h.get()));
    });
}

QS_BINDING(py_face_count) {
    (void)self;
    return guard([&]() -> PyObject* {
        return check(PyLong_FromSize_t(solid_arg(kFaceCountSig, args, nargs, kwnames).faces.size()));
    });
}

// (volume, centroid, central second moments) as texts; the last two None
// when the volume is zero.
QS_BINDING(py_moments) {
    (void)self;
    return guard([&]() -> PyObject* {
        const Moments m = solid_moments(solid_arg(kMomentsSig, args, nargs, kwnames));
        Ref volume(new_str(format_rational(m.volume)));
        if (m.volume.is_zero()) return check(PyTuple_Pack(3, volume.get(), Py_None, Py_None));
        Ref centroid(new_point_list(m.centroid));
        const Rational* c[6];
        for (int k = 0; k < 6; ++k) c[k] = &m.central[std::size_t(k)];
        Ref central(new_rational_list(c, 6));
        return check(PyTuple_Pack(3, volume.get(), centroid.get(), central.get()));
    });
}

QS_BINDING(py_area) {
    (void)self;
    return guard([&]() -> PyObject* {
        return check(PyFloat_FromDouble(solid_area(solid_arg(kAreaSig, args, nargs, kwnames))));
    });
}

// True or False; None when a face is not convex.
QS_BINDING(py_same_surface) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[2];
        match(kSameSig, args, nargs, kwnames, a);
        const std::optional<bool> same =
            qs::same_surface(borrow_solid(a[0], "a"), borrow_solid(a[1], "b"));
        if (!same) Py_RETURN_NONE;
        return check(PyBool_FromLong(*same));
    });
}

}  // namespace qs::py::cad
