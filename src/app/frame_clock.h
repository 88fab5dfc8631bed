#pragma once
// The millisecond tick counter that paces frames and times commands. It is a 32-bit
// counter like a platform uptime counter, so elapsed times are taken as unsigned
// differences, which stay right when the counter wraps around.

#include <cstdint>

// Milliseconds of a monotonic clock, truncated to 32 bits.
uint32_t tickCount();

// Milliseconds from earlier to later on the 32-bit counter, correct across one wrap.
inline uint32_t ticksBetween(uint32_t earlier, uint32_t later) {
  return later - earlier;
}

// Minimum frame period in milliseconds (about 30 frames per second).
constexpr uint32_t kFramePeriodMs = 33;

// Waits until at least kFramePeriodMs have passed since previousTick and returns the tick
// at which the wait ended. now() supplies ticks (tickCount by default) and pause() is
// called between readings, so tests can drive a wrapping counter.
uint32_t waitForNextFrame(uint32_t previousTick, uint32_t (*now)() = tickCount, void (*pause)() = nullptr);
