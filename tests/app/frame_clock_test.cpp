#include "app/frame_clock.h"

#include <gtest/gtest.h>

namespace {

uint32_t g_fakeTick = 0;
int g_reads = 0;
uint32_t fakeNow() {
  ++g_reads;
  return g_fakeTick++;
}
void noPause() {}

}  // namespace

// The wait must end after one frame period even when the 32-bit counter wraps in between.
TEST(FrameClock, WaitEndsAcrossCounterWrap) {
  g_fakeTick = 0xFFFFFFF0u;  // 16 ms before the wrap
  g_reads = 0;
  uint32_t start = g_fakeTick;
  uint32_t end = waitForNextFrame(start, fakeNow, noPause);
  EXPECT_EQ(ticksBetween(start, end), kFramePeriodMs);
  EXPECT_LT(end, start);  // the counter did wrap
  EXPECT_EQ(g_reads, static_cast<int>(kFramePeriodMs) + 1);
}

TEST(FrameClock, NoWaitWhenFrameIsAlreadyDue) {
  g_fakeTick = 1000;
  g_reads = 0;
  uint32_t end = waitForNextFrame(900, fakeNow, noPause);
  EXPECT_EQ(end, 1000u);
  EXPECT_EQ(g_reads, 1);
}

TEST(FrameClock, RealClockPacesAtLeastOnePeriod) {
  uint32_t start = tickCount();
  uint32_t end = waitForNextFrame(start);
  EXPECT_GE(ticksBetween(start, end), kFramePeriodMs);
  EXPECT_LT(ticksBetween(start, end), 1000u);
}
