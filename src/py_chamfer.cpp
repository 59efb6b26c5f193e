// PySolid.chamfer(dist)
#include "bindings.hpp"
#include "chamfer/chamfer.hpp"
#include "pyutil.hpp"

namespace qs::py {
namespace {
const char* const kNames[] = {"dist"};
const Signature kSig{"chamfer", kNames, 1, 1};
}  // namespace

PyObject* py_chamfer(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        match(kSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(self, "self");
        std::string d = arg_str(a[0], "dist");
        return wrap_solid(chamfer_solid(s, parse_rational(d)));
    });
}

}  // namespace qs::py
