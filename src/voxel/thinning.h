#pragma once
// Neighbourhood tables and local topology tests of the voxel thinning. A cell's 26
// neighbours are numbered in a fixed order (dY = +1, 0, -1; within each dZ = -1, 0, +1;
// within each dX = -1, 0, +1; the centre left out); a neighbourhood is a 26-bit mask
// whose bit i is set when neighbour i is occupied.

#include <cstdint>

constexpr int kNeighbourCount = 26;
constexpr int kNeighbour18Count = 18;
constexpr int kFaceCount = 6;

struct NeighbourOffset {
  int dx = 0, dz = 0, dy = 0;
};

struct NeighbourTables {
  NeighbourOffset offsets[kNeighbourCount];
  int64_t linearOffsets[kNeighbourCount] = {};  // dx + dimX*(dz + dimZ*dy)
  // Per neighbour, the other neighbours 26-adjacent to it inside the 3x3x3 block; ends with -1.
  int adjacency26[kNeighbourCount][17] = {};
  // The face and edge neighbours (squared length <= 2), as 26-indices in increasing order.
  int neighbours18[kNeighbour18Count] = {};
  // Per entry of neighbours18, the positions in neighbours18 at squared distance 1; ends with -1.
  int adjacency6[kNeighbour18Count][7] = {};
  // The face neighbours as positions in neighbours18, in the order -Z, +Z, -X, +X, +Y, -Y.
  int faces[kFaceCount] = {};

  // The same lists as bit masks over the 26-indices, for the flood fills.
  uint32_t adjacency26Mask[kNeighbourCount] = {};
  uint32_t adjacency6Mask[kNeighbourCount] = {};  // 0 for the eight corners
  uint32_t region18Mask = 0;
  int faceIndex[kFaceCount] = {};  // 26-index of each face neighbour
};

// Builds every table for a volume whose rows hold dimX cells and whose layers hold dimZ rows.
NeighbourTables buildNeighbourTables(int32_t dimX, int32_t dimZ);

// At most one occupied neighbour: such cells are never removed.
bool isEndPoint(uint32_t neighbourhood);
// The occupied neighbours form one 26-connected set (none counts as one).
bool isObjectConnected(const NeighbourTables& tables, uint32_t neighbourhood);
// The empty face neighbours lie in one 6-connected component of the empty cells among the
// 18 face and edge neighbours (none counts as one).
bool isBackgroundConnected(const NeighbourTables& tables, uint32_t neighbourhood);
// Removing the centre keeps the topology: both tests above pass.
bool isSimple(const NeighbourTables& tables, uint32_t neighbourhood);
