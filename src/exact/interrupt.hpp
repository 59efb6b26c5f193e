// Cooperative cancellation for long loops in the core.
//
// The core knows nothing of Python. A caller that wants long calls to be
// stoppable installs a hook; every loop whose length grows with the input
// calls poll_interrupt() once per bounded piece of work (a face sorted, a
// pair of patches compared, a chunk of digits read). The hook decides
// whether to stop and does so by throwing; everything the loop owns is
// released by its destructors on the way out, and no operand is changed.
#pragma once

#include <cstdint>

namespace qs {

// Throws to abort the call in progress; returns to let it go on.
using InterruptHook = void (*)();

// Installs the hook (nullptr: never stop). Not thread-safe: install it once,
// before the first call that polls. The hook runs only on the thread that
// made the call; a second thread the call starts (exact/parallel.hpp) stops
// when that one does.
void set_interrupt_hook(InterruptHook hook) noexcept;

namespace detail {
extern InterruptHook g_interrupt_hook;
// Each thread counts its own budget. Initial-exec: a read as cheap as a
// global's, which the inner loops need, for a few bytes of static room.
extern __thread std::uint32_t g_interrupt_budget [[gnu::tls_model("initial-exec")]];
void run_interrupt_hook();
}  // namespace detail

// Cheap enough for inner loops: counts down `weight` units of work and asks
// the hook only when the budget is spent.
inline void poll_interrupt(std::uint32_t weight = 1) {
    if (detail::g_interrupt_budget > weight) {
        detail::g_interrupt_budget -= weight;
        return;
    }
    detail::run_interrupt_hook();
}

}  // namespace qs
