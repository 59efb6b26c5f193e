// The intersection search as ssi_pairs runs it: the first level on the
// literal pieces (patch.hpp), every later one in scaled integers.
#include <algorithm>
#include <memory>
#include <string>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"
#include "nurbs/ssi.hpp"
#include "nurbs/word_int.hpp"

namespace qs::nurbs {

// ---------------------------------------------------------------------------
// The loop below level 1.
//
// Past the first subdivision every patch of a surface has the same shape
// (r x c points of dim coordinates), and every coordinate is an integer
// over one scale per level: level 1 is scaled by the common denominator D
// of the first children, and each further halving in u and v multiplies by
// 2^s with s = (r - 1) + (c - 1) (the larger of the two surfaces; the
// smaller one shifts by the difference). de Casteljau at 1/2 then needs only
// integer additions and shifts, no gcd. When both nets are Cartesian the
// two surfaces share D and s, so their control boxes compare as integers;
// otherwise the boxes hold the true rationals.
//
// Memory bound. A level can hold 16 times the pairs of the one before.
// The search counts, as it goes, the bytes of the patches of the current
// and the next level (coordinates at their worst-case size for the level),
// the pair lists, and on the last level what each surviving pair costs as
// the result: eight rationals, and what the caller says it spends on each
// (the Python surface: a list of eight str, about 0.8 KiB, the largest item
// at shallow depth). When the count passes the budget (default_ssi_budget:
// a quarter of physical memory, at most 2 GiB, less under tighter limits)
// the call raises MemoryLimit before the allocator or the system gives
// out. With its share of the patches and its result, a pair of bicubic
// patches costs about 2 KiB, so the default allows about a million result
// pairs: two bicubic patches crossing along a curve give some 8700 at
// depth 8, coincident ones 590 thousand, and a list of a million boxes is
// already more than the Python stage that clusters it can use. The count
// overestimates the real footprint by about half, so a call stopped at the
// bound has used roughly 1.4 GiB, not the whole machine.
// ---------------------------------------------------------------------------

namespace {

struct FastPatch;
using PatchPtr = std::shared_ptr<const FastPatch>;
using Kids = std::array<PatchPtr, 4>;

// Immutable once built; `kids` is a memo of the subdivision so a patch that
// sits in several pairs is halved once.
struct FastPatch {
    explicit FastPatch(std::size_t n) : pts(n) {}
    word::FmpzVec pts;  // row-major: ((i * c) + j) * dim + k
    ParamBox pbox;
    ControlBox cbox;
    mutable std::unique_ptr<Kids> kids;
};

struct Pair {
    PatchPtr a;
    PatchPtr b;
};

struct Shape {
    std::size_t rows = 0;
    std::size_t cols = 0;
    std::size_t dim = 0;
    bool cartesian = false;
    unsigned extra = 0;  // added to the u shifts: both surfaces share 2^s per level
    Rational d1;         // level-1 scale (an integer)
    Rational scale;      // scale of the level being built (for mixed boxes)
    std::size_t count() const { return rows * cols * dim; }
};

std::size_t int_bytes(std::size_t bits) {
    // An fmpz word, plus FLINT's mpz header, the limbs and allocator
    // overhead once it no longer fits inline.
    return bits <= 62 ? 8 : 8 + 48 + 8 * ((bits + 63) / 64);
}

std::size_t max_bits(const fmpz* p, std::size_t n) {
    std::size_t b = 0;
    for (std::size_t i = 0; i < n; ++i) b = std::max<std::size_t>(b, fmpz_bits(p + i));
    return b;
}

std::size_t rational_bits(const Rational& r) {
    return std::max<std::size_t>(fmpz_bits(r.num()), fmpz_bits(r.den()));
}

class Search {
public:
    Search(Shape a, Shape b, std::uint64_t depth, std::size_t budget, ResultCost result_cost)
        : a_(std::move(a)), b_(std::move(b)), depth_(depth), result_cost_(result_cost),
          budget_(budget == kSsiDefaultBudget ? kSsiProbeBytes : budget),
          limits_read_(budget != kSsiDefaultBudget),
          work_(std::max({a_.rows, a_.cols, b_.rows, b_.cols})),
          half_lo_(std::max(a_.count(), b_.count())), half_hi_(std::max(a_.count(), b_.count())) {
        integer_boxes_ = a_.cartesian && b_.cartesian;
        const std::size_t sa = a_.rows + a_.cols - 2;
        const std::size_t sb = b_.rows + b_.cols - 2;
        s_ = std::max(sa, sb);
        a_.extra = static_cast<unsigned>(s_ - sa);
        b_.extra = static_cast<unsigned>(s_ - sb);
    }

    // Level 1: the children of the two roots, in the literal form.
    std::vector<Pair> first_level(std::array<Patch, 4>& ka, std::array<Patch, 4>& kb) {
        if (integer_boxes_) {
            Rational d(1);
            lcm_dens(ka, a_, d);
            lcm_dens(kb, b_, d);
            a_.d1 = d;
            b_.d1 = std::move(d);
        } else {
            a_.d1 = Rational(1);
            b_.d1 = Rational(1);
            lcm_dens(ka, a_, a_.d1);
            lcm_dens(kb, b_, b_.d1);
        }
        a_.scale = a_.d1;
        b_.scale = b_.d1;
        Kids fb = convert(kb, b_);
        Kids fa = convert(ka, a_);
        level_ = 1;
        bits_ = 0;
        pbits_ = 0;
        for (const Kids* k : {&fa, &fb}) {
            for (const PatchPtr& p : *k) {
                bits_ = std::max(bits_, max_bits(p->pts.data(), p->pts.size()));
                for (const Rational* r : {&p->pbox.u0, &p->pbox.u1, &p->pbox.v0, &p->pbox.v1})
                    pbits_ = std::max(pbits_, rational_bits(*r));
            }
        }
        start_level();
        new_patches_ = 8;
        std::vector<Pair> next;
        for (const PatchPtr& x : fa)
            for (const PatchPtr& y : fb)
                if (boxes_overlap(x->cbox, y->cbox)) append(next, x, y);
        return next;
    }

    // Levels 2 and up.
    std::vector<Pair> next_level(std::vector<Pair>& cur) {
        ++level_;
        bits_ += s_;
        pbits_ += 1;
        old_patches_ = new_patches_;
        new_patches_ = 0;
        cur_pairs_ = cur.size();
        pairs_ = 0;
        start_level();
        if (!integer_boxes_) {
            fmpz_mul_2exp(fmpq_numref(a_.scale.raw()), fmpq_numref(a_.scale.raw()), s_);
            fmpz_mul_2exp(fmpq_numref(b_.scale.raw()), fmpq_numref(b_.scale.raw()), s_);
        }
        std::vector<Pair> next;
        for (std::size_t i = 0; i < cur.size(); ++i) {
            // Taking the pair out of the list lets a parent (and its memo)
            // go as soon as its last pair is done.
            Pair pr = std::move(cur[i]);
            poll_interrupt();
            const Kids& ka = kids_of(*pr.a, a_);
            const Kids& kb = kids_of(*pr.b, b_);
            for (const PatchPtr& x : ka)
                for (const PatchPtr& y : kb)
                    if (boxes_overlap(x->cbox, y->cbox)) append(next, x, y);
        }
        return next;
    }

private:
    void lcm_dens(const std::array<Patch, 4>& kids, const Shape& s, Rational& d) {
        fmpz* acc = fmpq_numref(d.raw());
        for (const Patch& p : kids)
            for (std::size_t i = 0; i < s.rows; ++i)
                for (std::size_t j = 0; j < s.cols; ++j) {
                    poll_interrupt();
                    for (std::size_t k = 0; k < s.dim; ++k) fmpz_lcm(acc, acc, p.net[i][j][k].den());
                }
    }

    Kids convert(std::array<Patch, 4>& kids, const Shape& s) {
        std::shared_ptr<FastPatch> made[4];
        Rational scratch;  // an integer throughout
        fmpz* q = fmpq_numref(scratch.raw());
        const fmpz* d = fmpq_numref(s.d1.raw());
        for (int h = 0; h < 4; ++h) {
            auto p = std::make_shared<FastPatch>(s.count());
            fmpz* dst = p->pts.data();
            for (std::size_t i = 0; i < s.rows; ++i)
                for (std::size_t j = 0; j < s.cols; ++j, poll_interrupt())
                    for (std::size_t k = 0; k < s.dim; ++k, ++dst) {
                        const Rational& x = kids[h].net[i][j][k];
                        fmpz_divexact(q, d, x.den());
                        fmpz_mul(dst, x.num(), q);
                    }
            p->pbox = std::move(kids[h].box);
            made[h] = std::move(p);
        }
        Kids out;
        for (int h = 0; h < 4; ++h) {
            fill_box(*made[h], s);
            out[h] = std::move(made[h]);
        }
        return out;
    }

    // De Casteljau at 1/2 on n integers at `stride`, scaled by 2^(n-1+extra):
    // only additions and shifts.
    void split(const fmpz* src, std::size_t stride, std::size_t n, fmpz* left, fmpz* right,
               std::size_t ostride, unsigned extra) {
        fmpz* w = work_.data();
        for (std::size_t i = 0; i < n; ++i) word::z_set(w + i, src + i * stride);
        const std::size_t top = n - 1 + extra;
        word::z_shl(left, w, top);
        word::z_shl(right + (n - 1) * ostride, w + n - 1, top);
        for (std::size_t f = 1; f < n; ++f) {
            for (std::size_t i = 0; i + f < n; ++i) word::z_add(w + i, w + i, w + i + 1);
            word::z_shl(left + f * ostride, w, top - f);
            word::z_shl(right + (n - 1 - f) * ostride, w + n - 1 - f, top - f);
        }
    }

    const Kids& kids_of(const FastPatch& p, const Shape& s) {
        if (p.kids) return *p.kids;
        poll_interrupt(static_cast<std::uint32_t>(std::min<std::size_t>(s.count(), 256)));
        const std::size_t r = s.rows, c = s.cols, dim = s.dim;
        const std::size_t row = c * dim;
        fmpz* lo = half_lo_.data();
        fmpz* hi = half_hi_.data();
        const fmpz* src = p.pts.data();
        for (std::size_t j = 0; j < c; ++j)
            for (std::size_t k = 0; k < dim; ++k) {
                const std::size_t off = j * dim + k;
                split(src + off, row, r, lo + off, hi + off, row, s.extra);
            }
        auto kids = std::make_unique<Kids>();
        std::shared_ptr<FastPatch> made[4];
        for (auto& m : made) m = std::make_shared<FastPatch>(s.count());
        const Rational mu = midpoint(p.pbox.u0, p.pbox.u1);
        const Rational mv = midpoint(p.pbox.v0, p.pbox.v1);
        for (int h = 0; h < 2; ++h) {
            const fmpz* half = h == 0 ? lo : hi;
            fmpz* out_lo = made[2 * h]->pts.data();
            fmpz* out_hi = made[2 * h + 1]->pts.data();
            for (std::size_t i = 0; i < r; ++i)
                for (std::size_t k = 0; k < dim; ++k) {
                    const std::size_t off = i * row + k;
                    split(half + off, dim, c, out_lo + off, out_hi + off, dim, 0);
                }
            const Rational& ua = h == 0 ? p.pbox.u0 : mu;
            const Rational& ub = h == 0 ? mu : p.pbox.u1;
            made[2 * h]->pbox = ParamBox{ua, ub, p.pbox.v0, mv};
            made[2 * h + 1]->pbox = ParamBox{ua, ub, mv, p.pbox.v1};
        }
        for (int h = 0; h < 4; ++h) {
            fill_box(*made[h], s);
            (*kids)[h] = std::move(made[h]);
        }
        new_patches_ += 4;
        check();
        p.kids = std::move(kids);
        return *p.kids;
    }

    void fill_box(FastPatch& p, const Shape& s) {
        const std::size_t npts = s.rows * s.cols;
        const fmpz* v = p.pts.data();
        ControlBox& box = p.cbox;
        if (s.cartesian) {
            const fmpz* lo[3] = {v, v + 1, v + 2};
            const fmpz* hi[3] = {v, v + 1, v + 2};
            for (std::size_t q = 1; q < npts; ++q) {
                const fmpz* x = v + q * 3;
                for (int c = 0; c < 3; ++c) {
                    if (word::z_cmp(x + c, lo[c]) < 0) {
                        lo[c] = x + c;
                    } else if (word::z_cmp(x + c, hi[c]) > 0) {
                        hi[c] = x + c;
                    }
                }
            }
            for (int c = 0; c < 3; ++c) {
                if (integer_boxes_) {
                    word::z_set(fmpq_numref(box[c].raw()), lo[c]);
                    word::z_set(fmpq_numref(box[c + 3].raw()), hi[c]);
                } else {
                    const fmpz* d = fmpq_numref(s.scale.raw());
                    fmpq_set_fmpz_frac(box[c].raw(), lo[c], d);
                    fmpq_set_fmpz_frac(box[c + 3].raw(), hi[c], d);
                }
            }
            return;
        }
        Rational q3[3];
        for (std::size_t q = 0; q < npts; ++q) {
            const fmpz* x = v + q * s.dim;
            if (fmpz_is_zero(x + 3)) panic(text::kDivideByZero);
            for (int c = 0; c < 3; ++c) fmpq_set_fmpz_frac(q3[c].raw(), x + c, x + 3);
            widen(box, q == 0, q3);
        }
    }

    void start_level() {
        // Box corners are integers of the coordinates' size, or quotients of
        // two of them for homogeneous nets; the parameter box is four
        // rationals of the label's size.
        const std::size_t corner =
            integer_boxes_ ? int_bytes(bits_) : 2 * int_bytes(2 * bits_);
        const std::size_t patch_bytes = sizeof(FastPatch) + 64 + sizeof(Kids) + 16 +
                                        std::max(a_.count(), b_.count()) * int_bytes(bits_) +
                                        6 * corner + 8 * int_bytes(pbits_);
        old_patch_bytes_ = patch_bytes_ ? patch_bytes_ : patch_bytes;
        patch_bytes_ = patch_bytes;
        // A pair; on the last level also its eight rationals in the result
        // and what the caller spends on it.
        pair_bytes_ = sizeof(Pair);
        if (level_ == depth_) {
            pair_bytes_ += sizeof(PairBoxes) + 16 * int_bytes(pbits_);
            if (result_cost_) pair_bytes_ += result_cost_(pbits_);
        }
    }

    void append(std::vector<Pair>& next, const PatchPtr& x, const PatchPtr& y) {
        poll_interrupt();
        next.push_back(Pair{x, y});
        pairs_ = next.size();
        check();
    }

    void check() {
        const double need =
            static_cast<double>(old_patches_) * static_cast<double>(old_patch_bytes_) +
            static_cast<double>(new_patches_) * static_cast<double>(patch_bytes_) +
            static_cast<double>(cur_pairs_) * sizeof(Pair) +
            static_cast<double>(pairs_) * static_cast<double>(pair_bytes_);
        if (need > static_cast<double>(budget_) && !limits_read_) {
            limits_read_ = true;
            budget_ = default_ssi_budget();
        }
        if (need > static_cast<double>(budget_)) {
            throw MemoryLimit(text::ssi_memory_bound(budget_, level_, pairs_));
        }
    }

    Shape a_, b_;
    std::uint64_t depth_;
    ResultCost result_cost_;
    std::size_t budget_;
    bool limits_read_;  // budget_ is final; otherwise it is the probe bound
    word::FmpzVec work_, half_lo_, half_hi_;
    bool integer_boxes_ = false;
    std::size_t s_ = 0;
    std::uint64_t level_ = 0;
    std::size_t bits_ = 0, pbits_ = 0;
    std::size_t patch_bytes_ = 0, old_patch_bytes_ = 0, pair_bytes_ = 0;
    std::size_t old_patches_ = 0, new_patches_ = 0, pairs_ = 0, cur_pairs_ = 0;
};

Shape shape_of(const std::array<Patch, 4>& kids) {
    Shape s;
    const Net& n = kids[0].net;
    s.rows = n.size();
    s.cols = n[0].size();
    s.dim = n[0][0].size();
    s.cartesian = s.dim == 3;
    return s;
}

}  // namespace

std::vector<PairBoxes> ssi_pairs(Net a, Net b, const ParamBox& a_box, const ParamBox& b_box,
                                 std::uint64_t depth, std::size_t budget, ResultCost result_cost) {
    std::vector<PairBoxes> out;
    if (depth == 0) {
        out.push_back(boxes_of(a_box, b_box));
        return out;
    }
    // Level 1 runs the literal algorithm on the caller's nets, which may be
    // ragged; it reports every shape failure in the order of the reads. Its
    // children all have the first row's shape and at least dim coordinates.
    Patch pa{std::move(a), a_box};
    Patch pb{std::move(b), b_box};
    {
        ControlBox ba = control_box(pa.net);
        ControlBox bb = control_box(pb.net);
        if (!boxes_overlap(ba, bb)) return out;
    }
    std::array<Patch, 4> ka = subdivide_patch(pa);
    std::array<Patch, 4> kb = subdivide_patch(pb);
    pa = Patch{};
    pb = Patch{};
    Search search(shape_of(ka), shape_of(kb), depth, budget, result_cost);
    std::vector<Pair> cur = search.first_level(ka, kb);
    for (std::uint64_t level = 2; level <= depth && !cur.empty(); ++level) {
        // Patches that only touch (at a corner, say) keep a few pairs per
        // level forever, and the memory bound would take millions of ever
        // slower levels to trip. Boxes 2^-kMaxSsiLevels wide are far past any
        // use, so deeper searches end here as if memory had run out.
        if (level > kMaxSsiLevels) {
            throw MemoryLimit(text::ssi_level_bound(kMaxSsiLevels, cur.size()));
        }
        cur = search.next_level(cur);
    }
    if (cur.empty()) return out;
    out.reserve(cur.size());
    for (const Pair& p : cur) {
        poll_interrupt();
        out.push_back(boxes_of(p.a->pbox, p.b->pbox));
    }
    return out;
}

}  // namespace qs::nurbs
