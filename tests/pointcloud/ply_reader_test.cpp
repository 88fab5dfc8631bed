// The PLY reader through real files: the mirrored X axis and the scale to 16 units against a
// direct computation, the settings header with the key-point column, and the rejected inputs.

#include <array>
#include <random>

#include "pointcloud/cloud_file_test.h"

namespace {

using PlyReaderTest = CloudFileTest;

// Seeded random clouds against a direct computation of the normalised positions.
TEST_F(PlyReaderTest, RandomCloudsAreCentredLiftedAndSixteenHigh) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> coord(-50.0, 80.0);
  for (int round = 0; round < 5; ++round) {
    const int n = 50 + static_cast<int>(rng() % 200);
    std::vector<std::array<double, 3>> raw(n);
    std::ostringstream body;
    body.precision(17);
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (auto& p : raw) {
      for (double& v : p) v = coord(rng);
      body << p[0] << " " << p[1] << " " << p[2] << "\n";
      const double q[3] = {-p[0], p[1], p[2]};
      for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], q[a]), hi[a] = std::max(hi[a], q[a]);
    }
    loadFile("random.ply", plyHeader(n, 3) + body.str());
    ASSERT_TRUE(cloud.loaded);
    const double s = 16.0 / (hi[1] - lo[1]);
    for (int i = 0; i < n; ++i) {
      EXPECT_TRUE(near3(cloud.points[i], (-raw[i][0] - (lo[0] + hi[0]) / 2) * s, (raw[i][1] - lo[1]) * s,
                        (raw[i][2] - (lo[2] + hi[2]) / 2) * s))
          << i;
    }
    EXPECT_TRUE(near3(cloud.minCorner, -(hi[0] - lo[0]) * s / 2, 0, -(hi[2] - lo[2]) * s / 2));
    EXPECT_TRUE(near3(cloud.maxCorner, (hi[0] - lo[0]) * s / 2, 16, (hi[2] - lo[2]) * s / 2));
  }
}

TEST_F(PlyReaderTest, FullSettingsHeaderWritesEverySettingAndAddsTheKeyColumn) {
  loadFile("keyed.ply",
           plyHeader(3, 3) + "#settings\n" + kFullSettings + "addKeyPoints=1\nrefineTrunk=0\n0 1 0\n2 5 4\n-2 9 -4\n");
  ASSERT_TRUE(cloud.loaded);
  // The second refineTrunk line replaces the first.
  EXPECT_EQ(headerSettings(), (std::vector<double>{0.25, 1.5, 24, 61, 62, 33, 74, 0.05, 0.3, 0}));

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

// Mended faults: headers and data that cannot be read are reported by name and leave the cloud
// empty instead of crashing or loading garbage.
TEST_F(PlyReaderTest, MalformedFilesAreRejectedWithTheirProblem) {
  const struct {
    const char* name;
    std::string content, problem;
  } cases[] = {
      {"noend.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n", "the PLY header has no end_"},
      {"noelement.ply", "ply\nformat ascii 1.0\nproperty float x\nend_header\n1 2 3\n", "the PLY header has no \""},
      {"nocount.ply", "ply\nformat ascii 1.0\nelement vertex many\nproperty float x\nend_header\n", "the \"element"},
      {"truncated.ply", plyHeader(4, 3) + "1.5 2.5 3.5\n4.5 5.5 6.5\n7.5 8.5", "the file ends after 2 of 4 vertices!"},
      {"huge.ply", plyHeader(100000000, 3) + "1 2 3\n", "the PLY header declares 100000000 vertices, more than its"},
      {"negative.ply", plyHeader(-5, 3) + "1 2 3\n", "the PLY header declares -5 vertices!\n"},
      {"word.ply", plyHeader(3, 3) + "1 2 3\n4 five 6\n7 8 9\n", "vertex 2 at line 12 is not a list of 3 numbers!\n"},
      {"floatcolour.ply", plyHeader(2, 7) + "1 2 3 0.5 1 1 1\n4 5 6 1 1 1 1\n", "vertex 1 at line 15 is not a list"},
      {"inf.ply", plyHeader(2, 3) + "1 2 3\n4 inf 6\n", "vertex 2 at line 12 holds a value that is not finite!\n"},
      {"overflow.ply", plyHeader(2, 5) + "1 2 3 0 1\n4 5 6 0 1e999\n", "vertex 2 at line 14 holds a value that is"},
      {"flat.ply", plyHeader(2, 3) + "1 2 3\n4 2 6\n", "all points lie at one height"},
      {"wide.ply", plyHeader(2, 3) + "-1e308 0 0\n1e308 1 0\n", "coordinates too large to normalise!\n"},
  };
  for (const auto& c : cases) expectRejected(c.name, c.content, c.problem);
}

}  // namespace
