#include "app/frame_clock.h"

#include <gtest/gtest.h>

namespace {
uint32_t g_fakeTick = 0;
uint32_t fakeNow() {
  return g_fakeTick++;
}
}  // namespace

// Mended fault: the wait must end after one frame period even when the 32-bit counter wraps.
TEST(FrameClock, WaitEndsAfterOnePeriodAcrossTheCounterWrap) {
  for (uint32_t start : {0xFFFFFFF0u, 1000u}) {
    g_fakeTick = start;
    const uint32_t end = waitForNextFrame(start, fakeNow, [] {});
    EXPECT_EQ(ticksBetween(start, end), kFramePeriodMs) << start;
  }
  g_fakeTick = 1000;
  EXPECT_EQ(waitForNextFrame(900, fakeNow, [] {}), 1000u);  // already due: no wait
}
