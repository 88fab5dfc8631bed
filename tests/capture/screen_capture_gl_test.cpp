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

}  // namespace

// The GL grabber reads the whole viewport of the back buffer, bottom row first.
TEST(ScreenCaptureGl, CapturedFileHoldsTheViewportPixels) {
  ensureGlContext(400, 300);
  glDrawBuffer(GL_BACK);
  glReadBuffer(GL_BACK);
  glViewport(0, 0, 400, 300);
  glDisable(GL_SCISSOR_TEST);
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  // Bottom-left quarter red, so the row order shows in the file.
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, 200, 150);
  glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
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
  const std::vector<unsigned char> expected = readBackBuffer(0, 0, 400, 300);
  ASSERT_EQ(expected.size(), 400u * 300u * 3u);
  for (int y = 0; y < 300; y += 7) {
    for (int x = 0; x < 400; x += 11) {
      const size_t f = 54 + size_t(y) * 1200 + size_t(x) * 3;
      const size_t g = (size_t(y) * 400 + x) * 3;
      ASSERT_EQ(uint8_t(file[f]), expected[g + 2]) << x << "," << y;
      ASSERT_EQ(uint8_t(file[f + 1]), expected[g + 1]);
      ASSERT_EQ(uint8_t(file[f + 2]), expected[g]);
    }
  }
  // First stored pixel: bottom-left, red, as blue 0, green 0, red 255.
  EXPECT_EQ(uint8_t(file[54]), 0);
  EXPECT_EQ(uint8_t(file[56]), 255);
  // Top-right pixel: blue.
  const size_t topRight = 54 + size_t(299) * 1200 + 399 * 3;
  EXPECT_EQ(uint8_t(file[topRight]), 255);
  EXPECT_EQ(uint8_t(file[topRight + 2]), 0);
}
