// PySolid.chamfer(dist)
#include "bindings.hpp"
#include "entry/solid.hpp"

namespace qs::py {
namespace {
const char* const kNames[] = {"dist"};
const Signature kSig{"chamfer", kNames, 1, 1};
}  // namespace

QS_BINDING(py_chamfer) {
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        match(kSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(self, "self");
        std::string d = arg_str(a[0], "dist");
        return wrap_solid(entry::chamfer(s, d));
    });
}

}  // namespace qs::py
