#include "query/primitive.hpp"

#include <flint/fmpz.h>

namespace qs::detail {

bool make_primitive(Rational* vals, std::size_t n) {
    ScratchInt k[4];
    const Rational* c[4] = {};
    fmpz* kp[4] = {};
    for (std::size_t i = 0; i < n; ++i) {
        c[i] = &vals[i];
        kp[i] = k[i].v;
    }
    if (!coprime_integers(c, n, kp)) return false;
    int first_sign = 0;
    for (std::size_t i = 0; i < n && first_sign == 0; ++i) first_sign = fmpz_sgn(k[i].v);
    for (std::size_t i = 0; i < n; ++i) {
        if (first_sign < 0) fmpz_neg(k[i].v, k[i].v);
        vals[i] = Rational::from_fmpz(k[i].v);
    }
    return true;
}

}  // namespace qs::detail
