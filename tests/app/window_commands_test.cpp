// The window's additions without a window: framing after a load and on key v, mouse moves
// composing with the view keys, the export message, progress reports and the help texts.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/globals.h"
#include "app/message_log.h"
#include "app/model_folders.h"
#include "app/panel_help.h"
#include "app/panel_registry.h"
#include "app/pipeline.h"
#include "app/progress.h"
#include "app_test_data.h"
#include "settings/settings.h"
#include "support/fresh_globals.h"

namespace fs = std::filesystem;

namespace {

using WindowCommands = FreshGlobals;

bool load(const std::string& path) {
  StdoutCapture quiet;
  return loadPointCloud(path);
}

bool startView() {
  return g_fRotX == 10.0f && g_fRotY == 0.0f && g_fRotZ == 0.0f && g_fCamX == 0.0f && g_fCamY == -10.0f &&
         g_fCamZ == -20.0f;
}

// The larger share of the window the model takes in the current view.
double viewShare() {
  const BoxInView v = boxInView(currentViewPose(), g_nWindowWidth, g_nWindowHeight, modelViewBox());
  return std::max(v.widthShare, v.heightShare);
}

}  // namespace

// The bundled 16-unit models keep the start view after a load (so the start state stays as it
// is); the metric ones, which show small in it, are framed; either way the model is in view.
TEST_F(WindowCommands, ALoadFramesTheCloudUnlessTheStartViewShowsIt) {
  int framed = 0;
  for (const std::string& path : cloudFiles(std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model")) {
    SCOPED_TRACE(path);
    resetView();
    ASSERT_TRUE(load(path));
    const bool scaledTo16 = g_pointCloud.scale != 1.0;
    frameLoadedModel();
    EXPECT_TRUE(!scaledTo16 || startView());
    framed += !startView();
    EXPECT_GE(viewShare(), 0.6);
    EXPECT_TRUE(poseShowsBox(currentViewPose(), g_nWindowWidth, g_nWindowHeight, modelViewBox()));
  }
  EXPECT_GT(framed, 0) << "no bundled metric model needed framing";
}

// v frames from any view, keeping the rotation; mouse moves and view keys change the same
// values, so they add up.
TEST_F(WindowCommands, KeyVFramesAndMouseMovesComposeWithTheViewKeys) {
  TempDir dir;
  ASSERT_TRUE(load(dir.write("tree.txt", treeCloud())));
  g_fRotY = 30.0f, g_fCamZ = -300.0f;
  EXPECT_TRUE(keyboardCommand('v') && g_fRotY == 30.0f);
  EXPECT_TRUE(boxInView(currentViewPose(), g_nWindowWidth, g_nWindowHeight, modelViewBox()).inside);
  EXPECT_NEAR(viewShare(), 0.9, 1e-3);

  orbitByDrag(25.0, 0.0);
  keyboardCommand('a');
  EXPECT_FLOAT_EQ(g_fRotY, 30.0f + 25.0f * 0.4f + 5.0f);
  const float camX = g_fCamX, camZ = g_fCamZ;
  panByDrag(0.0, 10.0);
  EXPECT_EQ(g_fCamX, camX);
  zoomByWheel(g_nWindowWidth / 2.0, g_nWindowHeight / 2.0, 1.0);
  EXPECT_GT(g_fCamZ, camZ);  // closer
  EXPECT_TRUE(keyboardCommand('x') && keyboardCommand('r') && startView());

  // Without a cloud v changes nothing.
  g_pointCloud.clear();
  g_fCamZ = -300.0f;
  EXPECT_TRUE(keyboardCommand('v') && g_fCamZ == -300.0f);
}

// A load and a reconstruction report their stages in order, with shares that only grow.
// The window says where the export went, or why nothing was written; the console keeps the
// export's own lines. Command scopes nest and the hook sees the outermost only.
TEST_F(WindowCommands, StagesAndExportShowInTheWindowAndCommandsNest) {
  TempDir dir;
  makeModelFolders(dir, 1);
  WorkingFolder cwd(dir.path());
  g_pointModelNames = {"m0.txt"};
  g_nCurrSelected = 0;
  std::string console;
  auto exportTree = [&] {
    StdoutCapture out;
    const bool ok = exportTreeCommand();
    console = out.text();
    return ok;
  };
  EXPECT_FALSE(exportTree());
  EXPECT_EQ(console, "");
  EXPECT_TRUE(!windowMessages().messages().empty() && windowMessages().messages().back().kind == MessageKind::Warning);
  EXPECT_TRUE(fs::is_empty(dir.file("data/tree_model")));

  static std::vector<std::pair<std::string, double>> reports;
  reports.clear();
  setProgressHook([](const char* stage, double fraction) { reports.emplace_back(stage, fraction); });
  const unsigned loadsBefore = pointCloudLoadCount();
  {
    StdoutCapture quiet;
    ASSERT_TRUE(loadPointCloud("./data/point_model/m0.txt"));
    ASSERT_TRUE(runReconstruction());
  }
  EXPECT_EQ(pointCloudLoadCount(), loadsBefore + 1);
  std::vector<std::string> stages;
  for (const auto& r : reports) stages.push_back(r.first);
  EXPECT_EQ(stages,
            (std::vector<std::string>{"Reading the point cloud", "Building the voxel grid", "Thinning the voxels",
                                      "Building the voxel graph", "Growing the skeleton"}));
  EXPECT_TRUE(std::is_sorted(reports.begin() + 2, reports.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; }));

  EXPECT_TRUE(exportTree());
  EXPECT_FALSE(contains(console, "Exported"));
  EXPECT_TRUE(fileExists(dir.file("data/tree_model/m0.txt")));
  EXPECT_EQ(windowMessages().messages().back().text, "Exported ./data/tree_model/m0.txt");
  EXPECT_EQ(windowMessages().messages().back().kind, MessageKind::Done);

  static std::vector<bool> calls;
  calls.clear();
  setCommandHook([](bool begins) { calls.push_back(begins); });
  { CommandScope outer, inner; }
  EXPECT_EQ(calls, (std::vector<bool>{true, false}));
}

TEST(RunProgress, PlaceElapsedAndTimeLeft) {
  EXPECT_EQ(runProgressText(1, 4, 12.0), "file 1 of 4, 12 s elapsed, about 36 s left");
  EXPECT_EQ(runProgressText(3, 4, 150.0), "file 3 of 4, 2 min 30 s elapsed, about 50 s left");
  EXPECT_EQ(runProgressText(4, 4, 0.4), "file 4 of 4, 0.4 s elapsed");
  EXPECT_EQ(runProgressText(1, 100, 4000.0), "file 1 of 100, 1 h 07 min elapsed, about 110 h 00 min left");
  EXPECT_EQ(durationText(-1.0), "0.0 s");
}

// Every entry says what it does; every number names its unit.
TEST(PanelHelp, EveryEntryHasADescriptionAndNumbersAUnit) {
  for (const PanelEntry& e : panelEntries()) {
    SCOPED_TRACE(e.name);
    const EntryDescription d = panelEntryDescription(e.name);
    EXPECT_FALSE(d.what.empty());
    EXPECT_TRUE(e.kind != PanelKind::Double || e.access == PanelAccess::ReadOnly || !d.unit.empty());
    const std::string tip = panelEntryTooltip(e);
    EXPECT_EQ(tip.find(panelTooltip(e)), 0u);  // the entry's own help text first
    EXPECT_NE(tip.find(d.what), std::string::npos);
  }
}
