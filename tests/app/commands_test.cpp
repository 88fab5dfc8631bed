// The user commands without a window: reconstruction and regrowth through the keys, the
// shared full-screen state, the marker size floor, the panel's shortcut keys and Esc.

#include "app/commands.h"

#include <cmath>

#include "app/globals.h"
#include "app/panel_registry.h"
#include "app/pipeline.h"
#include "app_test_data.h"
#include "support/fresh_globals.h"

namespace {

std::vector<std::string> g_windowCalls;
int g_exitStatus = -1;

std::string pair(int a, int b) {
  return std::to_string(a) + " " + std::to_string(b);
}

class Commands : public FreshGlobals {
 protected:
  void SetUp() override {
    FreshGlobals::SetUp();
    g_windowCalls.clear();
    g_exitStatus = -1;
    WindowOps ops;
    ops.position = [](int x, int y) { g_windowCalls.push_back("position " + pair(x, y)); };
    ops.reshape = [](int w, int h) { g_windowCalls.push_back("reshape " + pair(w, h)); };
    ops.fullScreen = [] { g_windowCalls.push_back("fullScreen"); };
    ops.exit = [](int status) { g_exitStatus = status; };
    setWindowOps(ops);
  }
};

bool wholeMilliseconds(double seconds) {
  return std::fabs(seconds * 1000.0 - std::round(seconds * 1000.0)) < 1e-6;
}

}  // namespace

// b thins, builds the graph and grows the tree, then shows the tree layer alone with the
// growth time in whole milliseconds; p shows the shortest-path tree; f regrows, timed alike.
TEST_F(Commands, ReconstructShowsTheTreeAloneAndRegrowthIsTimed) {
  TempDir dir;
  StdoutCapture out;
  ASSERT_TRUE(loadPointCloud(dir.write("tree.txt", treeCloud()), {{"resolution", "0.2"}}));
  g_bShowGraph = g_bShowPathTree = true;
  g_dRunTime = 99.0;
  ASSERT_TRUE(panelApplyShortcut("b"));
  EXPECT_FALSE(g_reconstructor.model.segments.empty());
  EXPECT_TRUE(g_bShowTree && !g_bShowGraph && !g_bShowPathTree && !g_bShowPoints);
  EXPECT_TRUE(g_dRunTime < 99.0 && wholeMilliseconds(g_dRunTime)) << g_dRunTime;
  EXPECT_TRUE(keyboardCommand('p') && g_bShowPathTree);
  g_dRunTime = 99.0;
  EXPECT_TRUE(keyboardCommand('f'));
  EXPECT_TRUE(g_dRunTime < 99.0 && wholeMilliseconds(g_dRunTime)) << g_dRunTime;
}

// F10 and the panel's "Fullscreen" entry share one state and one saved window size.
TEST_F(Commands, FullScreenToggleSavesAndRestoresTheWindowSize) {
  g_nWindowWidth = 1280, g_nWindowHeight = 720;
  EXPECT_TRUE(specialKeyCommand(kSpecialKeyF10));
  ASSERT_TRUE(panelSetNumber("Fullscreen", 1.0));  // already on: no second switch
  g_nWindowWidth = 1920, g_nWindowHeight = 1080;
  EXPECT_TRUE(panelApplyShortcut("F10") && !g_bFullscreen);
  EXPECT_EQ(g_windowCalls,
            (std::vector<std::string>{"position 0 0", "fullScreen", "position 4 35", "reshape 1280 720"}));
}

TEST_F(Commands, MarkerFloorShortcutsAndEsc) {
  // ',' grows the marker by 0.02; '.' shrinks it only while it is above 0.04.
  g_reconstructor.markerSize = 0.06;
  for (int i = 0; i < 3; ++i) keyboardCommand('.');
  EXPECT_NEAR(g_reconstructor.markerSize, 0.04, 1e-12);
  // Key 0 belongs to "Show leaves", the later of the two entries naming it; "Speedup" keeps its value.
  EXPECT_TRUE(panelApplyShortcut("0") && !g_bShowLeaves && g_bSpeedup);
  for (unsigned char key : {'b', 'c', '0', '<'}) EXPECT_FALSE(keyboardCommand(key)) << key;
  EXPECT_EQ(g_exitStatus, -1);
  EXPECT_TRUE(keyboardCommand(kKeyEscape) && g_exitStatus == 0);
}
