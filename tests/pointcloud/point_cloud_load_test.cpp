// Choosing the reader by the file name, files that cannot be opened, and the real scans
// (skipped when the shared data is absent).

#include <cmath>
#include <filesystem>
#include <fstream>

#include "pointcloud/cloud_file_test.h"

namespace {

const std::string kPly = plyHeader(2, 3) + "1 2 3\n4 5 6\n";

using PointCloudLoadTest = CloudFileTest;

TEST_F(PointCloudLoadTest, TheExtensionChoosesTheReaderInAnyCase) {
  // The same PLY text named tree.ply or tree.PLY is a PLY cloud.
  const std::string lower = dir.write("tree.ply", kPly);
  EXPECT_EQ(load(lower), "buff=1, j=3\nNumber of points (" + lower + "): 2\n");
  EXPECT_TRUE(loadedOk);
  const std::string upper = dir.write("tree.PLY", kPly);
  EXPECT_EQ(load(upper), "buff=1, j=3\nNumber of points (" + upper + "): 2\n");
  EXPECT_TRUE(loadedOk);

  // Five numbers per line under any other ending, even one close to "ply".
  const std::string text = dir.write("tree.plx", "0 0 0 0 0\n1 1 1 0 0\n");
  EXPECT_EQ(load(text), "Number of points (" + text + "): 2\n");
  EXPECT_EQ(cloud.groundPoints.size(), 2u);

  // tree.pcd loads nothing, silently, and drops the previous cloud.
  EXPECT_EQ(loadFile("tree.pcd", kPly), "");
  expectEmpty();
}

// Mended fault: a path too short to tell the format is reported instead of read out of bounds.
TEST_F(PointCloudLoadTest, PathsShorterThanThreeCharactersAreRejected) {
  for (const std::string path : {"", "a", "ly"}) {
    EXPECT_EQ(load(path), "ERROR: point cloud path [" + path + "] is too short to tell its format!\n");
    expectEmpty();
  }
}

// Mended fault: a file that cannot be opened (missing, or a folder) is reported by every
// reader, drops the previous cloud and lets the program go on; the next load works.
TEST_F(PointCloudLoadTest, UnopenableFilesAreReportedByEveryReader) {
  const std::string good = dir.write("good.ply", kPly);
  dir.write("folder.txt/inside", "1");
  for (const char* name : {"missing.ply", "missing.txt", "missing.geo", "folder.txt"}) {
    load(good);
    ASSERT_TRUE(loadedOk);
    const std::string path = dir.file(name);
    EXPECT_EQ(load(path), "ERROR: unable to open point cloud [" + path + "]!\n");
    expectEmpty();
  }
}

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
    EXPECT_TRUE(!ply || std::fabs(cloud.maxCorner.y - 16.0) < 1e-9) << path;  // PLY clouds are 16 high
    EXPECT_TRUE(ply || cloud.rootIndex == static_cast<int32_t>(cloud.fileCount)) << path;
    for (uint32_t i = 0; i < cloud.fileCount; ++i) {  // every file point lies in the box
      const PointRecord& p = cloud.points[i];
      ASSERT_TRUE(p.x >= cloud.minCorner.x - 1e-9 && p.x <= cloud.maxCorner.x + 1e-9 && p.y >= -1e-9 &&
                  p.y <= cloud.maxCorner.y + 1e-9 && p.z >= cloud.minCorner.z - 1e-9 && p.z <= cloud.maxCorner.z + 1e-9)
          << path << " " << i;
    }
  }
  EXPECT_GT(files, 0);
}

}  // namespace
