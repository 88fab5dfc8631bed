// The real program in a window on a private display.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/panel_registry.h"
#include "capture/bitmap.h"
#include "support/program_runner.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

void pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Scene pixels (right of the panel) that pass test.
size_t sceneCount(const Screenshot& s, const std::function<bool(int x, int y)>& test) {
  size_t n = 0;
  for (int y = 0; y < s.height; ++y)
    for (int x = panelBar().x + panelBar().width + 10; x < s.width; ++x) n += test(x, y);
  return n;
}

size_t sceneDrawn(const Screenshot& s) {
  return sceneCount(s, [&](int x, int y) { return s.at(x, y)[0] + s.at(x, y)[1] + s.at(x, y)[2] != 3 * 255; });
}

// Takes screenshots until ready(shot) holds or 20 s pass; returns the last one.
Screenshot screenshotWhen(ProgramRunner& program, const std::function<bool(const Screenshot&)>& ready) {
  Screenshot shot = program.screenshot();
  for (int i = 0; i < 80 && !(shot.valid() && ready(shot)); ++i, shot = program.screenshot()) pause(250);
  return shot;
}

std::string firstModel() {
  std::vector<std::string> models;
  for (const auto& e : fs::directory_iterator(std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model"))
    models.push_back(e.path().filename().string());
  return models.empty() ? "" : *std::min_element(models.begin(), models.end());
}

uint32_t readU32(const std::string& b, size_t at) {
  return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

}  // namespace

// Start-up shows the first model and empties statistic.txt; b replaces the points by the tree;
// F1 to F2 captures the window; Esc ends with status 0. (The export through the panel is
// tested with the window's messages.)
TEST(Program, StartReconstructCaptureAndQuit) {
  TempDir dir;
  dir.write("statistic.txt", "left over from an earlier run");
  ProgramRunner program(dir.path());
  ASSERT_TRUE(program.start());
  ASSERT_FALSE(program.waitForWindow().empty()) << program.output();
  EXPECT_TRUE(program.waitForOutput("Number of points (./data/point_model/" + firstModel() + "): "));
  EXPECT_TRUE(fileExists(dir.file("statistic.txt")) && readFile(dir.file("statistic.txt")).empty());
  const Screenshot points = screenshotWhen(program, [](const Screenshot& s) { return sceneDrawn(s) > 2000; });
  ASSERT_GT(sceneDrawn(points), 2000u) << program.output();

  program.key("b");
  ASSERT_TRUE(program.waitForOutput("points have been visited!", 60)) << program.output();
  auto changed = [&](const Screenshot& s) {
    return sceneCount(s, [&](int x, int y) { return !std::equal(s.at(x, y), s.at(x, y) + 3, points.at(x, y)); });
  };
  const Screenshot tree = screenshotWhen(program, [&](const Screenshot& s) { return changed(s) > 5000; });
  EXPECT_GT(changed(tree), 5000u);

  // F1 to F2 writes bitmaps of the whole window.
  pause(500);
  const Screenshot still = program.screenshot();
  program.key("F1");
  pause(700);
  program.key("F2");
  const std::string first = dir.file("images/snap000.bmp");
  for (int i = 0; i < 40 && !fileExists(first); ++i) pause(250);
  const std::string bmp = readFile(first);
  ASSERT_GE(bmp.size(), 54u);
  EXPECT_EQ(readU32(bmp, 18), uint32_t(still.width));
  EXPECT_EQ(readU32(bmp, 22), uint32_t(still.height));
  ASSERT_EQ(bmp.size(), 54 + size_t(bitmapRowSize(still.width)) * still.height);
  // The scene is still: the frame shows what the window shows, bottom row first, as blue, green, red.
  size_t compared = 0, differing = 0;
  for (int y = 0; y < still.height; y += 37)
    for (int x = 0; x < still.width; x += 41, ++compared) {
      const char* p = &bmp[54 + size_t(still.height - 1 - y) * bitmapRowSize(still.width) + size_t(x) * 3];
      differing += std::abs(uint8_t(p[2]) - still.at(x, y)[0]) + std::abs(uint8_t(p[1]) - still.at(x, y)[1]) +
                       std::abs(uint8_t(p[0]) - still.at(x, y)[2]) >
                   6;
    }
  EXPECT_LE(differing, compared / 100) << differing << " of " << compared << " sample pixels differ";

  program.key("Escape");
  EXPECT_EQ(program.waitExit(), 0);
}
