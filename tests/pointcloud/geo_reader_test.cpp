// The geo-referenced reader end to end through real files: console lines, projection and
// normalisation against a brute-force recomputation, the root-point rule, and bad input.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/utm.h"

namespace {

struct GeoRow {
  double lat, lon, height, unused, ground;
};

std::string geoText(const std::vector<GeoRow>& rows) {
  std::string text;
  char line[160];
  for (const GeoRow& r : rows) {
    std::snprintf(line, sizeof line, "%.9f %.9f %.4f %.1f %.4f\n", r.lat, r.lon, r.height, r.unused, r.ground);
    text += line;
  }
  return text;
}

// The "Model location" line for the middle of the latitude and longitude ranges of rows.
std::string locationLine(const std::vector<GeoRow>& rows) {
  double minLat = 1e9, maxLat = -1e9, minLon = 1e9, maxLon = -1e9;
  for (const GeoRow& r : rows) {
    minLat = std::min(minLat, r.lat), maxLat = std::max(maxLat, r.lat);
    minLon = std::min(minLon, r.lon), maxLon = std::max(maxLon, r.lon);
  }
  char line[128];
  std::snprintf(line, sizeof line, "Model location: longitude=%.9f latitude=%.9f\n", (minLon + maxLon) / 2,
                (minLat + maxLat) / 2);
  return line;
}

// A small tree-sized patch near (lat0, lon0): heights from lowest to lowest + 10 m, ground 0.
// The values are those the file holds once written (nine decimals).
std::vector<GeoRow> randomPatch(unsigned seed, int n, double lat0, double lon0, double lowest) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> offset(-4e-5, 4e-5), height(lowest, lowest + 10.0);
  std::vector<GeoRow> rows;
  for (int i = 0; i < n; ++i) rows.push_back({lat0 + offset(rng), lon0 + offset(rng), height(rng), 7.0, 0.0});
  rows[0].height = lowest;  // fixes the bottom and the top exactly
  rows[1].height = lowest + 10.0;
  for (GeoRow& r : rows) std::sscanf(geoText({r}).c_str(), "%lf %lf %lf", &r.lat, &r.lon, &r.height);
  return rows;
}

class GeoReaderTest : public CloudFileTest {
 protected:
  void SetUp() override {
    CloudFileTest::SetUp();
    g_dModelLongitude = -123.0;  // sentinels that a failed read must leave alone
    g_dModelLatitude = -45.0;
  }
  void expectEmptyAndLocationKept() {
    expectEmpty();
    EXPECT_TRUE(g_dModelLongitude == -123.0 && g_dModelLatitude == -45.0);
  }
};

TEST_F(GeoReaderTest, ReadsProjectsAndNormalisesLikeABruteForceRecomputation) {
  const std::vector<GeoRow> rows = randomPatch(11, 300, 48.1731, 11.5955, 0.2);
  const std::string path = dir.write("park.geo", geoText(rows));
  EXPECT_EQ(load(path), "Number of points (" + path + "): 300\n" + locationLine(rows));

  double minX = 1e30, maxX = -1e30, minZ = 1e30, maxZ = -1e30;
  std::vector<UtmCoordinate> utm(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(latLonToUtm(rows[i].lat, rows[i].lon, &utm[i]), UtmStatus::kOk);
    minX = std::min(minX, utm[i].easting), maxX = std::max(maxX, utm[i].easting);
    minZ = std::min(minZ, utm[i].northing), maxZ = std::max(maxZ, utm[i].northing);
  }
  ASSERT_TRUE(cloud.loaded && cloud.count == 300 && cloud.fileCount == 300);
  EXPECT_TRUE(cloud.colours.empty() && cloud.groundPoints.empty() && cloud.scale == 1.0);
  EXPECT_TRUE(cloud.rootIndex == -1 && cloud.keyBegin == -1);  // lowest point 0.2 m above a 10 m cloud: no root
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_TRUE(near3(cloud.points[i], utm[i].easting - (minX + maxX) / 2, rows[i].height - 0.2,
                      utm[i].northing - (minZ + maxZ) / 2, 1e-6))
        << i;
  }
  EXPECT_TRUE(near3(cloud.minCorner, -(maxX - minX) / 2, 0, -(maxZ - minZ) / 2, 1e-6) && cloud.minCorner.y == 0);
  EXPECT_TRUE(near3(cloud.maxCorner, (maxX - minX) / 2, 10, (maxZ - minZ) / 2, 1e-6));
  // About 9 m of latitude: the patch keeps its size.
  EXPECT_TRUE(maxZ - minZ > 8.0 && maxZ - minZ < 9.0) << maxZ - minZ;
}

TEST_F(GeoReaderTest, AddsOneRootPointOnTheGroundOnlyWhenTheCloudFloats) {
  // Lowest point 3 m above a ground of 1 m in a cloud reaching 13 m: 2 / 12 > 0.1.
  std::vector<GeoRow> rows = randomPatch(12, 50, -33.8568, 151.2153, 3.0);
  for (GeoRow& r : rows) r.ground = 1.0;
  loadFile("floating.geo", geoText(rows));
  ASSERT_TRUE(cloud.loaded && cloud.fileCount == 50 && cloud.count == 51);
  EXPECT_TRUE(cloud.rootIndex == 50 && cloud.keyBegin == 51 && cloud.keyEnd == 51);
  EXPECT_TRUE(near3(cloud.points[50], 0, 0, 0));  // the box centre on the ground, which became the floor
  EXPECT_NEAR(cloud.baseCorner.y, 2.0, 1e-9);
  EXPECT_NEAR(cloud.maxCorner.y, 12.0, 1e-9);
  // Southern hemisphere: the northings carry the false northing and the patch stays small.
  EXPECT_LT(cloud.maxCorner.z - cloud.minCorner.z, 10.0);

  // Lowest point 1 m above the ground in a cloud reaching 11 m: 1 / 11 <= 0.1, no point added.
  loadFile("standing.geo", geoText(randomPatch(13, 50, -33.8568, 151.2153, 1.0)));
  EXPECT_TRUE(cloud.loaded && cloud.count == 50 && cloud.rootIndex == -1 && cloud.keyEnd == -1);
  EXPECT_NEAR(cloud.maxCorner.y, 10.0, 1e-9);
}

// Mended faults: a non-finite value rejects the whole file, and an empty file holds no points;
// the message names the file and line, the location is kept.
TEST_F(GeoReaderTest, MalformedNonFiniteOrEmptyFilesAreRejected) {
  const std::string good = geoText(randomPatch(15, 3, 52.0, 5.0, 0.0));
  const struct {
    const char* name;
    std::string text;
    const char* problem;
  } cases[] = {
      {"nan.geo", good + good + "52.0 nan 1 0 0\n", "line 7 holds a value that is not finite"},
      {"inf.geo", "52.0 5.0 1 0 -inf\n" + good, "line 1 holds a value that is not finite"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.write(c.name, c.text);
    EXPECT_EQ(load(path), "ERROR: point cloud [" + path + "]: " + c.problem + "!\n") << c.name;
    expectEmptyAndLocationKept();
  }
  const std::string empty = dir.write("empty.geo", " \n\n");
  EXPECT_EQ(load(empty),
            "Number of points (" + empty + "): 0\nERROR: point cloud [" + empty + "]: the file holds no points!\n");
  expectEmptyAndLocationKept();

  // Twelve numbers are two points; the two numbers after the last whole point are ignored.
  const std::string partial = dir.write("partial.geo", geoText(randomPatch(16, 2, 40.0, -3.7, 0.0)) + "40.0 -3.7\n");
  EXPECT_EQ(load(partial).rfind("Number of points (" + partial + "): 2\nModel location: ", 0), 0u);
  EXPECT_EQ(cloud.count, 2u);
}

// Mended fault: out-of-range coordinates give the first message of each kind, then a count,
// instead of one line per point; with none valid, no location made of invalid degrees.
TEST_F(GeoReaderTest, OutOfRangeCoordinatesAreReportedOnceEachThenCounted) {
  std::vector<GeoRow> rows = randomPatch(17, 10, 60.17, 24.94, 0.0);
  rows[2].lat = 91.0;
  rows[3].lon = -181.0;
  rows[5].lat = -95.5;
  rows[6].lat = 100.0, rows[6].lon = 400.0;  // reported as a latitude fault
  rows[8].lon = 180.25;
  std::string path = dir.write("bad_coordinates.geo", geoText(rows));
  EXPECT_EQ(load(path), "Number of points (" + path +
                            "): 10\nLatitude must be between -90 and 90\nLongitude must be between -180 and 180\n"
                            "5 points had an invalid latitude or longitude\n" +
                            locationLine({rows[0], rows[1], rows[4], rows[7], rows[9]}));
  ASSERT_TRUE(cloud.loaded && cloud.count == 10);
  // The faulty points keep x = z = 0 before normalisation: the smallest easting and northing.
  for (int i : {2, 3, 5, 6, 8}) {
    EXPECT_TRUE(cloud.points[i].x == cloud.minCorner.x && cloud.points[i].z == cloud.minCorner.z) << i;
    EXPECT_NEAR(cloud.points[i].y, rows[i].height, 1e-4) << i;
  }

  g_dModelLongitude = -123.0, g_dModelLatitude = -45.0;
  for (GeoRow& r : rows) r.lat = 120.0;
  path = dir.write("nowhere.geo", geoText(rows));
  EXPECT_EQ(load(path), "Number of points (" + path +
                            "): 10\nLatitude must be between -90 and 90\n"
                            "10 points had an invalid latitude or longitude\n");
  EXPECT_TRUE(cloud.loaded && g_dModelLongitude == -123.0 && g_dModelLatitude == -45.0);
}

TEST_F(GeoReaderTest, BundledGeoModelLoads) {
  const std::string path = std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model/04_linden_vondelpark.geo";
  if (!fileExists(path)) GTEST_SKIP() << "bundled geo model missing";
  const std::string out = load(path);
  ASSERT_TRUE(cloud.loaded) << out;
  EXPECT_TRUE(cloud.fileCount == 36000 && cloud.rootIndex == -1);  // the scan reaches the ground
  EXPECT_TRUE(std::fabs(g_dModelLatitude - 52.358) < 1e-3 && std::fabs(g_dModelLongitude - 4.867) < 1e-3);
  EXPECT_TRUE(cloud.maxCorner.y > 10.0 && cloud.maxCorner.y < 15.0) << cloud.maxCorner.y;
  EXPECT_LT(std::max(cloud.maxCorner.x - cloud.minCorner.x, cloud.maxCorner.z - cloud.minCorner.z), 15.0);
}

}  // namespace
