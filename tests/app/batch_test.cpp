#include "app/batch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "app/globals.h"
#include "app/model_folders.h"
#include "app/pipeline.h"
#include "app_test_data.h"
#include "settings/settings.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

int runBatchWith(std::vector<std::string> args, std::string* console) {
  args.insert(args.begin(), "frondarel");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  StdoutCapture out;
  int status = runBatch(static_cast<int>(argv.size()), argv.data());
  if (console) *console = out.text();
  return status;
}

// Parses an exported tree file; returns false when its layout is broken.
bool parseExport(const std::string& text, size_t* branchCount, size_t* lines) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line)) return false;
  *branchCount = std::stoul(line);
  *lines = 0;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    size_t nodes = 0;
    if (!(ls >> nodes) || nodes == 0) return false;
    for (size_t k = 0; k < nodes * 4; ++k) {
      double v;
      if (!(ls >> v) || !std::isfinite(v)) return false;
    }
    std::string rest;
    if (ls >> rest) return false;
    ++*lines;
  }
  return *lines >= 1 && *lines <= *branchCount;
}

class BatchTest : public ::testing::Test {
 protected:
  void TearDown() override {
    g_pointCloud.clear();
    g_voxelVolume.reset();
    g_reconstructor.clear();
    g_reconstructor.model.clear();
    g_pointModelNames.clear();
    g_leafModelNames.clear();
    resetSettingsToStartValues();
  }
  TempDir dir_;
};

}  // namespace

// --help is built from the settings table: every user setting with its start value.
TEST_F(BatchTest, HelpListsEverySettingWithItsStartValue) {
  std::string console;
  EXPECT_EQ(runBatchWith({"--help"}, &console), 0);
  EXPECT_NE(console.find("--batch <cloud file or folder>"), std::string::npos);
  for (const SettingInfo& s : settingTable()) {
    if (!s.userSet) continue;
    const size_t line = console.find(std::string(" ") + s.name + " ");
    ASSERT_NE(line, std::string::npos) << s.name;
    EXPECT_NE(console.substr(line, console.find('\n', line) - line).find(" " + startValueText(s) + " "),
              std::string::npos)
        << s.name;
  }
}

TEST_F(BatchTest, BadCommandLinesAreRejected) {
  EXPECT_EQ(runBatchWith({"--batch"}, nullptr), 2);
  EXPECT_EQ(runBatchWith({"--batch", "x.txt", "--bogus"}, nullptr), 2);
  std::string console;
  EXPECT_EQ(runBatchWith({"--batch", "x.txt", "--set", "nosuch=1"}, &console), 2);
  EXPECT_NE(console.find("unknown setting 'nosuch'"), std::string::npos);
  EXPECT_EQ(runBatchWith({"--batch", "x.txt", "--set", "resolution=abc"}, &console), 2);
}

TEST_F(BatchTest, SingleFileWritesItsTreeAndTimesEachStage) {
  std::string cloud = dir_.write("in/tree.txt", syntheticTreeText(40));
  std::string console;
  ASSERT_EQ(runBatchWith({"--batch", cloud, "--out", dir_.file("out")}, &console), 0) << console;
  EXPECT_NE(console.find("Number of points ("), std::string::npos);
  EXPECT_NE(console.find("Stage times (s): load "), std::string::npos);
  EXPECT_NE(console.find("tree.txt: OK, "), std::string::npos);
  size_t branches = 0, lines = 0;
  EXPECT_TRUE(parseExport(readFile(dir_.file("out/tree.txt")), &branches, &lines));
  EXPECT_GE(lines, 3u);  // the trunk and the two side branches at least
}

// --set is applied after the file's header: the header asks for 0.4, --set for 0.25.
TEST_F(BatchTest, SetOverridesTheFileHeader) {
  std::string cloud = dir_.write("in/tree.txt", syntheticTreeText(40, "#\nresolution=0.4\n"));
  std::string console;
  ASSERT_EQ(runBatchWith({"--batch", cloud, "--out", dir_.file("out"), "--set", "resolution=0.25"}, &console), 0);
  EXPECT_DOUBLE_EQ(g_voxelVolume.voxelSize, 0.25);
}

TEST_F(BatchTest, BrokenFileAmongGoodOnesIsReportedAndTheOthersAreWritten) {
  dir_.write("in/a_good.txt", syntheticTreeText(40));
  dir_.write("in/b_broken.ply", "ply\nformat ascii 1.0\ncomment x\nelement vertex 10\nproperty float x\n");
  dir_.write("in/c_good.txt", syntheticTreeText(30));
  std::string console;
  EXPECT_EQ(runBatchWith({"--batch", dir_.file("in"), "--out", dir_.file("out")}, &console), 1) << console;
  EXPECT_TRUE(fileExists(dir_.file("out/a_good.txt")));
  EXPECT_TRUE(fileExists(dir_.file("out/c_good.txt")));
  EXPECT_FALSE(fileExists(dir_.file("out/b_broken.txt")));
  EXPECT_NE(console.find("b_broken.ply: FAILED, cannot read the point cloud"), std::string::npos) << console;
  EXPECT_NE(console.find("a_good.txt: OK"), std::string::npos);
  EXPECT_NE(console.find("c_good.txt: OK"), std::string::npos);
}

TEST_F(BatchTest, CloudsThatGiveNoTreeFail) {
  // A flat line of points has no height: no voxel grid.
  std::string flat;
  for (int i = 0; i < 50; ++i) flat += std::to_string(i * 0.01) + " 0 0 0 0\n";
  // A clump smaller than one voxel: a single graph vertex, so nothing grows from the root.
  std::string clump;
  for (int i = 0; i < 50; ++i)
    clump += std::to_string(0.001 * i) + " " + std::to_string(0.002 * (i % 7)) + " " + std::to_string(0.001 * (i % 5)) +
             " 0 0\n";
  dir_.write("in/flat.txt", flat);
  dir_.write("in/clump.txt", clump);
  std::string console;
  EXPECT_EQ(runBatchWith({"--batch", dir_.file("in"), "--out", dir_.file("out")}, &console), 1);
  EXPECT_NE(console.find("flat.txt: FAILED, no voxel grid could be built"), std::string::npos) << console;
  EXPECT_NE(console.find("clump.txt: FAILED, the growth produced no tree"), std::string::npos) << console;
  EXPECT_FALSE(fileExists(dir_.file("out/clump.txt")));
}

TEST_F(BatchTest, UnwritableOutputFolderFails) {
  std::string cloud = dir_.write("in/tree.txt", syntheticTreeText(40));
  dir_.write("blocker", "a file where the output folder should be");
  std::string console;
  EXPECT_EQ(runBatchWith({"--batch", cloud, "--out", dir_.file("blocker/sub")}, &console), 1);
  EXPECT_NE(console.find("tree.txt: FAILED, the tree file could not be written"), std::string::npos) << console;
}

// The batch export equals the window's "Export model" for the same settings (start values
// and the file's header), for every bundled model.
TEST_F(BatchTest, BundledModelsMatchTheWindowExport) {
  const std::string bundled = std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model";
  std::vector<std::string> names;
  ASSERT_TRUE(listFolder(bundled + "/", names));
  std::string console;
  ASSERT_EQ(runBatchWith({"--batch", bundled, "--out", dir_.file("batch")}, &console), 0) << console;

  fs::create_directories(dir_.file("win/data/tree_model"));
  fs::create_directory_symlink(bundled, dir_.file("win/data/point_model"));
  fs::create_directory_symlink(std::string(FRONDAREL_SOURCE_DIR) + "/data/leaf_model",
                               dir_.file("win/data/leaf_model"));
  WorkingFolder cwd(dir_.file("win"));
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    resetSettingsToStartValues();
    g_pointModelNames = names;
    g_nCurrSelected = static_cast<int>(i);
    {
      StdoutCapture quiet;
      loadCurrentPointModel();
      g_voxelVolume.thin();
      g_reconstructor.buildVoxelGraph(g_voxelVolume);
      ASSERT_TRUE(g_reconstructor.reconstruct());
      ASSERT_TRUE(exportModel());
    }
    std::string stem = names[i].substr(0, names[i].size() - 3) + "txt";
    std::string windowExport = readFile("data/tree_model/" + stem);
    std::string batchExport = readFile(dir_.file("batch/" + stem));
    size_t branches = 0, lines = 0;
    EXPECT_TRUE(parseExport(batchExport, &branches, &lines));
    EXPECT_EQ(windowExport, batchExport);
  }
}
