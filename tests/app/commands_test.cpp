#include "app/commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "app/globals.h"
#include "app/panel_registry.h"
#include "app/settings.h"
#include "app_test_data.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> g_windowCalls;
int g_exitStatus = -1;

void recordPosition(int x, int y) {
  g_windowCalls.push_back("position " + std::to_string(x) + " " + std::to_string(y));
}
void recordReshape(int w, int h) {
  g_windowCalls.push_back("reshape " + std::to_string(w) + " " + std::to_string(h));
}
void recordFullScreen() {
  g_windowCalls.push_back("fullScreen");
}
void recordExit(int status) {
  g_exitStatus = status;
}

int g_listBuilds = 0;
void countListBuild(TreeModel&) {
  ++g_listBuilds;
}

void pressKeys(unsigned char key, int times) {
  for (int i = 0; i < times; ++i) keyboardCommand(key);
}

class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSettingsToStartValues();
    g_reconstructor.clear();
    g_reconstructor.model.clear();
    g_windowCalls.clear();
    g_exitStatus = -1;
    g_listBuilds = 0;
    TreeModel::listBuilder = countListBuild;
    WindowOps ops;
    ops.position = recordPosition;
    ops.reshape = recordReshape;
    ops.fullScreen = recordFullScreen;
    ops.exit = recordExit;
    setWindowOps(ops);
  }
  void TearDown() override {
    setWindowOps(WindowOps{});
    TreeModel::listBuilder = nullptr;
    g_reconstructor.clear();
    g_reconstructor.model.clear();
    g_pointCloud.reset();
    g_voxelVolume.reset();
    resetSettingsToStartValues();
  }
};

}  // namespace

TEST_F(Commands, RotationKeysAreNotWrapped) {
  pressKeys('a', 80);
  EXPECT_EQ(g_fRotY, 400.0f);
  pressKeys('d', 3);
  EXPECT_EQ(g_fRotY, 385.0f);
  pressKeys('w', 2);
  EXPECT_EQ(g_fRotX, 20.0f);
  pressKeys('s', 5);
  EXPECT_EQ(g_fRotX, -5.0f);
  pressKeys('q', 4);
  EXPECT_EQ(g_fRotZ, 20.0f);
  pressKeys('e', 80);
  EXPECT_EQ(g_fRotZ, -380.0f);
}

TEST_F(Commands, CameraAndPointOffsetKeys) {
  pressKeys('z', 3);
  EXPECT_EQ(g_fCamZ, -18.5f);
  pressKeys('x', 1);
  EXPECT_EQ(g_fCamZ, -19.0f);
  pressKeys('8', 3);
  EXPECT_EQ(g_dPointOffsetX, -3.0);
  pressKeys('9', 1);
  EXPECT_EQ(g_dPointOffsetX, -2.0);
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyLeft));
  EXPECT_EQ(g_fCamX, -0.5f);
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyRight));
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyRight));
  EXPECT_EQ(g_fCamX, 0.5f);
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyUp));
  EXPECT_EQ(g_fCamY, -9.5f);
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyDown));
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyDown));
  EXPECT_EQ(g_fCamY, -10.5f);
}

TEST_F(Commands, ViewResetRestoresEveryViewValue) {
  g_fRotX = 1;
  g_fRotY = 2;
  g_fRotZ = 3;
  g_fCamX = 4;
  g_fCamY = 5;
  g_fCamZ = 6;
  g_dPointOffsetX = 7;
  g_bShowAxis = false;
  EXPECT_TRUE(keyboardCommand('r'));
  EXPECT_EQ(g_fRotX, 10.0f);
  EXPECT_EQ(g_fRotY, 0.0f);
  EXPECT_EQ(g_fRotZ, 0.0f);
  EXPECT_EQ(g_fCamX, 0.0f);
  EXPECT_EQ(g_fCamY, -10.0f);
  EXPECT_EQ(g_fCamZ, -20.0f);
  EXPECT_EQ(g_dPointOffsetX, 0.0);
  EXPECT_FALSE(g_bShowAxis);  // only the view
  g_fRotY = 50;
  ASSERT_TRUE(panelPressButton("Reset scene"));
  EXPECT_EQ(g_fRotY, 0.0f);
}

TEST_F(Commands, MarkerSizeKeysStopAt004) {
  g_reconstructor.markerSize = 0.3;
  keyboardCommand(',');
  EXPECT_DOUBLE_EQ(g_reconstructor.markerSize, 0.32);
  g_reconstructor.markerSize = 0.06;
  keyboardCommand('.');
  EXPECT_DOUBLE_EQ(g_reconstructor.markerSize, 0.04);
  keyboardCommand('.');
  EXPECT_DOUBLE_EQ(g_reconstructor.markerSize, 0.04);
  g_reconstructor.markerSize = 0.04;
  keyboardCommand('.');
  EXPECT_EQ(g_reconstructor.markerSize, 0.04);
  // From the start value the size never drops below the floor.
  g_reconstructor.markerSize = 0.3;
  pressKeys('.', 40);
  EXPECT_NEAR(g_reconstructor.markerSize, 0.04, 1e-12);
}

TEST_F(Commands, SwitchKeysToggle) {
  const bool ground = g_bShowGroundPoints, directions = g_bShowDirections;
  keyboardCommand('m');
  EXPECT_EQ(g_bShowGroundPoints, !ground);
  keyboardCommand('n');
  EXPECT_EQ(g_bShowDirections, !directions);
  keyboardCommand('m');
  keyboardCommand('n');
  EXPECT_EQ(g_bShowGroundPoints, ground);
  EXPECT_EQ(g_bShowDirections, directions);

  bool* layers[] = {&g_bShowPoints, &g_bShowAxis, &g_bShowVoxel, &g_bShowGraph, &g_bShowTree};
  for (int i = 0; i < 5; ++i) {
    const bool before = *layers[i];
    EXPECT_TRUE(keyboardCommand(static_cast<unsigned char>('1' + i)));
    EXPECT_EQ(*layers[i], !before) << i;
  }
}

TEST_F(Commands, LevelLinesKeyTogglesAndRedrawsABuiltTree) {
  keyboardCommand('7');
  EXPECT_TRUE(g_bLevelLines);
  EXPECT_EQ(g_listBuilds, 0);  // no tree yet
  g_reconstructor.model.built = true;
  keyboardCommand('7');
  EXPECT_FALSE(g_bLevelLines);
  EXPECT_EQ(g_listBuilds, 1);
}

TEST_F(Commands, KeysWithoutACommandChangeNothing) {
  const float rotY = g_fRotY;
  for (unsigned char key : {'b', 'c', 'y', '6', '0', 'A', ' ', '<'}) EXPECT_FALSE(keyboardCommand(key)) << key;
  EXPECT_FALSE(specialKeyCommand(kSpecialKeyInsert));
  EXPECT_FALSE(specialKeyCommand(kSpecialKeyF7));  // a panel shortcut, not a command
  EXPECT_FALSE(specialKeyCommand(5));
  EXPECT_EQ(g_fRotY, rotY);
  EXPECT_TRUE(g_windowCalls.empty());
}

TEST_F(Commands, EscEndsWithStatusZero) {
  EXPECT_TRUE(keyboardCommand(kKeyEscape));
  EXPECT_EQ(g_exitStatus, 0);
}

TEST_F(Commands, FullScreenToggleSavesAndRestoresTheWindowSize) {
  g_nWindowWidth = 1280;
  g_nWindowHeight = 720;
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyF10));
  EXPECT_TRUE(g_bFullscreen);
  EXPECT_EQ(g_nSavedWindowWidth, 1280);
  EXPECT_EQ(g_nSavedWindowHeight, 720);
  g_nWindowWidth = 1920;
  g_nWindowHeight = 1080;
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyF10));
  EXPECT_FALSE(g_bFullscreen);
  EXPECT_EQ(g_windowCalls,
            (std::vector<std::string>{"position 0 0", "fullScreen", "position 4 35", "reshape 1280 720"}));
}

TEST_F(Commands, F1AndF2StartAndStopCapture) {
  TempDir dir;
  const std::string folder = g_recorder.folder;
  g_recorder.folder = dir.path() + "/images/";
  StdoutCapture out;
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyF1));
  EXPECT_TRUE(g_bCapturing);
  EXPECT_TRUE(g_recorder.recording);
  EXPECT_EQ(g_recorder.frameCount, 0);
  EXPECT_TRUE(fileExists(g_recorder.folder));
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyF2));
  EXPECT_FALSE(g_bCapturing);
  EXPECT_FALSE(g_recorder.recording);
  EXPECT_EQ(out.text(), "Start capturing...\nStop capturing...\n");
  g_recorder.folder = folder;
}

TEST_F(Commands, MenuEntries) {
  ASSERT_EQ(kMenuEntryCount, 3);
  EXPECT_STREQ(kMenuEntries[0].label, "Delete(key=Delete)");
  EXPECT_EQ(kMenuEntries[0].value, 0);
  EXPECT_STREQ(kMenuEntries[1].label, "Insert(key=Insert)");
  EXPECT_EQ(kMenuEntries[1].value, 1);
  EXPECT_STREQ(kMenuEntries[2].label, "Construct Branches(key='b')");
  EXPECT_EQ(kMenuEntries[2].value, 2);
  // Without a graph the delete entry does nothing; 1 and 2 never do anything.
  for (int value : {0, 1, 2, 7}) menuCommand(value);
  EXPECT_EQ(g_reconstructor.rootVoxel, -1);
  EXPECT_TRUE(g_windowCalls.empty());
}

// The whole reconstruct sequence on a real cloud: thin, graph, timed growth, layer switches.
TEST_F(Commands, ReconstructBuildsTheTreeAndShowsItAlone) {
  ASSERT_TRUE(g_pointCloud.parseTextCloud("tree.txt", syntheticTreeText(40)));
  g_dVoxelSize = 0.2;
  g_voxelVolume.build(g_pointCloud, g_dVoxelSize);
  uint32_t occupiedBefore = 0;
  for (uint8_t label : g_voxelVolume.labels) occupiedBefore += label != 0;
  g_bShowPoints = g_bShowGraph = g_bShowPathTree = true;
  g_bShowTree = false;
  g_dRunTime = 99.0;

  StdoutCapture out;
  ASSERT_TRUE(panelApplyShortcut("b"));
  out.text();
  uint32_t occupiedAfter = 0;
  for (uint8_t label : g_voxelVolume.labels) occupiedAfter += label != 0;
  EXPECT_LT(occupiedAfter, occupiedBefore);  // thinned
  EXPECT_EQ(g_reconstructor.nVoxels, occupiedAfter);
  EXPECT_FALSE(g_reconstructor.model.segments.empty());
  EXPECT_TRUE(g_bShowTree);
  EXPECT_FALSE(g_bShowGraph || g_bShowPathTree || g_bShowPoints);
  // Whole milliseconds in seconds.
  EXPECT_GE(g_dRunTime, 0.0);
  EXPECT_LT(g_dRunTime, 99.0);
  EXPECT_NEAR(g_dRunTime * 1000.0, std::round(g_dRunTime * 1000.0), 1e-6);

  // p builds the shortest-path tree over the graph and shows it.
  StdoutCapture path;
  keyboardCommand('p');
  path.text();
  EXPECT_TRUE(g_bShowPathTree);

  // f regrows the tree and times it the same way.
  g_dRunTime = 99.0;
  StdoutCapture refine;
  keyboardCommand('f');
  refine.text();
  EXPECT_LT(g_dRunTime, 99.0);
  EXPECT_NEAR(g_dRunTime * 1000.0, std::round(g_dRunTime * 1000.0), 1e-6);
}
