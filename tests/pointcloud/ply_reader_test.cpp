// The PLY reader through real files: property counts and colours, the mirrored X axis, the
// console lines, the settings header, the key-point column, the scale to 16 units and the
// rejected inputs.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "pointcloud/point_cloud.h"
#include "support/test_support.h"

namespace {

std::string plyHeader(long vertices, int properties, const std::string& comment = "comment test") {
  std::ostringstream out;
  out << "ply\nformat ascii 1.0\n" << comment << "\nelement vertex " << vertices << "\n";
  const char* names[] = {"x", "y", "z", "red", "green", "blue", "alpha"};
  for (int i = 0; i < properties; ++i) out << "property float " << names[i] << "\n";
  out << "element face 0\nproperty list uchar int vertex_indices\nend_header\n";
  return out.str();
}

class PlyReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override { resetSettingsToStartValues(); }

  // Loads the file and returns what was printed.
  std::string load(const std::string& path) {
    StdoutCapture capture;
    loadedOk = cloud.load(path);
    return capture.text();
  }

  void expectEmpty() const {
    EXPECT_FALSE(loadedOk);
    EXPECT_FALSE(cloud.loaded);
    EXPECT_EQ(cloud.count, 0u);
    EXPECT_EQ(cloud.fileCount, 0u);
    EXPECT_TRUE(cloud.points.empty());
    EXPECT_TRUE(cloud.colours.empty());
    EXPECT_TRUE(cloud.groundPoints.empty());
    EXPECT_EQ(cloud.rootIndex, -1);
    EXPECT_EQ(cloud.scale, 1.0);
  }

  TempDir dir;
  PointCloud cloud;
  bool loadedOk = false;
};

TEST_F(PlyReaderTest, ThreePropertiesMirrorXScaleTo16AndDrawBlack) {
  const std::string path = dir.write("tree.ply", plyHeader(3, 3) + "1 2 3\n4 6 8\n-2 10 0\n");
  const std::string out = load(path);
  EXPECT_EQ(out, "buff=1, j=3\nNumber of points (" + path + "): 3\n");
  ASSERT_TRUE(loadedOk);
  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.count, 3u);
  EXPECT_EQ(cloud.fileCount, 3u);
  EXPECT_EQ(cloud.points.size(), 103u);
  EXPECT_EQ(cloud.colours.size(), 103u);
  EXPECT_TRUE(cloud.groundPoints.empty());
  EXPECT_EQ(cloud.rootIndex, -1);
  EXPECT_EQ(cloud.keyBegin, -1);
  EXPECT_EQ(cloud.keyEnd, -1);
  // Read as (-1,2,3), (-4,6,8), (2,10,0): box x -4..2, y 2..10, z 0..8; height 8 gives scale 2.
  EXPECT_DOUBLE_EQ(cloud.scale, 2.0);
  const double expected[3][3] = {{0, 0, -2}, {-6, 8, 8}, {6, 16, -8}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(cloud.points[i].x, expected[i][0]) << i;
    EXPECT_DOUBLE_EQ(cloud.points[i].y, expected[i][1]) << i;
    EXPECT_DOUBLE_EQ(cloud.points[i].z, expected[i][2]) << i;
    EXPECT_EQ(cloud.points[i].tag, 0);
    EXPECT_EQ(cloud.colours[i].x, 0.0);
    EXPECT_EQ(cloud.colours[i].y, 0.0);
    EXPECT_EQ(cloud.colours[i].z, 0.0);
  }
  EXPECT_DOUBLE_EQ(cloud.minCorner.x, -6);
  EXPECT_DOUBLE_EQ(cloud.minCorner.y, 0);
  EXPECT_DOUBLE_EQ(cloud.minCorner.z, -8);
  EXPECT_DOUBLE_EQ(cloud.maxCorner.x, 6);
  EXPECT_DOUBLE_EQ(cloud.maxCorner.y, 16);
  EXPECT_DOUBLE_EQ(cloud.maxCorner.z, 8);
  EXPECT_DOUBLE_EQ(cloud.baseCorner.y, 0);
  // Untouched records past count stay zeroed.
  EXPECT_EQ(cloud.points[3].x, 0.0);
}

TEST_F(PlyReaderTest, FivePropertiesGiveGreyAndSevenGiveRgb) {
  const std::string grey = dir.write("grey.ply", plyHeader(2, 5) + "0 0 0 7 65535\n1 1 1 7 13107\n");
  load(grey);
  ASSERT_TRUE(cloud.loaded);
  EXPECT_DOUBLE_EQ(cloud.colours[0].x, 1.0);
  EXPECT_DOUBLE_EQ(cloud.colours[1].x, 13107.0 / 65535);
  EXPECT_EQ(cloud.colours[1].x, cloud.colours[1].y);
  EXPECT_EQ(cloud.colours[1].x, cloud.colours[1].z);

  const std::string rgb = dir.write("rgb.ply", plyHeader(2, 7) + "0 0 0 255 0 51 9\n1 1 1 10 20 30 255\n");
  const std::string out = load(rgb);
  EXPECT_EQ(out, "buff=0, j=7\nNumber of points (" + rgb + "): 2\n");
  ASSERT_TRUE(cloud.loaded);
  EXPECT_DOUBLE_EQ(cloud.colours[0].x, 1.0);
  EXPECT_DOUBLE_EQ(cloud.colours[0].y, 0.0);
  EXPECT_DOUBLE_EQ(cloud.colours[0].z, 0.2);
  EXPECT_DOUBLE_EQ(cloud.colours[1].x, 10 / 255.0);
  EXPECT_DOUBLE_EQ(cloud.colours[1].y, 20 / 255.0);
  EXPECT_DOUBLE_EQ(cloud.colours[1].z, 30 / 255.0);
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
    for (auto& p : raw) {
      for (double& v : p) v = coord(rng);
      body << p[0] << " " << p[1] << " " << p[2] << "\n";
    }
    load(dir.write("random.ply", plyHeader(n, 3) + body.str()));
    ASSERT_TRUE(cloud.loaded);
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (const auto& p : raw) {
      const double q[3] = {-p[0], p[1], p[2]};
      for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], q[a]), hi[a] = std::max(hi[a], q[a]);
    }
    const double s = 16.0 / (hi[1] - lo[1]);
    for (int i = 0; i < n; ++i) {
      EXPECT_NEAR(cloud.points[i].x, (-raw[i][0] - (lo[0] + hi[0]) / 2) * s, 1e-9);
      EXPECT_NEAR(cloud.points[i].y, (raw[i][1] - lo[1]) * s, 1e-9);
      EXPECT_NEAR(cloud.points[i].z, (raw[i][2] - (lo[2] + hi[2]) / 2) * s, 1e-9);
    }
    EXPECT_EQ(cloud.minCorner.y, 0.0);
    EXPECT_NEAR(cloud.maxCorner.y, 16.0, 1e-12);
    EXPECT_NEAR(cloud.minCorner.x, -cloud.maxCorner.x, 1e-12);
    EXPECT_NEAR(cloud.minCorner.z, -cloud.maxCorner.z, 1e-12);
  }
}

TEST_F(PlyReaderTest, FullSettingsHeaderWritesEverySettingAndAddsTheKeyColumn) {
  const std::string header =
      "#settings\nresolution=0.25\nradius=1.5\nKNN=24\nangle1=61\nangle2=62\nangle3=33\nangle4=74\n"
      "branchThick=0.05\nleafSize=0.3\nrefineTrunk=1\naddKeyPoints=1\nrefineTrunk=0\n";
  const std::string path = dir.write("keyed.ply", plyHeader(3, 3) + header + "0 1 0\n2 5 4\n-2 9 -4\n");
  const std::string out = load(path);
  EXPECT_EQ(out, "buff=#settings, j=3\nNumber of points (" + path + "): 3\n");
  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(g_dVoxelSize, 0.25);
  EXPECT_EQ(g_dSearchRadius, 1.5);
  EXPECT_EQ(g_nKNN, 24);
  EXPECT_EQ(g_dAngle1, 61.0);
  EXPECT_EQ(g_dAngle2, 62.0);
  EXPECT_EQ(g_dAngle3, 33.0);
  EXPECT_EQ(g_dAngle4, 74.0);
  EXPECT_EQ(g_dBranchThickness, 0.05);
  EXPECT_EQ(g_dLeafSize, 0.3);
  EXPECT_EQ(g_bRefineTrunk, 0);  // the second refineTrunk line replaces the first

  // Read: x -2..2 (mirrored), y 1..9 (H = 8), z -4..4. Base point 0.05 H below the bottom,
  // then a column from the bottom upwards every 0.05 H while below bottom + 0.3 H.
  const uint32_t n = 3;
  EXPECT_EQ(cloud.fileCount, n);
  EXPECT_EQ(cloud.rootIndex, static_cast<int32_t>(n));
  EXPECT_EQ(cloud.keyBegin, static_cast<int32_t>(n + 1));
  EXPECT_EQ(cloud.keyEnd, static_cast<int32_t>(cloud.count));
  const uint32_t column = cloud.count - n - 1;
  EXPECT_GE(column, 6u);
  EXPECT_LE(column, 7u);
  // Total height is 1.05 H, scaled to 16.
  const double s = 16.0 / (1.05 * 8);
  EXPECT_NEAR(cloud.scale, s, 1e-12);
  EXPECT_NEAR(cloud.maxCorner.y, 16.0, 1e-12);
  EXPECT_EQ(cloud.minCorner.y, 0.0);
  const PointRecord& root = cloud.points[n];
  EXPECT_NEAR(root.x, 0.0, 1e-12);
  EXPECT_NEAR(root.z, 0.0, 1e-12);
  EXPECT_NEAR(root.y, 0.0, 1e-12);
  // The bottom as read sits 0.05 H above the new floor.
  EXPECT_NEAR(cloud.baseCorner.y, 0.4 * s, 1e-12);
  for (uint32_t k = 0; k < column; ++k) {
    const PointRecord& p = cloud.points[n + 1 + k];
    EXPECT_NEAR(p.x, 0.0, 1e-12);
    EXPECT_NEAR(p.z, 0.0, 1e-12);
    EXPECT_NEAR(p.y, (0.4 + 0.4 * k) * s, 1e-9) << k;
    EXPECT_LT(p.y, (0.4 + 0.3 * 8) * s + 1e-12);
  }
  // The column ends because the next step would reach bottom + 0.3 H.
  EXPECT_GE(cloud.points[cloud.count - 1].y + 0.4 * s, (0.4 + 0.3 * 8) * s - 1e-9);
}

TEST_F(PlyReaderTest, HeaderThatStopsEarlyKeepsTheRestAndReadsTheData) {
  const std::string path = dir.write("early.ply", plyHeader(2, 3) + "#\nresolution=0.3\nradius=2\n5 0 0\n6 4 1\n");
  load(path);
  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(g_dVoxelSize, 0.3);
  EXPECT_EQ(g_dSearchRadius, 2.0);
  EXPECT_EQ(g_nKNN, 16);
  EXPECT_EQ(g_dAngle1, 70.0);
  EXPECT_EQ(g_bRefineTrunk, 0);
  EXPECT_EQ(cloud.count, 2u);  // no key points without addKeyPoints=1
  EXPECT_EQ(cloud.rootIndex, -1);
  EXPECT_NEAR(cloud.points[1].y, 16.0, 1e-12);
}

TEST_F(PlyReaderTest, LeftOutLinesAreSkippedWhenTheNextLineStartsDifferently) {
  // radius=, angle1..4, branchThick and leafSize are left out; addKeyPoints is 0.
  const std::string header = "#\nresolution=0.5\nKNN=9\nrefineTrunk=1\naddKeyPoints=0\n";
  load(dir.write("gaps.ply", plyHeader(2, 3) + header + "0 0 0\n1 1 1\n"));
  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(g_dVoxelSize, 0.5);
  EXPECT_EQ(g_dSearchRadius, 1.2);
  EXPECT_EQ(g_nKNN, 9);
  EXPECT_EQ(g_bRefineTrunk, 1);
  EXPECT_EQ(cloud.count, 2u);
}

// An addKeyPoints line with nothing before it loses its "a" to the angle1 line, which
// matches that far; the rest of the line is then taken as vertex data and rejected.
TEST_F(PlyReaderTest, AddKeyPointsAloneIsEatenByTheAngleLines) {
  const std::string path = dir.write("alone.ply", plyHeader(2, 3) + "#\naddKeyPoints=1\n0 0 0\n1 1 1\n");
  const std::string out = load(path);
  EXPECT_NE(out.find("ERROR: point cloud [" + path + "]: vertex 1 at line 12 is not a list of 3 numbers!\n"),
            std::string::npos)
      << out;
  expectEmpty();
}

TEST_F(PlyReaderTest, WithoutHeaderSettingsStayAndDataStartsAfterEndHeader) {
  g_dVoxelSize = 0.77;
  const std::string path = dir.write("plain.ply", plyHeader(2, 3) + "  3 4 5\n6 8 9\n");
  EXPECT_EQ(load(path), "buff=3, j=3\nNumber of points (" + path + "): 2\n");
  EXPECT_EQ(g_dVoxelSize, 0.77);
  ASSERT_TRUE(cloud.loaded);
  EXPECT_NEAR(cloud.points[0].x, 1.5 * 16 / 4, 1e-12);
}

TEST_F(PlyReaderTest, WindowsLineEndsAndExtraCommentLinesAreRead) {
  std::string text = plyHeader(2, 3, "comment a\ncomment b\nobj_info c") + "1 2 3\n4 5 6\n";
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  load(dir.write("crlf.ply", crlf));
  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.count, 2u);
  EXPECT_NEAR(cloud.maxCorner.y, 16.0, 1e-12);
}

// ---- Rejected input: a message naming the file, an empty cloud, and the process goes on ----

TEST_F(PlyReaderTest, UnreadableFilesPrintTheOpenErrorAndDoNotExit) {
  const std::string missing = dir.file("missing.ply");
  EXPECT_EQ(load(missing), "ERROR: unable to open point cloud [" + missing + "]!\n");
  expectEmpty();
  const std::string folder = dir.file("folder.ply");
  dir.write("folder.ply/inside.txt", "1");
  EXPECT_EQ(load(folder), "ERROR: unable to open point cloud [" + folder + "]!\n");
  expectEmpty();
}

TEST_F(PlyReaderTest, MalformedHeadersAreRejectedWithTheirProblem) {
  struct Case {
    std::string name, content, problem;
  };
  const std::vector<Case> cases = {
      {"noend.ply", "ply\nformat ascii 1.0\ncomment x\nelement vertex 1\nproperty float x\n", "end_header"},
      {"four.ply", plyHeader(2, 4) + "1 2 3 4\n5 6 7 8\n", "4 vertex properties"},
      {"none.ply", plyHeader(2, 0) + "1 2 3\n5 6 7\n", "0 vertex properties"},
      {"six.ply", plyHeader(2, 6) + "1 2 3 4 5 6\n5 6 7 8 9 1\n", "6 vertex properties"},
      {"noelement.ply", "ply\nformat ascii 1.0\nproperty float x\nend_header\n1 2 3\n", "element vertex"},
      {"nocount.ply", "ply\nformat ascii 1.0\nelement vertex many\nproperty float x\nend_header\n", "no count"},
      {"binary.ply",
       "ply\nformat binary_little_endian 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
       "property float z\nend_header\n\x01\x02\x03",
       "only ASCII PLY"},
      {"empty.ply", "", "end_header"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.write(c.name, c.content);
    const std::string out = load(path);
    EXPECT_EQ(out.rfind("ERROR: point cloud [" + path + "]: ", 0), 0u) << out;
    EXPECT_NE(out.find(c.problem), std::string::npos) << out;
    expectEmpty();
  }
}

TEST_F(PlyReaderTest, BadVertexDataIsRejectedWithItsProblem) {
  struct Case {
    std::string name, content, problem;
  };
  const std::vector<Case> cases = {
      {"truncated.ply", plyHeader(4, 3) + "1.5 2.5 3.5\n4.5 5.5 6.5\n7.5 8.5", "the file ends after 2 of 4 vertices"},
      {"huge.ply", plyHeader(99999999999L, 3) + "1 2 3\n", "declares 99999999999 vertices, more than"},
      {"negative.ply", plyHeader(-5, 3) + "1 2 3\n", "declares -5 vertices"},
      {"zero.ply", plyHeader(0, 3), "declares 0 vertices"},
      {"word.ply", plyHeader(3, 3) + "1 2 3\n4 five 6\n7 8 9\n", "vertex 2 at line 12 is not a list of 3 numbers"},
      {"inf.ply", plyHeader(2, 3) + "1 2 3\n4 inf 6\n", "vertex 2 at line 12 holds a value that is not finite"},
      {"nan.ply", plyHeader(2, 3) + "nan 2 3\n4 5 6\n", "vertex 1 at line 11 holds a value that is not finite"},
      {"overflow.ply", plyHeader(2, 3) + "1 2 3\n4 1e999 6\n", "not finite"},
      {"greynan.ply", plyHeader(2, 5) + "1 2 3 0 nan\n4 5 6 0 1\n", "not finite"},
      {"flat.ply", plyHeader(2, 3) + "1 2 3\n4 2 6\n", "one height"},
      {"wide.ply", plyHeader(2, 3) + "-1e308 0 0\n1e308 1 0\n", "coordinates too large to normalise"},
      {"floatcolour.ply", plyHeader(2, 7) + "1 2 3 0.5 1 1 1\n4 5 6 1 1 1 1\n", "not a list of 7 numbers"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.write(c.name, c.content);
    const std::string out = load(path);
    EXPECT_NE(out.find("ERROR: point cloud [" + path + "]: "), std::string::npos) << c.name << ": " << out;
    EXPECT_NE(out.find(c.problem), std::string::npos) << c.name << ": " << out;
    expectEmpty();
  }
}

TEST_F(PlyReaderTest, FailedLoadAfterAGoodOneLeavesNothingBehindAndTheNextLoadWorks) {
  const std::string good = dir.write("good.ply", plyHeader(2, 7) + "0 0 0 1 2 3 4\n1 1 1 5 6 7 8\n");
  ASSERT_TRUE(cloud.load(good));
  load(dir.write("bad.ply", plyHeader(3, 3) + "1 2 3\n"));
  expectEmpty();
  load(good);
  EXPECT_TRUE(loadedOk);
  EXPECT_EQ(cloud.count, 2u);
}

}  // namespace
