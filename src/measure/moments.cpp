#include "measure/moments.hpp"

#include <flint/fmpz.h>

#include <utility>

#include "exact/interrupt.hpp"

namespace qs {

namespace {

// The index pairs of the six second moments, in the order of Moments::central.
constexpr int kPairs[6][2] = {{0, 0}, {1, 1}, {2, 2}, {0, 1}, {1, 2}, {2, 0}};

// Faces are summed in integers in groups whose common denominator stays
// within this many bits; longer ones would make the integers too long to
// pay. Solids from builders are one group; the pieces of booleans, with
// denominators of many kinds, make many.
constexpr flint_bitcnt_t kGroupBits = 512;

struct Int {
    fmpz_t v;
    Int() { fmpz_init(v); }
    ~Int() { fmpz_clear(v); }
    Int(Int&& o) noexcept {
        fmpz_init(v);
        fmpz_swap(v, o.v);
    }
    Int(const Int&) = delete;
    Int& operator=(const Int&) = delete;
};

// Over the tetrahedron with corners 0, a, b, c and D = a . (b x c):
//   integral of 1         D / 6
//   integral of x_i       D / 24 (a_i + b_i + c_i)
//   integral of x_i x_j   D / 120 (a_i a_j + b_i b_j + c_i c_j + s_i s_j), s = a + b + c.
// The sums keep D times the brackets, in integers: the corners are taken
// relative to a reference corner and multiplied by a common denominator L,
// so the true sums are these over 6 L^3, 24 L^4 and 120 L^5.
class Sums {
public:
    // Adds the fan of one face, its corners already scaled to integers.
    void add_fan(const std::vector<std::array<Int, 3>>& p) {
        const auto& a = p[0];
        for (std::size_t i = 1; i + 1 < p.size(); ++i) {
            const auto& b = p[i];
            const auto& c = p[i + 1];
            // d = a . (b x c)
            fmpz_zero(d_.v);
            for (int k = 0; k < 3; ++k) {
                const int k1 = (k + 1) % 3, k2 = (k + 2) % 3;
                fmpz_mul(t_.v, b[k1].v, c[k2].v);
                fmpz_submul(t_.v, b[k2].v, c[k1].v);
                fmpz_addmul(d_.v, a[k].v, t_.v);
            }
            if (fmpz_is_zero(d_.v)) continue;
            fmpz_add(v6_.v, v6_.v, d_.v);
            for (int k = 0; k < 3; ++k) {
                fmpz_add(s_[k].v, a[k].v, b[k].v);
                fmpz_add(s_[k].v, s_[k].v, c[k].v);
                fmpz_addmul(first_[k].v, d_.v, s_[k].v);
            }
            for (int k = 0; k < 6; ++k) {
                const int i1 = kPairs[k][0], i2 = kPairs[k][1];
                fmpz_mul(t_.v, a[i1].v, a[i2].v);
                fmpz_addmul(t_.v, b[i1].v, b[i2].v);
                fmpz_addmul(t_.v, c[i1].v, c[i2].v);
                fmpz_addmul(t_.v, s_[i1].v, s_[i2].v);
                fmpz_addmul(second_[k].v, d_.v, t_.v);
            }
        }
    }

    // Multiplies the sums so far by what a change of scale from L to k L
    // asks: k^3, k^4 and k^5.
    void rescale(const fmpz_t k) {
        fmpz_pow_ui(t_.v, k, 3);
        fmpz_mul(v6_.v, v6_.v, t_.v);
        fmpz_mul(t_.v, t_.v, k);
        for (auto& f : first_) fmpz_mul(f.v, f.v, t_.v);
        fmpz_mul(t_.v, t_.v, k);
        for (auto& s : second_) fmpz_mul(s.v, s.v, t_.v);
    }

    // The sums so far, for the scale `l`, as the ten rationals v6, first24
    // and second120 (in that order), and the sums started again from zero.
    void flush(const fmpz_t l, std::array<Rational, 10>& out) {
        fmpz_pow_ui(t_.v, l, 3);
        out[0] = Rational::from_fmpz(v6_.v, t_.v);
        fmpz_mul(t_.v, t_.v, l);
        for (int k = 0; k < 3; ++k) out[std::size_t(1 + k)] = Rational::from_fmpz(first_[k].v, t_.v);
        fmpz_mul(t_.v, t_.v, l);
        for (int k = 0; k < 6; ++k)
            out[std::size_t(4 + k)] = Rational::from_fmpz(second_[k].v, t_.v);
        fmpz_zero(v6_.v);
        for (auto& f : first_) fmpz_zero(f.v);
        for (auto& s : second_) fmpz_zero(s.v);
    }

private:
    Int v6_, first_[3], second_[6], d_, t_, s_[3];
};

// Rationals summed in a balanced tree: the partial sums of the groups of
// a boolean's pieces have denominators that grow with their number and
// cancel only at the end, so adding them one by one to one total would
// cost the total's length every time.
class TreeSum {
public:
    void add(Rational r) {
        unsigned level = 0;
        while (!stack_.empty() && stack_.back().second == level) {
            r += stack_.back().first;
            stack_.pop_back();
            ++level;
        }
        stack_.emplace_back(std::move(r), level);
    }
    Rational total() const {
        Rational t;
        for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) t += it->first;
        return t;
    }

private:
    std::vector<std::pair<Rational, unsigned>> stack_;
};

}  // namespace

Moments solid_moments(const Solid& s) {
    Moments out;
    const Point3* ref = nullptr;
    for (const Face& f : s.faces)
        if (!f.vertices.empty()) {
            ref = &f.vertices[0];
            break;
        }
    if (!ref) return out;
    const Point3 r = *ref;
    Int l, face_l, next_l, k, num;
    fmpz_one(l.v);
    bool group_empty = true;
    Sums sums;
    std::array<Rational, 10> group;
    std::array<TreeSum, 10> totals;
    auto flush = [&] {
        sums.flush(l.v, group);
        for (std::size_t i = 0; i < 10; ++i) totals[i].add(std::move(group[i]));
    };
    std::vector<std::array<Int, 3>> loop;
    for (const Face& f : s.faces) {
        poll_interrupt();
        if (f.vertices.size() < 3) continue;
        // The face's common denominator, the reference corner's included.
        fmpz_one(face_l.v);
        for (int c = 0; c < 3; ++c) fmpz_lcm(face_l.v, face_l.v, r[c].den());
        for (const Point3& p : f.vertices)
            for (int c = 0; c < 3; ++c) fmpz_lcm(face_l.v, face_l.v, p[c].den());
        fmpz_lcm(next_l.v, l.v, face_l.v);
        if (!group_empty && !fmpz_equal(next_l.v, l.v) && fmpz_bits(next_l.v) > kGroupBits) {
            flush();
            fmpz_set(l.v, face_l.v);
        } else if (!fmpz_equal(next_l.v, l.v)) {
            fmpz_divexact(k.v, next_l.v, l.v);
            sums.rescale(k.v);
            fmpz_swap(l.v, next_l.v);
        }
        group_empty = false;
        loop.resize(f.vertices.size());
        for (std::size_t i = 0; i < f.vertices.size(); ++i)
            for (int c = 0; c < 3; ++c) {
                // (p - r) L, whole because L is a multiple of both denominators.
                const Rational d = f.vertices[i][c] - r[c];
                fmpz_divexact(num.v, l.v, d.den());
                fmpz_mul(loop[i][std::size_t(c)].v, d.num(), num.v);
            }
        sums.add_fan(loop);
    }
    flush();
    const Rational v6 = totals[0].total();
    Point3 first24;
    std::array<Rational, 6> second120;
    for (int c = 0; c < 3; ++c) first24[c] = totals[std::size_t(1 + c)].total();
    for (std::size_t c = 0; c < 6; ++c) second120[c] = totals[4 + c].total();
    out.volume = v6 / Rational(6);
    if (out.volume.is_zero()) return out;
    // About the reference corner: M1 = first24 / 24, M2 = second120 / 120;
    // the centroid is r + M1 / V, and the central moments M2 - M1 M1^T / V.
    Point3 m1;
    for (int k = 0; k < 3; ++k) m1[k] = first24[k] / Rational(24);
    for (int k = 0; k < 3; ++k) out.centroid[k] = r[k] + m1[k] / out.volume;
    for (int k = 0; k < 6; ++k) {
        const int p = kPairs[k][0], q = kPairs[k][1];
        out.central[std::size_t(k)] =
            second120[std::size_t(k)] / Rational(120) - m1[p] * m1[q] / out.volume;
    }
    return out;
}

}  // namespace qs
