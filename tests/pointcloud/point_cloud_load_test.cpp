// Choosing the reader by the file name, the reset before every load, and the real scans
// (skipped when the shared data is absent).

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/settings.h"
#include "pointcloud/point_cloud.h"
#include "support/test_support.h"

namespace {

const char* kPly =
    "ply\nformat ascii 1.0\ncomment c\nelement vertex 2\nproperty float x\nproperty float y\nproperty float z\n"
    "end_header\n1 2 3\n4 5 6\n";

class PointCloudLoadTest : public ::testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  std::string load(const std::string& path) {
    StdoutCapture capture;
    loadedOk = cloud.load(path);
    return capture.text();
  }
  TempDir dir;
  PointCloud cloud;
  bool loadedOk = false;
};

TEST_F(PointCloudLoadTest, TheLastThreeCharactersChooseTheReaderCaseSensitively) {
  // The same PLY text named tree.ply is a PLY cloud; named tree.PLY it goes to the text
  // reader, which finds no number at its start.
  const std::string lower = dir.write("tree.ply", kPly);
  EXPECT_EQ(load(lower), "buff=1, j=3\nNumber of points (" + lower + "): 2\n");
  EXPECT_TRUE(loadedOk);

  const std::string upper = dir.write("tree.PLY", kPly);
  const std::string out = load(upper);
  EXPECT_EQ(out.rfind("Number of points (" + upper + "): 0\n", 0), 0u) << out;
  EXPECT_FALSE(loadedOk);
  EXPECT_FALSE(cloud.loaded);

  // Five numbers per line under any other ending, even one close to "ply".
  const std::string text = dir.write("tree.plx", "0 0 0 0 0\n1 1 1 0 0\n");
  EXPECT_EQ(load(text), "Number of points (" + text + "): 2\n");
  EXPECT_TRUE(loadedOk);
  EXPECT_EQ(cloud.groundPoints.size(), 2u);
}

TEST_F(PointCloudLoadTest, PcdLoadsNothingAndClearsThePreviousCloud) {
  ASSERT_TRUE(cloud.load(dir.write("a.ply", kPly)));
  const std::string pcd = dir.write("tree.pcd", kPly);
  EXPECT_EQ(load(pcd), "");
  EXPECT_FALSE(loadedOk);
  EXPECT_FALSE(cloud.loaded);
  EXPECT_EQ(cloud.count, 0u);
  EXPECT_TRUE(cloud.points.empty());
  EXPECT_EQ(cloud.rootIndex, -1);
  EXPECT_EQ(cloud.scale, 1.0);
}

TEST_F(PointCloudLoadTest, PathsShorterThanThreeCharactersAreRejected) {
  for (const std::string path : {"", "a", "ly"}) {
    EXPECT_EQ(load(path), "ERROR: point cloud path [" + path + "] is too short to tell its format!\n");
    EXPECT_FALSE(loadedOk);
    EXPECT_FALSE(cloud.loaded);
  }
}

TEST_F(PointCloudLoadTest, UpdateBoundsComparesEachAxisStrictly) {
  PointRecord lo{0, 0, 0, 5}, hi{1, 1, 1, 6};
  updateBounds(lo, hi, PointRecord{-1, 0.5, 2, 9});
  EXPECT_EQ(lo.x, -1);
  EXPECT_EQ(lo.y, 0);
  EXPECT_EQ(lo.z, 0);
  EXPECT_EQ(hi.x, 1);
  EXPECT_EQ(hi.y, 1);
  EXPECT_EQ(hi.z, 2);
  EXPECT_EQ(lo.tag, 5);  // tags are not touched
  EXPECT_EQ(hi.tag, 6);
}

// ---- Real scans ----

class RealScanTest : public ::testing::Test {
 protected:
  static std::string folder() { return std::string(FRONDAREL_REALDATA) + "/converted"; }
  void SetUp() override {
    if (!std::filesystem::is_directory(folder())) GTEST_SKIP() << "no real scans at " << folder();
    resetSettingsToStartValues();
  }
};

// Counts the data lines of a converted file: for PLY those after end_header.
uint32_t dataLines(const std::string& path, bool ply) {
  std::ifstream in(path);
  std::string line;
  bool data = !ply;
  uint32_t lines = 0;
  while (std::getline(in, line)) {
    if (data && !line.empty()) ++lines;
    if (line == "end_header") data = true;
  }
  return lines;
}

TEST_F(RealScanTest, EveryConvertedScanLoadsNormalised) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder())) {
    const std::string path = entry.path().string();
    const bool ply = entry.path().extension() == ".ply";
    PointCloud cloud;
    {
      StdoutCapture quiet;
      ASSERT_TRUE(cloud.load(path)) << path;
    }
    ++files;
    EXPECT_EQ(cloud.fileCount, dataLines(path, ply)) << path;
    EXPECT_EQ(cloud.minCorner.y, 0.0) << path;
    EXPECT_NEAR(cloud.minCorner.x, -cloud.maxCorner.x, 1e-9) << path;
    EXPECT_NEAR(cloud.minCorner.z, -cloud.maxCorner.z, 1e-9) << path;
    if (ply) {
      EXPECT_NEAR(cloud.maxCorner.y, 16.0, 1e-9) << path;
    }
    // Every file point lies in the box.
    for (uint32_t i = 0; i < cloud.fileCount; ++i) {
      const PointRecord& p = cloud.points[i];
      ASSERT_TRUE(p.x >= cloud.minCorner.x - 1e-9 && p.x <= cloud.maxCorner.x + 1e-9) << path << " " << i;
      ASSERT_TRUE(p.y >= -1e-9 && p.y <= cloud.maxCorner.y + 1e-9) << path << " " << i;
      ASSERT_TRUE(p.z >= cloud.minCorner.z - 1e-9 && p.z <= cloud.maxCorner.z + 1e-9) << path << " " << i;
    }
    if (!ply) {
      EXPECT_EQ(cloud.rootIndex, static_cast<int32_t>(cloud.fileCount)) << path;
    }
  }
  EXPECT_GT(files, 0);
}

}  // namespace
