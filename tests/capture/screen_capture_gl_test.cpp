#include <GL/gl.h>
#include <gtest/gtest.h>

#include "capture/bitmap.h"
#include "capture/screen_recorder.h"
#include "support/gl_test_context.h"
#include "support/test_support.h"

namespace {

uint32_t readU32(const std::string& b, size_t at) {
  auto u = [&b](size_t i) { return uint32_t(uint8_t(b[i])); };
  return u(at) | u(at + 1) << 8 | u(at + 2) << 16 | u(at + 3) << 24;
}

void clearRect(int width, int height, float r, float g, float b) {
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, width, height);
  glClearColor(r, g, b, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
}

}  // namespace

// The GL grabber reads the whole viewport of the back buffer, bottom row first.
TEST(ScreenCaptureGl, CapturedFileHoldsTheViewportPixels) {
  ensureGlContext(400, 300);
  glDrawBuffer(GL_BACK);
  glReadBuffer(GL_BACK);
  glViewport(0, 0, 400, 300);
  clearRect(400, 300, 0.0f, 0.0f, 1.0f);
  clearRect(200, 150, 1.0f, 0.0f, 0.0f);  // bottom-left quarter red, so the row order shows
  glFinish();

  TempDir dir;
  ScreenRecorder recorder;
  recorder.folder = dir.path() + "/images/";
  StdoutCapture out;
  recorder.start();
  recorder.captureFrame();
  out.text();
  const std::string file = readFile(snapshotFileName(recorder.folder, 0));
  ASSERT_EQ(file.size(), 54u + 1200u * 300u);
  EXPECT_EQ(readU32(file, 18), 400u);
  EXPECT_EQ(readU32(file, 22), 300u);
  // Every stored pixel as blue, green, red: red in the bottom-left quarter, blue elsewhere.
  const std::string red("\x00\x00\xff", 3), blue("\xff\x00\x00", 3);
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 400; ++x)
      ASSERT_EQ(file.substr(54 + size_t(y) * 1200 + size_t(x) * 3, 3), x < 200 && y < 150 ? red : blue)
          << x << "," << y;
  }
}
