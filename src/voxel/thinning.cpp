#include "voxel/thinning.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "voxel/voxel_volume.h"

namespace {

constexpr uint32_t kAllNeighbours = (1u << kNeighbourCount) - 1;

// Peeling directions as (dX, dZ, dY), in the order the thinning visits them.
constexpr NeighbourOffset kFaceDirections[kFaceCount] = {{0, -1, 0}, {0, 1, 0}, {-1, 0, 0},
                                                         {1, 0, 0},  {0, 0, 1}, {0, 0, -1}};

int squaredDistance(const NeighbourOffset& a, const NeighbourOffset& b) {
  const int dx = a.dx - b.dx, dz = a.dz - b.dz, dy = a.dy - b.dy;
  return dx * dx + dz * dz + dy * dy;
}

int squaredLength(const NeighbourOffset& a) {
  return squaredDistance(a, NeighbourOffset());
}

bool sameOffset(const NeighbourOffset& a, const NeighbourOffset& b) {
  return squaredDistance(a, b) == 0;
}

// Every member of set reachable from start through the adjacency masks.
uint32_t reachableFrom(int start, uint32_t set, const uint32_t* adjacency) {
  uint32_t reached = 1u << start;
  uint32_t frontier = reached;
  while (frontier != 0) {
    const int k = __builtin_ctz(frontier);
    frontier &= frontier - 1;
    const uint32_t fresh = adjacency[k] & set & ~reached;
    reached |= fresh;
    frontier |= fresh;
  }
  return reached;
}

void fillOffsets(NeighbourTables& t, int32_t dimX, int32_t dimZ) {
  int n = 0;
  for (int dy = 1; dy >= -1; --dy) {
    for (int dz = -1; dz <= 1; ++dz) {
      for (int dx = -1; dx <= 1; ++dx) {
        if (dx == 0 && dz == 0 && dy == 0) continue;
        t.offsets[n] = {dx, dz, dy};
        t.linearOffsets[n] = dx + int64_t(dimX) * (dz + int64_t(dimZ) * dy);
        ++n;
      }
    }
  }
}

void fillAdjacency26(NeighbourTables& t) {
  for (int i = 0; i < kNeighbourCount; ++i) {
    int k = 0;
    for (int j = 0; j < kNeighbourCount; ++j) {
      if (j == i || squaredDistance(t.offsets[i], t.offsets[j]) > 3) continue;
      t.adjacency26[i][k++] = j;
      t.adjacency26Mask[i] |= 1u << j;
    }
    t.adjacency26[i][k] = -1;
  }
}

void fillNeighbourhood18(NeighbourTables& t) {
  int n = 0;
  for (int i = 0; i < kNeighbourCount; ++i) {
    if (squaredLength(t.offsets[i]) > 2) continue;
    t.neighbours18[n++] = i;
    t.region18Mask |= 1u << i;
  }
  for (int p = 0; p < kNeighbour18Count; ++p) {
    const int i = t.neighbours18[p];
    int k = 0;
    for (int q = 0; q < kNeighbour18Count; ++q) {
      const int j = t.neighbours18[q];
      if (squaredDistance(t.offsets[i], t.offsets[j]) != 1) continue;
      t.adjacency6[p][k++] = q;
      t.adjacency6Mask[i] |= 1u << j;
    }
    t.adjacency6[p][k] = -1;
  }
  for (int f = 0; f < kFaceCount; ++f) {
    for (int p = 0; p < kNeighbour18Count; ++p) {
      if (!sameOffset(t.offsets[t.neighbours18[p]], kFaceDirections[f])) continue;
      t.faces[f] = p;
      t.faceIndex[f] = t.neighbours18[p];
    }
  }
}

// Bit i set when the cell at index + linearOffsets[i] is occupied.
uint32_t neighbourhoodOf(const std::vector<uint8_t>& labels, int64_t index, const NeighbourTables& t) {
  uint32_t mask = 0;
  for (int i = 0; i < kNeighbourCount; ++i) mask |= uint32_t(labels[index + t.linearOffsets[i]] != 0) << i;
  return mask;
}

bool isRemovable(const std::vector<uint8_t>& labels, int64_t index, const NeighbourTables& t) {
  const uint32_t neighbourhood = neighbourhoodOf(labels, index, t);
  return !isEndPoint(neighbourhood) && isSimple(t, neighbourhood);
}

// Occupied cells in [first, last) whose neighbour at faceOffset is empty and that could be removed.
void collectCandidates(const std::vector<uint8_t>& labels, int64_t first, int64_t last, int64_t faceOffset,
                       const NeighbourTables& t, std::vector<int64_t>& candidates) {
  int64_t j = first;
  while (j < last) {
    // Most of a volume is empty: skip eight empty cells at a time.
    uint64_t eight = 1;
    if (j + 8 <= last) std::memcpy(&eight, &labels[j], sizeof eight);
    if (eight == 0) {
      j += 8;
      continue;
    }
    if (labels[j] != 0 && labels[j + faceOffset] == 0 && isRemovable(labels, j, t)) candidates.push_back(j);
    ++j;
  }
}

// Clears every candidate still removable after the removals before it; returns how many.
long removeCandidates(std::vector<uint8_t>& labels, const std::vector<int64_t>& candidates, const NeighbourTables& t) {
  long removed = 0;
  for (const int64_t j : candidates) {
    if (!isRemovable(labels, j, t)) continue;
    labels[j] = 0;
    ++removed;
  }
  return removed;
}

}  // namespace

NeighbourTables buildNeighbourTables(int32_t dimX, int32_t dimZ) {
  NeighbourTables t;
  fillOffsets(t, dimX, dimZ);
  fillAdjacency26(t);
  fillNeighbourhood18(t);
  return t;
}

bool isEndPoint(uint32_t neighbourhood) {
  return __builtin_popcount(neighbourhood & kAllNeighbours) <= 1;
}

bool isObjectConnected(const NeighbourTables& t, uint32_t neighbourhood) {
  const uint32_t occupied = neighbourhood & kAllNeighbours;
  if (occupied == 0) return true;
  return reachableFrom(__builtin_ctz(occupied), occupied, t.adjacency26Mask) == occupied;
}

bool isBackgroundConnected(const NeighbourTables& t, uint32_t neighbourhood) {
  const uint32_t empty = ~neighbourhood & t.region18Mask;
  uint32_t emptyFaces = 0;
  int start = -1;
  for (const int face : t.faceIndex) {
    if ((empty >> face & 1u) == 0) continue;
    emptyFaces |= 1u << face;
    if (start < 0) start = face;
  }
  if (start < 0) return true;
  return (reachableFrom(start, empty, t.adjacency6Mask) & emptyFaces) == emptyFaces;
}

bool isSimple(const NeighbourTables& t, uint32_t neighbourhood) {
  return isObjectConnected(t, neighbourhood) && isBackgroundConnected(t, neighbourhood);
}

void VoxelVolume::thin() {
  const NeighbourTables tables = buildNeighbourTables(dimX, dimZ);
  std::printf("Number of deleted voxels: ");
  // The range leaves out the lowest and highest layers and the first and last rows of the others,
  // so every neighbour read by linear offset stays in the array (a cell at a row end sees the
  // start of the next row as its neighbour). Fields that do not describe labels give no range.
  const int64_t first = int64_t(dimX) * (int64_t(dimZ) + 1) + 1;
  int64_t last = int64_t(dimX) * dimZ * (int64_t(dimY) - 1) - dimX - 2;
  const bool consistent =
      dimX > 0 && dimZ > 0 && dimY > 0 && uint64_t(dimX) * uint64_t(dimZ) * uint64_t(dimY) <= labels.size();
  if (!consistent) last = first;

  long total = 0;
  std::vector<int64_t> candidates;
  bool removedInCycle = true;
  while (removedInCycle) {
    removedInCycle = false;
    for (const int face : tables.faceIndex) {
      collectCandidates(labels, first, last, tables.linearOffsets[face], tables, candidates);
      const long removed = removeCandidates(labels, candidates, tables);
      candidates.clear();
      total += removed;
      removedInCycle = removedInCycle || removed > 0;
      std::printf("%6ld\b\b\b\b\b\b", total);
      std::fflush(stdout);
    }
  }
  std::printf("\n");
}
