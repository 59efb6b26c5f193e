// FLINT integers with inline paths for values held in one word, which fill
// the nets of the intersection search for its first several levels; anything
// larger, or a target that holds a big integer, goes to FLINT.
#pragma once

#include <flint/fmpz.h>

#include <cstddef>
#include <cstring>

namespace qs::nurbs::word {

inline bool small(fmpz x) { return !COEFF_IS_MPZ(x); }

inline int z_cmp(const fmpz* a, const fmpz* b) {
    if (small(*a) && small(*b)) return (*a > *b) - (*a < *b);
    return fmpz_cmp(a, b);
}

inline void z_set(fmpz* r, const fmpz* a) {
    if (small(*a) && small(*r)) {
        *r = *a;
    } else {
        fmpz_set(r, a);
    }
}

inline void z_add(fmpz* r, const fmpz* a, const fmpz* b) {
    const fmpz x = *a;
    const fmpz y = *b;
    if (small(x) && small(y) && small(*r)) {
        const slong sum = x + y;  // both below 2^62 in size: no overflow
        if (sum <= COEFF_MAX && sum >= COEFF_MIN) {
            *r = sum;
            return;
        }
    }
    fmpz_add(r, a, b);
}

// r = a * 2^shift
inline void z_shl(fmpz* r, const fmpz* a, std::size_t shift) {
    const fmpz x = *a;
    if (small(x) && small(*r) && shift < SMALL_FMPZ_BITCOUNT_MAX) {
        const slong lim = COEFF_MAX >> shift;
        if (x <= lim && x >= -lim) {
            *r = x * (slong{1} << shift);
            return;
        }
    }
    if (shift == 0) {
        fmpz_set(r, a);
    } else {
        fmpz_mul_2exp(r, a, shift);
    }
}

// An owned array of FLINT integers, zero-initialised.
class FmpzVec {
public:
    explicit FmpzVec(std::size_t n) : p_(new fmpz[n]), n_(n) {
        std::memset(p_, 0, n * sizeof(fmpz));  // fmpz 0 is the word 0
    }
    FmpzVec(const FmpzVec&) = delete;
    FmpzVec& operator=(const FmpzVec&) = delete;
    ~FmpzVec() {
        for (std::size_t i = 0; i < n_; ++i) fmpz_clear(p_ + i);
        delete[] p_;
    }
    fmpz* data() { return p_; }
    const fmpz* data() const { return p_; }
    std::size_t size() const { return n_; }

private:
    fmpz* p_;
    std::size_t n_;
};

}  // namespace qs::nurbs::word
