#include "capture/screen_recorder.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "capture/bitmap.h"
#include "settings/output_file.h"

void ScreenRecorder::start() {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) std::printf("Cannot create capture folder %s: %s\n", folder.c_str(), ec.message().c_str());
  frameCount = 0;
  recording = true;
  failureReported = false;
  std::printf("Start capturing...\n");
}

void ScreenRecorder::stop() {
  recording = false;
  std::printf("Stop capturing...\n");
}

void ScreenRecorder::captureFrame(const FrameGrabber& grabber) {
  if (!recording) return;
  if (frameCount >= kMaxCaptureFrames) {
    stop();
    return;
  }
  const std::string path = snapshotFileName(folder, frameCount);
  int rect[4] = {0, 0, 0, 0};
  if (grabber.viewport) grabber.viewport(rect);
  const bool written = writeBitmap(grabber, rect[0], rect[1], rect[2], rect[3], path);
  // One message per run of failures, so a missing folder does not flood the console at 30 fps.
  if (!written && !failureReported) std::printf("Cannot write capture file %s\n", path.c_str());
  failureReported = !written;
  ++frameCount;
}

bool ScreenRecorder::writeBitmap(const FrameGrabber& grabber, int x, int y, int width, int height,
                                 const std::string& path) {
  if (width <= 0 || height <= 0 || !grabber.readPixels) return false;
  std::vector<uint8_t> rgb;
  if (!grabber.readPixels(x, y, width, height, rgb)) return false;
  if (rgb.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 3) return false;
  const std::vector<uint8_t> file = encodeBitmap(rgb.data(), width, height);
  if (file.empty()) return false;
  return writeFileBytes(path, file);
}

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  // Renamed into place when complete (not synced: frames come at 30 per second), so a full
  // disk leaves no truncated frame behind.
  return writeFileAtomically(path, bytes.data(), bytes.size(), nullptr, false);
}
