#pragma once
// Branch drawing: lit tubes along the refined branch polylines, or the bare segment tree as
// lines coloured by depth. The drawing calls are recorded into the tree display list; the
// geometry they emit is computed by the GL-free helpers below.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tree/geometry.h"

class TreeModel;

// Entry of the 256-entry depth colour table (red, green, blue bytes), a ramp from dark blue
// through blue, cyan, green and yellow to red and dark red. The index is clamped to 0..255.
const unsigned char* depthColour(int index);

// Replaces a polyline (at least two nodes, one radius per node) by its once-refined version:
// a Catmull-Rom midpoint with the mean radius is inserted into every segment. Lists of other
// shapes are left unchanged.
void subdivideBranch(std::vector<Vec3>& nodes, std::vector<double>& radii);

// One ring of a tube: unit normals (zero where the frame is degenerate) and surface vertices
// at half the node radius from the polyline.
struct TubeRing {
  std::vector<Vec3> normals;
  std::vector<Vec3> vertices;
};

// Rings at every node of a polyline, the frame carried from node to node. Empty when there
// are fewer than two nodes, fewer radii than nodes, or no sides.
std::vector<TubeRing> tubeRings(const std::vector<Vec3>& nodes, const std::vector<double>& radii, int sides);

// The tube of one polyline as GL quad strips, one strip per polyline segment, stored one
// after another: strip k holds vertices [k * stripSize(), (k + 1) * stripSize()). Within a
// strip, vertex 2j lies on the ring of node k + 1 and vertex 2j + 1 on the ring of node k,
// at s = j / sides; the last pair repeats side 0 at s = 1. t = node index / (node count - 1).
struct BranchTube {
  uint32_t branch = 0;  // index in TreeModel::branches (0 for a tube built from a bare polyline)
  int sides = 0;
  std::vector<Vec3> normals;  // one per vertex, as the rings give them
  std::vector<Vec3> vertices;
  std::vector<double> texCoords;  // s, t per vertex
  size_t stripSize() const { return 2 * (static_cast<size_t>(sides) + 1); }
  size_t stripCount() const { return sides > 0 ? vertices.size() / stripSize() : 0; }
};

// The strips over tubeRings(nodes, radii, sides); no strips where tubeRings gives no rings.
BranchTube tubeStrips(const std::vector<Vec3>& nodes, const std::vector<double>& radii, int sides);

// The tubes drawBranches draws, in branch order: every branch with at least two nodes and
// one radius per node, refined once by subdivideBranch, 12 sides on the trunk, 8 elsewhere.
std::vector<BranchTube> branchTubes(const TreeModel& model);

// One line of the skeleton display: the segment and its colour-table index.
struct SkeletonLine {
  uint32_t segment = 0;
  int colourIndex = 0;
};

// The segments reached breadth-first from segment 0 through traced children, in drawing
// order, coloured by depth * 255 / g_level. When the model has no level depths (not indexed,
// or g_level below 1) the depth is counted from the root during the walk and the deepest
// reached depth takes the place of g_level.
std::vector<SkeletonLine> skeletonLines(const TreeModel& model);

// ---- Drawing (render library) ----
// Lit tubes of branchTubes(model) in g_fBranchColor (read).
void drawBranches(const TreeModel& model);
// The segment tree as lines of width 3, coloured by depth.
void drawSkeletonLines(const TreeModel& model);
// Records tubeStrips(nodes, radii, sides).
void drawTube(const std::vector<Vec3>& nodes, const std::vector<double>& radii, int sides);
