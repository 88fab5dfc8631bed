// The five-column text reader through real files: column order, ground points, the settings
// header, the key points of a floating cloud (case A) and of a cloud on the ground (case B),
// and the rejected inputs.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "pointcloud/point_cloud.h"
#include "support/test_support.h"

namespace {

using Row = std::array<double, 5>;  // x, z, height, unused, ground height

std::string rowsText(const std::vector<Row>& rows) {
  std::ostringstream out;
  out.precision(17);
  for (const Row& r : rows) out << r[0] << " " << r[1] << " " << r[2] << " " << r[3] << " " << r[4] << "\n";
  return out.str();
}

struct Box {
  double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
};

// The box of the file points in the program's axes (x, height, z).
Box boxOf(const std::vector<Row>& rows) {
  Box b;
  for (const Row& r : rows) {
    const double p[3] = {r[0], r[2], r[1]};
    for (int a = 0; a < 3; ++a) b.lo[a] = std::min(b.lo[a], p[a]), b.hi[a] = std::max(b.hi[a], p[a]);
  }
  return b;
}

double meanGround(const std::vector<Row>& rows) {
  double sum = 0;
  for (const Row& r : rows) sum += r[4];
  return sum / rows.size();
}

class TextCloudReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override { resetSettingsToStartValues(); }

  std::string load(const std::string& path) {
    StdoutCapture capture;
    loadedOk = cloud.load(path);
    return capture.text();
  }

  // A loaded text cloud is shifted by the box centre on X and Z and by the mean ground G on Y.
  PointRecord unshift(const PointRecord& p, const Box& box, double ground) const {
    return PointRecord{p.x + (box.lo[0] + box.hi[0]) / 2, p.y + ground, p.z + (box.lo[2] + box.hi[2]) / 2, p.tag};
  }

  void expectEmpty() const {
    EXPECT_FALSE(loadedOk);
    EXPECT_FALSE(cloud.loaded);
    EXPECT_EQ(cloud.count, 0u);
    EXPECT_TRUE(cloud.points.empty());
    EXPECT_TRUE(cloud.groundPoints.empty());
  }

  TempDir dir;
  PointCloud cloud;
  bool loadedOk = false;
};

TEST_F(TextCloudReaderTest, ElevenNumbersHoldTwoPoints) {
  const std::string path = dir.write("eleven.txt", "1 2 3 4 5\n6 7 8 9 10\n11\n");
  const std::string out = load(path);
  EXPECT_EQ(out, "Number of points (" + path + "): 2\nWARNING: point cloud [" + path +
                     "]: 1 trailing value(s) do not make a whole point and are ignored\n");
  ASSERT_TRUE(loadedOk);
  EXPECT_EQ(cloud.fileCount, 2u);
  EXPECT_EQ(cloud.groundPoints.size(), 2u);
  EXPECT_EQ(cloud.points.size(), 102u);
}

TEST_F(TextCloudReaderTest, ColumnsMapToXHeightZAndGroundPointsAreKept) {
  // Ground far below the points: case A, the floor becomes the mean ground height 1.
  const std::vector<Row> rows = {{1, 2, 30, 99, 0}, {-3, 4, 36, 99, 2}, {5, -6, 33, 99, 1}};
  const std::string path = dir.write("cols.xyz", rowsText(rows));
  EXPECT_EQ(load(path).rfind("Number of points (" + path + "): 3\n", 0), 0u);
  ASSERT_TRUE(cloud.loaded);
  const Box box = boxOf(rows);
  for (size_t i = 0; i < rows.size(); ++i) {
    const PointRecord p = unshift(cloud.points[i], box, 1.0);
    EXPECT_NEAR(p.x, rows[i][0], 1e-12);
    EXPECT_NEAR(p.y, rows[i][2], 1e-12);
    EXPECT_NEAR(p.z, rows[i][1], 1e-12);
    const PointRecord g = unshift(cloud.groundPoints[i], box, 1.0);
    EXPECT_NEAR(g.x, rows[i][0], 1e-12);
    EXPECT_NEAR(g.y, rows[i][4], 1e-12);
    EXPECT_NEAR(g.z, rows[i][1], 1e-12);
    EXPECT_EQ(cloud.colours[i].x + cloud.colours[i].y + cloud.colours[i].z, 0.0);
  }
  EXPECT_EQ(cloud.scale, 1.0);
  EXPECT_EQ(cloud.minCorner.y, 0.0);
  EXPECT_NEAR(cloud.maxCorner.y, 36.0 - 1.0, 1e-12);
  EXPECT_NEAR(cloud.baseCorner.y, 30.0 - 1.0, 1e-12);
  EXPECT_NEAR(cloud.minCorner.x, -cloud.maxCorner.x, 1e-12);
  EXPECT_NEAR(cloud.minCorner.z, -cloud.maxCorner.z, 1e-12);
}

// Case A: a cloud floating above the ground gets points 0.75 apart on the line from the ground
// under the box centre towards its centroid.
TEST_F(TextCloudReaderTest, FloatingCloudGetsALineOfPointsFromTheGroundToTheCentroid) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> across(-2.0, 2.0), height(5.0, 10.0), ground(-0.4, 0.4);
  std::vector<Row> rows(60);
  for (Row& r : rows) r = {across(rng) + 1.0, across(rng) - 0.5, height(rng), 0.0, ground(rng)};
  load(dir.write("floating.txt", rowsText(rows)));
  ASSERT_TRUE(cloud.loaded);

  const uint32_t n = rows.size();
  const Box box = boxOf(rows);
  const double g = meanGround(rows);
  double cx = 0, cy = 0, cz = 0;
  for (const Row& r : rows) cx += r[0] / n, cy += r[2] / n, cz += r[1] / n;
  const double boxX = (box.lo[0] + box.hi[0]) / 2, boxZ = (box.lo[2] + box.hi[2]) / 2;

  const uint32_t expectedAdded = static_cast<uint32_t>(std::ceil((cy - g) / 0.75));
  ASSERT_EQ(cloud.count, n + expectedAdded);
  EXPECT_EQ(cloud.rootIndex, static_cast<int32_t>(n));
  EXPECT_EQ(cloud.keyEnd, static_cast<int32_t>(n + expectedAdded));
  const uint32_t belowBottom = static_cast<uint32_t>(std::ceil((box.lo[1] - g) / 0.75));
  EXPECT_EQ(cloud.keyBegin, static_cast<int32_t>(n + belowBottom));
  for (uint32_t k = 0; k < expectedAdded; ++k) {
    const PointRecord p = unshift(cloud.points[n + k], box, g);
    const double level = g + 0.75 * k;
    const double m = (level - g) / (cy - g);
    EXPECT_NEAR(p.y, level, 1e-9) << k;
    EXPECT_NEAR(p.x, boxX + m * (cx - boxX), 1e-9) << k;
    EXPECT_NEAR(p.z, boxZ + m * (cz - boxZ), 1e-9) << k;
  }
  EXPECT_EQ(cloud.minCorner.y, 0.0);
  EXPECT_NEAR(cloud.baseCorner.y, box.lo[1] - g, 1e-12);
  EXPECT_NEAR(cloud.points[n].y, 0.0, 1e-12);  // the first key point stands on the ground
}

TEST_F(TextCloudReaderTest, FloatingCloudNeverGetsMoreThanAHundredKeyPoints) {
  std::vector<Row> rows;
  for (int i = 0; i < 20; ++i) rows.push_back({i * 0.1, 0.0, 200.0 + i, 0.0, 0.0});
  load(dir.write("high.txt", rowsText(rows)));
  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.count, 120u);
  EXPECT_EQ(cloud.keyEnd - cloud.rootIndex, 100);
  EXPECT_EQ(cloud.keyBegin, 120);  // all of them lie below the bottom as read
  EXPECT_NEAR(cloud.points[119].y, 99 * 0.75, 1e-9);
}

// Case B: a cloud on the ground gets one root point where its leaning trunk, followed back
// from its lowest points, meets the mean ground height.
TEST_F(TextCloudReaderTest, GroundedCloudGetsOneRootWhereTheTrunkMeetsTheGround) {
  std::vector<Row> rows;
  for (int i = 0; i <= 30; ++i) {  // trunk along (1, 2) + t (0.2, 0.1), t = height 0 .. 3
    const double t = i * 0.1;
    rows.push_back({1.0 + 0.2 * t, 2.0 + 0.1 * t, t, 0.0, -0.5});
  }
  for (int i = 0; i <= 8; ++i) {  // crown far above the trunk base, 8 wide on X and Z, centred on (1, 2)
    rows.push_back({-3.0 + i, 2.0, 5.5, 0.0, -0.5});
    rows.push_back({1.0, -2.0 + i, 6.0, 0.0, -0.5});
  }
  load(dir.write("grounded.txt", rowsText(rows)));
  ASSERT_TRUE(cloud.loaded);
  const uint32_t n = rows.size();
  ASSERT_EQ(cloud.count, n + 1);
  EXPECT_EQ(cloud.rootIndex, static_cast<int32_t>(n));
  EXPECT_EQ(cloud.keyBegin, static_cast<int32_t>(n + 1));
  EXPECT_EQ(cloud.keyEnd, static_cast<int32_t>(n + 1));
  const PointRecord root = unshift(cloud.points[n], boxOf(rows), -0.5);
  EXPECT_NEAR(root.x, 1.0 - 0.2 * 0.5, 1e-9);
  EXPECT_NEAR(root.y, -0.5, 1e-12);
  EXPECT_NEAR(root.z, 2.0 - 0.1 * 0.5, 1e-9);
  EXPECT_EQ(cloud.minCorner.y, 0.0);
  EXPECT_NEAR(cloud.baseCorner.y, 0.5, 1e-12);
  EXPECT_NEAR(cloud.points[0].y, 0.5, 1e-12);
}

// Case B without neighbours, with a horizontal mean direction, and failing the sanity check.
TEST_F(TextCloudReaderTest, GroundedRootFallsBackToTheBaseOrTheBoxCentre) {
  auto withCrown = [](std::vector<Row> rows) {
    for (int i = 0; i <= 8; ++i) rows.push_back({-4.0 + i, -4.0 + i, 5.0 + i * 0.125, 0.0, 0.0});
    return rows;
  };
  struct Case {
    const char* name;
    std::vector<Row> rows;
    double rootX, rootZ;
  };
  const std::vector<Case> cases = {
      // No point near the base B = (1.2, 0.5) off its height: the root goes under B.
      {"lonely.txt", withCrown({{1.0, 0.5, 0, 0, 0}, {1.4, 0.5, 0, 0, 0}}), 1.2, 0.5},
      // Neighbours only barely above B: the mean direction is horizontal, the root goes under the box centre.
      {"flat.txt", withCrown({{1.0, 0.5, 0, 0, 0}, {-1.0, 0.5, 0.0011, 0, 0}, {3.0, 0.5, 0.0011, 0, 0}}), 0.0, 0.0},
      // B lies 3 from the box centre, more than a quarter of the box width (2): the box centre wins.
      {"offcentre.txt", withCrown({{3.0, 0.0, 0, 0, 0}}), 0.0, 0.0},
  };
  for (const Case& c : cases) {
    load(dir.write(c.name, rowsText(c.rows)));
    ASSERT_TRUE(cloud.loaded) << c.name;
    const uint32_t n = c.rows.size();
    ASSERT_EQ(cloud.count, n + 1) << c.name;
    const PointRecord root = unshift(cloud.points[n], boxOf(c.rows), 0.0);
    EXPECT_NEAR(root.x, c.rootX, 1e-9) << c.name;
    EXPECT_NEAR(root.y, 0.0, 1e-12) << c.name;
    EXPECT_NEAR(root.z, c.rootZ, 1e-9) << c.name;
  }
}

TEST_F(TextCloudReaderTest, SettingsHeaderInFullStoppedEarlyOrAbsent) {
  const std::string data = "0 0 0 0 0\n1 1 1 0 0\n2 2 2 0 0\n";
  const std::string full =
      "#\nresolution=0.25\nradius=1.5\nKNN=24\nangle1=61\nangle2=62\nangle3=33\nangle4=74\n"
      "branchThick=0.05\nleafSize=0.3\nrefineTrunk=1\n";
  load(dir.write("full.txt", full + data));
  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.fileCount, 3u);
  EXPECT_EQ(g_dVoxelSize, 0.25);
  EXPECT_EQ(g_dSearchRadius, 1.5);
  EXPECT_EQ(g_nKNN, 24);
  EXPECT_EQ(g_dAngle1, 61.0);
  EXPECT_EQ(g_dAngle2, 62.0);
  EXPECT_EQ(g_dAngle3, 33.0);
  EXPECT_EQ(g_dAngle4, 74.0);
  EXPECT_EQ(g_dBranchThickness, 0.05);
  EXPECT_EQ(g_dLeafSize, 0.3);
  EXPECT_EQ(g_bRefineTrunk, 1);

  resetSettingsToStartValues();
  load(dir.write("early.txt", "#params\nresolution=0.3\nradius=2\nKNN=5\n" + data));
  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.fileCount, 3u);
  EXPECT_EQ(g_dVoxelSize, 0.3);
  EXPECT_EQ(g_dSearchRadius, 2.0);
  EXPECT_EQ(g_nKNN, 5);
  EXPECT_EQ(g_dAngle1, 70.0);
  EXPECT_EQ(g_dLeafSize, 0.2);
  EXPECT_EQ(g_bRefineTrunk, 0);

  resetSettingsToStartValues();
  load(dir.write("absent.txt", data));
  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.fileCount, 3u);
  EXPECT_EQ(g_dVoxelSize, 0.18);
}

// A line's literal text is consumed as far as it matched: with angle2 left out, "angle" of
// the angle3 line is eaten by the angle2 format, so no later line matches and the data
// start falls on the rest of that line.
TEST_F(TextCloudReaderTest, LeftOutLineSharingItsBeginningDerailsTheHeader) {
  const std::string path =
      dir.write("derailed.txt", "#\nangle1=50\nangle3=20\nangle4=21\nleafSize=0.4\n0 0 0 0 0\n1 1 1 0 0\n");
  const std::string out = load(path);
  EXPECT_EQ(g_dAngle1, 50.0);
  EXPECT_EQ(g_dAngle3, 30.0);
  EXPECT_EQ(g_dAngle4, 75.0);
  EXPECT_EQ(g_dLeafSize, 0.2);
  EXPECT_EQ(out.rfind("Number of points (" + path + "): 0\n", 0), 0u) << out;
  EXPECT_NE(out.find("ERROR: point cloud [" + path + "]: the file holds no points!\n"), std::string::npos);
  expectEmpty();
}

TEST_F(TextCloudReaderTest, NonFiniteHeaderValuesAreReportedAndIgnored) {
  const std::string path =
      dir.write("nanhead.txt", "#\nresolution=nan\nradius=inf\nKNN=99999999999\n0 0 0 0 0\n1 1 1 0 0\n");
  const std::string out = load(path);
  EXPECT_TRUE(cloud.loaded);
  EXPECT_EQ(g_dVoxelSize, 0.18);
  EXPECT_EQ(g_dSearchRadius, 1.2);
  EXPECT_EQ(g_nKNN, 16);
  EXPECT_NE(out.find("resolution=nan is not finite"), std::string::npos) << out;
  EXPECT_NE(out.find("radius=inf is not finite"), std::string::npos) << out;
  EXPECT_NE(out.find("KNN=99999999999 is out of range"), std::string::npos) << out;
}

TEST_F(TextCloudReaderTest, ReadingStopsAtTheFirstWordThatIsNotANumber) {
  const std::string path = dir.write("stops.txt", "0 0 0 0 0\n1 1 1 0 0\n2 2 x 0 0\n3 3 3 0 0\n");
  const std::string out = load(path);
  EXPECT_EQ(out, "Number of points (" + path + "): 2\nWARNING: point cloud [" + path +
                     "]: reading stopped at line 3, which does not hold a number\nWARNING: point cloud [" + path +
                     "]: 2 trailing value(s) do not make a whole point and are ignored\n");
  EXPECT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.fileCount, 2u);
}

TEST_F(TextCloudReaderTest, RejectedFilesLeaveTheCloudEmpty) {
  const std::string missing = dir.file("missing.txt");
  EXPECT_EQ(load(missing), "ERROR: unable to open point cloud [" + missing + "]!\n");
  expectEmpty();

  struct Case {
    std::string name, content, problem;
  };
  const std::vector<Case> cases = {
      {"empty.txt", "", "the file holds no points"},
      {"headeronly.txt", "#\nresolution=0.2\n", "the file holds no points"},
      {"four.txt", "1 2 3 4\n", "the file holds no points"},
      {"inf.txt", "0 0 0 0 0\n1 inf 1 0 0\n", "point 2 holds a value that is not finite"},
      {"nanground.txt", "0 0 0 0 nan\n1 1 1 0 0\n", "point 1 holds a value that is not finite"},
      {"overflow.txt", "0 0 1e999 0 0\n1 1 1 0 0\n", "point 1 holds a value that is not finite"},
      {"wide.txt", "-1e308 0 0 0 0\n1e308 0 1 0 0\n", "coordinates too large to normalise"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.write(c.name, c.content);
    const std::string out = load(path);
    EXPECT_NE(out.find("ERROR: point cloud [" + path + "]: " + c.problem), std::string::npos) << c.name << ": " << out;
    expectEmpty();
  }
}

TEST_F(TextCloudReaderTest, NanInTheUnusedColumnIsIgnored) {
  load(dir.write("unused.txt", "0 0 0 nan 0\n1 1 1 inf 0\n"));
  EXPECT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.fileCount, 2u);
}

}  // namespace
