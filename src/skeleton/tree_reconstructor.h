#pragma once
// Carries skeleton extraction from one command to the next: the voxel graph with its
// direction field and dense neighbour matrix, the marks of the growth passes, the
// skeleton nodes of the space-colonisation growth, and the embedded tree model.

#include <cstdint>
#include <string>
#include <vector>

#include "skeleton/neighbour_matrix.h"
#include "tree/geometry.h"
#include "tree/tree_model.h"
#include "voxel/voxel_volume.h"

struct SkeletonNode {
  int attractionCount = 0;
  std::vector<uint32_t> childNodes;  // nodes grown from this one, in creation order
  Vec3 position;
  Vec3 pull;       // sum of unit vectors to the assigned attraction points
  Vec3 direction;  // unit direction in which the node was grown; (0, 1, 0) for the root
};

class TreeReconstructor {
 public:
  uint32_t nVoxels = 0;
  std::vector<uint32_t> voxelIndex;  // voxel of each vertex, ascending
  std::vector<Vec3> positions;       // voxel centre; its tag becomes the status
  std::vector<Vec3> directions;      // direction field
  NeighbourMatrix distances;         // edge lengths (> 0 = edge) and edge marks
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
  TreeReconstructor(const TreeReconstructor&) = delete;
  TreeReconstructor& operator=(const TreeReconstructor&) = delete;

  void clear();
  void buildVoxelGraph(const VoxelVolume& volume);
  void computeDirectionField();
  void buildNeighbourGraph(uint32_t K);
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
};
