// The real program in a window on a private display.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/panel_registry.h"
#include "app_test_data.h"
#include "capture/bitmap.h"
#include "support/program_runner.h"

namespace {

// Scene pixels (right of the panel): drawn (not the white background), or changed from before.
int sceneLeft() {
  return panelBar().x + panelBar().width + 10;
}
size_t sceneDrawn(const Screenshot& s) {
  return size_t(s.width - sceneLeft()) * s.height - s.countColour(sceneLeft(), 0, s.width, s.height, 255, 255, 255, 0);
}
size_t sceneChanged(const Screenshot& s, const Screenshot& before) {
  return s.countChanged(before, sceneLeft(), 0, s.width, s.height, 0);
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
  const std::string first = cloudFiles(std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model").at(0);
  EXPECT_TRUE(program.waitForOutput("Number of points (./data/point_model/" +
                                    std::filesystem::path(first).filename().string() + "): "));
  EXPECT_TRUE(fileExists(dir.file("statistic.txt")) && readFile(dir.file("statistic.txt")).empty());
  const Screenshot points = program.screenshotWhen([](const Screenshot& s) { return sceneDrawn(s) > 2000; });
  ASSERT_GT(sceneDrawn(points), 2000u) << program.output();

  program.xdotool("key --window %w b");
  ASSERT_TRUE(program.waitForOutput("points have been visited!", 120)) << program.output();
  auto changed = [&](const Screenshot& s) { return sceneChanged(s, points) > 5000; };
  EXPECT_TRUE(changed(program.screenshotWhen(changed)));

  // F1 to F2 writes bitmaps of the whole window. The scene is still first: two shots alike.
  const Screenshot still = program.steadyScreenshot();
  program.xdotool("key --window %w F1");
  const std::string frame = dir.file("images/snap000.bmp");
  EXPECT_TRUE(waitUntil(60, [&] { return fileExists(frame); })) << program.output();
  program.xdotool("key --window %w F2");
  ASSERT_TRUE(program.waitForOutput("Stop capturing...")) << program.output();
  const std::string bmp = readFile(frame);
  ASSERT_GE(bmp.size(), 54u);
  EXPECT_EQ(readU32(bmp, 18), uint32_t(still.width));
  EXPECT_EQ(readU32(bmp, 22), uint32_t(still.height));
  ASSERT_EQ(bmp.size(), 54 + size_t(bitmapRowSize(still.width)) * still.height);
  // The frame shows what the window shows, bottom row first, as blue, green, red.
  size_t compared = 0, differing = 0;
  for (int y = 0; y < still.height; y += 37)
    for (int x = 0; x < still.width; x += 41, ++compared) {
      const char* p = &bmp[54 + size_t(still.height - 1 - y) * bitmapRowSize(still.width) + size_t(x) * 3];
      const unsigned char* q = still.at(x, y);
      differing += std::abs(uint8_t(p[2]) - q[0]) + std::abs(uint8_t(p[1]) - q[1]) + std::abs(uint8_t(p[0]) - q[2]) > 6;
    }
  EXPECT_LE(differing, compared / 100) << differing << " of " << compared << " sample pixels differ";

  program.xdotool("key --window %w Escape");
  EXPECT_EQ(program.waitExit(), 0);
}
