// The pipeline module: every bundled model through every stage (run once for the suite) and
// the real scans when present, checked for a plausible tree and a sound export; small clouds
// for the order of settings and for each way a run can fail; batch mode over a folder.

#include "app/pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "app/globals.h"
#include "app_test_data.h"
#include "support/fresh_globals.h"

namespace fs = std::filesystem;

namespace {

struct TreeRun {
  std::string path, console, exported;
  PipelineResult result;
  double cloudTop = 0, rootY = 0, topY = 0;
};

TreeRun runPipeline(const std::string& path, const std::string& outFolder, const SettingOverrides& overrides = {}) {
  TreeRun run;
  run.path = path;
  StdoutCapture console;
  run.result = runTreePipeline(path, outFolder, overrides);
  run.console = console.text();
  if (run.result.ok) run.exported = readFile(run.result.detail);
  run.cloudTop = g_pointCloud.maxCorner.y;
  const auto& nodes = g_reconstructor.skeletonNodes;
  if (!nodes.empty()) run.rootY = nodes[0].position.y;
  for (const SkeletonNode& s : nodes) run.topY = std::max(run.topY, s.position.y);
  return run;
}

// A grown tree covers most of the graph from the foot of the cloud to near its top. Its export
// lists the drawn branches (the first line counts all of them), each as k nodes of x, y, z,
// radius; every later branch starts on a node of an earlier one, and the pipe-model radii are
// positive, never grow towards a tip and never exceed the trunk's first one.
void expectPlausibleTree(const TreeRun& run) {
  SCOPED_TRACE(run.path);
  ASSERT_TRUE(run.result.ok) << run.result.detail << "\n" << run.console;
  const size_t at = run.console.rfind(" points have been visited!");
  unsigned visited = 0, vertices = 0;
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(std::sscanf(run.console.c_str() + run.console.rfind('(', at), "(%u/%u)", &visited, &vertices), 2);
  EXPECT_GE(visited, 0.9 * vertices);
  EXPECT_LT(run.rootY, 0.15 * run.cloudTop);
  EXPECT_GT(run.topY, 0.8 * run.cloudTop);

  std::istringstream in(run.exported);
  size_t declared = 0, lines = 0, k = 0;
  std::set<std::string> nodes;
  std::string line, x, y, z, extra;
  double trunkBase = INFINITY;
  for (std::getline(in >> declared, line); std::getline(in, line); ++lines) {
    std::istringstream fields(line);
    ASSERT_TRUE(fields >> k && k >= 2) << line;
    double r = NAN, previous = trunkBase;
    for (size_t i = 0; i < k; ++i, previous = r) {
      ASSERT_TRUE(fields >> x >> y >> z >> r && std::isfinite(std::stod(x) + std::stod(y) + std::stod(z))) << line;
      ASSERT_TRUE(r > 0 && r <= previous) << "branch " << lines << " node " << i;
      ASSERT_TRUE(i > 0 || lines == 0 || nodes.count(x + " " + y + " " + z)) << "branch " << lines << " starts apart";
      nodes.insert(x + " " + y + " " + z);
      if (lines == 0 && i == 0) trunkBase = r;
    }
    EXPECT_FALSE(fields >> extra) << line;
  }
  EXPECT_EQ(lines, run.result.branches);
  EXPECT_TRUE(lines >= 3 && lines <= declared) << lines << " of " << declared;
}

class BundledModels : public FreshGlobals {
 protected:
  static void SetUpTestSuite() {
    TempDir out;
    for (const std::string& file : cloudFiles(std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model"))
      runs_.push_back(runPipeline(file, out.path()));
    FreshGlobals::reset();
  }
  static std::vector<TreeRun> runs_;
};
std::vector<TreeRun> BundledModels::runs_;

using PipelineRules = FreshGlobals;

}  // namespace

TEST_F(BundledModels, EveryModelGivesAPlausibleTree) {
  ASSERT_GE(runs_.size(), 6u);
  for (const TreeRun& run : runs_) expectPlausibleTree(run);
}

TEST_F(PipelineRules, EveryConvertedRealScanGivesAPlausibleTree) {
  const std::vector<std::string> files = cloudFiles(std::string(FRONDAREL_REALDATA) + "/converted");
  if (files.empty()) GTEST_SKIP() << "no real scans";
  TempDir out;
  for (const std::string& file : files) expectPlausibleTree(runPipeline(file, out.path()));
}

// Start values, then the file's header, then the overrides; the next file starts afresh.
TEST_F(PipelineRules, HeaderThenOverridesAndEachFileFromTheStartValues) {
  TempDir dir;
  const std::string headed = dir.write("headed.txt", treeCloud("#\nresolution=0.4\n"));
  const std::string plain = dir.write("plain.txt", treeCloud());
  const std::pair<std::string, SettingOverrides> runs[] = {
      {headed, {{"resolution", "0.25"}}}, {headed, {{"g_dVoxelSize", "0.3"}}}, {headed, {}}, {plain, {}}};
  const double expected[] = {0.25, 0.3, 0.4, 0.18};
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(runPipeline(runs[i].first, dir.file("out"), runs[i].second).result.ok) << i;
    EXPECT_EQ(g_voxelVolume.voxelSize, expected[i]) << i;
  }
}

// Batch mode goes on after a failed file, reports why each one failed and ends with status 1;
// a folder that cannot be made fails every file at the export.
TEST_F(PipelineRules, BatchReportsEachFailedStageAndGoesOn) {
  TempDir dir;
  std::string flat, clump;  // no height: no grid; smaller than a voxel: one vertex, no growth
  for (int i = 0; i < 50; ++i) {
    flat += std::to_string(i * 0.01) + " 0 0 0 0\n";
    clump += std::to_string(0.001 * i) + " " + std::to_string(0.002 * (i % 7)) + " " + std::to_string(0.001 * (i % 5)) +
             " 0 0\n";
  }
  dir.write("in/a.ply", "ply\nformat ascii 1.0\nelement vertex 10\n");
  dir.write("in/b.txt", flat);
  dir.write("in/c.txt", clump);
  dir.write("in/d.txt", treeCloud());
  dir.write("blocker", "a file where an output folder should be");
  auto batch = [&](const std::string& out) {
    std::string console;
    EXPECT_EQ(
        runBatchWith({"--mode", "classic", "--formats", "txt", "--batch", dir.file("in"), "--out", out}, &console), 1);
    return console;
  };
  const std::string text = batch(dir.file("out"));
  for (const char* line : {"a.ply: FAILED, cannot read the point cloud", "b.txt: FAILED, no voxel grid could be built",
                           "c.txt: FAILED, the growth produced no tree", "d.txt: OK"})
    EXPECT_TRUE(contains(text, line)) << line << "\n" << text;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("out")), {}), 1);
  EXPECT_TRUE(contains(batch(dir.file("blocker/out")), "d.txt: FAILED, the tree file could not be written"));
}
