#include "nurbs/ssi.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "exact/errors.hpp"
#include "exact/interrupt.hpp"

namespace qs::nurbs {

namespace {

// Inline paths for word-sized integers, which fill the nets for the first
// several levels; anything larger, or a target that holds a big integer,
// goes to FLINT.
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

// a <=> b; integers (the boxes of Cartesian nets in the loop) skip FLINT's
// general rational comparison.
int cmp(const Rational& a, const Rational& b) {
    if (fmpz_is_one(a.den()) && fmpz_is_one(b.den())) return z_cmp(a.num(), b.num());
    return fmpq_cmp(a.raw(), b.raw());
}

Rational midpoint(const Rational& a, const Rational& b) {
    Rational m;
    fmpq_add(m.raw(), a.raw(), b.raw());
    fmpq_div_2exp(m.raw(), m.raw(), 1);
    return m;
}

// Fold one Cartesian point into a box; the first point sets both corners.
void widen(ControlBox& box, bool first, Rational (&q)[3]) {
    for (std::size_t c = 0; c < 3; ++c) {
        if (first) {
            box[c] = q[c];
            box[c + 3] = std::move(q[c]);
        } else if (cmp(q[c], box[c]) < 0) {
            box[c] = std::move(q[c]);
        } else if (cmp(q[c], box[c + 3]) > 0) {
            box[c + 3] = std::move(q[c]);
        }
    }
}

}  // namespace

ControlBox control_box(const Net& net) {
    const std::size_t dim = at(at(net, 0), 0).size();
    ControlBox box;
    bool first = true;
    Rational q[3];
    for (const auto& row : net) {
        for (const Point& p : row) {
            poll_interrupt();
            for (std::size_t c = 0; c < 3; ++c) {
                if (dim == 3) {
                    q[c] = at(p, c);
                } else {
                    const Rational& x = at(p, c);
                    const Rational& w = at(p, 3);
                    q[c] = x / w;
                }
            }
            widen(box, first, q);
            first = false;
        }
    }
    return box;
}

bool boxes_overlap(const ControlBox& a, const ControlBox& b) {
    for (std::size_t c = 0; c < 3; ++c) {
        if (cmp(a[c], b[c + 3]) > 0) return false;
        if (cmp(b[c], a[c + 3]) > 0) return false;
    }
    return true;
}

std::pair<std::vector<Polygon>, std::vector<Polygon>> split_curves(std::vector<Polygon> polygons,
                                                                   std::size_t dim) {
    std::vector<Polygon> lefts;
    std::vector<Polygon> rights;
    lefts.reserve(polygons.size());
    rights.reserve(polygons.size());
    for (Polygon& p : polygons) {
        const std::size_t n = p.size();
        poll_interrupt(static_cast<std::uint32_t>(std::min<std::size_t>(n * n * dim, 256)));
        Polygon left{at(p, 0)};
        Polygon right{p[n - 1]};
        left.reserve(n);
        right.reserve(n);
        for (std::size_t f = 1; f < n; ++f) {
            for (std::size_t i = 0; i + f < n; ++i) {
                // The first dim coordinates are averaged; a longer point
                // keeps its extra ones.
                for (std::size_t c = 0; c < dim; ++c) {
                    const Rational& a = at(p[i], c);
                    const Rational& b = at(p[i + 1], c);
                    p[i][c] = midpoint(a, b);
                }
            }
            left.push_back(p[0]);
            right.push_back(p[n - f - 1]);
        }
        std::reverse(right.begin(), right.end());
        lefts.push_back(std::move(left));
        rights.push_back(std::move(right));
    }
    return {std::move(lefts), std::move(rights)};
}

std::array<Patch, 4> subdivide_patch(const Patch& patch) {
    const Net& net = patch.net;
    const std::size_t dim = at(at(net, 0), 0).size();
    const std::size_t rows = net.size();
    const std::size_t cols = net[0].size();
    std::vector<Polygon> columns(cols);
    for (std::size_t j = 0; j < cols; ++j) {
        columns[j].reserve(rows);
        for (std::size_t i = 0; i < rows; ++i) columns[j].push_back(at(net[i], j));
    }
    auto halves = split_curves(std::move(columns), dim);
    const ParamBox& b = patch.box;
    const Rational mu = midpoint(b.u0, b.u1);
    const Rational mv = midpoint(b.v0, b.v1);

    std::array<Patch, 4> out;
    for (int h = 0; h < 2; ++h) {
        std::vector<Polygon>& half = h == 0 ? halves.first : halves.second;
        Net half_net(rows);
        for (std::size_t i = 0; i < rows; ++i) {
            half_net[i].reserve(cols);
            for (std::size_t j = 0; j < cols; ++j) half_net[i].push_back(std::move(half[j][i]));
        }
        auto [lo, hi] = split_curves(std::move(half_net), dim);
        const Rational& ua = h == 0 ? b.u0 : mu;
        const Rational& ub = h == 0 ? mu : b.u1;
        out[2 * h] = Patch{std::move(lo), ParamBox{ua, ub, b.v0, mv}};
        out[2 * h + 1] = Patch{std::move(hi), ParamBox{ua, ub, mv, b.v1}};
    }
    return out;
}

namespace {

constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

// The first number in a file; none when it is absent or not a number ("max").
std::optional<std::size_t> read_number(const std::string& path) {
    std::ifstream in(path);
    unsigned long long v = 0;
    if (!(in >> v)) return std::nullopt;
    return static_cast<std::size_t>(v);
}

std::size_t headroom(std::size_t limit, std::size_t used) { return limit > used ? limit - used : 0; }

// What the memory cgroups of this process still allow: the least headroom
// of its group and every group above it, version 2 (memory.max) or
// version 1 (memory.limit_in_bytes). Groups whose files are not visible are
// skipped.
std::size_t cgroup_headroom() {
    std::ifstream groups("/proc/self/cgroup");
    std::size_t room = kNoLimit;
    std::string line;
    while (std::getline(groups, line)) {
        // "0::/path" (version 2) or "4:memory:/path" (version 1)
        const std::size_t a = line.find(':');
        const std::size_t b = a == std::string::npos ? a : line.find(':', a + 1);
        if (b == std::string::npos) continue;
        const std::string controllers = line.substr(a + 1, b - a - 1);
        // The group's path below the root, "" for the root itself.
        std::string dir = line.substr(b + 1);
        if (dir == "/") dir.clear();
        std::string root, limit_file, usage_file;
        if (controllers.empty()) {
            root = "/sys/fs/cgroup";
            limit_file = "/memory.max";
            usage_file = "/memory.current";
        } else if ((',' + controllers + ',').find(",memory,") != std::string::npos) {
            root = "/sys/fs/cgroup/memory";
            limit_file = "/memory.limit_in_bytes";
            usage_file = "/memory.usage_in_bytes";
        } else {
            continue;
        }
        while (true) {
            std::optional<std::size_t> limit = read_number(root + dir + limit_file);
            std::optional<std::size_t> used = read_number(root + dir + usage_file);
            if (limit && used) room = std::min(room, headroom(*limit, *used));
            if (dir.empty()) break;
            const std::size_t up = dir.rfind('/');  // "/a/b" to "/a", "/a" to ""
            dir.resize(up == std::string::npos ? 0 : up);
        }
    }
    return room;
}

// What a resource limit still allows, given the pages now in use.
std::size_t rlimit_headroom(int resource, std::size_t used) {
    rlimit r{};
    if (getrlimit(resource, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return kNoLimit;
    return headroom(static_cast<std::size_t>(r.rlim_cur), used);
}

}  // namespace

std::size_t default_ssi_budget() {
    constexpr std::size_t kCap = std::size_t{2} << 30;
    std::size_t budget = kCap;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page > 0)
        budget = std::min(budget, static_cast<std::size_t>(pages) * static_cast<std::size_t>(page) / 4);
    // Limits below physical memory: address space and data size (from the
    // sizes in /proc/self/statm), and the memory cgroup. Half of what they
    // leave, since the process needs room beside the search.
    std::size_t room = cgroup_headroom();
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0, shared = 0, text = 0, lib = 0, data = 0;
    if (page > 0 && statm >> size >> resident >> shared >> text >> lib >> data) {
        const std::size_t ps = static_cast<std::size_t>(page);
        room = std::min(room, rlimit_headroom(RLIMIT_AS, size * ps));
        room = std::min(room, rlimit_headroom(RLIMIT_DATA, data * ps));
    }
    if (room != kNoLimit) budget = std::min(budget, room / 2);
    return budget;
}

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
// the result (eight rationals, then a Python list of eight str, about
// 0.8 KiB: the largest item at shallow depth). When the count passes the
// budget (default_ssi_budget: a quarter of physical memory, at most 2 GiB,
// less under tighter limits)
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

struct FastPatch;
using PatchPtr = std::shared_ptr<const FastPatch>;
using Kids = std::array<PatchPtr, 4>;

// Immutable once built; `kids` is a memo of the subdivision so a patch that
// sits in several pairs is halved once.
struct FastPatch {
    explicit FastPatch(std::size_t n) : pts(n) {}
    FmpzVec pts;  // row-major: ((i * c) + j) * dim + k
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
    Search(Shape a, Shape b, std::uint64_t depth, std::size_t budget)
        : a_(std::move(a)), b_(std::move(b)), depth_(depth),
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
        for (std::size_t i = 0; i < n; ++i) z_set(w + i, src + i * stride);
        const std::size_t top = n - 1 + extra;
        z_shl(left, w, top);
        z_shl(right + (n - 1) * ostride, w + n - 1, top);
        for (std::size_t f = 1; f < n; ++f) {
            for (std::size_t i = 0; i + f < n; ++i) z_add(w + i, w + i, w + i + 1);
            z_shl(left + f * ostride, w, top - f);
            z_shl(right + (n - 1 - f) * ostride, w + n - 1 - f, top - f);
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
                    if (z_cmp(x + c, lo[c]) < 0) {
                        lo[c] = x + c;
                    } else if (z_cmp(x + c, hi[c]) > 0) {
                        hi[c] = x + c;
                    }
                }
            }
            for (int c = 0; c < 3; ++c) {
                if (integer_boxes_) {
                    z_set(fmpq_numref(box[c].raw()), lo[c]);
                    z_set(fmpq_numref(box[c + 3].raw()), hi[c]);
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
        // and the Python list of eight str the surface makes of them.
        const std::size_t digits = pbits_ * 31 / 100 + 2;
        pair_bytes_ = sizeof(Pair);
        if (level_ == depth_)
            pair_bytes_ += sizeof(PairBoxes) + 16 * int_bytes(pbits_) + 136 + 8 * (64 + 2 * digits);
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
    std::size_t budget_;
    bool limits_read_;  // budget_ is final; otherwise it is the probe bound
    FmpzVec work_, half_lo_, half_hi_;
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

PairBoxes boxes_of(const ParamBox& a, const ParamBox& b) {
    return PairBoxes{a.u0, a.u1, a.v0, a.v1, b.u0, b.u1, b.v0, b.v1};
}

}  // namespace

std::vector<PairBoxes> ssi_pairs(Net a, Net b, const ParamBox& a_box, const ParamBox& b_box,
                                 std::uint64_t depth, std::size_t budget) {
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
    Search search(shape_of(ka), shape_of(kb), depth, budget);
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
