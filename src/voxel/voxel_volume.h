#pragma once
// A regular grid of cubic cells over the normalised point cloud's box. Each cell records
// whether points fall in it and their mean position; the key points of the cloud give
// the trunk-seed list.
//
// Where the members live: build, reset and cellIndex in voxel/voxel_volume.cpp; thin in
// voxel/thinning.cpp; draw and drawWireBox in voxel/voxel_gl.cpp (render library). No
// operation reads or writes a global setting: the voxel size is passed to build.

#include <cstdint>
#include <vector>

#include "pointcloud/point_cloud.h"

class VoxelVolume {
 public:
  static constexpr int32_t kMaxTrunkSeeds = 100;

  PointRecord minCorner;
  PointRecord maxCorner;
  PointRecord baseCorner;
  std::vector<PointRecord> centres;         // one per cell: mean of its points, tag = OR of their tags
  std::vector<uint8_t> labels;              // one per cell: 0 empty, 1 occupied (thinning clears removed cells)
  int32_t trunkSeeds[kMaxTrunkSeeds] = {};  // cell index of each key point, in point order
  int32_t seedCount = 0;                    // keyEnd - rootIndex of the cloud; <= 0 means none
  int32_t baseSeedCount = 0;                // keyBegin - rootIndex - 1 of the cloud
  int32_t dimX = 0;                         // cells along X ("length")
  int32_t dimZ = 0;                         // cells along Z ("width")
  int32_t dimY = 0;                         // cells along Y, the vertical ("height")
  uint32_t cellCount = 0;
  double voxelSize = 0.0;

  // Builds the grid from a loaded cloud; a cloud that is not loaded leaves the grid as it was.
  // A size that is not a finite positive number, a cloud without extent along an axis, or a
  // grid too large for cellCount or for memory prints a message and leaves the grid empty.
  // seedCount and baseSeedCount never exceed the entries actually stored in trunkSeeds.
  void build(const PointCloud& cloud, double size);
  void reset();
  // Cell index ix + dimX*(iz + dimZ*iy) of a point; indices outside the grid fold into the last
  // cell per axis (so do non-finite coordinates). An empty grid gives 0.
  uint32_t cellIndex(const PointRecord& p) const;
  // Removes simple border cells direction by direction until nothing changes; clears labels
  // only (centres keep their values) and prints the running count of removed cells.
  void thin();

  // Drawing (render library).
  void draw() const;
};

// The 12 edges of the axis-aligned box with opposite corners a and b, as one GL_LINES batch
// of 24 vertices (render library).
void drawWireBox(const PointRecord& a, const PointRecord& b);
