// The whole headless pipeline over every bundled point model and, when present, the real
// scans: load, voxelise, thin, build the graph, reconstruct; a plausible tree, twice alike.

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "pointcloud/point_cloud.h"
#include "skeleton/tree_reconstructor.h"
#include "support/test_support.h"
#include "voxel/voxel_volume.h"

namespace {

std::vector<std::string> filesIn(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> out;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        out.push_back(folder + "/" + name);
    }
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct Run {
  bool ran = false;
  std::string console;
  std::vector<Vec3> nodes;
  size_t segments = 0;
  uint32_t n = 0;
  double cloudTop = 0.0;
};

Run reconstructFile(const std::string& path) {
  resetSettingsToStartValues();
  g_dVoxelSize = 0.2;  // the model-switch values
  g_dFieldBottomAngle = -30.0;
  Run run;
  auto cloud = std::make_unique<PointCloud>();
  auto volume = std::make_unique<VoxelVolume>();
  auto reconstructor = std::make_unique<TreeReconstructor>();
  StdoutCapture out;
  if (!cloud->load(path)) return run;
  volume->build(*cloud, g_dVoxelSize);
  volume->thin();
  reconstructor->buildVoxelGraph(*volume);
  run.ran = reconstructor->reconstruct();
  run.console = out.text();
  run.n = reconstructor->nVoxels;
  run.cloudTop = cloud->maxCorner.y;
  for (const SkeletonNode& s : reconstructor->skeletonNodes) run.nodes.push_back(s.position);
  run.segments = reconstructor->model.segments.size();
  return run;
}

void checkPlausibleTree(const std::string& path) {
  SCOPED_TRACE(path);
  const Run first = reconstructFile(path);
  ASSERT_TRUE(first.ran) << first.console;
  const size_t at = first.console.find("points have been visited!");
  ASSERT_NE(at, std::string::npos);
  const size_t lineStart = first.console.rfind('\n', at) + 1;
  std::printf("%s: n=%u, %zu nodes, %s\n", path.c_str(), first.n, first.nodes.size(),
              first.console.substr(lineStart, at - lineStart).c_str());
  ASSERT_GE(first.nodes.size(), 10u);
  EXPECT_EQ(first.segments, first.nodes.size());
  // The trunk starts near the base and goes upward; the growth reaches near the top.
  EXPECT_LT(first.nodes[0].y, 0.15 * first.cloudTop);
  EXPECT_GT(first.nodes[1].y, first.nodes[0].y);
  double top = 0.0;
  for (const Vec3& p : first.nodes) top = std::max(top, p.y);
  EXPECT_GT(top, 0.8 * first.cloudTop);

  const Run second = reconstructFile(path);
  ASSERT_EQ(second.nodes.size(), first.nodes.size());
  for (size_t k = 0; k < first.nodes.size(); ++k) {
    ASSERT_EQ(second.nodes[k].x, first.nodes[k].x);
    ASSERT_EQ(second.nodes[k].y, first.nodes[k].y);
    ASSERT_EQ(second.nodes[k].z, first.nodes[k].z);
  }
  EXPECT_EQ(second.console, first.console);
}

TEST(SkeletonPipeline, BundledModels) {
  std::vector<std::string> files;
  for (const char* suffix : {"ply", "txt", "xyz", "geo"}) {
    const auto found = filesIn(std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model", suffix);
    files.insert(files.end(), found.begin(), found.end());
  }
  ASSERT_FALSE(files.empty()) << "no bundled point models";
  for (const std::string& f : files) checkPlausibleTree(f);
}

TEST(SkeletonPipeline, RealScans) {
  const auto files = filesIn(std::string(FRONDAREL_REALDATA) + "/converted", ".ply");
  if (files.empty()) GTEST_SKIP() << "real scans not present";
  for (const std::string& f : files) checkPlausibleTree(f);
}

}  // namespace
