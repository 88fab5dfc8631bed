#include "capture/screen_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "capture/bitmap.h"
#include "support/test_support.h"

namespace {

// A grabber over a fixed random image; counts its reads.
struct FakeScreen {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  int reads = 0;

  FakeScreen(int w, int h, unsigned seed) : width(w), height(h), rgb(size_t(w) * h * 3) {
    std::mt19937 rng(seed);
    for (uint8_t& v : rgb) v = uint8_t(rng() & 0xFF);
  }
  FrameGrabber grabber() {
    return FrameGrabber{[this](int rect[4]) {
                          rect[0] = rect[1] = 0;
                          rect[2] = width;
                          rect[3] = height;
                        },
                        [this](int x, int y, int w, int h, std::vector<uint8_t>& out) {
                          ++reads;
                          if (x != 0 || y != 0 || w != width || h != height) return false;
                          out = rgb;
                          return true;
                        }};
  }
  std::string bitmap() const {
    const std::vector<uint8_t> bytes = encodeBitmap(rgb.data(), width, height);
    return std::string(bytes.begin(), bytes.end());
  }
};

class ScreenRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override { recorder.folder = dir.path() + "/images/"; }
  std::string frameFile(int n) const { return snapshotFileName(recorder.folder, n); }

  TempDir dir;
  ScreenRecorder recorder;
};

}  // namespace

TEST_F(ScreenRecorderTest, StartCreatesTheFolderAndFramesAreNumberedWithoutGaps) {
  FakeScreen screen(7, 3, 1);
  recorder.captureFrame(screen.grabber());  // not recording: nothing is read or written
  EXPECT_EQ(screen.reads, 0);
  EXPECT_EQ(recorder.frameCount, 0);
  EXPECT_FALSE(std::filesystem::exists(recorder.folder));
  StdoutCapture out;
  recorder.start();
  EXPECT_TRUE(std::filesystem::is_directory(recorder.folder));
  for (int i = 0; i < 12; ++i) recorder.captureFrame(screen.grabber());
  EXPECT_EQ(out.text(), "Start capturing...\n");
  EXPECT_EQ(recorder.frameCount, 12);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(readFile(frameFile(i)), screen.bitmap()) << frameFile(i);
  EXPECT_FALSE(fileExists(frameFile(12)));

  // A restart numbers from 0 again, overwriting the earlier files.
  FakeScreen other(7, 3, 2);
  StdoutCapture restart;
  recorder.stop();
  recorder.start();
  recorder.captureFrame(other.grabber());
  EXPECT_EQ(restart.text(), "Stop capturing...\nStart capturing...\n");
  EXPECT_EQ(readFile(frameFile(0)), other.bitmap());
  EXPECT_EQ(readFile(frameFile(1)), screen.bitmap());
}

TEST_F(ScreenRecorderTest, StopsByItselfAfter1800FramesPrintingStopOnce) {
  FakeScreen screen(1, 1, 3);
  StdoutCapture out;
  recorder.start();
  for (int i = 0; i < 1805; ++i) recorder.captureFrame(screen.grabber());
  EXPECT_EQ(out.text(), "Start capturing...\nStop capturing...\n");
  EXPECT_FALSE(recorder.recording);
  EXPECT_EQ(screen.reads, 1800);
  EXPECT_TRUE(fileExists(dir.path() + "/images/snap1799.bmp"));
  EXPECT_FALSE(fileExists(dir.path() + "/images/snap1800.bmp"));
  const auto files = std::distance(std::filesystem::directory_iterator(recorder.folder), {});
  EXPECT_EQ(files, 1800);
}

// Regression: a folder that cannot hold the files used to fail silently on every frame.
TEST_F(ScreenRecorderTest, UnwritableFilesAreReportedOncePerRunOfFailures) {
  // A plain file where the folder should be: the folder cannot be created, no file opens.
  dir.write("blocked", "x");
  recorder.folder = dir.path() + "/blocked/";
  FakeScreen screen(2, 2, 6);
  StdoutCapture out;
  recorder.start();
  for (int i = 0; i < 5; ++i) recorder.captureFrame(screen.grabber());
  const std::string text = out.text();
  EXPECT_EQ(recorder.frameCount, 5);  // the number still advances
  EXPECT_EQ(text.find("Cannot create capture folder " + recorder.folder), 0u) << text;
  EXPECT_NE(text.find("Cannot write capture file " + frameFile(0) + "\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("snap001.bmp"), std::string::npos) << text;

  // Once writes succeed again, a later failure is reported anew.
  std::filesystem::remove(dir.file("blocked"));
  std::filesystem::create_directories(recorder.folder);
  StdoutCapture again;
  recorder.captureFrame(screen.grabber());
  EXPECT_TRUE(fileExists(frameFile(5)));
  std::filesystem::remove_all(recorder.folder);
  for (int i = 0; i < 2; ++i) recorder.captureFrame(screen.grabber());
  EXPECT_EQ(again.text(), "Cannot write capture file " + frameFile(6) + "\n");
}

TEST_F(ScreenRecorderTest, AGrabberThatReturnsTooFewBytesWritesNothing) {
  FrameGrabber shortRead{nullptr, [](int, int, int, int, std::vector<uint8_t>& out) {
                           out.assign(5, 0);
                           return true;
                         }};
  EXPECT_FALSE(recorder.writeBitmap(shortRead, 0, 0, 4, 4, dir.file("a.bmp")));
  EXPECT_FALSE(recorder.writeBitmap(shortRead, 0, 0, 0, 4, dir.file("b.bmp")));
  EXPECT_FALSE(fileExists(dir.file("a.bmp")) || fileExists(dir.file("b.bmp")));
}
