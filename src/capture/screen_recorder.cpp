#include "capture/screen_recorder.h"

#include <cstdio>

void ScreenRecorder::start() {
  frameCount = 0;
  recording = true;
  std::printf("Start capturing...\n");
}

void ScreenRecorder::stop() {
  recording = false;
  std::printf("Stop capturing...\n");
}
