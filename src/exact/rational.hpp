// Exact rational numbers: a thin value class over FLINT's fmpq.
//
// FLINT keeps an integer of at most 62 bits inline in the fmpz word, so a
// rational whose numerator and denominator are that small never touches the
// heap. Every result is in lowest terms with a positive denominator, zero is
// 0/1, so equality is plain equality of the two integers.
#pragma once

#include <flint/fmpq.h>
#include <flint/fmpz.h>

#include <compare>
#include <string>
#include <utility>

namespace qs {

// Equal integers. A value that fits the word is always held there, so
// unless both are wide the words themselves decide.
inline bool same_fmpz(const fmpz* a, const fmpz* b) noexcept {
    return COEFF_IS_MPZ(*a) && COEFF_IS_MPZ(*b) ? fmpz_equal(a, b) != 0 : *a == *b;
}

class Rational {
public:
    Rational() noexcept { fmpq_init(v_); }
    Rational(long n) {  // NOLINT: integers convert implicitly
        fmpq_init(v_);
        fmpz_set_si(fmpq_numref(v_), n);
    }
    // n/d normalised; a zero denominator is a panic ("denominator == 0").
    Rational(long n, long d);
    // Takes a numerator and a denominator that are already coprime with d > 0.
    static Rational from_canonical(fmpz_t num, fmpz_t den);
    // num/den with normalisation; panics with "denominator == 0" for den == 0.
    static Rational from_fmpz(const fmpz_t num, const fmpz_t den);
    static Rational from_fmpz(const fmpz_t num);

    // Values held inline in both words (the common case) copy as two words.
    Rational(const Rational& o) {
        if (o.is_small()) {
            *v_ = *o.v_;
        } else {
            fmpq_init(v_);
            fmpq_set(v_, o.v_);
        }
    }
    // Moving steals the two words; FLINT integers do not point back at
    // their owner, so the source is simply reset to 0/1.
    Rational(Rational&& o) noexcept {
        *v_ = *o.v_;
        fmpq_init(o.v_);
    }
    Rational& operator=(const Rational& o) {
        if (o.is_small() && is_small())
            *v_ = *o.v_;
        else
            fmpq_set(v_, o.v_);
        return *this;
    }
    Rational& operator=(Rational&& o) noexcept {
        fmpq_swap(v_, o.v_);
        return *this;
    }
    ~Rational() { fmpq_clear(v_); }

    const fmpq* raw() const noexcept { return v_; }
    fmpq* raw() noexcept { return v_; }
    const fmpz* num() const noexcept { return fmpq_numref(v_); }
    const fmpz* den() const noexcept { return fmpq_denref(v_); }

    // A numerator in its word is read here rather than through a call.
    int sign() const noexcept {
        const fmpz n = *fmpq_numref(v_);
        return COEFF_IS_MPZ(n) ? fmpz_sgn(fmpq_numref(v_)) : (n > 0) - (n < 0);
    }
    bool is_zero() const noexcept { return fmpz_is_zero(fmpq_numref(v_)); }
    bool is_integer() const noexcept { return fmpz_is_one(fmpq_denref(v_)); }

    Rational& operator+=(const Rational& o) {
        fmpq_add(v_, v_, o.v_);
        return *this;
    }
    Rational& operator-=(const Rational& o) {
        fmpq_sub(v_, v_, o.v_);
        return *this;
    }
    Rational& operator*=(const Rational& o) {
        fmpq_mul(v_, v_, o.v_);
        return *this;
    }
    Rational& operator/=(const Rational& o);
    // this += a * b, with one normalisation.
    Rational& add_mul(const Rational& a, const Rational& b) {
        fmpq_addmul(v_, a.v_, b.v_);
        return *this;
    }
    Rational& sub_mul(const Rational& a, const Rational& b) {
        fmpq_submul(v_, a.v_, b.v_);
        return *this;
    }
    void negate() noexcept { fmpq_neg(v_, v_); }
    Rational abs() const {
        Rational r(*this);
        fmpz_abs(fmpq_numref(r.v_), fmpq_numref(r.v_));
        return r;
    }
    // x / 2^k, exact.
    Rational half() const {
        Rational r;
        fmpq_div_2exp(r.v_, v_, 1);
        return r;
    }

    friend Rational operator+(const Rational& a, const Rational& b) {
        Rational r;
        fmpq_add(r.v_, a.v_, b.v_);
        return r;
    }
    friend Rational operator-(const Rational& a, const Rational& b) {
        Rational r;
        fmpq_sub(r.v_, a.v_, b.v_);
        return r;
    }
    friend Rational operator*(const Rational& a, const Rational& b) {
        Rational r;
        fmpq_mul(r.v_, a.v_, b.v_);
        return r;
    }
    friend Rational operator/(const Rational& a, const Rational& b);
    friend Rational operator-(const Rational& a) {
        Rational r;
        fmpq_neg(r.v_, a.v_);
        return r;
    }

    friend bool operator==(const Rational& a, const Rational& b) noexcept {
        return same_fmpz(fmpq_numref(a.v_), fmpq_numref(b.v_)) &&
               same_fmpz(fmpq_denref(a.v_), fmpq_denref(b.v_));
    }
    friend std::strong_ordering operator<=>(const Rational& a, const Rational& b) {
        int c = fmpq_cmp(a.v_, b.v_);
        return c < 0 ? std::strong_ordering::less
                     : (c > 0 ? std::strong_ordering::greater : std::strong_ordering::equal);
    }

    void swap(Rational& o) noexcept { fmpq_swap(v_, o.v_); }

    // Numerator and denominator both held in their words.
    bool is_small() const noexcept {
        return !COEFF_IS_MPZ(*fmpq_numref(v_)) && !COEFF_IS_MPZ(*fmpq_denref(v_));
    }

private:

    fmpq_t v_;
};

// A scratch FLINT integer that frees itself.
struct ScratchInt {
    fmpz_t v;
    ScratchInt() { fmpz_init(v); }
    ~ScratchInt() { fmpz_clear(v); }
    ScratchInt(const ScratchInt&) = delete;
    ScratchInt& operator=(const ScratchInt&) = delete;
};

// Sets k[0..n) to L c[i], where L is the least common denominator, divided
// by the positive gcd of the results: the coprime integers of the same
// direction. False, with every k[i] zero, when every c[i] is zero. The k[i]
// must not be any c[i]'s own integers.
bool coprime_integers(const Rational* const* c, std::size_t n, fmpz* const* k);

// The e of a positive integer 2^e (a denominator of a value read from
// doubles), or -1 for any other integer.
slong power_of_two(const fmpz* d);

// Text out (text in is parse.hpp's, for the layers that receive texts): numerator "/" denominator, always with the denominator.
std::string format_rational(const Rational& r);
void append_rational(std::string& out, const Rational& r);
// The same text written at `at` when numerator and denominator are held in
// their words (at most kWordRationalText characters); nullptr otherwise.
constexpr std::size_t kWordRationalText = 41;
char* write_word_rational(char* at, const Rational& r);
// Nearest double, ties to even; infinities and signed zeros past the range.
double rational_to_double(const Rational& r);

// Decimal text of an integer.
void append_fmpz(std::string& out, const fmpz_t z);

}  // namespace qs
