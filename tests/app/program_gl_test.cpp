// The real program in a window under the test display: start-up, first model, drawing, Esc.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/program_runner.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

TEST(Program, OpensWindowShowsModelZeroAndEndsWithEsc) {
  TempDir dir;
  dir.write("statistic.txt", "left over from an earlier run");
  ProgramRunner program(dir.path());
  ASSERT_TRUE(program.start());
  ASSERT_FALSE(program.waitForWindow().empty()) << program.output();
  ASSERT_TRUE(program.waitForOutput("Number of points (./data/point_model/")) << program.output();

  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model"))
    if (e.is_regular_file()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  ASSERT_FALSE(names.empty());
  EXPECT_NE(program.output().find("Number of points (./data/point_model/" + names[0] + "): "), std::string::npos)
      << program.output();

  // statistic.txt is created empty at start-up.
  EXPECT_TRUE(fileExists(dir.file("statistic.txt")));
  EXPECT_EQ(readFile(dir.file("statistic.txt")), "");

  // Let a few frames draw, then look at the window.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  Screenshot shot = program.screenshot();
  ASSERT_TRUE(shot.valid());
  EXPECT_EQ(shot.width, 1600);
  EXPECT_EQ(shot.height, 900);
  // The background is white; the cloud's points are drawn in their colours in the middle of the
  // window, right of the panel.
  size_t background = shot.countColour(0, 0, shot.width, shot.height, 255, 255, 255, 0);
  size_t drawn = shot.width * static_cast<size_t>(shot.height) - background;
  size_t sceneDrawn = 0;
  for (int y = 100; y < 850; ++y)
    for (int x = 500; x < 1100; ++x) {
      const unsigned char* p = shot.at(x, y);
      if (p[0] != 255 || p[1] != 255 || p[2] != 255) ++sceneDrawn;
    }
  EXPECT_GT(background, drawn);
  EXPECT_GT(sceneDrawn, 2000u);

  program.key("Escape");
  EXPECT_EQ(program.waitExit(), 0);
}

TEST(Program, EmptyModelFoldersDoNotStopTheProgram) {
  TempDir dir;
  fs::create_directories(dir.file("points"));
  fs::create_directories(dir.file("leaves"));
  ProgramRunner program(dir.path(), dir.file("points"), dir.file("leaves"));
  ASSERT_TRUE(program.start());
  ASSERT_FALSE(program.waitForWindow().empty()) << program.output();
  EXPECT_TRUE(program.waitForOutput("Empty folder!"));
  program.key("Escape");
  EXPECT_EQ(program.waitExit(), 0);
}

TEST(Program, BatchHelpThroughTheBinary) {
  std::string out;
  int status = runCommand(std::string(FRONDAREL_BINARY) + " --help", &out);
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("--batch"), std::string::npos);
}
