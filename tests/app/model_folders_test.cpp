// The model folders: start-up, switching models with its settings reset and leaf model
// mapping, and an empty folder.

#include "app/model_folders.h"

#include "app/globals.h"
#include "app/pipeline.h"
#include "app_test_data.h"
#include "support/fresh_globals.h"

namespace fs = std::filesystem;

using ModelFolders = FreshGlobals;

// Start-up loads model 0 with leaf model 0 and shows the points alone; a switch resets a fixed
// set of settings (the file's header still wins), keeps the others and takes the leaf model
// mapped to the point model, keeping the current one when the mapped one does not exist.
TEST_F(ModelFolders, StartUpAndModelSwitch) {
  TempDir dir;
  makeModelFolders(dir, 3);
  dir.write("data/point_model/m2.txt", treeCloud("#\nresolution=0.3\n"));
  WorkingFolder cwd(dir.path());
  StdoutCapture out;
  loadStartupModels();
  EXPECT_EQ(currentModelPath(), "./data/point_model/m0.txt");
  EXPECT_TRUE(g_pointCloud.loaded && g_nCurrLeafModel == 0 && g_voxelVolume.voxelSize == 0.18);
  EXPECT_TRUE(g_bShowPoints && !g_bShowAxis && !g_bShowVoxel && !g_bShowGraph && !g_bShowTree);
  g_dLeafSize = 1, g_dPointOffsetX = 4, g_dConstraintAngle = 45;
  const int leaf[] = {1, 5, 2};
  for (int index : {1, 0, 2}) {
    selectModel(index);
    EXPECT_EQ(g_nCurrLeafModel, leaf[index]);
  }
  EXPECT_NE(out.text().find("g_nCurrSelected=1, g_nCurrLeafModel=5"), std::string::npos);
  EXPECT_TRUE(g_dLeafSize == 0.13 && g_dPointOffsetX == 0 && g_dFieldBottomAngle == -30) << "reset";
  EXPECT_EQ(g_dConstraintAngle, 45) << "kept";
  EXPECT_EQ(g_voxelVolume.voxelSize, 0.3) << "from the header";
  selectModel(0);
  EXPECT_EQ(g_voxelVolume.voxelSize, 0.2);
  g_leafModelNames.resize(2);
  selectModel(1);  // maps to leaf model 5, which is not there
  EXPECT_TRUE(g_nCurrLeafModel == 1 && g_nCurrSelected == 1);
}

TEST_F(ModelFolders, EmptyPointFolderLoadsNothing) {
  TempDir dir;
  makeModelFolders(dir, 0);
  fs::create_directories(dir.file("data/point_model"));
  WorkingFolder cwd(dir.path());
  StdoutCapture out;
  loadStartupModels();
  selectModel(0);
  EXPECT_EQ(out.text().find("Empty folder!\n"), 0u);
  EXPECT_TRUE(!g_pointCloud.loaded && g_pointModelNames.empty());
}
