// The geo-referenced reader: projection and normalisation against a brute-force recomputation,
// the scan frame back to UTM, the model location, the root-point rule, rows cut short by a
// word, and out-of-range coordinates.

#include <random>

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/scan_files.h"
#include "pointcloud/utm.h"

namespace {

// Rows as the file holds them, lowest + 0 .. 10 m high near (lat0, lon0), read back from the
// written text so that the values compared are those in the file.
std::string patch(unsigned seed, int n, double lat0, double lon0, double lowest, double ground,
                  std::vector<Triple>* rows = nullptr) {  // latitude, longitude, height
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> offset(-4e-5, 4e-5), height(0.0, 10.0);
  std::string text;
  for (int i = 0; i < n; ++i) {
    char line[160];
    std::snprintf(line, sizeof line, "%.9f %.9f %.4f 7 %.4f\n", lat0 + offset(rng), lon0 + offset(rng),
                  lowest + (i < 2 ? 10.0 * i : height(rng)), ground);
    text += line;
    Triple r;
    std::sscanf(line, "%lf %lf %lf", &r[0], &r[1], &r[2]);
    if (rows) rows->push_back(r);
  }
  return text;
}

using GeoReaderTest = CloudFileTest;

TEST_F(GeoReaderTest, ProjectsAndNormalisesLikeABruteForceRecomputation) {
  std::vector<Triple> rows, utm;
  loadFile("park.geo", patch(11, 300, 48.1731, 11.5955, 0.2, 0.0, &rows));
  double lo[4] = {1e30, 1e30, 1e30, 1e30}, hi[4] = {-1e30, -1e30, -1e30, -1e30};  // easting, northing, lat, lon
  for (const Triple& r : rows) {
    UtmCoordinate u;
    ASSERT_EQ(latLonToUtm(r[0], r[1], &u), UtmStatus::kOk);
    utm.push_back({u.easting, u.northing, r[2]});
    const double v[4] = {u.easting, u.northing, r[0], r[1]};
    for (int a = 0; a < 4; ++a) lo[a] = std::min(lo[a], v[a]), hi[a] = std::max(hi[a], v[a]);
  }
  ASSERT_TRUE(cloud.loaded && cloud.count == 300 && cloud.scale == 1.0 && cloud.rootIndex == -1);
  for (size_t i = 0; i < rows.size(); ++i)
    EXPECT_TRUE(near3(cloud.points[i], utm[i][0] - (lo[0] + hi[0]) / 2, rows[i][2] - 0.2,
                      utm[i][1] - (lo[1] + hi[1]) / 2, 1e-6))
        << i;
  expectScanCoordinates(cloud, utm, 1e-8, "geo");  // the scan's coordinates: easting, northing, height
  EXPECT_TRUE(near3(cloud.maxCorner, (hi[0] - lo[0]) / 2, 10, (hi[1] - lo[1]) / 2, 1e-6));
  EXPECT_NEAR(g_dModelLatitude, (lo[2] + hi[2]) / 2, 1e-9);
  EXPECT_NEAR(g_dModelLongitude, (lo[3] + hi[3]) / 2, 1e-9);
}

// One root point on the ground under the box centre when the lowest point floats more than a
// tenth of the height above the mean ground: 2 of 12 m does, 1 of 11 m does not.
TEST_F(GeoReaderTest, AddsARootOnTheGroundOnlyWhenTheCloudFloats) {
  loadFile("floating.geo", patch(12, 50, -33.8568, 151.2153, 3.0, 1.0));
  ASSERT_TRUE(cloud.loaded && cloud.count == 51 && cloud.rootIndex == 50 && cloud.keyEnd == 51);
  EXPECT_TRUE(near3(cloud.points[50], 0, 0, 0));
  EXPECT_NEAR(cloud.baseCorner.y, 2.0, 1e-9);
  EXPECT_LT(cloud.maxCorner.z - cloud.minCorner.z, 10.0);  // south of the equator too
  loadFile("standing.geo", patch(13, 50, -33.8568, 151.2153, 1.0, 0.0));
  EXPECT_TRUE(cloud.loaded && cloud.count == 50 && cloud.rootIndex == -1);
}

// Mended faults: the points read before a word are kept with a warning naming the line, as the
// text reader does, the model location theirs (against the same rows parsed alone); coordinates
// out of range are reported once per kind and counted instead of one line per point.
TEST_F(GeoReaderTest, RowsCutShortByAWordAndCoordinatesOutOfRange) {
  const std::string rows = patch(14, 3, 52.358, 4.867, 0.3, 0.4);
  loadFile("rows.geo", rows);
  const PointCloud reference = cloud;
  const double longitude = g_dModelLongitude, latitude = g_dModelLatitude;
  const struct {
    std::string text;
    size_t line;
  } cases[] = {
      {rows + "52.358 4.8669 abc 0 0.4\n" + rows, 4},  // the whole row with the word is dropped
      {rows + "52.358 4.8669\n\n  # notes\n", 6},      // a partial row before the word too
  };
  for (const auto& c : cases) {
    g_dModelLongitude = g_dModelLatitude = 0.0;
    const std::string path = dir.write("cut.geo", c.text), out = load(path);
    EXPECT_EQ(out.substr(0, out.find("Model location")),
              "Number of points (" + path + "): 3\nWARNING: point cloud [" + path + "]: reading stopped at line " +
                  std::to_string(c.line) + ", which does not hold a number\n");
    expectSamePoints(cloud, reference);
    EXPECT_TRUE(g_dModelLongitude == longitude && g_dModelLatitude == latitude);
  }
  const std::string out = loadFile("bad.geo", rows + "91 5 1 0 0\n52 -181 1 0 0\n-95 400 1 0 0\n");
  EXPECT_NE(out.find("Latitude must be between -90 and 90\nLongitude must be between -180 and 180\n"
                     "3 points had an invalid latitude or longitude\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(cloud.loaded && cloud.count == 6);
}

}  // namespace
