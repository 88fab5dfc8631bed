// The five-column text reader through real files: column order, ground points, the settings
// header, the key points of a floating cloud (case A) and of a cloud on the ground (case B),
// and the rejected inputs.

#include <array>
#include <cmath>
#include <random>
#include <sstream>

#include "pointcloud/cloud_file_test.h"

namespace {

using Row = std::array<double, 5>;  // x, z, height, unused, ground height

std::string rowsText(const std::vector<Row>& rows) {
  std::ostringstream out;
  out.precision(17);
  for (const Row& r : rows) out << r[0] << " " << r[1] << " " << r[2] << " " << r[3] << " " << r[4] << "\n";
  return out.str();
}

// The box of the file points in the program's axes (x, height, z).
struct Box {
  double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
  explicit Box(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
      const double p[3] = {r[0], r[2], r[1]};
      for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
    }
  }
  double centre(int axis) const { return (lo[axis] + hi[axis]) / 2; }
};

// A loaded text cloud is shifted by the box centre on X and Z and by the mean ground on Y.
PointRecord unshift(const PointRecord& p, const Box& box, double ground) {
  return PointRecord{p.x + box.centre(0), p.y + ground, p.z + box.centre(2), p.tag};
}

using TextCloudReaderTest = CloudFileTest;

// Case A: a cloud floating above the ground keeps its columns as (x, height, z) with its ground
// points, and gets points 0.75 apart on the line from the mean ground under the box centre
// towards its centroid.
TEST_F(TextCloudReaderTest, FloatingCloudGetsALineOfPointsFromTheGroundToTheCentroid) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> across(-2.0, 2.0), height(5.0, 10.0), ground(-0.4, 0.4);
  std::vector<Row> rows(60);
  for (Row& r : rows) r = {across(rng) + 1.0, across(rng) - 0.5, height(rng), 0.0, ground(rng)};
  loadFile("floating.xyz", rowsText(rows));
  ASSERT_TRUE(cloud.loaded);

  const uint32_t n = rows.size();
  const Box box(rows);
  double g = 0, cx = 0, cy = 0, cz = 0;
  for (const Row& r : rows) g += r[4] / n, cx += r[0] / n, cy += r[2] / n, cz += r[1] / n;
  for (uint32_t i = 0; i < n; ++i) {
    EXPECT_TRUE(near3(unshift(cloud.points[i], box, g), rows[i][0], rows[i][2], rows[i][1])) << i;
    EXPECT_TRUE(near3(unshift(cloud.groundPoints[i], box, g), rows[i][0], rows[i][4], rows[i][1])) << i;
  }
  EXPECT_NEAR(cloud.baseCorner.y, box.lo[1] - g, 1e-12);

  const uint32_t added = static_cast<uint32_t>(std::ceil((cy - g) / 0.75));
  ASSERT_EQ(cloud.count, n + added);
  EXPECT_TRUE(cloud.rootIndex == int(n) && cloud.keyBegin == int(n + std::ceil((box.lo[1] - g) / 0.75)));
  for (uint32_t k = 0; k < added; ++k) {
    const double m = 0.75 * k / (cy - g);
    EXPECT_TRUE(near3(unshift(cloud.points[n + k], box, g), box.centre(0) + m * (cx - box.centre(0)), g + 0.75 * k,
                      box.centre(2) + m * (cz - box.centre(2))))
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
    EXPECT_TRUE(near3(unshift(cloud.points[n], Box(c.rows), c.ground), c.rootX, c.ground, c.rootZ)) << c.name;
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

// Mended faults: files without points, non-finite coordinates and coordinates too large to
// normalise are reported by name and leave the cloud empty.
TEST_F(TextCloudReaderTest, RejectedFilesLeaveTheCloudEmpty) {
  const struct {
    const char *name, *content, *problem;
  } cases[] = {
      {"empty.txt", "", "the file holds no points!\n"},
      {"header.txt", "#\nresolution=0.2\n", "the file holds no points!\n"},
      {"inf.txt", "0 0 0 0 0\n1 inf 1 0 0\n", "point 2 holds a value that is not finite!\n"},
      {"overflow.txt", "0 0 1e999 0 0\n1 1 1 0 0\n", "point 1 holds a value that is not finite!\n"},
      {"wide.txt", "-1e308 0 0 0 0\n1e308 0 1 0 0\n", "coordinates too large to normalise!\n"},
  };
  for (const auto& c : cases) expectRejected(c.name, c.content, c.problem);
}

}  // namespace
