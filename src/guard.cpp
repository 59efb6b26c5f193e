// The one frame every call of the surface runs under. Built without the
// undefined-behaviour sanitizer's null check: the forced unwinding that ends
// a thread carries no C++ object, so its handler binds a reference to null,
// which is how the runtime hands it over.
#include <cxxabi.h>

#if defined(__SANITIZE_ADDRESS__)
#include <pthread.h>
#include <sanitizer/asan_interface.h>
#endif

#include "pyutil.hpp"

namespace qs::py {

namespace {

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer clears the stack's poison on every C++ throw; a
// forced unwinding bypasses that, so the redzones of the frames it left lie
// below this one, and whatever runs there next (the sanitizer's own
// interceptors included) would trip over them. Clear them from the bottom
// of the thread's stack up to here first.
void clear_left_frames() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
    void* lo = nullptr;
    std::size_t size = 0;
    if (pthread_attr_getstack(&attr, &lo, &size) == 0) {
        char* here = static_cast<char*>(__builtin_frame_address(0));
        char* bottom = static_cast<char*>(lo);
        if (bottom < here) __asan_unpoison_memory_region(bottom, std::size_t(here - bottom));
    }
    pthread_attr_destroy(&attr);
}
#else
void clear_left_frames() {}
#endif

}  // namespace

PyObject* run_guarded(PyObject* (*body)(void*), void* ctx) {
    try {
        return body(ctx);
    } catch (abi::__forced_unwind&) {
        clear_left_frames();
        throw;
    } catch (...) {
        return map_current_exception();
    }
}

}  // namespace qs::py
