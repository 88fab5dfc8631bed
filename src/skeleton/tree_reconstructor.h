#pragma once
// Carries skeleton extraction from one command to the next: the voxel graph with its
// direction field and edge store, the marks of the growth passes, the skeleton nodes of the
// space-colonisation growth, and the embedded tree model.
//
// Where the members are defined, and the settings each operation reads (none writes a
// setting, except that the tree model's level indexing at the end of growEdges writes
// g_nMaxLevel and g_level):
// - voxel_graph.cpp: buildVoxelGraph (GraphParams: g_nKNN, g_dSearchRadius, g_bRefineTrunk,
//   g_dFieldRadialExponent, g_dFieldHeightExponent, g_dFieldTopAngle, g_dFieldBottomAngle),
//   computeDirectionField, buildNeighbourGraph, linkTrunkSeeds (g_nKNN),
//   deleteSelectedVoxel, buildShortestPathTree.
// - growth.cpp: EdgeQueue; reconstruct and growSkeleton (ColonisationParams:
//   g_dInfluenceRadius, g_dKillDistance, g_dStepSize, g_dConstraintAngle, g_bSpeedup);
//   refineTree (g_nKNN, g_nKNNUsed, and GraphParams when it rebuilds the graph) and
//   growEdges (EdgeGrowthParams: g_dAngle1..g_dAngle4, g_dVoxelSize, g_dSearchRadius).
// - tree_reconstructor.cpp: destruction, clear, loadLeafModel.
// - graph_gl.cpp (render library): the draw members (g_bShowPathTree, g_bShowDirections).
// - edge_store.cpp, radius_edge_store.cpp, radius_grid.cpp: the edge store.

#include <cstdint>
#include <string>
#include <vector>

#include "skeleton/edge_store.h"
#include "tree/geometry.h"
#include "tree/tree_model.h"
#include "voxel/voxel_volume.h"

// The distance rule of the skeleton extraction: the length of a - b, but 0 when either
// operand carries a status.
inline double graphDistance(const Vec3& a, const Vec3& b) {
  if (a.status != kVecValid || b.status != kVecValid) return 0.0;
  return length(a - b);
}

// Settings of a graph build, read once at its start.
struct GraphParams {
  double searchRadius = 0.0;  // g_dSearchRadius
  uint32_t knn = 0;           // g_nKNN, negative taken as 0
  int refineTrunk = 0;        // g_bRefineTrunk
  double fieldRadialExponent = 0.0, fieldHeightExponent = 0.0;
  double fieldTopAngle = 0.0, fieldBottomAngle = 0.0;  // degrees
  static GraphParams fromSettings();
};

// Settings of the space-colonisation growth.
struct ColonisationParams {
  double influenceRadius = 0.0, killDistance = 0.0, stepSize = 0.0;
  double constraintAngle = 0.0;  // degrees
  bool speedup = true;
  static ColonisationParams fromSettings();
};

// Settings of the best-first edge growth; angles in radians.
struct EdgeGrowthParams {
  double wideCone = 0.0;         // g_dAngle1: cone about the edge direction of a wide-cone edge
  double fieldLimit = 0.0;       // g_dAngle2: largest angle to the vertex's field direction
  double spread = 0.0;           // g_dAngle3: a kept candidate suppresses others this close
  double horizontalLimit = 0.0;  // g_dAngle4: largest horizontal angle to the field direction
  double minLength = 0.0;        // 1.2 g_dVoxelSize: shorter edges are no candidates
  double searchRadius = 0.0;     // g_dSearchRadius: edges this long keep the wide cone
  static EdgeGrowthParams fromSettings();
};

struct SkeletonNode {
  int attractionCount = 0;
  std::vector<uint32_t> childNodes;  // nodes grown from this one, in creation order
  Vec3 position;
  Vec3 pull;       // sum of unit vectors to the assigned attraction points
  Vec3 direction;  // unit direction in which the node was grown; (0, 1, 0) for the root
};

// An edge waiting in the best-first queue of growEdges.
struct EdgeCandidate {
  int from = 0;
  int to = 0;
  int segment = 0;        // index of the tree segment of this edge
  double priority = 0.0;  // largest first
  uint8_t wideCone = 1;   // the edge may use g_dAngle1 as its cone limit instead of 60 degrees
};

// A possible continuation at the end of the edge being expanded.
struct ChildCandidate {
  Vec3 offset;  // candidate position minus the edge's end position
  int vertex = 0;
  double deviation = 0.0;  // radians between offset and the edge direction
  double length = 0.0;     // graph distance from the edge's end
  double sine = 0.0;       // sin(deviation)
  uint8_t done = 0;
  uint8_t wideCone = 1;
};

// Max-heap of edge candidates on priority in an array (children of k at 2k + 1, 2k + 2).
// push sifts up while strictly greater than the parent; pop moves the hole at the top down
// to a leaf along the larger child (the right one unless smaller than the left), puts the
// last entry there and sifts it up.
class EdgeQueue {
 public:
  void push(const EdgeCandidate& e);
  EdgeCandidate pop();  // requires !empty()
  bool empty() const { return heap_.empty(); }
  size_t size() const { return heap_.size(); }
  const std::vector<EdgeCandidate>& entries() const { return heap_; }

 private:
  void siftUp(size_t hole, const EdgeCandidate& e);
  std::vector<EdgeCandidate> heap_;
};

class TreeReconstructor {
 public:
  uint32_t nVoxels = 0;
  std::vector<uint32_t> voxelIndex;  // voxel of each vertex, ascending
  std::vector<Vec3> positions;       // voxel centre; its tag becomes the status
  std::vector<Vec3> directions;      // direction field; length = relative radius
  // Edge lengths (> 0 = edge; -1 none; the diagonal of a vertex found by its own radius
  // query holds minus the volume diagonal) and the edge marks of the growth passes.
  NeighbourGraph distances;
  std::vector<uint8_t> visited;
  double markerSize = 0.3;
  const VoxelVolume* volume = nullptr;  // not owned
  int rootVoxel = -1;
  int refineRoot = -1;
  int secondVoxel = -1;
  int refineSecond = -1;
  bool notGrown = true;
  TreeModel model;
  double maxRadius = 0.0;
  std::vector<SkeletonNode> skeletonNodes;

  TreeReconstructor() = default;
  ~TreeReconstructor();
  TreeReconstructor(const TreeReconstructor&) = delete;
  TreeReconstructor& operator=(const TreeReconstructor&) = delete;

  void clear();
  // True when the vertex arrays, the edge store and a volume exist (the later passes need all).
  bool hasGraph() const { return volume != nullptr && !distances.empty() && positions.size() == nVoxels; }
  // True when v names a vertex of the current graph.
  bool isVertex(int v) const { return v >= 0 && static_cast<uint32_t>(v) < nVoxels; }

  void buildVoxelGraph(const VoxelVolume& volume);
  void computeDirectionField(const GraphParams& params);
  // Returns false (after "Memory allocation error!") when the edge store cannot be had.
  bool buildNeighbourGraph(const GraphParams& params);
  void linkTrunkSeeds();
  void deleteSelectedVoxel();
  bool buildShortestPathTree();

  bool reconstruct();
  void growSkeleton(int root);
  bool refineTree();
  void growEdges(uint32_t r, uint32_t s);

  // Loads a leaf model into the tree model; prints "Failed to load leaf model" on failure.
  // Returns true on success.
  bool loadLeafModel(const std::string& path);

  // Drawing (render library).
  void drawGraph();
  // One solid sphere from a display list compiled on the first call (which draws nothing).
  static void drawMarkerSphere(double radius, int slices, int stacks);
  void drawSkeleton() const;
  void drawDirectionField();
  // A cone of slant length 0.1 and half-angle 30 degrees with its tip at tip, along unit d.
  static void drawArrowHead(const Vec3& tip, const Vec3& d);
};
