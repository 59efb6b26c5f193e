#include "exact/interrupt.hpp"

#include "exact/parallel.hpp"

namespace qs {

namespace detail {

// Units of work between two calls of the hook: small enough that a stop
// request is seen within milliseconds, large enough that the hook's cost
// vanishes in the loops that poll.
constexpr std::uint32_t kInterruptStride = 256;

InterruptHook g_interrupt_hook = nullptr;
__thread std::uint32_t g_interrupt_budget [[gnu::tls_model("initial-exec")]] = kInterruptStride;

void run_interrupt_hook() {
    g_interrupt_budget = kInterruptStride;
    if (in_second_thread()) {
        stop_second_if_asked();
        return;
    }
    if (g_interrupt_hook) g_interrupt_hook();
}

}  // namespace detail

void set_interrupt_hook(InterruptHook hook) noexcept { detail::g_interrupt_hook = hook; }

}  // namespace qs
