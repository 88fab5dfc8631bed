#pragma once
// Writes the window contents frame after frame to numbered 24-bit bitmaps in ./images/.
// The pixel source is a FrameGrabber, so the recording logic runs without GL; the render
// library supplies the grabber that reads the GL viewport and back buffer.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Where captured pixels come from.
struct FrameGrabber {
  // Stores the capture rectangle (x, y, width, height), normally the GL viewport.
  std::function<void(int rect[4])> viewport;
  // Reads width x height RGB pixels of the rectangle, bottom row first, 3 bytes per pixel,
  // no row padding. Returns false when nothing could be read.
  std::function<bool(int x, int y, int width, int height, std::vector<uint8_t>& rgb)> readPixels;
};

// Frames written per recording at most: one minute at 30 frames per second.
constexpr int32_t kMaxCaptureFrames = 1800;

class ScreenRecorder {
 public:
  int32_t frameCount = 0;  // number of the next file; 0 at construction and at every start
  bool recording = false;
  std::string folder = "./images/";  // ends with '/'; created by start
  bool failureReported = false;      // a write failure was reported and no write has succeeded since

  // Creates the folder, restarts the numbering at 0 and prints "Start capturing...\n".
  void start();
  void stop();
  // Writes the next numbered file while recording; stops by itself after kMaxCaptureFrames.
  // The frame number advances even when the file cannot be written.
  void captureFrame(const FrameGrabber& grabber);
  // Reads the rectangle from grabber and writes it to path as a bitmap. Returns false when
  // the pixels cannot be read or the file cannot be written.
  bool writeBitmap(const FrameGrabber& grabber, int x, int y, int width, int height, const std::string& path);

  // The same reading the current GL viewport and read buffer (render library).
  void captureFrame();
  bool writeBitmap(int x, int y, int width, int height, const std::string& path);
};

// Writes bytes to path; false when the file cannot be opened or fully written.
bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
