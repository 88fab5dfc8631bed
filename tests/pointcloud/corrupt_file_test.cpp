// Readers given damaged files, parsed from memory: every byte change either loads a cloud of
// finite points in a finite box or is rejected with the cloud left empty; never a crash or a
// read outside the buffer (the sanitizer build watches).

#include <random>

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/scan_files.h"

namespace {

std::string sampleLas() {
  LasFile f;
  f.minor = 4;
  f.format = 7;
  for (int i = 0; i < 12; ++i) f.xyz.push_back({i * 100, -i * 50, i * i * 20}), f.rgb.push_back({1, 2, 3});
  return lasBytes(f);
}

std::string samplePly(bool binary) {
  std::string text = std::string("ply\nformat ") + (binary ? "binary_big_endian" : "ascii") +
                     " 1.0\nelement face 1\nproperty list uchar int v\nelement vertex 6\nproperty double x\n"
                     "property list uchar float n\nproperty float z\nproperty float y\nend_header\n";
  if (!binary) return text + "3 0 1 2\n1 2 0.5 0.25 2 3\n4 0 5 6\n7 1 9 8 9\n1 1 1 1 1\n2 0 2 2\n3 1 4 5 6\n";
  text += '\x03';
  for (int32_t v : {0, 1, 2}) putBytes(text, v, true);
  for (int i = 0; i < 6; ++i) {
    putBytes(text, i * 1.5, true);
    text += static_cast<char>(i % 2);
    if (i % 2) putBytes(text, 0.5f, true);
    putBytes(text, float(i * i), true);
    putBytes(text, float(-i), true);
  }
  return text;
}

TEST(CorruptFileTest, DamagedFilesLoadFiniteOrAreRejected) {
  const struct {
    const char* name;
    std::string bytes;
    bool (PointCloud::*parse)(const std::string&, std::string_view, const LoadOptions&);
  } samples[] = {
      {"las", sampleLas(), &PointCloud::parseLas},
      {"binary ply", samplePly(true), &PointCloud::parsePly},
      {"ascii ply", samplePly(false), &PointCloud::parsePly},
      {"columns", "x;y;z\n1;2;3\n4;5;6\n7;8;9\n", &PointCloud::parseTextCloud},
  };
  std::mt19937 rng(2024);
  for (const auto& sample : samples) {
    PointCloud cloud;
    {
      StdoutCapture quiet;
      ASSERT_TRUE((cloud.*sample.parse)("sample", sample.bytes, LoadOptions{})) << sample.name;
    }
    int loaded = 0;
    for (int round = 0; round < 400; ++round) {
      std::string damaged = sample.bytes;
      const int changes = 1 + static_cast<int>(rng() % 3);
      for (int k = 0; k < changes; ++k) {
        const size_t at = rng() % damaged.size();
        switch (rng() % 3) {
          case 0:
            damaged[at] = static_cast<char>(rng());
            break;
          case 1:
            damaged.erase(at, 1 + rng() % 8);
            break;
          default:
            damaged.resize(at);
            break;
        }
        if (damaged.empty()) damaged = "x";
      }
      StdoutCapture quiet;
      if ((cloud.*sample.parse)("damaged", damaged, LoadOptions{})) {
        ++loaded;
        ASSERT_TRUE(cloud.loaded && cloud.count >= cloud.fileCount && cloud.points.size() >= cloud.count);
        for (uint32_t i = 0; i < cloud.count; ++i)
          ASSERT_TRUE(std::isfinite(cloud.points[i].x + cloud.points[i].y + cloud.points[i].z));
      } else {
        ASSERT_TRUE(!cloud.loaded && cloud.points.empty() && cloud.count == 0) << sample.name;
      }
    }
    EXPECT_GT(loaded, 0) << sample.name;  // some damage (in a value) still reads
  }
}

}  // namespace
