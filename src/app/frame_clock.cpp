#include "app/frame_clock.h"

#include <chrono>
#include <thread>

uint32_t tickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {
// Sleeping instead of spinning keeps the pacing without occupying a core.
void sleepBriefly() {
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
}  // namespace

uint32_t waitForNextFrame(uint32_t previousTick, uint32_t (*now)(), void (*pause)()) {
  if (!pause) pause = sleepBriefly;
  uint32_t t = now();
  while (ticksBetween(previousTick, t) < kFramePeriodMs) {
    pause();
    t = now();
  }
  return t;
}
