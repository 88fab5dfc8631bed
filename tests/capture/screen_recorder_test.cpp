// The recorder with a fake screen: numbered files, restarts, the frame limit and write failures.

#include "capture/screen_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "capture/bitmap.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

// A w x h screen whose every byte is `value`; counts its reads.
struct FakeScreen {
  int w, h, reads = 0;
  uint8_t value;
  FrameGrabber grabber() {
    return FrameGrabber{[this](int rect[4]) { rect[0] = rect[1] = 0, rect[2] = w, rect[3] = h; },
                        [this](int, int, int, int, std::vector<uint8_t>& out) {
                          ++reads;
                          out.assign(size_t(w) * h * 3, value);
                          return true;
                        }};
  }
  std::string bitmap() const {
    const std::vector<uint8_t> rgb(size_t(w) * h * 3, value), bytes = encodeBitmap(rgb.data(), w, h);
    return std::string(bytes.begin(), bytes.end());
  }
};

class ScreenRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override { recorder.folder = dir.path() + "/images/"; }
  TempDir dir;
  ScreenRecorder recorder;
};

}  // namespace

// Frames are numbered from 0 at each start; a run stops by itself after 1800 frames.
TEST_F(ScreenRecorderTest, FramesAreNumberedFromZeroAtEachStartUpTo1800) {
  FakeScreen screen{7, 3, 0, 1}, other{7, 3, 0, 2};
  recorder.captureFrame(screen.grabber());  // not recording: nothing is read or written
  EXPECT_TRUE(screen.reads == 0 && !fs::exists(recorder.folder));
  StdoutCapture out;
  recorder.start();
  for (int i = 0; i < 1805; ++i) recorder.captureFrame(screen.grabber());
  EXPECT_TRUE(!recorder.recording && screen.reads == 1800);
  recorder.start();
  for (int i = 0; i < 12; ++i) recorder.captureFrame(other.grabber());
  recorder.stop();
  EXPECT_EQ(out.text(), "Start capturing...\nStop capturing...\nStart capturing...\nStop capturing...\n");
  EXPECT_EQ(readFile(recorder.folder + "snap011.bmp"), other.bitmap());
  EXPECT_EQ(readFile(recorder.folder + "snap012.bmp"), screen.bitmap());
  EXPECT_TRUE(fileExists(recorder.folder + "snap1799.bmp") && other.reads == 12);
  EXPECT_EQ(std::distance(fs::directory_iterator(recorder.folder), {}), 1800);
}

// Regression: a folder that cannot hold the files used to fail silently on every frame; now the
// first failure of each run of failures is reported, and the numbering goes on.
TEST_F(ScreenRecorderTest, WriteFailuresAreReportedOncePerRun) {
  dir.write("blocked", "x");
  recorder.folder = dir.path() + "/blocked/";
  FakeScreen screen{2, 2, 0, 6};
  StdoutCapture out;
  recorder.start();
  for (int i = 0; i < 5; ++i) recorder.captureFrame(screen.grabber());
  fs::remove(dir.file("blocked"));
  fs::create_directories(recorder.folder);
  recorder.captureFrame(screen.grabber());
  fs::remove_all(recorder.folder);
  for (int i = 0; i < 2; ++i) recorder.captureFrame(screen.grabber());
  const std::string text = out.text(), failed = "Start capturing...\nCannot write capture file " + recorder.folder;
  EXPECT_EQ(text.find("Cannot create capture folder " + recorder.folder), 0u) << text;
  EXPECT_EQ(text.substr(text.find("Start")),
            failed + "snap000.bmp\nCannot write capture file " + recorder.folder + "snap006.bmp\n");
  EXPECT_EQ(recorder.frameCount, 8);
}
