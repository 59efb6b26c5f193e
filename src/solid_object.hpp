// The layout of a PySolid instance, shared by both extension modules of the
// package: quillstone defines the type, quillstone_io makes and reads
// instances of that very type, so a solid crosses between them without any
// conversion. wrap_solid and borrow_solid (pyutil.hpp) work on this layout.
#pragma once

#include "pyutil.hpp"

namespace qs::py {

struct PySolidObject {
    PyObject_HEAD
    Solid* solid;  // owned; never changed after wrapping
};

// The type that wrap_solid makes and borrow_solid accepts in this module.
// Each module's initialisation sets it once, before any call can wrap.
void use_solid_type(PyObject* type) noexcept;

}  // namespace qs::py
