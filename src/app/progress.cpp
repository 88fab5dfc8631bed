#include "app/progress.h"

#include <cmath>
#include <cstdio>

namespace {

ProgressHook g_hook = nullptr;
CommandHook g_commandHook = nullptr;
int g_commandDepth = 0;

}  // namespace

void setProgressHook(ProgressHook hook) {
  g_hook = hook;
}

void reportProgress(const char* stage, double fraction) {
  if (g_hook) g_hook(stage, fraction);
}

void setCommandHook(CommandHook hook) {
  g_commandHook = hook;
}

CommandScope::CommandScope() {
  if (g_commandDepth++ == 0 && g_commandHook) g_commandHook(true);
}

CommandScope::~CommandScope() {
  if (--g_commandDepth == 0 && g_commandHook) g_commandHook(false);
}

std::string durationText(double seconds) {
  char text[48];
  if (!std::isfinite(seconds) || seconds < 0.0) seconds = 0.0;
  if (seconds < 9.95) {
    std::snprintf(text, sizeof text, "%.1f s", seconds);
  } else if (seconds < 59.5) {
    std::snprintf(text, sizeof text, "%.0f s", seconds);
  } else if (seconds < 3599.5) {
    const long s = std::lround(seconds);
    std::snprintf(text, sizeof text, "%ld min %02ld s", s / 60, s % 60);
  } else {
    const long m = std::lround(seconds / 60.0);
    std::snprintf(text, sizeof text, "%ld h %02ld min", m / 60, m % 60);
  }
  return text;
}

std::string runProgressText(size_t done, size_t total, double elapsedSeconds) {
  std::string text = "file " + std::to_string(done) + " of " + std::to_string(total) + ", " +
                     durationText(elapsedSeconds) + " elapsed";
  if (done > 0 && done < total) {
    const double left = elapsedSeconds / double(done) * double(total - done);
    text += ", about " + durationText(left) + " left";
  }
  return text;
}
