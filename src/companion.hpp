// What a companion module (quillstone_io._native, quillstone_cad._native)
// does when it is imported: it adopts quillstone's own PySolid and
// PanicException types, so the solids it makes are quillstone's and the
// failures it raises are the very type quillstone raises.
#pragma once

#include "pyutil.hpp"

namespace qs::py {

// Installs the core's throwing allocators and the signal hook, imports
// quillstone and adopts its two types. False with ImportError (or the
// import's own error) set when that fails.
bool adopt_kernel();

}  // namespace qs::py
