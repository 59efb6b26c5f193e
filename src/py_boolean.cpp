// PySolid.boolean(op, other).
#include "bindings.hpp"
#include "boolean/boolean.hpp"

namespace qs::py {

namespace {

const char* const kBoolean[] = {"op", "other"};
const Signature kBooleanSig{"boolean", kBoolean, 2, 2};

}  // namespace

QS_BINDING(py_boolean) {
    return guard([&]() -> PyObject* {
        PyObject* a[2];
        match(kBooleanSig, args, nargs, kwnames, a);
        const Solid& s = borrow_solid(self, "self");
        std::string op = arg_name(a[0], "op");
        const Solid& other = borrow_solid(a[1], "other");
        return wrap_solid(boolean_solids(op, s, other));
    });
}

}  // namespace qs::py
