#pragma once
// Hand-made voxel volumes for the skeleton tests (minimum corner at the origin, occupied
// cells listed, centres mid-cell unless given) and a fixture with the settings at their start values.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "skeleton/tree_reconstructor.h"
#include "support/fresh_globals.h"
#include "support/test_support.h"
#include "voxel/voxel_volume.h"

// An occupied cell; its centre is mid-cell unless given.
struct CellSpec {
  int x = 0, y = 0, z = 0;
  double cx = NAN, cy = NAN, cz = NAN;
  int32_t tag = 0;
};

inline void makeVolume(VoxelVolume& v, int dimX, int dimY, int dimZ, double size, const std::vector<CellSpec>& cells) {
  v.dimX = dimX, v.dimY = dimY, v.dimZ = dimZ, v.voxelSize = size;
  v.cellCount = static_cast<uint32_t>(dimX) * dimY * dimZ;
  v.minCorner = v.baseCorner = PointRecord{0, 0, 0, 0};
  v.maxCorner = PointRecord{dimX * size, dimY * size, dimZ * size, 0};
  v.labels.assign(v.cellCount, 0);
  v.centres.assign(v.cellCount, PointRecord{});
  v.seedCount = 0, v.baseSeedCount = -1;
  for (const CellSpec& c : cells) {
    const uint32_t i = static_cast<uint32_t>(c.x + dimX * (c.z + dimZ * c.y));
    v.labels[i] = 1;
    v.centres[i] = std::isnan(c.cx) ? PointRecord{(c.x + 0.5) * size, (c.y + 0.5) * size, (c.z + 0.5) * size, c.tag}
                                    : PointRecord{c.cx, c.cy, c.cz, c.tag};
  }
}

// The cells of the nx x ny x nz box with its lowest cell at (x, y, z), then `more`.
inline std::vector<CellSpec> cellBox(int x, int y, int z, int nx, int ny, int nz, std::vector<CellSpec> more = {}) {
  for (int j = 0; j < ny; ++j)
    for (int k = 0; k < nz; ++k)
      for (int i = 0; i < nx; ++i) more.push_back({x + i, y + j, z + k});
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

// The only places that reach into the graph's storage: the length of edge (i, j) (<= 0 when
// there is none), and a hand-made graph over points with the given edges.
inline double edgeLength(const TreeReconstructor& r, uint32_t i, uint32_t j) {
  return r.distances.length(i, j);
}
inline bool setGraph(TreeReconstructor& r, VoxelVolume& v, const std::vector<Vec3>& points,
                     const std::vector<Vec3>& directions, const std::vector<std::array<int, 2>>& edges) {
  makeVolume(v, 4, 4, 4, 0.2, {});
  r.volume = &v;
  r.nVoxels = uint32_t(points.size());
  r.positions = points;
  r.directions = directions;
  r.voxelIndex.resize(points.size());
  r.visited.assign(points.size(), 0);
  if (!r.distances.reset(r.nVoxels)) return false;
  for (auto e : edges) r.distances.setEdge(e[0], e[1], length(difference(points[e[0]], points[e[1]])));
  return true;
}

class SkeletonTest : public FreshSettings {
 protected:
  TreeReconstructor r;
};
