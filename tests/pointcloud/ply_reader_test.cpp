// The PLY reader on the program's own layouts: the mirrored X axis and the scale to 16 units
// against a direct computation, the settings header with the key-point column, and the scan
// frame back to the file's coordinates.

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/scan_files.h"

namespace {

using PlyReaderTest = CloudFileTest;

TEST_F(PlyReaderTest, RandomCloudsAreCentredLiftedAndSixteenHigh) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> coord(-50.0, 80.0);
  for (int round = 0; round < 5; ++round) {
    std::vector<Triple> raw(50 + rng() % 200);
    std::ostringstream body;
    body.precision(17);
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (auto& p : raw) {
      for (double& v : p) v = coord(rng);
      body << p[0] << " " << p[1] << " " << p[2] << "\n";
      const double q[3] = {-p[0], p[1], p[2]};
      for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], q[a]), hi[a] = std::max(hi[a], q[a]);
    }
    loadFile("random.ply", plyHeader(raw.size(), 3) + body.str());
    expectScanCoordinates(cloud, raw, 1e-12, "random");
    const double s = 16.0 / (hi[1] - lo[1]);
    for (size_t i = 0; i < raw.size(); ++i)
      EXPECT_TRUE(near3(cloud.points[i], (-raw[i][0] - (lo[0] + hi[0]) / 2) * s, (raw[i][1] - lo[1]) * s,
                        (raw[i][2] - (lo[2] + hi[2]) / 2) * s))
          << i;
    EXPECT_TRUE(near3(cloud.minCorner, -(hi[0] - lo[0]) * s / 2, 0, -(hi[2] - lo[2]) * s / 2));
    EXPECT_TRUE(near3(cloud.maxCorner, (hi[0] - lo[0]) * s / 2, 16, (hi[2] - lo[2]) * s / 2));
  }
}

TEST_F(PlyReaderTest, FullSettingsHeaderWritesEverySettingAndAddsTheKeyColumn) {
  loadFile("keyed.ply", plyHeader(3, 7) + "#settings\n" + kFullSettings +
                            "addKeyPoints=1\nrefineTrunk=0\n0 1 0 1 2 3 4\n2 5 4 1 2 3 4\n-2 9 -4 1 2 3 4\n");
  // The second refineTrunk line replaces the first.
  EXPECT_EQ(headerSettings(), (std::vector<double>{0.25, 1.5, 24, 61, 62, 33, 74, 0.05, 0.3, 0}));
  expectScanCoordinates(cloud, {{0, 1, 0}, {2, 5, 4}, {-2, 9, -4}}, 1e-12, "keyed");
  // Read: x -2..2, y 1..9 (H = 8). A root 0.05 H below the bottom, then a column from the bottom
  // up every 0.05 H while below bottom + 0.3 H; the whole 1.05 H is scaled to 16.
  const double s = 16.0 / (1.05 * 8);
  ASSERT_TRUE(cloud.fileCount == 3 && cloud.rootIndex == 3 && cloud.keyBegin == 4 && cloud.keyEnd == int(cloud.count));
  EXPECT_NEAR(cloud.scale, s, 1e-12);
  EXPECT_NEAR(cloud.baseCorner.y, 0.4 * s, 1e-12);
  const uint32_t column = cloud.count - 4;
  EXPECT_TRUE(column == 6 || column == 7) << column;  // 0.3 / 0.05 steps, the last one on the limit
  for (uint32_t k = 0; k <= column; ++k) EXPECT_TRUE(near3(cloud.points[3 + k], 0, 0.4 * k * s, 0)) << k;
}

}  // namespace
