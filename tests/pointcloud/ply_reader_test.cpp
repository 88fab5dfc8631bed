// The PLY reader through real files: property counts and colours, the mirrored X axis, the
// console lines, the settings header, the key-point column, the scale to 16 units and the
// rejected inputs.

#include <array>
#include <random>
#include <utility>

#include "pointcloud/cloud_file_test.h"

namespace {

using PlyReaderTest = CloudFileTest;

TEST_F(PlyReaderTest, ThreePropertiesMirrorXScaleTo16AndDrawBlack) {
  const std::string path = dir.write("tree.ply", plyHeader(3, 3) + "1 2 3\n4 6 8\n-2 10 0\n");
  EXPECT_EQ(load(path), "buff=1, j=3\nNumber of points (" + path + "): 3\n");
  ASSERT_TRUE(loadedOk && cloud.loaded);
  EXPECT_TRUE(cloud.count == 3 && cloud.fileCount == 3 && cloud.groundPoints.empty());
  EXPECT_TRUE(cloud.rootIndex == -1 && cloud.keyBegin == -1 && cloud.keyEnd == -1);
  // Read as (-1,2,3), (-4,6,8), (2,10,0): box x -4..2, y 2..10, z 0..8; height 8 gives scale 2.
  EXPECT_DOUBLE_EQ(cloud.scale, 2.0);
  const double expected[3][3] = {{0, 0, -2}, {-6, 8, 8}, {6, 16, -8}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(near3(cloud.points[i], expected[i][0], expected[i][1], expected[i][2]) && cloud.points[i].tag == 0);
    EXPECT_TRUE(near3(cloud.colours[i], 0, 0, 0, 0)) << i;
  }
  EXPECT_TRUE(near3(cloud.minCorner, -6, 0, -8) && near3(cloud.maxCorner, 6, 16, 8) && cloud.baseCorner.y == 0);
}

TEST_F(PlyReaderTest, FivePropertiesGiveGreyAndSevenGiveRgb) {
  loadFile("grey.ply", plyHeader(2, 5) + "0 0 0 7 65535\n1 1 1 7 13107\n");
  ASSERT_TRUE(cloud.loaded);
  EXPECT_TRUE(near3(cloud.colours[0], 1, 1, 1, 0));
  EXPECT_TRUE(near3(cloud.colours[1], 0.2, 0.2, 0.2, 1e-15));  // 13107 / 65535

  const std::string rgb = dir.write("rgb.ply", plyHeader(2, 7) + "0 0 0 255 0 51 9\n1 1 1 10 20 30 255\n");
  EXPECT_EQ(load(rgb), "buff=0, j=7\nNumber of points (" + rgb + "): 2\n");
  ASSERT_TRUE(cloud.loaded);
  EXPECT_TRUE(near3(cloud.colours[0], 1.0, 0.0, 0.2, 1e-15));
  EXPECT_TRUE(near3(cloud.colours[1], 10 / 255.0, 20 / 255.0, 30 / 255.0, 1e-15));
}

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
  const std::string header = "#settings\n" + kFullSettings + "addKeyPoints=1\nrefineTrunk=0\n";
  const std::string path = dir.write("keyed.ply", plyHeader(3, 3) + header + "0 1 0\n2 5 4\n-2 9 -4\n");
  EXPECT_EQ(load(path), "buff=#settings, j=3\nNumber of points (" + path + "): 3\n");
  ASSERT_TRUE(cloud.loaded);
  std::vector<double> expected = kFullSettingsValues;
  expected.back() = 0;  // the second refineTrunk line replaces the first
  EXPECT_EQ(headerSettings(), expected);

  // Read: x -2..2, y 1..9 (H = 8), z -4..4. A root 0.05 H below the bottom, then a column from
  // the bottom upwards every 0.05 H while below bottom + 0.3 H; the whole 1.05 H is scaled to 16.
  const uint32_t n = 3;
  EXPECT_EQ(cloud.fileCount, n);
  EXPECT_EQ(cloud.rootIndex, static_cast<int32_t>(n));
  EXPECT_EQ(cloud.keyBegin, static_cast<int32_t>(n + 1));
  EXPECT_EQ(cloud.keyEnd, static_cast<int32_t>(cloud.count));
  const double s = 16.0 / (1.05 * 8);
  EXPECT_NEAR(cloud.scale, s, 1e-12);
  EXPECT_TRUE(cloud.minCorner.y == 0 && std::fabs(cloud.maxCorner.y - 16) < 1e-12);
  EXPECT_NEAR(cloud.baseCorner.y, 0.4 * s, 1e-12);
  const uint32_t column = cloud.count - n - 1;
  EXPECT_TRUE(column == 6 || column == 7) << column;  // 0.3 / 0.05 steps, the last one on the limit
  for (uint32_t k = 0; k <= column; ++k) EXPECT_TRUE(near3(cloud.points[n + k], 0, 0.4 * k * s, 0)) << k;
  EXPECT_LT(cloud.points[cloud.count - 1].y, (0.4 + 0.3 * 8) * s + 1e-12);
  EXPECT_GE(cloud.points[cloud.count - 1].y + 0.4 * s, (0.4 + 0.3 * 8) * s - 1e-9);
}

// A header stopped early or with lines left out sets what it holds; without one, nothing
// changes and the data start right after end_header. Windows line ends read the same.
TEST_F(PlyReaderTest, PartialAndAbsentHeadersSetOnlyWhatTheyHold) {
  const struct {
    const char *name, *header, *firstWord;
    bool crlf;
    std::vector<std::pair<int, double>> changed;  // header order index, value
  } cases[] = {
      {"early.ply", "#\nresolution=0.3\nradius=2\n", "#", false, {{0, 0.3}, {1, 2}}},
      {"gaps.ply", "#\nresolution=0.5\nKNN=9\nrefineTrunk=1\naddKeyPoints=0\n", "#", false, {{0, .5}, {2, 9}, {9, 1}}},
      {"absent.ply", "  ", "5", false, {}},
      {"crlf.ply", "#\nleafSize=0.4\n", "#", true, {{8, 0.4}}},
  };
  for (const auto& c : cases) {
    resetSettingsToStartValues();
    const std::string comments = c.crlf ? "comment a\ncomment b\nobj_info c" : "comment";
    std::string text = plyHeader(2, 3, comments) + c.header + "5 0 0\n6 4 1\n", crlf;
    for (char ch : text) crlf += c.crlf && ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    const std::string path = dir.write(c.name, crlf);
    EXPECT_EQ(load(path), "buff=" + std::string(c.firstWord) + ", j=3\nNumber of points (" + path + "): 2\n");
    std::vector<double> expected = startSettings;
    for (const auto& [index, value] : c.changed) expected[index] = value;
    EXPECT_EQ(headerSettings(), expected) << c.name;
    ASSERT_TRUE(cloud.loaded && cloud.count == 2 && cloud.rootIndex == -1) << c.name;  // no addKeyPoints=1
    EXPECT_TRUE(near3(cloud.points[0], 2, 0, -2) && near3(cloud.points[1], -2, 16, 2)) << c.name;
  }
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
      {"binary.ply", "ply\nformat binary_little_endian 1.0\nelement vertex 1\nend_header\n\x01",
       "the vertex element has no x"},
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
