#pragma once
// Hand-made voxel volumes for the skeleton tests (minimum corner at the origin, occupied
// cells listed, centres mid-cell unless given) and a fixture with the settings at their start values.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
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

// A seeded scatter of `count` distinct occupied cells of a dx x dy x dz grid, centres
// jittered inside their cells unless `lattice`; with `repeatEvery` every such cell takes the
// centre of an earlier one (jittered only), with `tagEvery` every such cell is tagged.
inline std::vector<CellSpec> randomCells(std::mt19937& rng, int count, int dx, int dy, int dz, double size,
                                         bool lattice = false, int repeatEvery = 0, int tagEvery = 0) {
  std::uniform_int_distribution<int> X(0, dx - 1), Y(0, dy - 1), Z(0, dz - 1);
  std::uniform_real_distribution<double> j(0.05, 0.95);
  std::set<std::array<int, 3>> used;
  std::vector<CellSpec> cells;
  while (int(cells.size()) < count) {
    const std::array<int, 3> c{X(rng), Y(rng), Z(rng)};
    if (!used.insert(c).second) continue;
    cells.push_back(
        lattice ? CellSpec{c[0], c[1], c[2]}
                : CellSpec{c[0], c[1], c[2], (c[0] + j(rng)) * size, (c[1] + j(rng)) * size, (c[2] + j(rng)) * size});
    const CellSpec& half = cells[cells.size() / 2];
    if (!lattice && repeatEvery && cells.size() % repeatEvery == 0)
      cells.back().cx = half.cx, cells.back().cy = half.cy, cells.back().cz = half.cz;
    if (tagEvery && cells.size() % tagEvery == 0) cells.back().tag = 1;
  }
  return cells;
}

// Segments as the growths hand them over, breadth-first: the root first, children lists
// naming consecutive later segments, each starting where its parent ends; finite radii, no
// child thicker than its parent.
inline void expectHandOver(const TreeModel& model) {
  const auto& seg = model.segments;
  ASSERT_FALSE(seg.empty());
  EXPECT_EQ(seg[0].parent, -1);
  uint32_t next = 1;
  for (size_t s = 0; s < seg.size(); ++s)
    for (uint32_t c : seg[s].children) {
      ASSERT_EQ(c, next++) << s;
      EXPECT_TRUE(seg[c].parent == int32_t(s) && length(seg[c].start - seg[s].end) == 0.0 &&
                  seg[c].startRadius <= seg[s].startRadius)
          << s << " " << c << ": radius " << seg[c].startRadius << " under " << seg[s].startRadius;
    }
  EXPECT_EQ(next, seg.size());
  for (const auto& b : model.branches)
    for (double r : b->radii) EXPECT_TRUE(std::isfinite(r) && r >= 0.0);
}

class SkeletonTest : public FreshSettings {
 protected:
  TreeReconstructor r;
};
