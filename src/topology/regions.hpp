// Regions of a plane from directed segments: the shared machinery of the
// logical faces and of sections. Segments bound the region on their left
// (seen from the tip of the plane's normal); pieces of one region that
// touch along a segment give it once each way, and those pairs cancel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "exact/point3.hpp"

namespace qs::topo {

inline constexpr std::uint32_t kNoLine = UINT32_MAX;

// A directed segment between two distinct points of a table, in a group
// (one plane and one side of it). `line` numbers the infinite line that
// carries it where split_at_junctions looked at that line: segments with
// the same number are collinear. `owner` is the caller's: the piece the
// segment bounds, kept through the splits.
struct Segment {
    std::uint32_t a, b;
    std::uint32_t group;
    std::uint32_t line = kNoLine;
    std::uint32_t owner = 0;
};

// Every segment cut at the points where other segments end inside it, so
// that segments on one line meet end to end (booleans leave T-junctions,
// where a long edge runs past the corners of several short ones). A
// segment that one other runs back along exactly is kept whole. Order:
// the input's, each cut segment's pieces in its direction.
std::vector<Segment> split_at_junctions(const std::vector<Point3>& points,
                                        const std::vector<Segment>& segments);

// Within each group, a segment and one running back between the same two
// points cancel; what is left, in input order. With `joined`, each pair of
// owners on the two sides of a cancelled segment is added to it.
std::vector<Segment> cancel_pairs(const std::vector<Segment>& segments,
                                  std::vector<std::pair<std::uint32_t, std::uint32_t>>* joined = nullptr);

// The closed loops of one group's remaining segments, in the plane whose
// normal is `normal`. Where several loops pass through one point, each
// arriving segment goes on by the sharpest left turn, so regions that
// only touch at a point stay apart; a loop that then visits a point twice
// is cut there into two. No loop repeats a point. Throws InputError when
// the segments do not close up into loops.
std::vector<std::vector<std::uint32_t>> trace_loops(const std::vector<Point3>& points,
                                                    const std::vector<Segment>& segments,
                                                    const Point3& normal);

// A region: its outer loop (counter-clockwise about the normal) and holes
// (clockwise), as point ids.
struct Region {
    std::vector<std::uint32_t> outer;
    std::vector<std::vector<std::uint32_t>> holes;
};

// Outer loops with the holes that lie in them (each in the smallest outer
// loop around it); loops without area are dropped. Regions in the order
// of their outer loops, holes in the order of the loops.
std::vector<Region> nest_loops(const std::vector<Point3>& points,
                               std::vector<std::vector<std::uint32_t>> loops, const Point3& normal);

// The regions of loops whose owners (`key`, one per loop) are known to be
// connected: the loops of one key make one region, its one outer loop with
// the rest as holes. Loops without area are dropped. Sets `keys` to each
// region's key; where some key has no outer loop or more than one, falls
// back to nest_loops and leaves `keys` empty.
std::vector<Region> group_loops(const std::vector<Point3>& points,
                                std::vector<std::vector<std::uint32_t>> loops,
                                const std::vector<std::uint32_t>& key, const Point3& normal,
                                std::vector<std::uint32_t>& keys);

// Where p lies against a loop in the plane: +1 inside, 0 on it, -1 outside.
int locate(const std::vector<Point3>& points, const std::vector<std::uint32_t>& loop,
           const Point3& p, const Point3& normal);

// Of several regions, the one whose area holds p (the smallest outer loop
// around it), or -1.
long region_of(const std::vector<Point3>& points, const std::vector<Region>& regions,
               const Point3& p, const Point3& normal);

}  // namespace qs::topo
