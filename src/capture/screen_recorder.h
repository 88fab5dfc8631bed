#pragma once
// Writes the window contents frame after frame to numbered 24-bit bitmaps in ./images/.

#include <cstdint>
#include <string>

class ScreenRecorder {
 public:
  int32_t frameCount = 0;  // number of the next file; 0 at construction and at every start
  bool recording = false;

  void start();
  void stop();
};
