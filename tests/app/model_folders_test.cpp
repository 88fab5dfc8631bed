#include "app/model_folders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/globals.h"
#include "settings/settings.h"
#include "app_test_data.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

// A working folder holding data/point_model, data/leaf_model and data/tree_model.
class ModelFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSettingsToStartValues();
    g_pointModelNames.clear();
    g_leafModelNames.clear();
    fs::create_directories(dir_.file("data/tree_model"));
  }
  void TearDown() override {
    g_pointModelNames.clear();
    g_leafModelNames.clear();
    g_pointCloud.clear();
    g_voxelVolume.reset();
    g_reconstructor.clear();
    g_reconstructor.model.clear();
    resetSettingsToStartValues();
  }
  void writePointModels(int count) {
    for (int i = 0; i < count; ++i)
      dir_.write("data/point_model/m" + std::to_string(i) + ".txt", syntheticTreeText(20));
  }
  void writeLeafModels(int count) {
    for (int i = 0; i < count; ++i) dir_.write("data/leaf_model/leaf" + std::to_string(i) + ".txt", exampleLeafModel());
  }
  TempDir dir_;
};

}  // namespace

TEST(ListFolder, ListsPlainFilesSortedAndSkipsFolders) {
  TempDir dir;
  dir.write("b.ply", "x");
  dir.write("a.txt", "x");
  dir.write("C.geo", "x");
  fs::create_directories(dir.file("sub"));
  dir.write("sub/inner.ply", "x");
  std::vector<std::string> names = {"kept"};
  EXPECT_TRUE(listFolder(dir.path() + "/", names));
  EXPECT_EQ(names, (std::vector<std::string>{"kept", "C.geo", "a.txt", "b.ply"}));
}

TEST(ListFolder, MissingOrEmptyFolderPrintsAndLeavesListUnchanged) {
  TempDir dir;
  fs::create_directories(dir.file("empty/sub"));
  std::vector<std::string> names = {"x"};
  {
    StdoutCapture out;
    EXPECT_FALSE(listFolder(dir.file("missing/"), names));
    EXPECT_EQ(out.text(), "Empty folder!\n");
  }
  {
    StdoutCapture out;
    EXPECT_FALSE(listFolder(dir.file("empty/"), names));
    EXPECT_EQ(out.text(), "Empty folder!\n");
  }
  EXPECT_EQ(names, std::vector<std::string>{"x"});
}

TEST_F(ModelFoldersTest, StartupLoadsModelZeroWithLeafModelZeroAndStartSettings) {
  writePointModels(3);
  writeLeafModels(6);
  WorkingFolder cwd(dir_.path());
  StdoutCapture out;
  loadStartupModels();
  std::string text = out.text();
  EXPECT_EQ(g_pointModelNames.size(), 3u);
  EXPECT_EQ(g_leafModelNames.size(), 6u);
  EXPECT_EQ(g_nCurrLeafModel, 0);
  EXPECT_TRUE(g_pointCloud.loaded);
  EXPECT_EQ(currentModelPath(), "./data/point_model/m0.txt");
  EXPECT_NE(text.find("Number of points (./data/point_model/m0.txt): "), std::string::npos) << text;
  EXPECT_DOUBLE_EQ(g_dVoxelSize, 0.18);
  EXPECT_DOUBLE_EQ(g_dFieldBottomAngle, -40.0);
  // Only the point layer is on after a load.
  EXPECT_TRUE(g_bShowPoints);
  EXPECT_FALSE(g_bShowAxis || g_bShowVoxel || g_bShowGraph || g_bShowTree);
  EXPECT_GT(g_voxelVolume.cellCount, 0u);
  EXPECT_DOUBLE_EQ(g_voxelVolume.voxelSize, 0.18);
  // Leaf model colours were taken over from the file.
  EXPECT_FLOAT_EQ(g_fBranchColor[0], 60.0f / 255.0f);
}

TEST_F(ModelFoldersTest, ModelSwitchResetsSettingsAndMapsLeafModels) {
  writePointModels(4);
  writeLeafModels(6);
  WorkingFolder cwd(dir_.path());
  loadStartupModels();
  g_dAngle1 = 10;
  g_dSearchRadius = 3;
  g_dLeafSize = 1;
  g_dConstraintAngle = 45;  // not part of the reset
  g_dPointOffsetX = 4;
  const int expectedLeaf[] = {1, 5, 2, 2};
  for (int index = 0; index < 4; ++index) {
    StdoutCapture out;
    selectModel(index);
    std::string text = out.text();
    std::string line =
        "g_nCurrSelected=" + std::to_string(index) + ", g_nCurrLeafModel=" + std::to_string(expectedLeaf[index]);
    EXPECT_NE(text.find(line), std::string::npos) << text;
    EXPECT_EQ(g_nCurrSelected, index);
    EXPECT_EQ(g_nCurrLeafModel, expectedLeaf[index]);
  }
  EXPECT_DOUBLE_EQ(g_dAngle1, 70);
  EXPECT_DOUBLE_EQ(g_dSearchRadius, 1.2);
  EXPECT_DOUBLE_EQ(g_dLeafSize, 0.13);
  EXPECT_DOUBLE_EQ(g_dVoxelSize, 0.2);
  EXPECT_DOUBLE_EQ(g_dFieldBottomAngle, -30);
  EXPECT_DOUBLE_EQ(g_dPointOffsetX, 0);
  EXPECT_DOUBLE_EQ(g_dConstraintAngle, 45);
  EXPECT_DOUBLE_EQ(g_voxelVolume.voxelSize, 0.2);
}

TEST_F(ModelFoldersTest, HeaderOfTheNewFileOverridesTheResetVoxelSize) {
  dir_.write("data/point_model/a.txt", syntheticTreeText(20, "#\nresolution=0.3\n"));
  writeLeafModels(6);
  WorkingFolder cwd(dir_.path());
  loadStartupModels();
  EXPECT_DOUBLE_EQ(g_dVoxelSize, 0.3);
  selectModel(0);
  EXPECT_DOUBLE_EQ(g_dVoxelSize, 0.3);
  EXPECT_DOUBLE_EQ(g_voxelVolume.voxelSize, 0.3);
}

// A mapped leaf index beyond the leaf list keeps the current leaf model instead of failing.
TEST_F(ModelFoldersTest, MappedLeafIndexBeyondListKeepsCurrentLeafModel) {
  writePointModels(2);
  writeLeafModels(2);
  WorkingFolder cwd(dir_.path());
  loadStartupModels();
  selectModel(0);
  EXPECT_EQ(g_nCurrLeafModel, 1);
  StdoutCapture out;
  selectModel(1);  // would map to leaf model 5
  EXPECT_EQ(g_nCurrLeafModel, 1);
  EXPECT_EQ(g_nCurrSelected, 1);
  EXPECT_TRUE(g_pointCloud.loaded);
  EXPECT_NE(out.text().find("g_nCurrSelected=1, g_nCurrLeafModel=1"), std::string::npos);
}

// An empty point-model folder must not crash or load anything.
TEST_F(ModelFoldersTest, EmptyPointFolderSkipsTheLoad) {
  writeLeafModels(6);
  fs::create_directories(dir_.file("data/point_model"));
  WorkingFolder cwd(dir_.path());
  StdoutCapture out;
  loadStartupModels();
  selectModel(0);
  EXPECT_NE(out.text().find("Empty folder!\n"), std::string::npos);
  EXPECT_FALSE(g_pointCloud.loaded);
  EXPECT_TRUE(g_pointModelNames.empty());
}

TEST_F(ModelFoldersTest, ExportWritesTreeFileNamedAfterTheCloud) {
  dir_.write("data/point_model/a.txt", syntheticTreeText(40));
  writeLeafModels(6);
  WorkingFolder cwd(dir_.path());
  loadStartupModels();
  EXPECT_FALSE(exportModel());  // nothing built yet: nothing written
  EXPECT_FALSE(fileExists("data/tree_model/a.txt"));
  g_voxelVolume.thin();
  g_reconstructor.buildVoxelGraph(g_voxelVolume);
  ASSERT_TRUE(g_reconstructor.reconstruct());
  ASSERT_TRUE(exportModel());
  std::string text = readFile("data/tree_model/a.txt");
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(std::to_string(g_reconstructor.model.branches.size()) + "\n", text.substr(0, text.find('\n') + 1));
}
