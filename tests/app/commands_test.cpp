#include "app/commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/panel_registry.h"
#include "settings/settings.h"
#include "app_test_data.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> g_windowCalls;
int g_exitStatus = -1;
int g_listBuilds = 0;

void pressKeys(unsigned char key, int times) {
  for (int i = 0; i < times; ++i) keyboardCommand(key);
}

template <auto* Global>
double valueOf() {
  return double(*Global);
}

void recordCall(const char* what, int a, int b) {
  g_windowCalls.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b));
}

bool wholeMilliseconds(double seconds) {
  return std::fabs(seconds * 1000.0 - std::round(seconds * 1000.0)) < 1e-6;
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
    TreeModel::listBuilder = [](TreeModel&) { ++g_listBuilds; };
    WindowOps ops;
    ops.position = [](int x, int y) { recordCall("position", x, y); };
    ops.reshape = [](int w, int h) { recordCall("reshape", w, h); };
    ops.fullScreen = [] { g_windowCalls.push_back("fullScreen"); };
    ops.exit = [](int status) { g_exitStatus = status; };
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

// Each row starts from the start view (rotation 10, 0, 0; camera 0, -10, -20; offset 0).
TEST_F(Commands, ViewKeysMoveByTheirStepWithoutWrapping) {
  const struct {
    int key;
    bool special;
    int times;
    double (*value)();
    double expected;
  } cases[] = {{'a', false, 80, valueOf<&g_fRotY>, 400},
               {'d', false, 3, valueOf<&g_fRotY>, -15},
               {'w', false, 2, valueOf<&g_fRotX>, 20},
               {'s', false, 5, valueOf<&g_fRotX>, -15},
               {'q', false, 4, valueOf<&g_fRotZ>, 20},
               {'e', false, 80, valueOf<&g_fRotZ>, -400},
               {'z', false, 3, valueOf<&g_fCamZ>, -18.5},
               {'x', false, 1, valueOf<&g_fCamZ>, -20.5},
               {kSpecialKeyLeft, true, 1, valueOf<&g_fCamX>, -0.5},
               {kSpecialKeyRight, true, 2, valueOf<&g_fCamX>, 1.0},
               {kSpecialKeyUp, true, 1, valueOf<&g_fCamY>, -9.5},
               {kSpecialKeyDown, true, 2, valueOf<&g_fCamY>, -11.0},
               {'8', false, 3, valueOf<&g_dPointOffsetX>, -3},
               {'9', false, 1, valueOf<&g_dPointOffsetX>, 1}};
  for (const auto& c : cases) {
    resetSettingsToStartValues();
    for (int i = 0; i < c.times; ++i)
      EXPECT_TRUE(c.special ? specialKeyCommand(c.key) : keyboardCommand(static_cast<unsigned char>(c.key)));
    EXPECT_EQ(c.value(), c.expected) << "key " << c.key << " x" << c.times;
  }
}

TEST_F(Commands, ViewResetRestoresEveryViewValueOnly) {
  g_fRotX = g_fRotY = g_fRotZ = g_fCamX = g_fCamY = g_fCamZ = 7.0f;
  g_dPointOffsetX = 7;
  g_bShowAxis = false;
  EXPECT_TRUE(keyboardCommand('r'));
  EXPECT_EQ((std::vector<float>{g_fRotX, g_fRotY, g_fRotZ, g_fCamX, g_fCamY, g_fCamZ}),
            (std::vector<float>{10.0f, 0.0f, 0.0f, 0.0f, -10.0f, -20.0f}));
  EXPECT_EQ(g_dPointOffsetX, 0.0);
  EXPECT_FALSE(g_bShowAxis);
}

// ',' grows the marker by 0.02; '.' shrinks it by 0.02 only while it is above 0.04.
TEST_F(Commands, MarkerSizeKeysStopAt004) {
  for (auto [start, key, times, expected] :
       {std::tuple{0.3, ',', 1, 0.32}, {0.06, '.', 2, 0.04}, {0.04, '.', 1, 0.04}, {0.3, '.', 40, 0.04}}) {
    g_reconstructor.markerSize = start;
    pressKeys(key, times);
    EXPECT_NEAR(g_reconstructor.markerSize, expected, 1e-12) << start << " " << key << " x" << times;
  }
}

TEST_F(Commands, SwitchKeysToggleAndLevelLinesRedrawABuiltTree) {
  const std::pair<unsigned char, bool*> switches[] = {
      {'m', &g_bShowGroundPoints}, {'n', &g_bShowDirections}, {'1', &g_bShowPoints}, {'2', &g_bShowAxis},
      {'3', &g_bShowVoxel},        {'4', &g_bShowGraph},      {'5', &g_bShowTree},   {'7', &g_bLevelLines}};
  for (const auto& [key, flag] : switches) {
    for (int round = 0; round < 2; ++round) {
      const bool before = *flag;
      EXPECT_TRUE(keyboardCommand(key));
      EXPECT_EQ(*flag, !before) << key;
    }
  }
  EXPECT_EQ(g_listBuilds, 0);  // no tree yet
  g_reconstructor.model.built = true;
  keyboardCommand('7');
  EXPECT_EQ(g_listBuilds, 1);
}

TEST_F(Commands, KeysWithoutACommandChangeNothingAndEscEndsWithStatusZero) {
  for (unsigned char key : {'b', 'c', 'y', '6', '0', 'A', ' ', '<'}) EXPECT_FALSE(keyboardCommand(key)) << key;
  for (int key : {kSpecialKeyInsert, kSpecialKeyF7, 5}) EXPECT_FALSE(specialKeyCommand(key)) << key;
  EXPECT_EQ(g_fRotY, 0.0f);
  EXPECT_TRUE(g_windowCalls.empty());
  EXPECT_EQ(g_exitStatus, -1);
  EXPECT_TRUE(keyboardCommand(kKeyEscape));
  EXPECT_EQ(g_exitStatus, 0);
}

// F10 and the panel's "Fullscreen" entry share one state and one saved size.
TEST_F(Commands, FullScreenToggleSavesAndRestoresTheWindowSize) {
  g_nWindowWidth = 1280;
  g_nWindowHeight = 720;
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyF10));
  EXPECT_TRUE(g_bFullscreen);
  ASSERT_TRUE(panelSetNumber("Fullscreen", 1.0));  // already on: no second switch
  g_nWindowWidth = 1920;                           // the full-screen size reported by the reshape
  g_nWindowHeight = 1080;
  EXPECT_TRUE(panelApplyShortcut("F10"));
  EXPECT_FALSE(g_bFullscreen);
  EXPECT_EQ(g_windowCalls,
            (std::vector<std::string>{"position 0 0", "fullScreen", "position 4 35", "reshape 1280 720"}));
  ASSERT_TRUE(panelSetNumber("Fullscreen", 1.0));
  EXPECT_TRUE(g_bFullscreen);
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyF10));
  EXPECT_EQ(g_windowCalls.back(), "reshape 1920 1080");
}

TEST_F(Commands, F1AndF2StartAndStopCapture) {
  TempDir dir;
  const std::string folder = g_recorder.folder;
  g_recorder.folder = dir.path() + "/images/";
  StdoutCapture out;
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyF1));
  EXPECT_TRUE(g_bCapturing && g_recorder.recording);
  EXPECT_EQ(g_recorder.frameCount, 0);
  EXPECT_TRUE(fileExists(g_recorder.folder));
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyF2));
  EXPECT_FALSE(g_bCapturing || g_recorder.recording);
  EXPECT_EQ(out.text(), "Start capturing...\nStop capturing...\n");
  g_recorder.folder = folder;
}

TEST_F(Commands, MenuEntries) {
  ASSERT_EQ(kMenuEntryCount, 3);
  const char* labels[] = {"Delete(key=Delete)", "Insert(key=Insert)", "Construct Branches(key='b')"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(kMenuEntries[i].label, labels[i]);
    EXPECT_EQ(kMenuEntries[i].value, i);
  }
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
  auto occupied = [] {
    uint32_t n = 0;
    for (uint8_t label : g_voxelVolume.labels) n += label != 0;
    return n;
  };
  const uint32_t occupiedBefore = occupied();
  g_bShowPoints = g_bShowGraph = g_bShowPathTree = true;
  g_bShowTree = false;
  g_dRunTime = 99.0;

  StdoutCapture out;
  ASSERT_TRUE(panelApplyShortcut("b"));
  EXPECT_LT(occupied(), occupiedBefore);  // thinned
  EXPECT_EQ(g_reconstructor.nVoxels, occupied());
  EXPECT_FALSE(g_reconstructor.model.segments.empty());
  EXPECT_TRUE(g_bShowTree);
  EXPECT_FALSE(g_bShowGraph || g_bShowPathTree || g_bShowPoints);
  EXPECT_GE(g_dRunTime, 0.0);
  EXPECT_LT(g_dRunTime, 99.0);
  EXPECT_TRUE(wholeMilliseconds(g_dRunTime)) << g_dRunTime;

  // p builds the shortest-path tree and shows it; f regrows the tree, timed the same way.
  keyboardCommand('p');
  EXPECT_TRUE(g_bShowPathTree);
  g_dRunTime = 99.0;
  keyboardCommand('f');
  out.text();
  EXPECT_LT(g_dRunTime, 99.0);
  EXPECT_TRUE(wholeMilliseconds(g_dRunTime)) << g_dRunTime;
}
