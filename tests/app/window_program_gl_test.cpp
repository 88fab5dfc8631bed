// What a user of 3D tools expects of the window, through the real program under the test
// display: the mouse moves the scene and not the panel, a cloud in metres fills the view,
// messages and the export path show in the window.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "app_test_data.h"
#include "support/program_runner.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

// The panel column (bar and message box) and the scene right of it.
constexpr int kColumnLeft = 16, kColumnRight = 376, kSceneLeft = 400;
constexpr int kBarBottom = 680;  // the bar's entries end below this at 1600 x 900
constexpr int kInfoTop = 740;    // the message box starts below this
// Message colours of the box: errors, done.
constexpr int kErrorText[3] = {255, 115, 115}, kDoneText[3] = {128, 230, 128};
// A full-width button over the bar's colour.
constexpr int kButton[3] = {107, 127, 138};
constexpr int kButtonProbeX = 100;

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

bool near(const unsigned char* p, const int c[3], int tol) {
  return std::abs(p[0] - c[0]) <= tol && std::abs(p[1] - c[1]) <= tol && std::abs(p[2] - c[2]) <= tol;
}

// Pixels that differ by more than a little between two shots, in a rectangle.
size_t changed(const Screenshot& a, const Screenshot& b, int x0, int y0, int x1, int y1) {
  size_t n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const unsigned char *p = a.at(x, y), *q = b.at(x, y);
      n += std::abs(p[0] - q[0]) > 24 || std::abs(p[1] - q[1]) > 24 || std::abs(p[2] - q[2]) > 24;
    }
  return n;
}

size_t countNear(const Screenshot& s, const int c[3], int x0, int y0, int x1, int y1) {
  return s.countColour(x0, y0, x1, y1, c[0], c[1], c[2], 3);
}

// A drawn frame: the white background shows in the scene's corner.
bool frameDrawn(const Screenshot& s) {
  const unsigned char* p = s.at(s.width - 40, s.height - 10);
  return p[0] == 255 && p[1] == 255 && p[2] == 255;
}

// First and last rows of the scene holding drawn (not white) pixels: the model's height on
// screen (0 before a frame is drawn).
int drawnRows(const Screenshot& s) {
  if (!frameDrawn(s)) return 0;
  int top = -1, bottom = -1;
  for (int y = 0; y < s.height; ++y) {
    int n = 0;
    for (int x = kSceneLeft; x < s.width; ++x) {
      const unsigned char* p = s.at(x, y);
      n += p[0] < 200 || p[1] < 200 || p[2] < 200;
    }
    if (n >= 2) {
      if (top < 0) top = y;
      bottom = y;
    }
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
    program_->key("Escape");
    EXPECT_EQ(program_->waitExit(30), 0) << program_->output();
  }
  void xdotool(const std::string& args) { program_->runX("xdotool " + args + " 2>/dev/null", nullptr); }
  void parkPointer() { xdotool("mousemove --window " + program_->windowId() + " 1550 880"); }
  Screenshot shotWhen(const std::function<bool(const Screenshot&)>& ready, double seconds = 15.0) {
    const auto t0 = std::chrono::steady_clock::now();
    Screenshot shot = program_->screenshot();
    while (!(shot.valid() && ready(shot)) && secondsSince(t0) < seconds) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      shot = program_->screenshot();
    }
    return shot;
  }
  // y of the lowest full-width button of the bar ("Export tree model"), or -1.
  int lowestButtonY(const Screenshot& s) {
    int runEnd = -1, run = 0;
    for (int y = kInfoTop; y > kColumnLeft; --y) {
      if (near(s.at(kButtonProbeX, y), kButton, 3)) {
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
  const Screenshot before = shotWhen([](const Screenshot& s) { return drawnRows(s) > 300; });
  ASSERT_GT(drawnRows(before), 300) << program_->output();
  const std::string w = "--window " + program_->windowId();
  xdotool("mousemove " + w + " 1000 450 mousedown 1 sleep 0.2 mousemove " + w + " 1080 470 sleep 0.2 mousemove " + w +
          " 1160 490 sleep 0.2 mouseup 1");
  parkPointer();
  auto sceneMoved = [&before](const Screenshot& s) {
    return changed(before, s, kSceneLeft, 0, s.width, s.height) > 2000;
  };
  const Screenshot dragged = shotWhen(sceneMoved);
  EXPECT_TRUE(sceneMoved(dragged)) << "the drag did not turn the scene";
  EXPECT_LT(changed(before, dragged, kColumnLeft, kColumnLeft, kColumnRight, kBarBottom), 50u);

  xdotool("mousemove " + w + " 1200 300 sleep 0.2 click 4");
  parkPointer();
  auto zoomed = [&dragged](const Screenshot& s) {
    return changed(dragged, s, kSceneLeft, 0, s.width, s.height) > 2000;
  };
  const Screenshot wheeled = shotWhen(zoomed);
  EXPECT_TRUE(zoomed(wheeled)) << "the wheel did not zoom";
  EXPECT_LT(changed(dragged, wheeled, kColumnLeft, kColumnLeft, kColumnRight, kBarBottom), 50u);

  // Over the panel the wheel is the panel's: the scene (away from any tooltip) stays.
  xdotool("mousemove " + w + " 200 300 sleep 0.2 click 5 sleep 0.6");
  const Screenshot overPanel = program_->screenshot();
  EXPECT_LT(changed(wheeled, overPanel, 700, 0, overPanel.width, overPanel.height), 50u);
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
  auto errorShown = [](const Screenshot& s) {
    return countNear(s, kErrorText, kColumnLeft, kInfoTop, kColumnRight, s.height) > 30;
  };
  EXPECT_TRUE(errorShown(shotWhen(errorShown))) << program_->output();

  program_->key("less");  // the next model
  ASSERT_TRUE(program_->waitForOutput("Number of points (./data/point_model/01_tree.txt)")) << program_->output();
  auto filled = [](const Screenshot& s) { return drawnRows(s) > 0.75 * s.height; };
  const Screenshot framed = shotWhen(filled);
  EXPECT_TRUE(filled(framed)) << drawnRows(framed) << " of " << framed.height << " rows";

  program_->key("b");
  ASSERT_TRUE(program_->waitForOutput("points have been visited!", 30)) << program_->output();
  const Screenshot panel = shotWhen([this](const Screenshot& s) { return lowestButtonY(s) > 0; });
  const int exportY = lowestButtonY(panel);
  ASSERT_GT(exportY, 0) << "no export button in view";
  xdotool("mousemove --window " + program_->windowId() + " 60 " + std::to_string(exportY) +
          " sleep 0.3 mousedown 1 sleep 0.3 mouseup 1 sleep 0.3");
  parkPointer();
  auto doneShown = [](const Screenshot& s) {
    return countNear(s, kDoneText, kColumnLeft, kInfoTop, kColumnRight, s.height) > 30;
  };
  EXPECT_TRUE(doneShown(shotWhen(doneShown))) << "no export line in the window";
  // The lowest button writes the scan formats.
  for (const char* name :
       {"01_tree_skeleton.ply", "01_tree_mesh.obj", "01_tree_cylinders.csv", "01_tree_measurements.json"})
    EXPECT_TRUE(fileExists(dir_.file(std::string("data/tree_model/") + name))) << name;
  EXPECT_EQ(program_->output().find("Exported"), std::string::npos) << "the console got a window-only line";
}
