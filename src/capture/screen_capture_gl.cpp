#include <GL/gl.h>

#include "capture/screen_recorder.h"

namespace {

void readViewport(int rect[4]) {
  glGetIntegerv(GL_VIEWPORT, rect);
}

bool readRgbPixels(int x, int y, int width, int height, std::vector<uint8_t>& rgb) {
  rgb.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
  // Drop errors left by earlier calls so that the check below is about this read.
  for (int i = 0; i < 8 && glGetError() != GL_NO_ERROR; ++i) {
  }
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return glGetError() == GL_NO_ERROR;
}

// Reads from the current read buffer: the back buffer the frame has just drawn.
FrameGrabber glFrameGrabber() {
  return FrameGrabber{readViewport, readRgbPixels};
}

}  // namespace

void ScreenRecorder::captureFrame() {
  captureFrame(glFrameGrabber());
}

bool ScreenRecorder::writeBitmap(int x, int y, int width, int height, const std::string& path) {
  return writeBitmap(glFrameGrabber(), x, y, width, height, path);
}
