#include "boolean/detail.hpp"

#include <utility>

#include "exact/errors.hpp"

namespace qs {

Side classify_vertex(const Plane& plane, const Face& face, std::size_t i) {
    const TestPlane tp(plane);
    Scratch s;
    const Point3& p = at(face.vertices, i);
    const std::vector<Point3> one{p};
    std::vector<Approx> one_approx;
    if (i < face.approx.size()) one_approx.push_back(face.approx[i]);
    Side side;
    classify_loop(tp, false, one, one_approx, nullptr, nullptr, &side, s);
    return side;
}

void split_face(const Plane& plane, Face&& face, std::vector<Face>& coplanar_front,
                std::vector<Face>& coplanar_back, std::vector<Face>& front,
                std::vector<Face>& back) {
    const TestPlane tp(plane);
    Scratch s;
    SideBuffer sides(face.vertices.size());
    switch (classify_loop(tp, false, face.vertices, face.approx, nullptr, nullptr, sides.data(), s)) {
        case 0:
            if (dot(plane.normal, face.plane.normal).sign() > 0)
                coplanar_front.push_back(std::move(face));
            else
                coplanar_back.push_back(std::move(face));
            return;
        case 1:
            front.push_back(std::move(face));
            return;
        case 2:
            back.push_back(std::move(face));
            return;
        default:
            break;
    }
    Loop f, b;
    split_loop(tp, sides.data(), std::move(face.vertices), std::move(face.approx), {}, kNotCut, f,
               b, s);
    for (auto [loop, to] : {std::pair{&f, &front}, std::pair{&b, &back}}) {
        if (loop->empty()) continue;
        Face piece;
        piece.vertices = std::move(loop->vertices);
        piece.approx = std::move(loop->approx);
        piece.label = face.label;
        piece.plane = face.plane;
        to->push_back(std::move(piece));
    }
}

}  // namespace qs
