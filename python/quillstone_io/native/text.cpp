// dumps(solid) and loads(text): the lossless text that pickling rides on.
#include "io/solid_text.hpp"
#include "native.hpp"

namespace qs::py::io {

namespace {
const char* const kDumpsNames[] = {"solid"};
const Signature kDumpsSig{"dumps", kDumpsNames, 1, 1};
const char* const kLoadsNames[] = {"text", "check"};
const Signature kLoadsSig{"loads", kLoadsNames, 2, 1};
}  // namespace

QS_BINDING(py_dumps) {
    (void)self;
    return guard([&]() -> PyObject* {
        PyObject* a[1];
        match(kDumpsSig, args, nargs, kwnames, a);
        return new_str(solid_to_text(borrow_solid(a[0], "solid")));
    });
}

QS_BINDING(py_loads) {
    (void)self;
    return reading_guard([&]() -> PyObject* {
        PyObject* a[2];
        match(kLoadsSig, args, nargs, kwnames, a);
        const bool checked = a[1] ? arg_bool(a[1]) : false;
        return wrap_solid(solid_from_text(arg_str(a[0], "text"), checked));
    });
}

}  // namespace qs::py::io
