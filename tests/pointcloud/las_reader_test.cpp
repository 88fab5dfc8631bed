// The LAS reader on files written to the published layout in the test: every version and point
// format, coordinates back through the scan frame and colours (the shared real scan is read in
// layout_test.cpp).

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/scan_files.h"

namespace {

using LasReaderTest = CloudFileTest;

TEST_F(LasReaderTest, EveryVersionAndPointFormatGivesTheFileCoordinatesBack) {
  std::mt19937 rng(100);
  std::uniform_int_distribution<int32_t> across(-2000, 2000), height(0, 12000), channel(0, 65535);
  for (int format = 0; format <= 10; ++format) {
    LasFile f;  // a tree near a UTM position: integers at the file's scale
    f.minor = format >= 6 ? 4 : format % 5, f.format = format, f.extraBytes = format % 3 == 0 ? 5 : 0;
    f.scale = {0.001, 0.001, 0.00025}, f.offset = {487123.25, 5412345.5, 131.75};
    std::vector<Triple> file;
    for (size_t i = 0; i < 200; ++i) {
      f.xyz.push_back({across(rng), across(rng), height(rng)});
      f.rgb.push_back({uint16_t(channel(rng)), uint16_t(channel(rng)), uint16_t(channel(rng))});
      file.push_back(
          {f.xyz[i][0] * 0.001 + 487123.25, f.xyz[i][1] * 0.001 + 5412345.5, f.xyz[i][2] * 0.00025 + 131.75});
    }
    const std::string what = "format " + std::to_string(format) + ", LAS 1." + std::to_string(f.minor);
    const std::string path = dir.write("f" + std::to_string(format) + ".las", lasBytes(f));
    EXPECT_EQ(load(path), "Number of points (" + path + "): 200\n") << what;
    expectScanCoordinates(cloud, file, 1e-6, what);
    // Z up, metric: the model's height is the file's z above its lowest point, nothing scaled.
    double lowest = 1e300;
    for (const Triple& p : file) lowest = std::min(lowest, p[2]);
    EXPECT_NEAR(cloud.points[7].y, file[7][2] - lowest, 1e-6) << what;
    EXPECT_EQ(cloud.rootIndex, 200) << what;  // the text format's root point
    const bool rgb = lasRecordLayout(format).rgb != 0;
    ASSERT_EQ(cloud.colours.size(), rgb ? cloud.points.size() : 0u) << what;
    EXPECT_TRUE(!rgb || near3(cloud.colours[9], f.rgb[9][0] / 65535.0, f.rgb[9][1] / 65535.0, f.rgb[9][2] / 65535.0));
  }
}

}  // namespace
