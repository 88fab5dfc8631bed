#pragma once
// Voxel volumes for skeleton tests, filled field by field: a grid of the given dimensions
// with its minimum corner at the origin, occupied cells listed explicitly, each centre at
// the middle of its cell unless given.

#include <array>
#include <cstdint>
#include <vector>

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
inline CellSpec cellWithCentre(int x, int y, int z, double cx, double cy, double cz, int32_t tag = 0) {
  return CellSpec{x, y, z, true, cx, cy, cz, tag};
}

inline uint32_t cellIndexOf(const VoxelVolume& v, int x, int y, int z) {
  return static_cast<uint32_t>(x + v.dimX * (z + v.dimZ * y));
}

inline void makeVolume(VoxelVolume& v, int dimX, int dimY, int dimZ, double size, const std::vector<CellSpec>& cells) {
  v.dimX = dimX;
  v.dimY = dimY;
  v.dimZ = dimZ;
  v.voxelSize = size;
  v.cellCount = static_cast<uint32_t>(dimX) * dimY * dimZ;
  v.minCorner = PointRecord{0, 0, 0, 0};
  v.baseCorner = PointRecord{0, 0, 0, 0};
  v.maxCorner = PointRecord{dimX * size, dimY * size, dimZ * size, 0};
  v.labels.assign(v.cellCount, 0);
  v.centres.assign(v.cellCount, PointRecord{});
  v.seedCount = 0;
  v.baseSeedCount = -1;
  for (const CellSpec& c : cells) {
    const uint32_t i = cellIndexOf(v, c.x, c.y, c.z);
    v.labels[i] = 1;
    if (c.customCentre) {
      v.centres[i] = PointRecord{c.cx, c.cy, c.cz, c.tag};
    } else {
      v.centres[i] = PointRecord{(c.x + 0.5) * size, (c.y + 0.5) * size, (c.z + 0.5) * size, c.tag};
    }
  }
}
