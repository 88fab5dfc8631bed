// Grid construction: dimensions, cells, centres and labels against a brute-force grouping,
// trunk seeds, rebuilds, and the mended faults.

#include "voxel/voxel_volume.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "support/test_support.h"

namespace {

const auto point = [](double x, double y, double z, int32_t tag = 0) { return PointRecord{x, y, z, tag}; };

// A loaded cloud of points with the given box and no key points.
PointCloud makeCloud(const std::vector<PointRecord>& points, const PointRecord& lo, const PointRecord& hi) {
  PointCloud cloud;
  cloud.points = points;
  cloud.count = cloud.fileCount = uint32_t(points.size());
  cloud.minCorner = cloud.baseCorner = lo, cloud.maxCorner = hi, cloud.loaded = true;
  return cloud;
}

std::string build(VoxelVolume& volume, const PointCloud& cloud, double size) {
  StdoutCapture out;
  volume.build(cloud, size);
  return out.text();
}

}  // namespace

TEST(VoxelGrid, CellsCentresAndLabelsMatchABruteForceGroupingAndRebuildsRestoreThem) {
  // Points well inside cells 1..4 per axis of size 0.25 over (-2, 0, -1) .. (2, 3, 1): a solid
  // block of 4^3 cells in a 16 x 12 x 8 grid.
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> cell(1, 4), tagBit(0, 30);
  std::uniform_real_distribution<double> inside(0.05, 0.95);
  std::vector<PointRecord> points, sums(16 * 12 * 8);  // coordinate sums and OR-ed tags per cell
  std::vector<uint32_t> expectedCell;
  std::vector<int> counts(sums.size(), 0);
  for (int i = 0; i < 2000; ++i) {
    const int ix = cell(rng), iy = cell(rng), iz = cell(rng), c = ix + 16 * (iz + 8 * iy);
    const PointRecord p = point(-2 + (ix + inside(rng)) * 0.25, (iy + inside(rng)) * 0.25,
                                -1 + (iz + inside(rng)) * 0.25, int32_t(1) << tagBit(rng));
    points.push_back(p), expectedCell.push_back(c), ++counts[c];
    sums[c].x += p.x, sums[c].y += p.y, sums[c].z += p.z, sums[c].tag |= p.tag;
  }
  PointCloud cloud = makeCloud(points, point(-2, 0, -1), point(2, 3, 1));
  VoxelVolume volume;
  EXPECT_EQ(build(volume, cloud, 0.25), "volume length=16, width=8, height=12\n");
  ASSERT_EQ(volume.cellCount, sums.size());
  for (size_t i = 0; i < points.size(); ++i) ASSERT_EQ(volume.cellIndex(points[i]), expectedCell[i]) << i;
  for (uint32_t c = 0; c < volume.cellCount; ++c) {
    const double n = std::max(counts[c], 1);  // empty cells keep a zero centre
    const PointRecord& m = volume.centres[c];
    ASSERT_TRUE(volume.labels[c] == (counts[c] > 0) && m.tag == sums[c].tag) << c;
    ASSERT_LT(std::fabs(m.x - sums[c].x / n) + std::fabs(m.y - sums[c].y / n) + std::fabs(m.z - sums[c].z / n), 1e-12);
  }
  // Upper faces, points before the lower faces and non-finite coordinates fold into the last
  // cell of their axis.
  EXPECT_EQ(volume.cellIndex(point(2.0, 0.1, -0.9)), 15u);
  EXPECT_EQ(volume.cellIndex(point(-2.1, -0.5, -0.9)), 15u + 11u * 16u * 8u);
  EXPECT_EQ(volume.cellIndex(point(NAN, INFINITY, -INFINITY)), volume.cellCount - 1);

  // A rebuild brings thinned cells back; a cloud that is not loaded leaves the grid alone.
  const std::vector<uint8_t> built = volume.labels;
  StdoutCapture quiet;
  volume.thin();
  ASSERT_NE(volume.labels, built);
  volume.build(cloud, 0.25);
  EXPECT_EQ(volume.labels, built);
  cloud.loaded = false;
  volume.build(cloud, 0.5);
  EXPECT_TRUE(volume.labels == built && volume.voxelSize == 0.25);
  cloud.loaded = true, cloud.maxCorner.x = 2.05;  // a partial cell counts as a whole one
  volume.build(cloud, 0.25);
  EXPECT_EQ(volume.dimX, 17);
}

// Trunk seeds are the cells of the key points, in point order.
TEST(VoxelGrid, TrunkSeedsFollowTheKeyPointsInOrder) {
  const struct {
    uint32_t count;
    int32_t root, keyBegin, keyEnd, seedCount, baseSeedCount;
  } cases[] = {
      {150, -1, -1, -1, 0, -1},  // no key points
      {150, 4, 7, 9, 5, 2},      // the base point (root), then key points, two below the bottom
      // Fault: indices past the points, or more key points than the list holds, wrote past
      // trunkSeeds and read past the points; the counts now never claim more than stored.
      {150, 10, 11, 140, VoxelVolume::kMaxTrunkSeeds, 0},
      {20, 15, 30, 5000, 5, 5},
      {150, -1, 3, 8, 0, 0},  // no root: no seeds
  };
  std::vector<PointRecord> points;
  for (int i = 0; i < 150; ++i) points.push_back(point(-0.9 + 0.012 * i, 0.05 + 0.019 * i, 0.1));
  for (const auto& c : cases) {
    PointCloud cloud = makeCloud(points, point(-1, 0, -1), point(1, 3, 1));
    cloud.count = c.count, cloud.rootIndex = c.root, cloud.keyBegin = c.keyBegin, cloud.keyEnd = c.keyEnd;
    VoxelVolume volume;
    build(volume, cloud, 0.1);
    EXPECT_TRUE(volume.seedCount == c.seedCount && volume.baseSeedCount == c.baseSeedCount) << c.keyEnd;
    for (int k = 0; k < VoxelVolume::kMaxTrunkSeeds; ++k)
      EXPECT_EQ(volume.trunkSeeds[k], k < c.seedCount ? int32_t(volume.cellIndex(cloud.points[c.root + k])) : 0) << k;
  }
}

// Fault: bad sizes, non-finite boxes and grids beyond the 32-bit cell count or the machine's
// memory crashed or indexed outside the arrays; now a message and an empty, usable grid.
TEST(VoxelGrid, BadSizesAndBoxesLeaveAnEmptyUsableGrid) {
  const PointRecord lo = point(-1, 0, -1), hi = point(1, 2, 1);
  // The failure line is followed by the reason, with figures of this machine.
  const std::string failed = "Allocation volume memory failed!\nERROR: the ";
  struct Case {
    PointRecord lo, hi;
    double size;
    std::string message;
  };
  std::vector<Case> cases = {
      {lo, hi, 0.0, "Invalid voxel size 0\n"},
      {lo, hi, NAN, "Invalid voxel size nan\n"},
      {lo, hi, -INFINITY, "Invalid voxel size -inf\n"},
      {point(-500, 0, -500), point(500, 1000, 500), 0.001,
       "volume length=1000000, width=1000000, height=1000000\n" + failed},
      {point(-1e300, 0, -1), point(1e300, 1, 1), 1e-10, failed},  // beyond 32 bits per axis
      {point(NAN, 0, -1), hi, 0.1, failed},
  };
  // 1600^3 cells fit the 32-bit count but need about 150 GB while building.
  if (double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGESIZE)) < 1600.0 * 1600.0 * 1600.0 * 37)
    cases.push_back(
        {point(-800, 0, -800), point(800, 1600, 800), 1.0, "volume length=1600, width=1600, height=1600\n" + failed});
  for (const Case& c : cases) {
    PointCloud cloud = makeCloud({point(0, 1, 0)}, lo, hi);
    cloud.rootIndex = cloud.keyBegin = 0, cloud.keyEnd = 1;
    VoxelVolume volume;
    build(volume, cloud, 0.5);  // a grid to lose
    cloud.minCorner = c.lo, cloud.maxCorner = c.hi;
    EXPECT_EQ(build(volume, cloud, c.size).substr(0, c.message.size()), c.message);
    EXPECT_TRUE(volume.cellCount == 0 && volume.dimX == 0 && volume.labels.empty() && volume.seedCount == 0);
    EXPECT_EQ(volume.cellIndex(point(0, 0, 0)), 0u);
    StdoutCapture quiet;
    volume.thin();
  }
}
