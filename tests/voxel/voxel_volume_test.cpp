// Grid construction: dimensions and console line, the cell addressing, centres and labels
// against a brute-force grouping, the trunk-seed list, rebuilds, and the mended faults.

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "voxel/voxel_test_clouds.h"
#include "voxel/voxel_volume.h"

namespace {

// Builds quietly, returning the console output.
std::string buildCaptured(VoxelVolume& volume, const PointCloud& cloud, double size) {
  StdoutCapture capture;
  volume.build(cloud, size);
  return capture.text();
}

void expectEmptyGrid(const VoxelVolume& volume) {
  EXPECT_EQ(volume.dimX, 0);
  EXPECT_EQ(volume.dimY, 0);
  EXPECT_EQ(volume.dimZ, 0);
  EXPECT_EQ(volume.cellCount, 0u);
  EXPECT_EQ(volume.voxelSize, 0.0);
  EXPECT_EQ(volume.seedCount, 0);
  EXPECT_EQ(volume.baseSeedCount, 0);
  EXPECT_TRUE(volume.labels.empty());
  EXPECT_TRUE(volume.centres.empty());
  for (int32_t seed : volume.trunkSeeds) EXPECT_EQ(seed, 0);
}

// A cloud over the box (-2, 0, -1) .. (2, 3, 1) whose points lie well inside random cells of
// size 0.25 (16 x 12 x 8 cells), with the cell each point must land in.
struct InteriorCloud {
  PointCloud cloud;
  std::vector<uint32_t> expectedCell;
};

InteriorCloud makeInteriorCloud(std::mt19937& rng, int pointCount) {
  const double s = 0.25;
  const PointRecord lo = makePoint(-2.0, 0.0, -1.0), hi = makePoint(2.0, 3.0, 1.0);
  std::uniform_int_distribution<int> cellX(0, 15), cellY(0, 11), cellZ(0, 7), tagBit(0, 30);
  std::uniform_real_distribution<double> inside(0.05, 0.95);
  std::vector<PointRecord> points;
  InteriorCloud result;
  for (int i = 0; i < pointCount; ++i) {
    // Few distinct cells so that many cells hold several points.
    const int ix = cellX(rng) / 4, iy = cellY(rng) / 3, iz = cellZ(rng) / 2;
    points.push_back(makePoint(lo.x + (ix + inside(rng)) * s, lo.y + (iy + inside(rng)) * s,
                               lo.z + (iz + inside(rng)) * s, int32_t(1) << tagBit(rng)));
    result.expectedCell.push_back(uint32_t(ix + 16 * (iz + 8 * iy)));
  }
  result.cloud = makeCloud(points, lo, hi);
  return result;
}

}  // namespace

TEST(VoxelGridBuild, DimensionsAreCeilingsAndTheMessageNamesLengthWidthHeight) {
  PointCloud cloud = makeCloud({makePoint(0, 8, 0)}, makePoint(-2, 0, -1), makePoint(2, 16, 1));
  VoxelVolume volume;
  EXPECT_EQ(buildCaptured(volume, cloud, 0.2), "volume length=20, width=10, height=80\n");
  EXPECT_EQ(volume.dimX, 20);
  EXPECT_EQ(volume.dimY, 80);
  EXPECT_EQ(volume.dimZ, 10);
  EXPECT_EQ(volume.cellCount, 16000u);
  EXPECT_EQ(volume.labels.size(), 16000u);
  EXPECT_EQ(volume.centres.size(), 16000u);
  EXPECT_EQ(volume.voxelSize, 0.2);

  // A box that is not a whole number of cells gets the partial cell too.
  cloud.maxCorner = makePoint(2.05, 16, 1);
  buildCaptured(volume, cloud, 0.2);
  EXPECT_EQ(volume.dimX, 21);
}

TEST(VoxelGridBuild, CellIndexFollowsTheAddressingRuleAndFoldsOutsidersIntoTheLastCell) {
  std::mt19937 rng(7);
  InteriorCloud data = makeInteriorCloud(rng, 500);
  VoxelVolume volume;
  buildCaptured(volume, data.cloud, 0.25);
  ASSERT_EQ(volume.cellCount, 16u * 12u * 8u);
  for (int i = 0; i < 500; ++i) EXPECT_EQ(volume.cellIndex(data.cloud.points[i]), data.expectedCell[i]);

  // Upper faces and points before the lower faces land in the last cell of that axis.
  const uint32_t last = volume.cellCount - 1;
  EXPECT_EQ(volume.cellIndex(makePoint(2.0, 0.1, -0.9)), 15u);
  EXPECT_EQ(volume.cellIndex(makePoint(-1.9, 3.0, -0.9)), 11u * 16u * 8u);
  EXPECT_EQ(volume.cellIndex(makePoint(-1.9, 0.1, 1.0)), 7u * 16u);
  EXPECT_EQ(volume.cellIndex(makePoint(2.0, 3.0, 1.0)), last);
  EXPECT_EQ(volume.cellIndex(makePoint(-2.1, 0.1, -0.9)), 15u);
  EXPECT_EQ(volume.cellIndex(makePoint(-1.9, -0.5, -0.9)), 11u * 16u * 8u);
  EXPECT_EQ(volume.cellIndex(makePoint(-1e300, -1e300, -1e300)), last);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(volume.cellIndex(makePoint(nan, nan, nan)), last);
  EXPECT_EQ(volume.cellIndex(makePoint(inf, -inf, inf)), last);
}

TEST(VoxelGridBuild, LabelsMarkOccupiedCellsAndCentresAreMeansWithOredTags) {
  std::mt19937 rng(11);
  InteriorCloud data = makeInteriorCloud(rng, 2000);
  struct Sum {
    double x = 0, y = 0, z = 0;
    int n = 0;
    int32_t tag = 0;
  };
  std::map<uint32_t, Sum> sums;
  for (int i = 0; i < 2000; ++i) {
    Sum& s = sums[data.expectedCell[i]];
    const PointRecord& p = data.cloud.points[i];
    s.x += p.x, s.y += p.y, s.z += p.z, s.tag |= p.tag, ++s.n;
  }
  VoxelVolume volume;
  buildCaptured(volume, data.cloud, 0.25);
  ASSERT_EQ(volume.labels.size(), volume.cellCount);
  for (uint32_t c = 0; c < volume.cellCount; ++c) {
    auto it = sums.find(c);
    if (it == sums.end()) {
      EXPECT_EQ(volume.labels[c], 0) << c;
      EXPECT_EQ(volume.centres[c].x, 0.0);
      EXPECT_EQ(volume.centres[c].y, 0.0);
      EXPECT_EQ(volume.centres[c].z, 0.0);
      EXPECT_EQ(volume.centres[c].tag, 0);
      continue;
    }
    const Sum& s = it->second;
    EXPECT_EQ(volume.labels[c], 1) << c;
    EXPECT_NEAR(volume.centres[c].x, s.x / s.n, 1e-12);
    EXPECT_NEAR(volume.centres[c].y, s.y / s.n, 1e-12);
    EXPECT_NEAR(volume.centres[c].z, s.z / s.n, 1e-12);
    EXPECT_EQ(volume.centres[c].tag, s.tag);
  }
  EXPECT_GT(sums.size(), 50u);
}

TEST(VoxelGridBuild, TrunkSeedsFollowTheKeyPointsInOrder) {
  std::vector<PointRecord> points;
  for (int i = 0; i < 10; ++i) points.push_back(makePoint(-0.9 + 0.2 * i, 0.05 + 0.3 * i, 0.1));
  PointCloud cloud = makeCloud(points, makePoint(-1, 0, -1), makePoint(1, 3, 1));
  VoxelVolume volume;

  buildCaptured(volume, cloud, 0.5);
  EXPECT_EQ(volume.seedCount, 0);
  EXPECT_EQ(volume.baseSeedCount, -1);
  for (int32_t seed : volume.trunkSeeds) EXPECT_EQ(seed, 0);

  // A base point below the bottom, then a column: the base point's cell comes first.
  cloud.rootIndex = 4;
  cloud.keyBegin = 5;
  cloud.keyEnd = 9;
  buildCaptured(volume, cloud, 0.5);
  EXPECT_EQ(volume.seedCount, 5);
  EXPECT_EQ(volume.baseSeedCount, 0);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(volume.trunkSeeds[k], int32_t(volume.cellIndex(points[4 + k]))) << k;
  EXPECT_EQ(volume.trunkSeeds[5], 0);

  cloud.keyBegin = 7;  // two key points below the bottom besides the root
  buildCaptured(volume, cloud, 0.5);
  EXPECT_EQ(volume.baseSeedCount, 2);
}

// Key-point indices past the points, or more key points than the seed list holds, used to
// write past trunkSeeds and read past the points.
TEST(VoxelGridBuild, TrunkSeedCountsNeverClaimMoreEntriesThanStored) {
  std::vector<PointRecord> points;
  for (int i = 0; i < 150; ++i) points.push_back(makePoint(0.001 * i, 0.01 * i, 0.0));
  PointCloud cloud = makeCloud(points, makePoint(-1, 0, -1), makePoint(1, 2, 1));
  VoxelVolume volume;

  cloud.rootIndex = 10, cloud.keyBegin = 11, cloud.keyEnd = 140;
  buildCaptured(volume, cloud, 0.1);
  EXPECT_EQ(volume.seedCount, VoxelVolume::kMaxTrunkSeeds);
  EXPECT_EQ(volume.baseSeedCount, 0);
  EXPECT_EQ(volume.trunkSeeds[99], int32_t(volume.cellIndex(points[109])));

  cloud.count = 20;
  cloud.rootIndex = 15, cloud.keyBegin = 30, cloud.keyEnd = 5000;
  buildCaptured(volume, cloud, 0.1);
  EXPECT_EQ(volume.seedCount, 5);
  EXPECT_EQ(volume.baseSeedCount, 5);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(volume.trunkSeeds[k], int32_t(volume.cellIndex(points[15 + k])));

  cloud.rootIndex = -1, cloud.keyBegin = 3, cloud.keyEnd = 8;  // no root: no seeds
  buildCaptured(volume, cloud, 0.1);
  EXPECT_LE(volume.seedCount, 0);
  EXPECT_LE(volume.baseSeedCount, 0);
}

TEST(VoxelGridBuild, RebuildRestoresThinnedCellsAndAnUnloadedCloudKeepsTheGrid) {
  std::vector<PointRecord> points;
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> coord(0.0, 2.0);
  for (int i = 0; i < 3000; ++i) points.push_back(makePoint(coord(rng) - 1.0, coord(rng), coord(rng) - 1.0));
  PointCloud cloud = makeCloud(points, makePoint(-1, 0, -1), makePoint(1, 2, 1));
  VoxelVolume volume;
  buildCaptured(volume, cloud, 0.2);
  const std::vector<uint8_t> built = volume.labels;
  {
    StdoutCapture quiet;
    volume.thin();
  }
  ASSERT_NE(volume.labels, built);
  buildCaptured(volume, cloud, 0.2);
  EXPECT_EQ(volume.labels, built);

  PointCloud unloaded = cloud;
  unloaded.loaded = false;
  unloaded.maxCorner = makePoint(5, 5, 5);
  EXPECT_EQ(buildCaptured(volume, unloaded, 0.5), "");
  EXPECT_EQ(volume.voxelSize, 0.2);
  EXPECT_EQ(volume.labels, built);
}

TEST(VoxelGridFaults, BadVoxelSizesLeaveAnEmptyGrid) {
  PointCloud cloud = makeCloud({makePoint(0, 1, 0)}, makePoint(-1, 0, -1), makePoint(1, 2, 1));
  cloud.rootIndex = cloud.keyBegin = 0, cloud.keyEnd = 1;
  const double bad[] = {0.0, -0.2, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
  for (double size : bad) {
    VoxelVolume volume;
    buildCaptured(volume, cloud, 0.5);
    ASSERT_EQ(volume.cellCount, 64u);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Invalid voxel size %g\n", size);
    EXPECT_EQ(buildCaptured(volume, cloud, size), expected);
    expectEmptyGrid(volume);
  }
}

TEST(VoxelGridFaults, FlatOversizedOrNonFiniteBoxesLeaveAnEmptyGrid) {
  VoxelVolume volume;
  PointCloud flat = makeCloud({makePoint(0, 0, 0)}, makePoint(-2, 0, -1), makePoint(2, 0, 1));
  EXPECT_EQ(buildCaptured(volume, flat, 0.2),
            "volume length=20, width=10, height=0\nAllocation volume memory failed!\n");
  expectEmptyGrid(volume);

  // 10^6 cells per axis overflow the 32-bit cell count.
  PointCloud wide = makeCloud({makePoint(0, 0, 0)}, makePoint(-500, 0, -500), makePoint(500, 1000, 500));
  EXPECT_EQ(buildCaptured(volume, wide, 0.001),
            "volume length=1000000, width=1000000, height=1000000\nAllocation volume memory failed!\n");
  expectEmptyGrid(volume);

  // Cells per axis beyond 32 bits, and a box that is not a number.
  PointCloud huge = makeCloud({makePoint(0, 0, 0)}, makePoint(-1e300, 0, -1), makePoint(1e300, 1, 1));
  EXPECT_EQ(buildCaptured(volume, huge, 1e-10), "Allocation volume memory failed!\n");
  expectEmptyGrid(volume);
  PointCloud broken = makeCloud({makePoint(0, 0, 0)}, makePoint(std::nan(""), 0, -1), makePoint(1, 1, 1));
  EXPECT_EQ(buildCaptured(volume, broken, 0.1), "Allocation volume memory failed!\n");
  expectEmptyGrid(volume);

  // The empty grid stays usable.
  EXPECT_EQ(volume.cellIndex(makePoint(0, 0, 0)), 0u);
  StdoutCapture quiet;
  volume.thin();
}

TEST(VoxelGridFaults, AGridLargerThanMemoryIsRefused) {
  // 1600^3 cells fit the 32-bit count but need about 150 GB while building.
  const double needed = 1600.0 * 1600.0 * 1600.0 * (1 + sizeof(PointRecord) + 4);
  const double physical = double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGESIZE));
  if (physical <= 0 || physical >= needed) GTEST_SKIP() << "machine memory too large for this case";
  VoxelVolume volume;
  PointCloud cloud = makeCloud({makePoint(0, 0, 0)}, makePoint(-800, 0, -800), makePoint(800, 1600, 800));
  EXPECT_EQ(buildCaptured(volume, cloud, 1.0),
            "volume length=1600, width=1600, height=1600\nAllocation volume memory failed!\n");
  expectEmptyGrid(volume);
}
