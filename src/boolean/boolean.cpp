#include "boolean/boolean.hpp"

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

}  // namespace

Solid boolean_solids(std::string_view op, const Solid& a, const Solid& b) {
    BspTree ta, tb;
    insert_faces(ta, a.faces);  // deep copies: the operands stay as they are
    insert_faces(tb, b.faces);
    if (op == "union")
        unite(ta, tb);
    else if (op == "cut")
        cut(ta, tb);
    else if (op == "intersect")
        intersect(ta, tb);
    else
        throw Panic("unknown op");
    return solid_from_faces(collect_faces(ta));
}

}  // namespace qs
