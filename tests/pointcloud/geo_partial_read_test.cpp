// Mended fault: the geo reader keeps the points read before a token that is not a number and
// says where it stopped, as the text reader does; parsed from memory, against the same rows
// parsed alone.

#include "pointcloud/cloud_file_test.h"

namespace {

const std::string kRows =
    "52.358023399 4.866994641 3.4126 0 0.4000\n"
    "52.358026876 4.866984764 10.6633 0 0.4000\n"
    "52.358024311 4.866991580 0.3621 0 0.4000\n";

using GeoPartialReadTest = CloudFileTest;

TEST_F(GeoPartialReadTest, PointsBeforeAWordAreKeptWithAWarningNamingTheLine) {
  PointCloud reference;
  {
    StdoutCapture quiet;
    ASSERT_TRUE(reference.parseGeoCloud("rows.geo", kRows));
  }
  const double longitude = g_dModelLongitude, latitude = g_dModelLatitude;
  const struct {
    std::string text;
    size_t line;
  } cases[] = {
      {kRows + "52.358 4.8669 abc 0 0.4\n" + kRows, 4},  // the whole row with the word is dropped
      {kRows + "52.358 4.8669\n\n  # notes\n", 6},       // a partial row before the word too
  };
  for (const auto& c : cases) {
    g_dModelLongitude = g_dModelLatitude = 0.0;
    StdoutCapture capture;
    ASSERT_TRUE(cloud.parseGeoCloud("cut.geo", c.text));
    EXPECT_EQ(capture.text().substr(0, capture.text().find("Model location")),
              "Number of points (cut.geo): 3\nWARNING: point cloud [cut.geo]: reading stopped at line " +
                  std::to_string(c.line) + ", which does not hold a number\n");
    ASSERT_EQ(cloud.count, reference.count);
    for (uint32_t i = 0; i < cloud.count; ++i) {
      EXPECT_TRUE(near3(cloud.points[i], reference.points[i].x, reference.points[i].y, reference.points[i].z, 0));
    }
    EXPECT_TRUE(g_dModelLongitude == longitude && g_dModelLatitude == latitude);
  }

  // A value that is not finite still rejects the file, even after good rows.
  StdoutCapture capture;
  EXPECT_FALSE(cloud.parseGeoCloud("nan.geo", kRows + "52.358 4.8669 nan 0 0.4\nabc\n"));
  EXPECT_EQ(capture.text(), "ERROR: point cloud [nan.geo]: line 4 holds a value that is not finite!\n");
  expectEmpty();
}

}  // namespace
