#include "capture/screen_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "capture/bitmap.h"
#include "support/test_support.h"

namespace {

// A grabber over a fixed image; counts its reads.
struct FakeScreen {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  int reads = 0;

  FrameGrabber grabber() {
    return FrameGrabber{[this](int rect[4]) {
                          rect[0] = 0;
                          rect[1] = 0;
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
};

FakeScreen randomScreen(int width, int height, unsigned seed) {
  std::mt19937 rng(seed);
  FakeScreen s;
  s.width = width;
  s.height = height;
  s.rgb.resize(size_t(width) * height * 3);
  for (uint8_t& v : s.rgb) v = uint8_t(rng() & 0xFF);
  return s;
}

std::vector<uint8_t> bytesOf(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace

TEST(ScreenRecorder, StartCreatesTheFolderAndFramesAreNumberedWithoutGaps) {
  TempDir dir;
  ScreenRecorder recorder;
  recorder.folder = dir.path() + "/images/";
  FakeScreen screen = randomScreen(7, 3, 1);
  StdoutCapture out;
  recorder.start();
  for (int i = 0; i < 12; ++i) recorder.captureFrame(screen.grabber());
  EXPECT_EQ(out.text(), "Start capturing...\n");
  EXPECT_EQ(recorder.frameCount, 12);
  const std::vector<uint8_t> expected = encodeBitmap(screen.rgb.data(), 7, 3);
  for (int i = 0; i < 12; ++i) {
    const std::string path = snapshotFileName(recorder.folder, i);
    ASSERT_TRUE(fileExists(path)) << path;
    EXPECT_EQ(bytesOf(readFile(path)), expected) << path;
  }
  EXPECT_FALSE(fileExists(snapshotFileName(recorder.folder, 12)));
}

TEST(ScreenRecorder, NothingIsWrittenWhileNotRecording) {
  TempDir dir;
  ScreenRecorder recorder;
  recorder.folder = dir.path() + "/";
  FakeScreen screen = randomScreen(2, 2, 2);
  recorder.captureFrame(screen.grabber());
  EXPECT_EQ(screen.reads, 0);
  EXPECT_EQ(recorder.frameCount, 0);
  EXPECT_FALSE(fileExists(snapshotFileName(recorder.folder, 0)));
}

TEST(ScreenRecorder, StopsByItselfAfter1800FramesPrintingStopOnce) {
  TempDir dir;
  ScreenRecorder recorder;
  recorder.folder = dir.path() + "/images/";
  FakeScreen screen = randomScreen(1, 1, 3);
  StdoutCapture out;
  recorder.start();
  for (int i = 0; i < 1805; ++i) recorder.captureFrame(screen.grabber());
  EXPECT_EQ(out.text(), "Start capturing...\nStop capturing...\n");
  EXPECT_FALSE(recorder.recording);
  EXPECT_EQ(screen.reads, 1800);
  EXPECT_TRUE(fileExists(dir.path() + "/images/snap1799.bmp"));
  EXPECT_FALSE(fileExists(dir.path() + "/images/snap1800.bmp"));
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(recorder.folder)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1800u);
}

TEST(ScreenRecorder, RestartOverwritesFromFrameZero) {
  TempDir dir;
  ScreenRecorder recorder;
  recorder.folder = dir.path() + "/";
  FakeScreen first = randomScreen(3, 2, 4);
  FakeScreen second = randomScreen(3, 2, 5);
  StdoutCapture out;
  recorder.start();
  recorder.captureFrame(first.grabber());
  recorder.captureFrame(first.grabber());
  recorder.stop();
  recorder.start();
  recorder.captureFrame(second.grabber());
  EXPECT_EQ(out.text(), "Start capturing...\nStop capturing...\nStart capturing...\n");
  EXPECT_EQ(bytesOf(readFile(dir.file("snap000.bmp"))), encodeBitmap(second.rgb.data(), 3, 2));
  EXPECT_EQ(bytesOf(readFile(dir.file("snap001.bmp"))), encodeBitmap(first.rgb.data(), 3, 2));
}

// Regression: a folder that cannot hold the files used to fail silently on every frame.
TEST(ScreenRecorder, UnwritableFilesAreReportedOncePerRunOfFailures) {
  TempDir dir;
  ScreenRecorder recorder;
  // A plain file where the folder should be: the folder cannot be created, no file opens.
  dir.write("blocked", "x");
  recorder.folder = dir.path() + "/blocked/";
  FakeScreen screen = randomScreen(2, 2, 6);
  StdoutCapture out;
  recorder.start();
  for (int i = 0; i < 5; ++i) recorder.captureFrame(screen.grabber());
  const std::string text = out.text();
  EXPECT_EQ(recorder.frameCount, 5);  // the number still advances
  const std::string message = "Cannot write capture file " + recorder.folder + "snap000.bmp\n";
  EXPECT_NE(text.find(message), std::string::npos) << text;
  EXPECT_EQ(text.find("snap001.bmp"), std::string::npos) << text;
  EXPECT_EQ(text.find("Cannot create capture folder " + recorder.folder), 0u) << text;

  // Once writes succeed again, a later failure is reported anew.
  std::filesystem::remove(dir.file("blocked"));
  std::filesystem::create_directories(recorder.folder);
  StdoutCapture again;
  recorder.captureFrame(screen.grabber());
  EXPECT_TRUE(fileExists(recorder.folder + "snap005.bmp"));
  std::filesystem::remove_all(recorder.folder);
  recorder.captureFrame(screen.grabber());
  recorder.captureFrame(screen.grabber());
  EXPECT_EQ(again.text(), "Cannot write capture file " + recorder.folder + "snap006.bmp\n");
}

TEST(ScreenRecorder, AGrabberThatFailsOrReturnsTooFewBytesWritesNothing) {
  TempDir dir;
  ScreenRecorder recorder;
  recorder.folder = dir.path() + "/";
  FrameGrabber shortRead{[](int rect[4]) {
                           rect[0] = rect[1] = 0;
                           rect[2] = 4;
                           rect[3] = 4;
                         },
                         [](int, int, int, int, std::vector<uint8_t>& out) {
                           out.assign(5, 0);
                           return true;
                         }};
  EXPECT_FALSE(recorder.writeBitmap(shortRead, 0, 0, 4, 4, dir.file("a.bmp")));
  EXPECT_FALSE(recorder.writeBitmap(shortRead, 0, 0, 0, 4, dir.file("b.bmp")));
  EXPECT_FALSE(fileExists(dir.file("a.bmp")));
  EXPECT_FALSE(fileExists(dir.file("b.bmp")));
}
