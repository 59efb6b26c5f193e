#include "boolean/classify.hpp"

#include <cmath>
#include <optional>
#include <utility>

#include "exact/errors.hpp"

// The filter's expression order is part of its error bound: this file is
// compiled with -ffp-contract=off so no multiply-add is fused.

namespace qs {

namespace {

ClassifyStats g_stats;

// 2^-48: the relative bound of the filter, with the 1 absorbing values
// that fell into the subnormals.
constexpr double kFilterScale = 0x1p-48;

// Filter outcome: a decided side, or kUndecided for the exact test.
constexpr int kUndecided = 2;

inline int filter_side(const PlaneApprox& pa, const Approx& p) noexcept {
    const double nx = pa[0], ny = pa[1], nz = pa[2], dd = pa[3];
    const double x = p[0], y = p[1], z = p[2];
    const double g = ((nx * x + ny * y) + nz * z) - dd;
    const double b =
        ((std::fabs(dd) + (std::fabs(nz * z) + (std::fabs(ny * y) + std::fabs(nx * x)))) + 1.0) *
        kFilterScale;
    if (std::isfinite(g)) {
        if (g > b) return kFront;
        if (g < -b) return kBack;
    }
    return kUndecided;
}

// Two fast paths for the exact test, both exact: whole numbers up to 62
// bits (FLINT holds them inline), and fractions whose numerators and
// denominators are all below 2^15 in magnitude. Everything else goes
// through Rational arithmetic.
inline bool small_integer(const Rational& r, long& out) noexcept {
    const fmpz n = *r.num();
    if (COEFF_IS_MPZ(n) || !fmpz_is_one(r.den())) return false;
    out = n;
    return true;
}

inline bool small_fraction(const Rational& r, long& num, long& den) noexcept {
    constexpr long kLimit = 1L << 15;
    const fmpz n = *r.num(), d = *r.den();
    if (COEFF_IS_MPZ(n) || COEFF_IS_MPZ(d) || n <= -kLimit || n >= kLimit || d >= kLimit)
        return false;
    num = n;
    den = d;
    return true;
}

inline Side sign_of(__int128 s) { return Side((s > 0) - (s < 0)); }

inline Side exact_side(const Plane& plane, const Point3& p) {
    const Rational* r[7] = {&plane.normal.x, &plane.normal.y, &plane.normal.z, &plane.offset,
                            &p.x, &p.y, &p.z};
    long v[7], w[7];
    bool ok = true;
    // Integers: three products below 2^124 and the offset sum to less than
    // 2^127.
    for (int i = 0; i < 7 && ok; ++i) ok = small_integer(*r[i], v[i]);
    if (ok)
        return sign_of(__int128(v[0]) * v[4] + __int128(v[1]) * v[5] + __int128(v[2]) * v[6] -
                       v[3]);
    // Fractions: with t_k/d_k = n_k * p_k (each part below 2^30) and the
    // offset f/g, the sign of s is that of
    // (t0 d1 d2 + t1 d0 d2 + t2 d0 d1) g - f d0 d1 d2, whose terms stay
    // below 2^105.
    ok = true;
    for (int i = 0; i < 7 && ok; ++i) ok = small_fraction(*r[i], v[i], w[i]);
    if (ok) {
        const __int128 t0 = v[0] * v[4], t1 = v[1] * v[5], t2 = v[2] * v[6];
        const __int128 d0 = w[0] * w[4], d1 = w[1] * w[5], d2 = w[2] * w[6];
        return sign_of((t0 * d1 * d2 + t1 * d0 * d2 + t2 * d0 * d1) * w[3] - v[3] * d0 * d1 * d2);
    }
    Rational s = dot(plane.normal, p);
    s -= plane.offset;
    return Side(s.sign());
}

// Side of every vertex, in vertex order, counted into the stats.
template <class Sides>
int classify_all(const Plane& plane, const PlaneApprox& pa, const Face& face, Sides& sides) {
    const std::size_t n = face.vertices.size();
    const bool have_approx = face.approx.size() == n;
    std::uint64_t exact = 0;
    int bits = 0;
    for (std::size_t i = 0; i < n; ++i) {
        int s = have_approx ? filter_side(pa, face.approx[i]) : kUndecided;
        if (s == kUndecided) {
            s = exact_side(plane, face.vertices[i]);
            ++exact;
        }
        sides[i] = Side(s);
        bits |= s == kFront ? 1 : (s == kBack ? 2 : 0);
    }
    g_stats.exact += exact;
    g_stats.filtered += n - exact;
    return bits;
}

inline Approx approx_point(const Point3& p) {
    return {rational_to_double(p.x), rational_to_double(p.y), rational_to_double(p.z)};
}

// A piece of a spanning face: the input's label and plane, fresh vertices.
// None when it has fewer than three vertices or its exact area vector is
// zero.
std::optional<Face> make_piece(const Face& from, std::vector<Point3>&& vertices,
                               std::vector<Approx>&& approx) {
    // The double filter only clears pieces whose area it can prove
    // nonzero; every other piece gets the exact test, so the answer is the
    // exact one either way.
    if (vertices.size() < 3 || has_zero_area(vertices, approx)) return std::nullopt;
    Face piece;
    piece.vertices = std::move(vertices);
    piece.approx = std::move(approx);
    piece.label = from.label;
    piece.plane = from.plane;
    return piece;
}

// Small faces classify into a buffer on the stack.
template <std::size_t N>
struct SideBuffer {
    std::array<Side, N> local;
    std::vector<Side> heap;
    Side* data;
    explicit SideBuffer(std::size_t n) {
        if (n <= N) {
            data = local.data();
        } else {
            heap.resize(n);
            data = heap.data();
        }
    }
    Side& operator[](std::size_t i) { return data[i]; }
};

}  // namespace

PlaneApprox plane_approx(const Plane& plane) {
    return {rational_to_double(plane.normal.x), rational_to_double(plane.normal.y),
            rational_to_double(plane.normal.z), rational_to_double(plane.offset)};
}

Side classify_vertex(const Plane& plane, const PlaneApprox& pa, const Face& face, std::size_t i) {
    const Point3& p = at(face.vertices, i);
    if (i < face.approx.size()) {
        int s = filter_side(pa, face.approx[i]);
        if (s != kUndecided) {
            ++g_stats.filtered;
            return Side(s);
        }
    }
    ++g_stats.exact;
    return exact_side(plane, p);
}

FaceSort sort_face(const Plane& plane, const PlaneApprox& pa, const Face& face,
                   SplitPieces& pieces) {
    const std::size_t n = face.vertices.size();
    SideBuffer<16> sides(n);
    switch (classify_all(plane, pa, face, sides)) {
        case 0:
            return dot(plane.normal, face.plane.normal).sign() > 0 ? FaceSort::kCoplanarFront
                                                                   : FaceSort::kCoplanarBack;
        case 1:
            return FaceSort::kFront;
        case 2:
            return FaceSort::kBack;
        default:
            break;
    }

    // Spanning: walk the loop from vertex 0; On vertices go to both pieces,
    // and each crossing point follows the first vertex of its edge.
    const bool have_approx = face.approx.size() == n;
    std::vector<Point3> fv, bv;
    std::vector<Approx> fa, ba;
    fv.reserve(n + 2);
    bv.reserve(n + 2);
    fa.reserve(n + 2);
    ba.reserve(n + 2);
    // A kept vertex keeps its approximation: converting it again would give
    // the same doubles.
    auto approx_of = [&](std::size_t i) {
        return have_approx ? face.approx[i] : approx_point(face.vertices[i]);
    };
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t j = i + 1 == n ? 0 : i + 1;
        const Side si = sides[i], sj = sides[j];
        const Point3& pi = face.vertices[i];
        if (si != kBack) {
            fv.push_back(pi);
            fa.push_back(approx_of(i));
        }
        if (si != kFront) {
            bv.push_back(pi);
            ba.push_back(approx_of(i));
        }
        if (si * sj < 0) {
            // Opposite strict sides, so n . (pj - pi) is not zero.
            Point3 edge = face.vertices[j] - pi;
            Rational t = plane.offset - dot(plane.normal, pi);
            t /= dot(plane.normal, edge);
            Point3 x = pi + t * edge;
            const Approx xa = approx_point(x);
            fv.push_back(x);
            fa.push_back(xa);
            bv.push_back(std::move(x));
            ba.push_back(xa);
        }
    }
    pieces.front = make_piece(face, std::move(fv), std::move(fa));
    pieces.back = make_piece(face, std::move(bv), std::move(ba));
    return FaceSort::kSpanning;
}

void split_face(const Plane& plane, const PlaneApprox& pa, Face&& face,
                std::vector<Face>& coplanar_front, std::vector<Face>& coplanar_back,
                std::vector<Face>& front, std::vector<Face>& back) {
    SplitPieces pieces;
    switch (sort_face(plane, pa, face, pieces)) {
        case FaceSort::kCoplanarFront:
            coplanar_front.push_back(std::move(face));
            break;
        case FaceSort::kCoplanarBack:
            coplanar_back.push_back(std::move(face));
            break;
        case FaceSort::kFront:
            front.push_back(std::move(face));
            break;
        case FaceSort::kBack:
            back.push_back(std::move(face));
            break;
        case FaceSort::kSpanning:
            if (pieces.front) front.push_back(std::move(*pieces.front));
            if (pieces.back) back.push_back(std::move(*pieces.back));
            break;
    }
}

ClassifyStats classify_stats() noexcept { return g_stats; }

void reset_classify_stats() noexcept { g_stats = {}; }

}  // namespace qs
