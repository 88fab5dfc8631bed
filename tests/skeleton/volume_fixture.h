#pragma once
// Hand-made voxel volumes for the skeleton tests (minimum corner at the origin, occupied
// cells listed, centres mid-cell unless given) and a fixture that resets the settings.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "skeleton/tree_reconstructor.h"
#include "support/test_support.h"
#include "voxel/voxel_volume.h"

struct CellSpec {
  int x = 0, y = 0, z = 0;
  bool customCentre = false;
  double cx = 0, cy = 0, cz = 0;
  int32_t tag = 0;
};

inline CellSpec cellAt(int x, int y, int z) {
  return CellSpec{x, y, z, false, 0, 0, 0, 0};
}
inline CellSpec cellWithCentre(int x, int y, int z, double cx, double cy, double cz) {
  return CellSpec{x, y, z, true, cx, cy, cz, 0};
}

inline void makeVolume(VoxelVolume& v, int dimX, int dimY, int dimZ, double size, const std::vector<CellSpec>& cells) {
  v.dimX = dimX;
  v.dimY = dimY;
  v.dimZ = dimZ;
  v.voxelSize = size;
  v.cellCount = static_cast<uint32_t>(dimX) * dimY * dimZ;
  v.minCorner = v.baseCorner = PointRecord{0, 0, 0, 0};
  v.maxCorner = PointRecord{dimX * size, dimY * size, dimZ * size, 0};
  v.labels.assign(v.cellCount, 0);
  v.centres.assign(v.cellCount, PointRecord{});
  v.seedCount = 0;
  v.baseSeedCount = -1;
  for (const CellSpec& c : cells) {
    const uint32_t i = static_cast<uint32_t>(c.x + dimX * (c.z + dimZ * c.y));
    v.labels[i] = 1;
    v.centres[i] = c.customCentre ? PointRecord{c.cx, c.cy, c.cz, c.tag}
                                  : PointRecord{(c.x + 0.5) * size, (c.y + 0.5) * size, (c.z + 0.5) * size, c.tag};
  }
}

// The cells of the nx x ny x nz box with its lowest cell at (x, y, z), then `more`.
inline std::vector<CellSpec> cellBox(int x, int y, int z, int nx, int ny, int nz, std::vector<CellSpec> more = {}) {
  for (int j = 0; j < ny; ++j)
    for (int k = 0; k < nz; ++k)
      for (int i = 0; i < nx; ++i) more.push_back(cellAt(x + i, y + j, z + k));
  return more;
}

// Builds r's graph over v; returns what the build printed.
inline std::string buildGraph(TreeReconstructor& r, const VoxelVolume& v) {
  StdoutCapture out;
  r.buildVoxelGraph(v);
  return out.text();
}

// Builds the graph and reconstructs; returns what the reconstruction printed.
inline std::string growTree(TreeReconstructor& r, const VoxelVolume& v, bool* ran = nullptr) {
  buildGraph(r, v);
  StdoutCapture out;
  const bool ok = r.reconstruct();
  if (ran) *ran = ok;
  return out.text();
}

class SkeletonTest : public ::testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override { resetSettingsToStartValues(); }
  TreeReconstructor r;
};
