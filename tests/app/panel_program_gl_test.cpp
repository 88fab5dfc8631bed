// The panel, the keys and frame capture in the real program under the test display.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "capture/bitmap.h"
#include "support/program_runner.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

// The panel: 360 wide at (16, 16), as tall as its entries (to y = 760 at 1600 x 900), colour
// 96, 64, 0 at alpha 192 over the white scene.
constexpr int kPanelLeft = 16, kPanelTop = 16, kPanelRight = 376, kPanelBottom = 760;
constexpr int kPanelR = 135, kPanelG = 111, kPanelB = 63;
// Widget centres in the panel (default ImGui font: 19-pixel rows 4 pixels apart below a
// 19-pixel title bar; combo items 17 pixels apart below the combo).
constexpr int kValueColumnX = 240;
constexpr int kModelsComboY = 52;
constexpr int kVoxelSizeY = 75;
constexpr int kFirstComboItemY = 76, kComboItemPitch = 17;

size_t panelColourCount(const Screenshot& s, int x0, int y0, int x1, int y1) {
  return s.countColour(x0, y0, x1, y1, kPanelR, kPanelG, kPanelB, 4);
}

// Pixels of the axis colour (0, 0, 0.5) right of the panel.
size_t axisColourCount(const Screenshot& s) {
  return s.countColour(kPanelRight + 10, 0, s.width, s.height, 0, 0, 128, 24);
}

bool panelShown(const Screenshot& s) {
  return panelColourCount(s, kPanelLeft, kPanelTop, kPanelRight, kPanelBottom) > 20000;
}

void pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Takes screenshots until ready(shot) holds or seconds pass; returns the last one.
Screenshot screenshotWhen(ProgramRunner& program, const std::function<bool(const Screenshot&)>& ready,
                          double seconds = 20.0) {
  const auto t0 = std::chrono::steady_clock::now();
  Screenshot shot;
  while (std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() < seconds) {
    shot = program.screenshot();
    if (shot.valid() && ready(shot)) break;
    pause(250);
  }
  return shot;
}

bool axesShownSoon(ProgramRunner& program, bool shown) {
  auto matches = [shown](const Screenshot& s) { return shown ? axisColourCount(s) > 300 : axisColourCount(s) < 20; };
  return matches(screenshotWhen(program, matches, 5));
}

// Moves the pointer over the empty scene, so no tooltip covers anything.
void parkPointer(ProgramRunner& program) {
  program.runX("xdotool mousemove --window " + program.windowId() + " 1550 880 2>/dev/null", nullptr);
}

size_t modelFiles(const char* folder) {
  size_t n = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(std::string(FRONDAREL_SOURCE_DIR) + "/data/" + folder, ec))
    n += e.is_regular_file();
  return n;
}

uint32_t readU32(const std::string& b, size_t at) {
  auto u = [&b](size_t i) { return uint32_t(uint8_t(b[i])); };
  return u(at) | u(at + 1) << 8 | u(at + 2) << 16 | u(at + 3) << 24;
}

class PanelProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (modelFiles("point_model") == 0) GTEST_SKIP() << "no point models in data/point_model";
    program_ = std::make_unique<ProgramRunner>(dir_.path());
    ASSERT_TRUE(program_->start());
    ASSERT_FALSE(program_->waitForWindow().empty()) << program_->output();
    parkPointer(*program_);
    start_ = screenshotWhen(*program_, panelShown);
    ASSERT_TRUE(panelShown(start_)) << "the panel did not appear: screenshot " << start_.width << "x" << start_.height
                                    << "\n"
                                    << program_->output();
  }
  void TearDown() override {
    if (!program_) return;
    program_->key("Escape");
    EXPECT_EQ(program_->waitExit(), 0) << program_->output();
  }

  TempDir dir_;
  std::unique_ptr<ProgramRunner> program_;
  Screenshot start_;
};

}  // namespace

TEST_F(PanelProgram, PanelIsDrawnAtItsPlaceAndShortcutKeysReachItUnlessAFieldIsBeingEdited) {
  EXPECT_GT(panelColourCount(start_, kPanelLeft, kPanelTop, kPanelRight, kPanelBottom), size_t(360 * 480 / 4));
  // Nothing of that colour outside the bar.
  EXPECT_LT(panelColourCount(start_, kPanelRight + 4, 0, start_.width, start_.height), 50u);
  EXPECT_LT(panelColourCount(start_, 0, kPanelBottom + 4, kPanelRight, start_.height), 50u);
  // After start-up only the point layer is on; '2' toggles the axes.
  EXPECT_LT(axisColourCount(start_), 20u);
  program_->key("2");
  EXPECT_TRUE(axesShownSoon(*program_, true));
  program_->key("2");
  EXPECT_TRUE(axesShownSoon(*program_, false));
  // While the voxel-size field is being edited, '2' is typed into it and the axes stay off.
  program_->click(kValueColumnX, kVoxelSizeY);
  pause(400);
  program_->key("2");
  pause(600);
  EXPECT_LT(axisColourCount(program_->screenshot()), 20u);
  // Esc cancels the edit (the panel takes it); then '2' is a shortcut again.
  program_->key("Escape");
  pause(400);
  parkPointer(*program_);
  program_->key("2");
  EXPECT_TRUE(axesShownSoon(*program_, true));
}

TEST_F(PanelProgram, F1AndF2CaptureNumberedBitmapsOfTheWindow) {
  program_->key("F1");
  pause(700);
  program_->key("F2");
  pause(400);
  const Screenshot shot = program_->screenshot();
  ASSERT_TRUE(shot.valid());

  // Files follow one another without gaps, each a full 1600 x 900 frame.
  const std::string images = dir_.file("images") + "/";
  int frames = 0;
  while (fileExists(snapshotFileName(images, frames))) {
    EXPECT_EQ(fs::file_size(snapshotFileName(images, frames)), 54u + 1600u * 3u * 900u);
    ++frames;
  }
  ASSERT_GE(frames, 2) << program_->output();
  EXPECT_EQ(size_t(frames), size_t(std::distance(fs::directory_iterator(images), fs::directory_iterator())));

  // The scene is still, so the last frame shows what the window shows now.
  const std::string bmp = readFile(snapshotFileName(images, frames - 1));
  ASSERT_EQ(bmp.size(), 4320054u);
  EXPECT_EQ(readU32(bmp, 18), uint32_t(shot.width));
  EXPECT_EQ(readU32(bmp, 22), uint32_t(shot.height));
  size_t compared = 0, differing = 0;
  for (int y = 0; y < shot.height; y += 37) {
    for (int x = 0; x < shot.width; x += 41, ++compared) {
      const unsigned char* s = shot.at(x, y);
      const size_t at = 54 + size_t(shot.height - 1 - y) * 4800 + size_t(x) * 3;  // bottom row first, BGR
      const int b = uint8_t(bmp[at]), g = uint8_t(bmp[at + 1]), r = uint8_t(bmp[at + 2]);
      differing += std::abs(r - s[0]) > 2 || std::abs(g - s[1]) > 2 || std::abs(b - s[2]) > 2;
    }
  }
  EXPECT_LE(differing, compared / 100) << differing << " of " << compared << " sample pixels differ";
  // The panel is in the captured frame too.
  const size_t inPanel = 54 + size_t(900 - 1 - 300) * 4800 + 30 * 3;
  EXPECT_NEAR(uint8_t(bmp[inPanel + 2]), kPanelR, 4);
  EXPECT_NEAR(uint8_t(bmp[inPanel + 1]), kPanelG, 4);
  EXPECT_NEAR(uint8_t(bmp[inPanel]), kPanelB, 4);
}

TEST_F(PanelProgram, ModelsDropDownSwitchesTheModel) {
  if (modelFiles("point_model") < 2 || modelFiles("leaf_model") < 6) GTEST_SKIP() << "needs 2 point and 6 leaf models";
  program_->click(kValueColumnX, kModelsComboY);
  pause(500);
  program_->click(kValueColumnX, kFirstComboItemY + kComboItemPitch);
  pause(500);
  parkPointer(*program_);
  // Esc is handled once the load has finished; the console line has no line end and may
  // wait in the output buffer until the process ends.
  program_->key("Escape");
  EXPECT_EQ(program_->waitExit(60), 0);
  const std::string out = program_->output();
  program_.reset();
  EXPECT_NE(out.find("g_nCurrSelected=1, g_nCurrLeafModel=5"), std::string::npos) << out;
}
