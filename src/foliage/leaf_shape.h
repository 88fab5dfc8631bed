#pragma once
// Geometry of the leaf shape, GL-free: the stem, a tube of triangular cross-section along the
// stem polyline, and the blade triangles, both scaled by the leaf size. The compiled leaf
// shape (TreeModel::compileLeafShape, drawLeafShape, drawLeafStem in leaf_shape_gl.cpp)
// records exactly this.

#include <cstddef>
#include <vector>

#include "tree/geometry.h"
#include "tree/tree_model.h"

// Sides of the stem tube.
constexpr int kLeafStemSides = 3;

// The stem as GL quad strips, one per stem segment, stored one after another: strip k holds
// vertices [k * kStripSize, (k + 1) * kStripSize). Within a strip, vertex 2i lies on the ring
// of stem point k + 1 and vertex 2i + 1 on the ring of point k, side i mod 3 (the strip
// closes on side 0). Statuses follow the Vec3 arithmetic.
struct LeafStem {
  static constexpr size_t kStripSize = 2 * (kLeafStemSides + 1);
  std::vector<Vec3> normals;  // one per vertex: unit, or zero where the frame is degenerate
  std::vector<Vec3> vertices;
  size_t stripCount() const { return vertices.size() / kStripSize; }
};

// The blade: three vertices per triangle, in the model's triangle order; triangles with an
// index outside the vertex list are left out.
struct LeafBlade {
  std::vector<Vec3> normals;      // one per triangle, the model's leafNormals
  std::vector<Vec3> vertices;     // three per triangle
  std::vector<double> texCoords;  // u, v per vertex; empty when the model has fewer than 2 per vertex
};

// Stem of model's stemPoints and stemWidths (the shorter list decides); no strips for fewer
// than two points. The stem's frame starts at right angles to the first segment and is
// carried from point to point.
LeafStem leafStem(const TreeModel& model, double leafSize);

// Blade triangles of model's leafTriangles, as many as both it and leafNormals cover.
LeafBlade leafBlade(const TreeModel& model, double leafSize);
