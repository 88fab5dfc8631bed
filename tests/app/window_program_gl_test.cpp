// What a user of 3D tools expects of the window, through the real program under the test
// display: the mouse moves the scene and not the panel, a cloud in metres fills the view,
// messages and the export path show in the window.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>

#include "app_test_data.h"
#include "support/program_runner.h"
#include "support/test_support.h"

namespace {

// The panel column (bar and message box) and the scene right of it.
constexpr int kColumnLeft = 16, kColumnRight = 376, kSceneLeft = 400;
constexpr int kBarBottom = 680;  // the bar's entries end below this at 1600 x 900
constexpr int kInfoTop = 740;    // the message box starts below this
// Message colours of the box: errors, done.
constexpr int kErrorText[3] = {255, 115, 115}, kDoneText[3] = {128, 230, 128};
// A full-width button over the bar's colour.
constexpr int kButton[3] = {107, 127, 138}, kButtonProbeX = 100;

// Pixels that differ by more than a little between two shots, in the scene and in the bar.
size_t sceneChanged(const Screenshot& a, const Screenshot& b) {
  return a.countChanged(b, kSceneLeft, 0, a.width, a.height, 24);
}
size_t barChanged(const Screenshot& a, const Screenshot& b) {
  return a.countChanged(b, kColumnLeft, kColumnLeft, kColumnRight, kBarBottom, 24);
}

// Text of that colour in the message box.
bool messageShown(const Screenshot& s, const int colour[3]) {
  return s.countColour(kColumnLeft, kInfoTop, kColumnRight, s.height, colour[0], colour[1], colour[2], 3) > 30;
}

// First and last rows of the scene holding drawn (not white) pixels: the model's height on
// screen (0 before a frame is drawn, when the scene's corner is not the white background).
int drawnRows(const Screenshot& s) {
  if (s.countColour(s.width - 40, s.height - 10, s.width - 39, s.height - 9, 255, 255, 255, 0) == 0) return 0;
  int top = -1, bottom = -1;
  for (int y = 0; y < s.height; ++y) {
    // Two pixels darker than 200 in some channel: more than 55 from white.
    if (s.width - kSceneLeft - int(s.countColour(kSceneLeft, y, s.width, y + 1, 255, 255, 255, 55)) < 2) continue;
    if (top < 0) top = y;
    bottom = y;
  }
  return top < 0 ? 0 : bottom - top + 1;
}

class WindowProgram : public ::testing::Test {
 protected:
  void start(const std::string& pointModels = "") {
    program_ = std::make_unique<ProgramRunner>(dir_.path(), pointModels);
    ASSERT_TRUE(program_->start());
    ASSERT_FALSE(program_->waitForWindow().empty()) << program_->output();
    parkPointer();
  }
  void TearDown() override {
    if (!program_) return;
    program_->xdotool("key --window %w Escape");
    EXPECT_EQ(program_->waitExit(), 0) << program_->output();
  }
  void xdotool(const std::string& args) { program_->xdotool(args); }
  void parkPointer() { xdotool("mousemove --window %w 1550 880"); }
  // y of the lowest full-width button of the bar ("Export tree model"), or -1.
  int lowestButtonY(const Screenshot& s) {
    int runEnd = -1, run = 0;
    for (int y = kInfoTop; y > kColumnLeft; --y) {
      if (s.countColour(kButtonProbeX, y, kButtonProbeX + 1, y + 1, kButton[0], kButton[1], kButton[2], 3) == 1) {
        if (runEnd < 0) runEnd = y;
        ++run;
      } else if (runEnd >= 0) {
        if (run >= 15) return runEnd - run / 2;
        runEnd = -1, run = 0;
      }
    }
    return -1;
  }

  TempDir dir_;
  std::unique_ptr<ProgramRunner> program_;
};

}  // namespace

TEST_F(WindowProgram, LeftDragAndWheelMoveTheSceneAndLeaveThePanel) {
  ASSERT_NO_FATAL_FAILURE(start());
  const Screenshot drawn = program_->screenshotWhen([](const Screenshot& s) { return drawnRows(s) > 300; });
  ASSERT_GT(drawnRows(drawn), 300) << program_->output();
  // Each step compares shots of the settled window: one taken while a frame is still being
  // drawn differs anywhere.
  const Screenshot before = program_->steadyScreenshot();
  xdotool(
      "mousemove --window %w 1000 450 mousedown 1 sleep 0.2 mousemove --window %w 1080 470 sleep 0.2 "
      "mousemove --window %w 1160 490 sleep 0.2 mouseup 1");
  parkPointer();
  // Waits until the scene differs from `from`; false if it never does.
  auto movedFrom = [&](const Screenshot& from) {
    auto moved = [&from](const Screenshot& s) { return sceneChanged(from, s) > 2000; };
    return moved(program_->screenshotWhen(moved));
  };
  EXPECT_TRUE(movedFrom(before)) << "the drag did not turn the scene";
  const Screenshot dragged = program_->steadyScreenshot();
  EXPECT_LT(barChanged(before, dragged), 50u);

  xdotool("mousemove --window %w 1200 300 sleep 0.2 click 4");
  parkPointer();
  EXPECT_TRUE(movedFrom(dragged)) << "the wheel did not zoom";
  const Screenshot wheeled = program_->steadyScreenshot();
  EXPECT_LT(barChanged(dragged, wheeled), 50u);

  // Over the panel the wheel is the panel's: the scene (away from any tooltip) stays.
  xdotool("mousemove --window %w 200 300 sleep 0.2 click 5 sleep 0.6");
  const Screenshot overPanel = program_->steadyScreenshot();
  EXPECT_LT(wheeled.countChanged(overPanel, 700, 0, overPanel.width, overPanel.height, 24), 50u);
}

// The first model fails to load: its message shows in the window, marked as an error. The
// next, a 10 m tree in metres, fills most of the view's height (it would fill under half of
// it at the start view). Its exported files are named in the window.
TEST_F(WindowProgram, MessagesFramingAndExportPathShowInTheWindow) {
  TempDir models;
  models.write("00_broken.ply", "ply\nformat binary_big_endian 1.0\nend_header\n");
  models.write("01_tree.txt", treeCloud());
  ASSERT_NO_FATAL_FAILURE(start(models.path()));
  ASSERT_TRUE(program_->waitForOutput("ERROR: ")) << program_->output();
  auto errorShown = [](const Screenshot& s) { return messageShown(s, kErrorText); };
  EXPECT_TRUE(errorShown(program_->screenshotWhen(errorShown))) << program_->output();

  program_->xdotool("key --window %w less");  // the next model
  ASSERT_TRUE(program_->waitForOutput("Number of points (./data/point_model/01_tree.txt)")) << program_->output();
  auto filled = [](const Screenshot& s) { return drawnRows(s) > 0.75 * s.height; };
  const Screenshot framed = program_->screenshotWhen(filled);
  EXPECT_TRUE(filled(framed)) << drawnRows(framed) << " of " << framed.height << " rows";

  program_->xdotool("key --window %w b");
  ASSERT_TRUE(program_->waitForOutput("points have been visited!", 120)) << program_->output();
  const Screenshot panel = program_->screenshotWhen([this](const Screenshot& s) { return lowestButtonY(s) > 0; });
  const int exportY = lowestButtonY(panel);
  ASSERT_GT(exportY, 0) << "no export button in view";
  auto doneShown = [](const Screenshot& s) { return messageShown(s, kDoneText); };
  // The panel loses a press and release that fall into one frame (a slow one under load):
  // the click repeats, exporting the same file again, until the line shows.
  EXPECT_TRUE(waitUntil(120, [&] {
    xdotool("mousemove --window %w 60 " + std::to_string(exportY) + " sleep 0.3 mousedown 1 sleep 0.3 mouseup 1");
    parkPointer();
    return doneShown(program_->screenshotWhen(doneShown, 10));
  })) << "no export line in the window";
  // The lowest button writes the scan formats.
  for (const char* name :
       {"01_tree_skeleton.ply", "01_tree_mesh.obj", "01_tree_cylinders.csv", "01_tree_measurements.json"})
    EXPECT_TRUE(fileExists(dir_.file(std::string("data/tree_model/") + name))) << name;
  EXPECT_EQ(program_->output().find("Exported"), std::string::npos) << "the console got a window-only line";
}
