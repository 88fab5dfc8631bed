// Voxel display in a real GL context: the wire boxes that reach the rasteriser, captured in
// model coordinates, against the occupied cells of a built (and thinned) grid.

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <vector>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "support/gl_test_context.h"
#include "support/test_support.h"
#include "voxel/voxel_test_clouds.h"
#include "voxel/voxel_volume.h"

namespace {

// A segment with its end points in a fixed order, rounded to 1e-4 model units.
using Segment = std::array<long, 6>;

Segment makeSegment(double ax, double ay, double az, double bx, double by, double bz) {
  auto q = [](double v) { return std::lround(v * 1e4); };
  std::array<long, 3> a = {q(ax), q(ay), q(az)}, b = {q(bx), q(by), q(bz)};
  if (b < a) std::swap(a, b);
  return {a[0], a[1], a[2], b[0], b[1], b[2]};
}

bool isLine(const FeedbackPrimitive& p) {
  return p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN;
}

std::multiset<Segment> capturedSegments(const std::vector<FeedbackPrimitive>& prims) {
  std::multiset<Segment> segments;
  for (const auto& p : prims) {
    if (!isLine(p)) continue;
    const FeedbackVertex &a = p.vertices[0], &b = p.vertices[1];
    segments.insert(makeSegment(a.x, a.y, a.z, b.x, b.y, b.z));
  }
  return segments;
}

// The 12 edges of the box spanned by x[0..1], y[0..1], z[0..1].
void addBoxEdges(const double x[2], const double y[2], const double z[2], std::multiset<Segment>& out) {
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      out.insert(makeSegment(x[0], y[i], z[j], x[1], y[i], z[j]));
      out.insert(makeSegment(x[i], y[0], z[j], x[i], y[1], z[j]));
      out.insert(makeSegment(x[i], y[j], z[0], x[i], y[j], z[1]));
    }
}

// The cube of cell (ix, iy, iz), from its corners.
void addCubeEdges(const VoxelVolume& v, int ix, int iy, int iz, std::multiset<Segment>& out) {
  const double s = v.voxelSize;
  const double x[2] = {v.minCorner.x + ix * s, v.minCorner.x + (ix + 1) * s};
  const double y[2] = {v.minCorner.y + iy * s, v.minCorner.y + (iy + 1) * s};
  const double z[2] = {v.minCorner.z + iz * s, v.minCorner.z + (iz + 1) * s};
  addBoxEdges(x, y, z, out);
}

std::multiset<Segment> expectedSegments(const VoxelVolume& v, size_t* occupied) {
  std::multiset<Segment> segments;
  *occupied = 0;
  for (int iy = 0; iy < v.dimY; ++iy)
    for (int iz = 0; iz < v.dimZ; ++iz)
      for (int ix = 0; ix < v.dimX; ++ix)
        if (v.labels[ix + size_t(v.dimX) * (iz + size_t(v.dimZ) * iy)]) {
          addCubeEdges(v, ix, iy, iz, segments);
          ++*occupied;
        }
  return segments;
}

// A grid over a box away from the origin, with a solid lump that the thinning reduces.
VoxelVolume builtVolume() {
  std::vector<PointRecord> points;
  for (int y = 0; y < 6; ++y)
    for (int z = 0; z < 5; ++z)
      for (int x = 0; x < 5; ++x)
        points.push_back(makePoint(-3.0 + 0.5 * (x + 1.5), 1.0 + 0.5 * (y + 1.5), 2.0 + 0.5 * (z + 1.5)));
  points.push_back(makePoint(0.9, 5.9, 5.9));
  PointCloud cloud = makeCloud(points, makePoint(-3.0, 1.0, 2.0), makePoint(1.0, 6.0, 6.0));
  VoxelVolume volume;
  StdoutCapture quiet;
  volume.build(cloud, 0.5);
  return volume;
}

void expectDrawnCells(const VoxelVolume& volume) {
  const auto prims = captureFeedback([&] { volume.draw(); });
  size_t occupied = 0;
  const std::multiset<Segment> expected = expectedSegments(volume, &occupied);
  ASSERT_GT(occupied, 0u);
  EXPECT_EQ(countTokens(prims, GL_LINE_TOKEN), 12 * occupied);
  EXPECT_EQ(prims.size(), 12 * occupied);
  EXPECT_EQ(capturedSegments(prims), expected);
  for (const auto& p : prims)
    for (const auto& v : p.vertices) {
      EXPECT_NEAR(v.r, 0.3f, 1e-3);
      EXPECT_NEAR(v.g, 0.3f, 1e-3);
      EXPECT_NEAR(v.b, 0.3f, 1e-3);
    }
}

}  // namespace

TEST(VoxelDisplay, WireBoxIsTwelveEdgesOfTheBox) {
  const auto prims = captureFeedback([] { drawWireBox(makePoint(-1, 2, 3), makePoint(4, 5.5, 7)); });
  EXPECT_EQ(countTokens(prims, GL_LINE_TOKEN), 12u);
  size_t vertices = 0;
  for (const auto& p : prims) vertices += p.vertices.size();
  EXPECT_EQ(vertices, 24u);
  std::multiset<Segment> box;
  const double x[2] = {-1, 4}, y[2] = {2, 5.5}, z[2] = {3, 7};
  addBoxEdges(x, y, z, box);
  EXPECT_EQ(capturedSegments(prims), box);
}

TEST(VoxelDisplay, OneGreyWireCubePerOccupiedCellFromTheMinCorner) {
  VoxelVolume volume = builtVolume();
  ASSERT_EQ(volume.dimX, 8);
  glEnable(GL_LIGHTING);
  expectDrawnCells(volume);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST(VoxelDisplay, ShowsOnlyTheCellsLeftByTheThinning) {
  VoxelVolume volume = builtVolume();
  size_t before = 0, after = 0;
  expectedSegments(volume, &before);
  {
    StdoutCapture quiet;
    volume.thin();
  }
  expectedSegments(volume, &after);
  ASSERT_LT(after, before);
  expectDrawnCells(volume);
}

TEST(VoxelDisplay, DrawsNothingBeforeABuildOrAfterAFailedOne) {
  VoxelVolume volume;
  EXPECT_TRUE(captureFeedback([&] { volume.draw(); }).empty());
  volume = builtVolume();
  PointCloud flat = makeCloud({makePoint(0, 0, 0)}, makePoint(-1, 0, -1), makePoint(1, 0, 1));
  {
    StdoutCapture quiet;
    volume.build(flat, 0.5);
  }
  EXPECT_TRUE(captureFeedback([&] { volume.draw(); }).empty());
}
