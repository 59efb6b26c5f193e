#include "boolean/boolean.hpp"

#include <utility>

#include "boolean/bsp.hpp"
#include "exact/errors.hpp"

namespace qs {

namespace {

// Both operands' faces survive where they bound the result. Where the two
// coincide with the same orientation, A's face stays and B's goes.
void unite(BspTree& a, BspTree& b) {
    clip_by(a, b);
    clip_by(b, a);
    complement(b);
    clip_by(b, a);
    complement(b);
    insert_faces(a, collect_faces(b));
}

// A minus B: the faces of B that bound the removed region come back flipped.
void cut(BspTree& a, BspTree& b) {
    complement(a);
    clip_by(a, b);
    clip_by(b, a);
    complement(b);
    clip_by(b, a);
    complement(b);
    insert_faces(a, collect_faces(b));
    complement(a);
}

void intersect(BspTree& a, BspTree& b) {
    complement(a);
    clip_by(b, a);
    complement(b);
    clip_by(a, b);
    clip_by(b, a);
    insert_faces(a, collect_faces(b));
    complement(a);
}

// The operands' faces as pieces: copies of the vertices, the rest named.
std::vector<Piece> pieces_of(const Solid& s, std::uint32_t first_source) {
    std::vector<Piece> out;
    out.reserve(s.faces.size());
    for (std::size_t i = 0; i < s.faces.size(); ++i) {
        const Face& f = s.faces[i];
        out.push_back({f.vertices, f.approx, approx_box(f.approx, f.vertices.size()),
                       first_source + static_cast<std::uint32_t>(i), false});
    }
    return out;
}

// A piece becomes a face again: its vertices, and the label and plane of
// the face it came from, the plane negated when the piece was flipped.
Face face_of(const Sources& sources, Piece&& p) {
    const Face& from = sources.face(p.source);
    Face f;
    f.vertices = std::move(p.vertices);
    f.approx = std::move(p.approx);
    f.label = from.label;
    f.plane = from.plane;
    if (p.flipped) {
        f.plane.normal.x.negate();
        f.plane.normal.y.negate();
        f.plane.normal.z.negate();
        f.plane.offset.negate();
    }
    return f;
}

}  // namespace

Solid boolean_solids(std::string_view op, const Solid& a, const Solid& b) {
    std::vector<const Face*> faces;
    faces.reserve(a.faces.size() + b.faces.size());
    for (const Face& f : a.faces) faces.push_back(&f);
    for (const Face& f : b.faces) faces.push_back(&f);
    if (faces.size() > UINT32_MAX) throw std::bad_alloc();
    Sources sources(std::move(faces));
    BspTree ta(sources), tb(sources);
    insert_faces(ta, pieces_of(a, 0));  // copies: the operands stay as they are
    insert_faces(tb, pieces_of(b, static_cast<std::uint32_t>(a.faces.size())));
    // The empty set minus anything, and anything met with the empty set,
    // is empty. The tree sequences alone would give the other operand
    // (turned inside out for a cut), which breaks every identity a chain of
    // booleans relies on once it passes through an empty result.
    if (op == "union") {
        unite(ta, tb);
    } else if (op == "cut") {
        if (a.faces.empty()) return Solid{};
        cut(ta, tb);
    } else if (op == "intersect") {
        if (a.faces.empty() || b.faces.empty()) return Solid{};
        intersect(ta, tb);
    } else {
        throw Panic("unknown op");
    }
    std::vector<Piece> pieces = collect_faces(ta);
    std::vector<Face> out;
    out.reserve(pieces.size());
    for (Piece& p : pieces) out.push_back(face_of(sources, std::move(p)));
    return solid_from_faces(std::move(out));
}

}  // namespace qs
