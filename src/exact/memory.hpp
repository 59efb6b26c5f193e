#pragma once

namespace qs {

// Routes FLINT's and GMP's allocations through functions that throw
// std::bad_alloc when memory runs out, instead of aborting the process,
// so an exhausted allocation becomes an ordinary failure of the call.
// Both libraries carry unwind tables, so the exception passes through them.
void install_throwing_allocators() noexcept;

}  // namespace qs
