// The geo-referenced reader through real files: projection and normalisation against a
// brute-force recomputation, the model location, the root-point rule, and bad input.

#include <algorithm>
#include <cstdio>
#include <random>

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/utm.h"

namespace {

struct GeoRow {
  double lat, lon, height, ground;
};

// Rows as the file holds them, lowest + 0 .. 10 m high near (lat0, lon0), read back from the
// written text so that the values compared are those in the file.
std::string patch(unsigned seed, int n, double lat0, double lon0, double lowest, double ground,
                  std::vector<GeoRow>* rows) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> offset(-4e-5, 4e-5), height(0.0, 10.0);
  std::string text;
  for (int i = 0; i < n; ++i) {
    char line[160];
    std::snprintf(line, sizeof line, "%.9f %.9f %.4f 7 %.4f\n", lat0 + offset(rng), lon0 + offset(rng),
                  lowest + (i < 2 ? 10.0 * i : height(rng)), ground);
    text += line;
    GeoRow r{};
    std::sscanf(line, "%lf %lf %lf", &r.lat, &r.lon, &r.height);
    if (rows) rows->push_back(r);
  }
  return text;
}

using GeoReaderTest = CloudFileTest;

}  // namespace

TEST_F(GeoReaderTest, ProjectsAndNormalisesLikeABruteForceRecomputation) {
  std::vector<GeoRow> rows;
  const std::string path = dir.write("park.geo", patch(11, 300, 48.1731, 11.5955, 0.2, 0.0, &rows));
  const std::string out = load(path);
  double lo[2] = {1e30, 1e30}, hi[2] = {-1e30, -1e30}, lat[2] = {90, -90}, lon[2] = {180, -180};
  std::vector<UtmCoordinate> utm(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(latLonToUtm(rows[i].lat, rows[i].lon, &utm[i]), UtmStatus::kOk);
    const double en[2] = {utm[i].easting, utm[i].northing};
    for (int a = 0; a < 2; ++a) lo[a] = std::min(lo[a], en[a]), hi[a] = std::max(hi[a], en[a]);
    lat[0] = std::min(lat[0], rows[i].lat), lat[1] = std::max(lat[1], rows[i].lat);
    lon[0] = std::min(lon[0], rows[i].lon), lon[1] = std::max(lon[1], rows[i].lon);
  }
  ASSERT_TRUE(cloud.loaded && cloud.count == 300 && cloud.scale == 1.0 && cloud.rootIndex == -1);
  for (size_t i = 0; i < rows.size(); ++i)
    EXPECT_TRUE(near3(cloud.points[i], utm[i].easting - (lo[0] + hi[0]) / 2, rows[i].height - 0.2,
                      utm[i].northing - (lo[1] + hi[1]) / 2, 1e-6))
        << i;
  EXPECT_TRUE(near3(cloud.maxCorner, (hi[0] - lo[0]) / 2, 10, (hi[1] - lo[1]) / 2, 1e-6));
  EXPECT_NEAR(g_dModelLatitude, (lat[0] + lat[1]) / 2, 1e-9);
  EXPECT_NEAR(g_dModelLongitude, (lon[0] + lon[1]) / 2, 1e-9);
  EXPECT_NE(out.find("Model location: longitude="), std::string::npos) << out;
}

// One root point on the ground under the box centre when the lowest point floats more than a
// tenth of the height above the mean ground: 2 of 12 m does, 1 of 11 m does not.
TEST_F(GeoReaderTest, AddsARootOnTheGroundOnlyWhenTheCloudFloats) {
  loadFile("floating.geo", patch(12, 50, -33.8568, 151.2153, 3.0, 1.0, nullptr));
  ASSERT_TRUE(cloud.loaded && cloud.count == 51 && cloud.rootIndex == 50 && cloud.keyEnd == 51);
  EXPECT_TRUE(near3(cloud.points[50], 0, 0, 0));
  EXPECT_NEAR(cloud.baseCorner.y, 2.0, 1e-9);
  EXPECT_LT(cloud.maxCorner.z - cloud.minCorner.z, 10.0);  // south of the equator too
  loadFile("standing.geo", patch(13, 50, -33.8568, 151.2153, 1.0, 0.0, nullptr));
  EXPECT_TRUE(cloud.loaded && cloud.count == 50 && cloud.rootIndex == -1);
}

// Mended faults: a malformed or non-finite value rejects the file and an empty file holds no
// points (the model location kept); out-of-range coordinates are reported once per kind and
// counted instead of one line per point.
TEST_F(GeoReaderTest, BadValuesAndCoordinates) {
  g_dModelLongitude = -123.0;
  const std::string good = patch(15, 3, 52.0, 5.0, 0.0, 0.0, nullptr);
  expectRejected("nan.geo", good + "52.0 nan 1 0 0\n", "line 4 holds a value that is not finite");
  expectRejected("empty.geo", " \n\n", "the file holds no points");
  EXPECT_EQ(g_dModelLongitude, -123.0);
  const std::string out = loadFile("bad.geo", good + "91 5 1 0 0\n52 -181 1 0 0\n-95 400 1 0 0\n");
  EXPECT_NE(out.find("Latitude must be between -90 and 90\nLongitude must be between -180 and 180\n"
                     "3 points had an invalid latitude or longitude\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(cloud.loaded && cloud.count == 6);
}
