#include "query/primitive.hpp"

#include <flint/fmpz.h>

#include <vector>

namespace qs::detail {

using Z = ScratchInt;

bool make_primitive(Rational* vals, std::size_t n) {
    Z lcm, g, t;
    fmpz_one(lcm.v);
    for (std::size_t i = 0; i < n; ++i) fmpz_lcm(lcm.v, lcm.v, vals[i].den());

    // k_i = num_i * (L / den_i), and their gcd (0 when all are zero).
    std::vector<Z> k(n);
    for (std::size_t i = 0; i < n; ++i) {
        fmpz_divexact(t.v, lcm.v, vals[i].den());
        fmpz_mul(k[i].v, vals[i].num(), t.v);
        fmpz_gcd(g.v, g.v, k[i].v);
    }
    if (fmpz_is_zero(g.v)) return false;

    int first_sign = 0;
    for (std::size_t i = 0; i < n && first_sign == 0; ++i) first_sign = fmpz_sgn(k[i].v);
    if (first_sign < 0) fmpz_neg(g.v, g.v);
    for (std::size_t i = 0; i < n; ++i) {
        fmpz_divexact(k[i].v, k[i].v, g.v);
        vals[i] = Rational::from_fmpz(k[i].v);
    }
    return true;
}

}  // namespace qs::detail
