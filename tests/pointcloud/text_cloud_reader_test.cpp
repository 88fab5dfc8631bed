// The five-column text reader through real files: column order, ground points, the settings
// header, the key points of a floating cloud (case A) and of a cloud on the ground (case B).

#include <array>
#include <cmath>
#include <random>
#include <sstream>

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/scan_files.h"

namespace {

using Row = std::array<double, 5>;  // x, z, height, unused, ground height

std::string rowsText(const std::vector<Row>& rows, const char* s = " ") {
  std::ostringstream out;
  out.precision(17);
  for (const Row& r : rows) out << r[0] << s << r[1] << s << r[2] << s << r[3] << s << r[4] << "\n";
  return out.str();
}

// The file position (x, height, z) of a model point: the model is shifted by the centre of the
// rows' box on X and Z and by the mean ground on Y.
PointRecord unshift(const PointRecord& p, const std::vector<Row>& rows, double ground) {
  double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
  for (const Row& r : rows)
    for (int a = 0; a < 2; ++a) lo[a] = std::min(lo[a], r[a]), hi[a] = std::max(hi[a], r[a]);
  return PointRecord{p.x + (lo[0] + hi[0]) / 2, p.y + ground, p.z + (lo[1] + hi[1]) / 2, p.tag};
}

using TextCloudReaderTest = CloudFileTest;

// Case A: a cloud floating above the ground keeps its columns as (x, height, z) with its ground
// points, and gets points 0.75 apart on the line from the mean ground under the box centre
// towards its centroid. Commas give what spaces have always given (not x, y, z and two more).
TEST_F(TextCloudReaderTest, FloatingCloudGetsALineOfPointsFromTheGroundToTheCentroid) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> across(-2.0, 2.0), height(5.0, 10.0), ground(-0.4, 0.4);
  std::vector<Row> rows(60);
  for (Row& r : rows) r = {across(rng) + 1.0, across(rng) - 0.5, height(rng), 0.0, ground(rng)};
  loadFile("floating.xyz", rowsText(rows));
  const PointCloud spaces = cloud;
  loadFile("floating.csv", rowsText(rows, ","));
  expectSamePoints(cloud, spaces);
  std::vector<Triple> file;
  for (const Row& r : rows) file.push_back({r[0], r[1], r[2]});
  expectScanCoordinates(cloud, file, 1e-12, "five columns");

  const uint32_t n = rows.size();
  double g = 0, cx = 0, cy = 0, cz = 0, lowest = 1e300;
  for (const Row& r : rows)
    g += r[4] / n, cx += r[0] / n, cy += r[2] / n, cz += r[1] / n, lowest = std::min(lowest, r[2]);
  const PointRecord centre = unshift(PointRecord{}, rows, 0);
  for (uint32_t i = 0; i < n; ++i) {
    EXPECT_TRUE(near3(unshift(cloud.points[i], rows, g), rows[i][0], rows[i][2], rows[i][1])) << i;
    EXPECT_TRUE(near3(unshift(cloud.groundPoints[i], rows, g), rows[i][0], rows[i][4], rows[i][1])) << i;
  }
  EXPECT_NEAR(cloud.baseCorner.y, lowest - g, 1e-12);

  const uint32_t added = static_cast<uint32_t>(std::ceil((cy - g) / 0.75));
  ASSERT_EQ(cloud.count, n + added);
  EXPECT_TRUE(cloud.rootIndex == int(n) && cloud.keyBegin == int(n + std::ceil((lowest - g) / 0.75)));
  for (uint32_t k = 0; k < added; ++k) {
    const double m = 0.75 * k / (cy - g);
    EXPECT_TRUE(near3(unshift(cloud.points[n + k], rows, g), centre.x + m * (cx - centre.x), g + 0.75 * k,
                      centre.z + m * (cz - centre.z)))
        << k;
  }

  // However high the cloud floats, no more than a hundred points are added, all below it.
  rows.clear();
  for (int i = 0; i < 20; ++i) rows.push_back({i * 0.1, 0.0, 200.0 + i, 0.0, 0.0});
  loadFile("high.txt", rowsText(rows));
  EXPECT_TRUE(cloud.count == 120 && cloud.keyEnd - cloud.rootIndex == 100 && cloud.keyBegin == 120);
  EXPECT_NEAR(cloud.points[119].y, 99 * 0.75, 1e-9);
}

// Case B: a cloud on the ground gets one root point on the mean ground where its trunk,
// followed back from its lowest points, meets it; else under the base or the box centre.
TEST_F(TextCloudReaderTest, GroundedCloudGetsOneRootOnTheGround) {
  std::vector<Row> leaning;
  for (int i = 0; i <= 30; ++i) leaning.push_back({1.0 + 0.02 * i, 2.0 + 0.01 * i, i * 0.1, 0.0, -0.5});
  for (int i = 0; i <= 8; ++i) {  // crown 8 wide on X and Z, centred on (1, 2)
    leaning.push_back({-3.0 + i, 2.0, 5.5, 0.0, -0.5});
    leaning.push_back({1.0, -2.0 + i, 6.0, 0.0, -0.5});
  }
  auto withCrown = [](std::vector<Row> rows) {
    for (int i = 0; i <= 8; ++i) rows.push_back({-4.0 + i, -4.0 + i, 5.0 + i * 0.125, 0.0, 0.0});
    return rows;
  };
  const struct {
    const char* name;
    std::vector<Row> rows;
    double ground, rootX, rootZ;
  } cases[] = {
      // The trunk along (1, 2) + t (0.2, 0.1), heights t = 0 .. 3, followed down to the ground at -0.5.
      {"leaning.txt", leaning, -0.5, 1.0 - 0.2 * 0.5, 2.0 - 0.1 * 0.5},
      // No point near the base B = (1.2, 0.5) off its height: the root goes under B.
      {"lonely.txt", withCrown({{1.0, 0.5, 0, 0, 0}, {1.4, 0.5, 0, 0, 0}}), 0.0, 1.2, 0.5},
      // Neighbours only barely above B: the mean direction is horizontal, the box centre wins.
      {"flat.txt", withCrown({{1.0, 0.5, 0, 0, 0}, {-1.0, 0.5, 0.0011, 0, 0}, {3.0, 0.5, 0.0011, 0, 0}}), 0.0, 0, 0},
      // B lies 3 from the box centre, more than a quarter of the box width (2): the centre wins.
      {"offcentre.txt", withCrown({{3.0, 0.0, 0, 0, 0}, {0, 0, 20, 0, 0}}), 0.0, 0.0, 0.0},
  };
  for (const auto& c : cases) {
    loadFile(c.name, rowsText(c.rows));
    ASSERT_TRUE(cloud.loaded) << c.name;
    const uint32_t n = c.rows.size();
    ASSERT_TRUE(cloud.count == n + 1 && cloud.rootIndex == int32_t(n) && cloud.keyEnd == int32_t(n + 1)) << c.name;
    EXPECT_TRUE(near3(unshift(cloud.points[n], c.rows, c.ground), c.rootX, c.ground, c.rootZ)) << c.name;
  }
}

// Header lines are tried in order with scanf semantics: a line that does not match leaves its
// setting alone, but the characters that did match are consumed.
TEST_F(TextCloudReaderTest, SettingsHeaderStoppedEarlyDerailedOrOutOfRange) {
  const std::vector<double> start = headerSettings();
  std::vector<double> early = start, derailed = start;
  early[0] = 0.3, early[1] = 2, early[2] = 5;
  derailed[3] = 50;
  const struct {
    std::string name, header;
    std::vector<double> settings;
    uint32_t points;
    const char* message;
  } cases[] = {
      {"early.txt", "#params\nresolution=0.3\nradius=2\nKNN=5\n", early, 3, ""},
      // With angle2 left out, "angle" of the angle3 line is eaten by the angle2 format, no later
      // line matches and the data start on "3=20".
      {"derailed.txt", "#\nangle1=50\nangle3=20\nangle4=21\nleafSize=0.4\n", derailed, 0, "stopped at line 3"},
      // Mended fault: non-finite or out-of-range values are reported and ignored.
      {"nan.txt", "#\nresolution=nan\nradius=inf\n", start, 3, "setting radius=inf is not finite and is"},
      {"knn.txt", "#\nKNN=99999999999\n", start, 3, "setting KNN=99999999999 is out of range and is"},
  };
  for (const auto& c : cases) {
    resetSettingsToStartValues();
    const std::string out = loadFile(c.name, c.header + "0 0 0 0 0\n1 1 1 0 0\n2 2 2 0 0\n");
    EXPECT_TRUE(loadedOk == (c.points > 0) && cloud.fileCount == c.points) << c.name;
    EXPECT_EQ(headerSettings(), c.settings) << c.name;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.name << ": " << out;
  }
}

}  // namespace
