#pragma once
// The shortest-path tree of key p: Dijkstra from a root over the complete graph of the
// vertices, every pair at its graph distance (graphDistance; the diagonal unreachable). The
// next vertex settled is the first of the least tentative distances; a vertex moves to a new
// predecessor only when the path through it is strictly shorter, as computed in floating
// point.
//
// Without flagged or non-finite vertices the triangle inequality leaves rounding as the only
// way a path through another vertex can beat the direct edge, and rounding can only do that
// for vertices lying almost exactly behind the settled vertex as seen from the root. The
// search then relaxes only the vertices within a narrow cone (bounded with a wide margin over
// the worst rounding of the path sums) instead of every vertex, which gives the same tree in
// about n log n instead of n^2 steps.

#include <cstdint>
#include <vector>

#include "tree/geometry.h"

// The predecessor of each vertex on its shortest path from root (-1 for the root and for
// vertices never reached). Prints the progress counter as vertices are settled:
// "\b\b\b\b\b\b\b%4.1f%%" after each, "\b\b\b\b\b\b\b100.0%" when the rest cannot be reached.
// exhaustive relaxes every vertex each time (the plain n^2 search; for comparison).
std::vector<int64_t> shortestPathTree(const std::vector<Vec3>& positions, uint32_t root, bool exhaustive = false);
