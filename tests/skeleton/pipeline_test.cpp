// The whole headless pipeline over every bundled point model and, when present, the real
// scans: load, voxelise, thin, build the graph, reconstruct; a plausible tree, twice alike.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "pointcloud/point_cloud.h"
#include "skeleton/tree_reconstructor.h"
#include "support/test_support.h"
#include "voxel/voxel_volume.h"

namespace {

std::vector<std::string> filesIn(const std::string& folder, const std::set<std::string>& extensions) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    if (extensions.count(e.path().extension().string())) out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

struct Run {
  bool ran = false;
  std::string console;
  std::vector<std::array<double, 3>> nodes;
  size_t segments = 0;
  double cloudTop = 0.0;
};

Run reconstructFile(const std::string& path) {
  resetSettingsToStartValues();
  g_dVoxelSize = 0.2;  // the model-switch values
  g_dFieldBottomAngle = -30.0;
  Run run;
  PointCloud cloud;
  VoxelVolume volume;
  TreeReconstructor reconstructor;
  StdoutCapture out;
  if (!cloud.load(path)) return run;
  volume.build(cloud, g_dVoxelSize);
  volume.thin();
  reconstructor.buildVoxelGraph(volume);
  run.ran = reconstructor.reconstruct();
  run.console = out.text();
  run.cloudTop = cloud.maxCorner.y;
  for (const SkeletonNode& s : reconstructor.skeletonNodes)
    run.nodes.push_back({s.position.x, s.position.y, s.position.z});
  run.segments = reconstructor.model.segments.size();
  return run;
}

void checkPlausibleTree(const std::string& path) {
  SCOPED_TRACE(path);
  const Run first = reconstructFile(path);
  ASSERT_TRUE(first.ran) << first.console;
  // Most of the graph is reached: "P%(V/N) points have been visited!".
  const size_t at = first.console.find(" points have been visited!");
  ASSERT_NE(at, std::string::npos);
  unsigned visited = 0, n = 0;
  ASSERT_EQ(std::sscanf(first.console.c_str() + first.console.rfind('(', at), "(%u/%u)", &visited, &n), 2);
  EXPECT_GE(visited, 0.9 * n);
  ASSERT_GE(first.nodes.size(), 10u);
  EXPECT_EQ(first.segments, first.nodes.size());
  // The trunk starts near the base and goes upward; the growth reaches near the top.
  EXPECT_LT(first.nodes[0][1], 0.15 * first.cloudTop);
  EXPECT_GT(first.nodes[1][1], first.nodes[0][1]);
  double top = 0.0;
  for (const auto& p : first.nodes) top = std::max(top, p[1]);
  EXPECT_GT(top, 0.8 * first.cloudTop);

  const Run second = reconstructFile(path);
  EXPECT_EQ(second.nodes, first.nodes);
  EXPECT_EQ(second.console, first.console);
}

TEST(SkeletonPipeline, BundledModels) {
  const auto files = filesIn(std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model", {".ply", ".txt", ".xyz", ".geo"});
  ASSERT_FALSE(files.empty()) << "no bundled point models";
  for (const std::string& f : files) checkPlausibleTree(f);
}

TEST(SkeletonPipeline, RealScans) {
  const auto files = filesIn(std::string(FRONDAREL_REALDATA) + "/converted", {".ply"});
  if (files.empty()) GTEST_SKIP() << "real scans not present";
  for (const std::string& f : files) checkPlausibleTree(f);
}

}  // namespace
