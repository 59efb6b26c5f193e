#include "exact/memory.hpp"

#include <flint/flint.h>
#include <gmp.h>

#include <cstdlib>
#include <new>

namespace qs {

namespace {

void* q_malloc(size_t n) {
    void* p = std::malloc(n);
    if (!p && n) throw std::bad_alloc();
    return p;
}

void* q_calloc(size_t n, size_t m) {
    void* p = std::calloc(n, m);
    if (!p && n && m) throw std::bad_alloc();
    return p;
}

void* q_realloc(void* old, size_t n) {
    void* p = std::realloc(old, n);
    if (!p && n) throw std::bad_alloc();
    return p;
}

void* q_gmp_realloc(void* old, size_t, size_t n) { return q_realloc(old, n); }

void q_gmp_free(void* p, size_t) { std::free(p); }

}  // namespace

void install_throwing_allocators() noexcept {
    __flint_set_memory_functions(q_malloc, q_calloc, q_realloc, std::free);
    mp_set_memory_functions(q_malloc, q_gmp_realloc, q_gmp_free);
}

}  // namespace qs
