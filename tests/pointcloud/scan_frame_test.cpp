// The scan frame of the readers not covered by their own tests (the program's PLY layouts,
// the five-column text, geo): the model maps back to the file's coordinates; the up-axis
// option on the program's PLY layouts; and one real tree read from three formats gives one
// model.

#include <filesystem>
#include <random>
#include <sstream>

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/scan_files.h"
#include "pointcloud/utm.h"

namespace {

std::vector<Triple> randomTriples(unsigned seed, size_t n, double lo, double hi) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> v(lo, hi);
  std::vector<Triple> out(n);
  for (Triple& p : out) p = {v(rng), v(rng), v(rng)};
  return out;
}

std::string text17(const std::vector<Triple>& points, const std::string& tail) {
  std::ostringstream out;
  out.precision(17);
  for (const Triple& p : points) out << p[0] << " " << p[1] << " " << p[2] << tail << "\n";
  return out.str();
}

using ScanFrameTest = CloudFileTest;

TEST_F(ScanFrameTest, EveryOtherReaderMapsTheModelBackToTheFile) {
  const std::vector<Triple> points = randomTriples(3, 120, -30.0, 40.0);
  // The program's PLY layouts: X mirrored, scaled to 16 high, with and without the key column.
  loadFile("three.ply", plyHeader(120, 3) + text17(points, ""));
  expectScanCoordinates(cloud, points, 1e-12, "3 properties");
  loadFile("keyed.ply", plyHeader(120, 7) + "#\n" + kFullSettings + "addKeyPoints=1\n" + text17(points, " 1 2 3 4"));
  ASSERT_EQ(cloud.rootIndex, 120);
  expectScanCoordinates(cloud, points, 1e-12, "7 properties, key points");
  double lo = 1e300, hi = -1e300;
  for (const Triple& p : points) lo = std::min(lo, p[1]), hi = std::max(hi, p[1]);
  EXPECT_NEAR(cloud.frame.lengthToScan(16.0), 1.05 * (hi - lo), 1e-12);  // the root lies 0.05 H below

  // Five columns: the first three are the file's x, y and height.
  loadFile("five.txt", text17(points, " 0 -31"));
  expectScanCoordinates(cloud, points, 1e-12, "five columns");

  // Geo: the scan coordinates are UTM easting, northing and height.
  const std::vector<Triple> lateral = randomTriples(4, 60, -4e-5, 4e-5);
  std::vector<Triple> utm;
  std::string geo;
  char line[160];
  for (const Triple& d : lateral) {
    std::snprintf(line, sizeof line, "%.9f %.9f %.4f 0 0.4\n", 52.358 + d[0], 4.867 + d[1], 6 + 1e5 * d[2]);
    geo += line;
    double lat, lon, height;
    std::sscanf(line, "%lf %lf %lf", &lat, &lon, &height);
    UtmCoordinate u;
    ASSERT_EQ(latLonToUtm(lat, lon, &u), UtmStatus::kOk);
    utm.push_back({u.easting, u.northing, height});
  }
  loadFile("park.geo", geo);
  expectScanCoordinates(cloud, utm, 1e-8, "geo");
}

// An explicit up axis reads the program's own PLY layouts as scans in metres: no mirror, no
// scale to 16, the text format's root point; the settings header still applies.
TEST_F(ScanFrameTest, AnUpAxisReadsTheProgramsPlyLayoutsAsMetricScans) {
  const std::vector<Triple> points = randomTriples(5, 90, 0.0, 10.0);
  const std::string path = dir.write("tree.ply", plyHeader(90, 3) + "#\nresolution=0.25\n" + text17(points, ""));
  for (UpAxis up : {UpAxis::Y, UpAxis::Z}) {
    resetSettingsToStartValues();
    StdoutCapture quiet;
    ASSERT_TRUE(cloud.load(path, LoadOptions{up}));
    EXPECT_EQ(g_dVoxelSize, 0.25);
    EXPECT_TRUE(cloud.scale == 1.0 && cloud.rootIndex == 90 && cloud.colours.empty());
    expectScanCoordinates(cloud, points, 1e-12, up == UpAxis::Y ? "up y" : "up z");
    const int upColumn = up == UpAxis::Y ? 1 : 2;
    double lowest = 1e300;
    for (const Triple& p : points) lowest = std::min(lowest, p[upColumn]);
    EXPECT_NEAR(cloud.points[11].y, points[11][upColumn] - lowest, 1e-12);
    EXPECT_NEAR(cloud.points[11].x - cloud.points[12].x, points[11][0] - points[12][0], 1e-12);  // not mirrored
  }
}

// One real tree as published (three columns, Z up), as another tool's binary PLY, and in the
// five-column format with the ground at its lowest point: one model.
TEST_F(ScanFrameTest, OneRealTreeInThreeFormatsGivesOneModel) {
  const std::string root = FRONDAREL_REALDATA;
  if (!std::filesystem::exists(root + "/thirdparty")) GTEST_SKIP() << "no shared real scans";
  PointCloud xyz, binary, five;
  StdoutCapture quiet;
  ASSERT_TRUE(xyz.load(root + "/original/AdTree_tree1.xyz"));
  ASSERT_TRUE(binary.load(root + "/thirdparty/AdTree_tree1_binary.ply"));
  ASSERT_TRUE(five.load(root + "/converted/AdTree_tree1.txt"));
  for (const auto& [other, tolerance] : {std::pair<const PointCloud*, double>{&binary, 2e-6}, {&five, 1e-12}}) {
    ASSERT_EQ(other->count, xyz.count);
    EXPECT_TRUE(other->rootIndex == xyz.rootIndex && other->keyBegin == xyz.keyBegin && other->keyEnd == xyz.keyEnd);
    double worst = 0;
    for (uint32_t i = 0; i < xyz.count; ++i) {
      const PointRecord &a = xyz.points[i], &b = other->points[i];
      worst = std::max({worst, std::fabs(a.x - b.x), std::fabs(a.y - b.y), std::fabs(a.z - b.z)});
    }
    EXPECT_LE(worst, tolerance);
  }
}

}  // namespace
