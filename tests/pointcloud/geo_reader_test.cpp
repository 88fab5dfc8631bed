// The geo-referenced reader end to end through real files: console lines, projection and
// normalisation against a brute-force recomputation, the root-point rule, and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/settings.h"
#include "pointcloud/point_cloud.h"
#include "pointcloud/utm.h"
#include "support/test_support.h"

namespace {

struct GeoRow {
  double lat, lon, height, unused, ground;
};

std::string format(const char* fmt, double a, double b) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, fmt, a, b);
  return buffer;
}

std::string geoText(const std::vector<GeoRow>& rows) {
  std::string text;
  char line[160];
  for (const GeoRow& r : rows) {
    std::snprintf(line, sizeof line, "%.9f %.9f %.4f %.1f %.4f\n", r.lat, r.lon, r.height, r.unused, r.ground);
    text += line;
  }
  return text;
}

// A small tree-sized patch near (lat0, lon0): heights from lowest to lowest + 10 m, ground 0.
std::vector<GeoRow> randomPatch(unsigned seed, int n, double lat0, double lon0, double lowest) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> offset(-4e-5, 4e-5), height(lowest, lowest + 10.0);
  std::vector<GeoRow> rows;
  for (int i = 0; i < n; ++i) rows.push_back({lat0 + offset(rng), lon0 + offset(rng), height(rng), 7.0, 0.0});
  rows[0].height = lowest;  // fixes the bottom and the top exactly
  rows[1].height = lowest + 10.0;
  return rows;
}

class GeoReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSettingsToStartValues();
    g_dModelLongitude = -123.0;  // sentinels that a failed read must leave alone
    g_dModelLatitude = -45.0;
  }
  void TearDown() override { resetSettingsToStartValues(); }

  // Loads the file and returns what was printed.
  std::string load(const std::string& path) {
    StdoutCapture capture;
    cloud.load(path);
    return capture.text();
  }

  void expectEmptyAndNotLoaded() {
    EXPECT_FALSE(cloud.loaded);
    EXPECT_EQ(cloud.count, 0u);
    EXPECT_EQ(cloud.fileCount, 0u);
    EXPECT_TRUE(cloud.points.empty());
    EXPECT_EQ(cloud.rootIndex, -1);
    EXPECT_EQ(g_dModelLongitude, -123.0);
    EXPECT_EQ(g_dModelLatitude, -45.0);
  }

  TempDir dir;
  PointCloud cloud;
};

TEST_F(GeoReaderTest, ReadsProjectsAndNormalisesLikeABruteForceRecomputation) {
  const std::vector<GeoRow> rows = randomPatch(11, 300, 48.1731, 11.5955, 0.2);
  const std::string path = dir.write("park.geo", geoText(rows));
  const std::string out = load(path);

  // Brute force from the values as written to the file (nine decimals).
  double minLat = 1e9, maxLat = -1e9, minLon = 1e9, maxLon = -1e9;
  double minX = 1e30, maxX = -1e30, minZ = 1e30, maxZ = -1e30;
  std::vector<UtmCoordinate> utm(rows.size());
  std::vector<GeoRow> written(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    GeoRow& w = written[i];
    std::sscanf(geoText({rows[i]}).c_str(), "%lf %lf %lf %lf %lf", &w.lat, &w.lon, &w.height, &w.unused, &w.ground);
    ASSERT_EQ(latLonToUtm(w.lat, w.lon, &utm[i]), UtmStatus::kOk);
    minLat = std::min(minLat, w.lat), maxLat = std::max(maxLat, w.lat);
    minLon = std::min(minLon, w.lon), maxLon = std::max(maxLon, w.lon);
    minX = std::min(minX, utm[i].easting), maxX = std::max(maxX, utm[i].easting);
    minZ = std::min(minZ, utm[i].northing), maxZ = std::max(maxZ, utm[i].northing);
  }
  const double lon = (minLon + maxLon) / 2, lat = (minLat + maxLat) / 2;
  EXPECT_EQ(out, "Number of points (" + path + "): 300\n" +
                     format("Model location: longitude=%.9f latitude=%.9f\n", lon, lat));
  EXPECT_EQ(g_dModelLongitude, lon);
  EXPECT_EQ(g_dModelLatitude, lat);

  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.count, 300u);
  EXPECT_EQ(cloud.fileCount, 300u);
  EXPECT_TRUE(cloud.colours.empty());
  EXPECT_TRUE(cloud.groundPoints.empty());
  EXPECT_EQ(cloud.rootIndex, -1);  // lowest point 0.2 m above a 10 m tall cloud: no root point
  EXPECT_EQ(cloud.keyBegin, -1);
  EXPECT_EQ(cloud.keyEnd, -1);
  EXPECT_EQ(cloud.scale, 1.0);
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_NEAR(cloud.points[i].x, utm[i].easting - (minX + maxX) / 2, 1e-6) << i;
    EXPECT_NEAR(cloud.points[i].y, written[i].height - 0.2, 1e-9) << i;
    EXPECT_NEAR(cloud.points[i].z, utm[i].northing - (minZ + maxZ) / 2, 1e-6) << i;
    EXPECT_EQ(cloud.points[i].tag, 0);
  }
  EXPECT_NEAR(cloud.minCorner.x, -(maxX - minX) / 2, 1e-6);
  EXPECT_NEAR(cloud.maxCorner.x, (maxX - minX) / 2, 1e-6);
  EXPECT_NEAR(cloud.minCorner.z, -(maxZ - minZ) / 2, 1e-6);
  EXPECT_NEAR(cloud.maxCorner.z, (maxZ - minZ) / 2, 1e-6);
  EXPECT_EQ(cloud.minCorner.y, 0.0);
  EXPECT_NEAR(cloud.maxCorner.y, 10.0, 1e-9);
  EXPECT_EQ(cloud.baseCorner.y, 0.0);
  // About 9 m of latitude and 6 m of longitude at this latitude: the patch keeps its size.
  EXPECT_GT(maxZ - minZ, 8.0);
  EXPECT_LT(maxZ - minZ, 9.0);
}

TEST_F(GeoReaderTest, AddsOneRootPointOnTheGroundOnlyWhenTheCloudFloats) {
  // Lowest point 3 m above a ground of 1 m in a cloud reaching 13 m: 2 / 12 > 0.1.
  std::vector<GeoRow> rows = randomPatch(12, 50, -33.8568, 151.2153, 3.0);
  for (GeoRow& r : rows) r.ground = 1.0;
  load(dir.write("floating.geo", geoText(rows)));
  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.fileCount, 50u);
  EXPECT_EQ(cloud.count, 51u);
  EXPECT_EQ(cloud.rootIndex, 50);
  EXPECT_EQ(cloud.keyBegin, 51);
  EXPECT_EQ(cloud.keyEnd, 51);
  const PointRecord& root = cloud.points[50];
  EXPECT_NEAR(root.x, 0.0, 1e-9);  // the box centre ...
  EXPECT_NEAR(root.z, 0.0, 1e-9);
  EXPECT_EQ(root.y, 0.0);  // ... on the ground, which became the floor
  EXPECT_EQ(cloud.minCorner.y, 0.0);
  EXPECT_NEAR(cloud.baseCorner.y, 2.0, 1e-9);  // the lowest point as read, above the new floor
  EXPECT_NEAR(cloud.maxCorner.y, 12.0, 1e-9);
  // Southern hemisphere: the northings carry the false northing and the patch stays small.
  EXPECT_LT(cloud.maxCorner.z - cloud.minCorner.z, 10.0);

  // Lowest point 1 m above the ground in a cloud reaching 11 m: 1 / 11 <= 0.1, no point added.
  rows = randomPatch(13, 50, -33.8568, 151.2153, 1.0);
  for (GeoRow& r : rows) r.ground = 0.0;
  load(dir.write("standing.geo", geoText(rows)));
  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.count, 50u);
  EXPECT_EQ(cloud.rootIndex, -1);
  EXPECT_EQ(cloud.keyBegin, -1);
  EXPECT_EQ(cloud.keyEnd, -1);
  EXPECT_EQ(cloud.minCorner.y, 0.0);
  EXPECT_NEAR(cloud.maxCorner.y, 10.0, 1e-9);
}

TEST_F(GeoReaderTest, UnopenableFileIsReportedAndTheProgramGoesOn) {
  const std::string path = dir.file("missing.geo");
  EXPECT_EQ(load(path), "ERROR: unable to open point cloud [" + path + "]!\n");
  expectEmptyAndNotLoaded();
  // A previously loaded cloud is dropped, not kept half-valid.
  load(dir.write("ok.geo", geoText(randomPatch(14, 20, 10.0, 10.0, 0.0))));
  ASSERT_TRUE(cloud.loaded);
  load(path);
  EXPECT_FALSE(cloud.loaded);
  EXPECT_TRUE(cloud.points.empty());
}

TEST_F(GeoReaderTest, MalformedOrNonFiniteValuesRejectTheWholeFile) {
  const std::string good = geoText(randomPatch(15, 3, 52.0, 5.0, 0.0));
  const struct {
    const char* name;
    std::string text;
    const char* problem;
  } cases[] = {
      {"word.geo", good + "52.0 5.0 abc 0 0\n" + good, "line 4 holds a value that is not a number"},
      {"comma.geo", good + "52.0 5.0 1,5 0 0\n", "line 4 holds a value that is not a number"},
      {"nan.geo", good + good + "52.0 nan 1 0 0\n", "line 7 holds a value that is not finite"},
      {"inf.geo", "52.0 5.0 1 0 -inf\n" + good, "line 1 holds a value that is not finite"},
      {"overflow.geo", good + "52.0 5.0 1e999 0 0\n", "line 4 holds a value that is not finite"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.write(c.name, c.text);
    EXPECT_EQ(load(path), "ERROR: point cloud [" + path + "]: " + c.problem + "!\n") << c.name;
    expectEmptyAndNotLoaded();
  }
}

TEST_F(GeoReaderTest, EmptyFileAndTrailingPartialRecord) {
  const std::string empty = dir.write("empty.geo", " \n\n");
  EXPECT_EQ(load(empty),
            "Number of points (" + empty + "): 0\nERROR: point cloud [" + empty + "]: the file holds no points!\n");
  expectEmptyAndNotLoaded();

  // Twelve numbers are two points; the two numbers after the last whole point are ignored.
  const std::string partial = dir.write("partial.geo", geoText(randomPatch(16, 2, 40.0, -3.7, 0.0)) + "40.0 -3.7\n");
  const std::string out = load(partial);
  EXPECT_EQ(out.rfind("Number of points (" + partial + "): 2\nModel location: ", 0), 0u) << out;
  EXPECT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.count, 2u);
}

TEST_F(GeoReaderTest, OutOfRangeCoordinatesAreReportedOnceEachThenCounted) {
  std::vector<GeoRow> rows = randomPatch(17, 10, 60.17, 24.94, 0.0);
  rows[2].lat = 91.0;
  rows[3].lon = -181.0;
  rows[5].lat = -95.5;
  rows[6].lat = 100.0, rows[6].lon = 400.0;  // reported as a latitude fault
  rows[8].lon = 180.25;
  const std::string path = dir.write("bad_coordinates.geo", geoText(rows));
  const std::string out = load(path);

  double minLat = 1e9, maxLat = -1e9, minLon = 1e9, maxLon = -1e9;
  for (int i : {0, 1, 4, 7, 9}) {
    minLat = std::min(minLat, rows[i].lat), maxLat = std::max(maxLat, rows[i].lat);
    minLon = std::min(minLon, rows[i].lon), maxLon = std::max(maxLon, rows[i].lon);
  }
  EXPECT_EQ(out,
            "Number of points (" + path +
                "): 10\n"
                "Latitude must be between -90 and 90\n"
                "Longitude must be between -180 and 180\n"
                "5 points had an invalid latitude or longitude\n" +
                format("Model location: longitude=%.9f latitude=%.9f\n", (minLon + maxLon) / 2, (minLat + maxLat) / 2));
  ASSERT_TRUE(cloud.loaded);
  EXPECT_EQ(cloud.count, 10u);
  // The faulty points keep x = z = 0 before normalisation: the smallest easting and
  // northing of a cloud whose other points lie hundreds of kilometres from zero.
  for (int i : {2, 3, 5, 6, 8}) {
    EXPECT_EQ(cloud.points[i].x, cloud.minCorner.x) << i;
    EXPECT_EQ(cloud.points[i].z, cloud.minCorner.z) << i;
    EXPECT_NEAR(cloud.points[i].y, rows[i].height, 1e-4) << i;
  }
}

// With no point that could be projected there is no location to report: the line is left
// out and the previous location is kept, instead of a location made of invalid degrees.
TEST_F(GeoReaderTest, NoValidCoordinateGivesNoModelLocation) {
  std::vector<GeoRow> rows = randomPatch(18, 4, 0.0, 0.0, 0.0);
  for (GeoRow& r : rows) r.lat += 120.0;
  const std::string path = dir.write("nowhere.geo", geoText(rows));
  EXPECT_EQ(load(path), "Number of points (" + path +
                            "): 4\n"
                            "Latitude must be between -90 and 90\n"
                            "4 points had an invalid latitude or longitude\n");
  EXPECT_TRUE(cloud.loaded);
  EXPECT_EQ(g_dModelLongitude, -123.0);
  EXPECT_EQ(g_dModelLatitude, -45.0);
}

TEST_F(GeoReaderTest, BundledGeoModelLoads) {
  const std::string path = std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model/04_linden_vondelpark.geo";
  if (!fileExists(path)) GTEST_SKIP() << "bundled geo model missing";
  const std::string out = load(path);
  ASSERT_TRUE(cloud.loaded) << out;
  EXPECT_EQ(cloud.fileCount, 36000u);
  EXPECT_EQ(cloud.rootIndex, -1);  // the scan reaches the ground
  EXPECT_NEAR(g_dModelLatitude, 52.358, 0.001);
  EXPECT_NEAR(g_dModelLongitude, 4.867, 0.001);
  EXPECT_GT(cloud.maxCorner.y, 10.0);
  EXPECT_LT(cloud.maxCorner.y, 15.0);
  EXPECT_LT(cloud.maxCorner.x - cloud.minCorner.x, 15.0);
  EXPECT_LT(cloud.maxCorner.z - cloud.minCorner.z, 15.0);
}

}  // namespace
