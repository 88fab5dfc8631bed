#pragma once
// The branch hierarchy built from a skeleton: segments handed over by the growth, branches
// traced along the thickest and straightest child, radii, orders, twig pruning; plus the
// leaf model and leaf placement scratch space that the tree display uses.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "tree/geometry.h"

// One skeleton segment handed from the growth to the tree model.
struct TreeSegment {
  Vec3 start;  // the parent segment's end; for the root segment a point 0.2 below the root node
  Vec3 end;    // the skeleton node's position
  Vec3 displayStart;
  Vec3 displayEnd;
  double startRadius = 0.0;
  double endRadius = 0.0;
  double displayStartRadius = 0.0;
  double displayEndRadius = 0.0;
  // Radius measured from the scan at the segment's end (stored units, twice the drawn radius),
  // or negative where the pipe model gives it; see computeRadii.
  double fittedRadius = -1.0;
  int32_t parent = -1;      // index of the parent segment; -1 for the root segment
  uint32_t childCount = 0;  // children taking part in tracing; may be lower than children.size()
  std::vector<uint32_t> children;
};

// Entries of children that take part in tracing: childCount, capped at the list length.
// Callers still skip entries that are not valid segment indices.
inline uint32_t tracedChildCount(const TreeSegment& s) {
  return s.childCount < s.children.size() ? s.childCount : static_cast<uint32_t>(s.children.size());
}

struct Branch {
  std::vector<Vec3> nodes;    // polyline from base to tip; emptied when the branch is pruned
  std::vector<double> radii;  // one per node
  int32_t order = 0;          // 1 for the trunk, parent's order + 1 for others; -1 while unassigned
};

// The members are defined in several files, named with each group below:
//   tree/tree_model.cpp        construction, segments, levels, tracing, orders, pruning, display hook
//   tree/branch_radii.cpp      computeRadii
//   tree/export.cpp            exportTree
//   foliage/leaf_model.cpp     loadLeafModel
//   foliage/leaf_shape_gl.cpp  compileLeafShape, drawLeafShape, drawLeafStem (render library)
// Each operation names the globals it reads or writes (settings in settings/settings.h, the C
// library generator); an operation naming none touches none.
class TreeModel {
 public:
  // ---- Branch hierarchy ----
  // Segments come from the skeleton growth (appendSegment, setChildRange); the rest is
  // written by indexLevels and the rebuild steps.
  bool built = false;
  std::vector<int32_t> depths;  // per segment; -1 until indexLevels runs
  std::vector<TreeSegment> segments;
  std::vector<uint32_t> savedChildCounts;
  std::vector<std::unique_ptr<Branch>> branches;
  std::deque<uint32_t> pendingStarts;
  Branch* currentBranch = nullptr;
  int32_t maxOrder = 1;

  // ---- Leaf model ----
  // Written by loadLeafModel (foliage/leaf_model.cpp); leafShapeList by compileLeafShape.
  Vec3 stemColor;
  std::vector<Vec3> stemPoints;
  std::vector<double> stemWidths;
  std::vector<Vec3> leafVertices;
  std::vector<double> leafTexCoords;  // u, v per vertex
  std::vector<int> leafTriangles;     // three 0-based vertex indices per triangle
  std::vector<Vec3> leafNormals;      // one unit normal per triangle
  unsigned int leafShapeList = 0;     // GL list name of the compiled leaf shape; 0 = none

  // ---- Leaf placement and tree display ----
  // 16 leaf matrices, stored row by row (element (r, c) at 4r + c); zero until written.
  // Written by placeLeaves and its arrangements (foliage/leaf_placement.cpp).
  Mat4 leafFrames[16];
  // GL list name of the tree; 0 = none. Written by buildTreeList (foliage/tree_list_gl.cpp).
  unsigned int treeList = 0;

  // Compiles the tree display list; installed by the render layer (installTreeListBuilder in
  // foliage/tree_list_gl.cpp), null when headless. Defined in tree/tree_model.cpp.
  static void (*listBuilder)(TreeModel&);

  // ---- tree/tree_model.cpp ----
  // Seeds the C library generator with the time (srand); zeroes leafFrames.
  TreeModel();
  TreeModel(const TreeModel&) = delete;
  TreeModel& operator=(const TreeModel&) = delete;

  // Empties the branch hierarchy (not the leaf model, not the GL lists); reseeds srand with
  // the time.
  void clear();
  void appendSegment(const TreeSegment& segment);
  void setChildRange(uint32_t index, int count, uint32_t base);
  // Drops leaf spurs, saves the child counts, computes depths. Writes g_nMaxLevel and g_level
  // (both the deepest depth); prints the segment count and g_level.
  void indexLevels();
  // rebuild, then buildDisplay.
  void finalise();
  // computeRadii, traceBranches, assignOrders, pruneTwigs: the globals those read.
  void rebuild();
  // Restores the saved child counts, zeroes those of segments at depth g_level (read) or
  // deeper, then rebuild and buildDisplay.
  void applyLevel();
  bool isBuilt() const { return built; }
  // Runs listBuilder when one is installed; the tree list reads the display settings and
  // draws from rand() for the leaf jitter (foliage/tree_display.h).
  void buildDisplay();

  // Steps of rebuild, in the order it runs them (public so that each can be checked alone).
  // Pipe-model start radii from the root segment, then end radii over every segment. A
  // segment with a fitted radius starts with it instead; when any segment has one, no child
  // then starts thicker than its parent. Reads g_dBranchThickness and g_dBranchRatio.
  // Defined in tree/branch_radii.cpp.
  void computeRadii();
  // Replaces branches by the branches traced from segment 0 (a loop, never recursion).
  void traceBranches();
  // Branch orders by fork position, the trunk refinement when g_bRefineTrunk (read) is set;
  // sets built.
  void assignOrders();
  // Empties the nodes of every branch shorter than g_dTwigRemoveRatio (read) times the trunk
  // length; a model with fitted radii is left whole.
  void pruneTwigs();

  // ---- tree/export.cpp ----
  // Writes the branches to path with its last three characters replaced by "txt".
  // Returns false (with a message naming the path) when the file cannot be written.
  bool exportTree(const std::string& path, double scale);

  // ---- foliage/leaf_model.cpp ----
  // Reads a leaf-model file; on failure returns false with a reason and changes nothing. On
  // success also writes g_fBranchColor and g_fLeafColor from the file.
  bool loadLeafModel(const std::string& path, std::string* reason = nullptr);

  // ---- foliage/leaf_shape_gl.cpp (render library) ----
  // The geometry they record is built by leafStem and leafBlade (foliage/leaf_shape.h).
  // Compiles leafShapeList afresh: drawLeafShape in g_fLeafColor (read).
  void compileLeafShape();
  // The stem in stemColor, then the blade in color, scaled by g_dLeafSize (read).
  void drawLeafShape(const float color[3]) const;
  // The stem alone, scaled by g_dLeafSize (read).
  void drawLeafStem() const;
};
