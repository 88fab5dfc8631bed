// The LAS reader given damaged files, parsed from memory: every byte change either loads a cloud
// of finite points in a finite box or is rejected with the cloud left empty; never a crash or a
// read outside the buffer (the sanitizer build watches). The fuzz harnesses do the same for the
// PLY, text and geo readers.

#include <random>

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/scan_files.h"

namespace {

TEST(CorruptFileTest, DamagedLasFilesLoadFiniteOrAreRejected) {
  LasFile las;
  las.minor = 4, las.format = 7;
  for (int i = 0; i < 12; ++i) las.xyz.push_back({i * 100, -i * 50, i * i * 20}), las.rgb.push_back({1, 2, 3});
  const std::string bytes = lasBytes(las);
  PointCloud cloud;
  {
    StdoutCapture quiet;
    ASSERT_TRUE(cloud.parseLas("sample", bytes, LoadOptions{}));
  }
  std::mt19937 rng(2024);
  int loaded = 0;
  for (int round = 0; round < 1000; ++round) {
    std::string damaged = bytes;  // one to three changes: a byte, a few bytes erased, a cut
    for (int k = 1 + rng() % 3; k > 0; --k) {
      const size_t at = rng() % damaged.size(), kind = rng() % 3;
      if (kind == 0) damaged[at] = static_cast<char>(rng());
      if (kind == 1) damaged.erase(at, 1 + rng() % 8);
      if (kind == 2) damaged.resize(at);
      if (damaged.empty()) damaged = "x";
    }
    StdoutCapture quiet;
    if (cloud.parseLas("damaged", damaged, LoadOptions{})) {
      ++loaded;
      ASSERT_TRUE(cloud.loaded && cloud.count >= cloud.fileCount && cloud.points.size() >= cloud.count);
      for (uint32_t i = 0; i < cloud.count; ++i)
        ASSERT_TRUE(std::isfinite(cloud.points[i].x + cloud.points[i].y + cloud.points[i].z));
    } else {
      ASSERT_TRUE(!cloud.loaded && cloud.points.empty() && cloud.count == 0);
    }
  }
  EXPECT_GT(loaded, 0);  // some damage (in a value) still reads
}

}  // namespace
