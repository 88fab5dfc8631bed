// The up-axis option on every reader that takes one (text columns, the program's PLY layouts,
// LAS): a metric scan, the chosen column up above its lowest point, no mirror, the scan frame
// back to the file; and one real tree read from three formats gives one model.

#include <filesystem>

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/scan_files.h"

namespace {

using ScanFrameTest = CloudFileTest;

TEST_F(ScanFrameTest, AnUpAxisReadsEveryLayoutAsAMetricScan) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int32_t> mm(0, 10000);
  LasFile las;  // format 2 with 8-bit colours, as many writers store them
  las.format = 2;
  std::vector<Triple> points;
  std::string text;
  char line[160];
  for (int i = 0; i < 90; ++i) {
    las.xyz.push_back({mm(rng), mm(rng), mm(rng)});
    las.rgb.push_back({uint16_t(i), uint16_t(2 * i), 255});
    points.push_back({las.xyz[i][0] / 1000.0, las.xyz[i][1] / 1000.0, las.xyz[i][2] / 1000.0});
    std::snprintf(line, sizeof line, "%.3f %.3f %.3f", points[i][0], points[i][1], points[i][2]);
    text += line + std::string("\n");
  }
  for (const auto& [name, content] : {std::pair<std::string, std::string>{"tree.xyz", text},
                                      {"tree.ply", plyHeader(90, 3) + "#\nresolution=0.25\n" + text},
                                      {"tree.las", lasBytes(las)}}) {
    const std::string path = dir.write(name, content);
    for (UpAxis up : {UpAxis::Y, UpAxis::Z}) {
      const std::string what = name + std::string(up == UpAxis::Y ? " up y" : " up z");
      resetSettingsToStartValues();
      load(path, LoadOptions{up});
      EXPECT_TRUE(name != "tree.ply" || g_dVoxelSize == 0.25) << what;  // the header still applies
      EXPECT_TRUE(cloud.scale == 1.0 && cloud.rootIndex == 90) << what;
      expectScanCoordinates(cloud, points, 1e-9, what);
      const int upColumn = up == UpAxis::Y ? 1 : 2;
      double lowest = 1e300;
      for (const Triple& p : points) lowest = std::min(lowest, p[upColumn]);
      EXPECT_NEAR(cloud.points[11].y, points[11][upColumn] - lowest, 1e-9) << what;
      EXPECT_NEAR(cloud.points[11].x - cloud.points[12].x, points[11][0] - points[12][0], 1e-9) << what;  // no mirror
      ASSERT_EQ(cloud.colours.size(), name == "tree.las" ? cloud.points.size() : 0) << what;
      EXPECT_TRUE(cloud.colours.empty() || near3(cloud.colours[3], 3 / 255.0, 6 / 255.0, 1.0)) << what;
    }
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
    EXPECT_TRUE(other->rootIndex == xyz.rootIndex && other->keyBegin == xyz.keyBegin && other->keyEnd == xyz.keyEnd);
    expectSamePoints(*other, xyz, tolerance);
  }
}

}  // namespace
