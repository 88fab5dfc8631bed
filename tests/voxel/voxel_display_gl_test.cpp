// Voxel display in a real GL context: the wire boxes that reach the rasteriser, captured in
// model coordinates, against the occupied cells of a built (then thinned) grid.

#include <array>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "support/gl_test_context.h"
#include "support/test_support.h"
#include "voxel/voxel_test_clouds.h"
#include "voxel/voxel_volume.h"

namespace {

using Corner = std::array<long, 3>;         // model coordinates in 1e-4 units
using Segment = std::pair<Corner, Corner>;  // ends in increasing order

Corner rounded(double x, double y, double z) {
  return {std::lround(x * 1e4), std::lround(y * 1e4), std::lround(z * 1e4)};
}

Segment segment(const Corner& a, const Corner& b) {
  return a < b ? Segment{a, b} : Segment{b, a};
}

// The 12 edges of every occupied cell's cube: corner pairs that differ along one axis.
std::multiset<Segment> expectedSegments(const VoxelVolume& v) {
  std::multiset<Segment> segments;
  const double s = v.voxelSize;
  for (int iy = 0; iy < v.dimY; ++iy)
    for (int iz = 0; iz < v.dimZ; ++iz)
      for (int ix = 0; ix < v.dimX; ++ix) {
        if (!v.labels[ix + size_t(v.dimX) * (iz + size_t(v.dimZ) * iy)]) continue;
        auto corner = [&](int m) {
          return rounded(v.minCorner.x + (ix + (m & 1)) * s, v.minCorner.y + (iy + (m >> 1 & 1)) * s,
                         v.minCorner.z + (iz + (m >> 2 & 1)) * s);
        };
        for (int p = 0; p < 8; ++p)
          for (int q = p + 1; q < 8; ++q)
            if (__builtin_popcount(p ^ q) == 1) segments.insert(segment(corner(p), corner(q)));
      }
  return segments;
}

// One grey box of 24 vertices (12 lines) per occupied cell, in place, drawn with lighting off.
void expectDrawnCells(const VoxelVolume& volume) {
  glEnable(GL_LIGHTING);
  const auto prims = captureFeedback([&] { volume.draw(); });
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  const std::multiset<Segment> expected = expectedSegments(volume);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(countTokens(prims, GL_LINE_TOKEN) + countTokens(prims, GL_LINE_RESET_TOKEN), prims.size());
  size_t vertices = 0;
  std::multiset<Segment> drawn;
  for (const auto& p : prims) {
    vertices += p.vertices.size();
    for (const auto& v : p.vertices)
      EXPECT_TRUE(std::fabs(v.r - 0.3f) + std::fabs(v.g - 0.3f) + std::fabs(v.b - 0.3f) < 1e-3);
    if (p.vertices.size() == 2)
      drawn.insert(segment(rounded(p.vertices[0].x, p.vertices[0].y, p.vertices[0].z),
                           rounded(p.vertices[1].x, p.vertices[1].y, p.vertices[1].z)));
  }
  EXPECT_EQ(vertices, 2 * expected.size());
  EXPECT_EQ(drawn, expected);
}

// A grid over a box away from the origin, with a solid lump that the thinning reduces.
VoxelVolume builtVolume() {
  std::vector<PointRecord> points = {makePoint(0.9, 5.9, 5.9)};
  for (int y = 0; y < 6; ++y)
    for (int z = 0; z < 5; ++z)
      for (int x = 0; x < 5; ++x) points.push_back(makePoint(-2.25 + 0.5 * x, 1.75 + 0.5 * y, 2.75 + 0.5 * z));
  VoxelVolume volume;
  StdoutCapture quiet;
  volume.build(makeCloud(points, makePoint(-3.0, 1.0, 2.0), makePoint(1.0, 6.0, 6.0)), 0.5);
  return volume;
}

}  // namespace

TEST(VoxelDisplay, OneGreyWireBoxPerOccupiedCellBeforeAndAfterThinning) {
  VoxelVolume volume = builtVolume();
  ASSERT_EQ(volume.dimX, 8);
  expectDrawnCells(volume);
  const size_t before = expectedSegments(volume).size();
  {
    StdoutCapture quiet;
    volume.thin();
  }
  ASSERT_LT(expectedSegments(volume).size(), before);
  expectDrawnCells(volume);
}

TEST(VoxelDisplay, DrawsNothingBeforeABuildOrAfterAFailedOne) {
  VoxelVolume volume;
  EXPECT_TRUE(captureFeedback([&] { volume.draw(); }).empty());
  volume = builtVolume();
  StdoutCapture quiet;
  volume.build(makeCloud({makePoint(0, 0, 0)}, makePoint(-1, 0, -1), makePoint(1, 0, 1)), 0.5);
  EXPECT_TRUE(captureFeedback([&] { volume.draw(); }).empty());
}
