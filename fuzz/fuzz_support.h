#pragma once
// Shared by the harnesses: invariants of what the readers leave behind, and a file in memory
// for the readers that take a path. A broken invariant aborts, which libFuzzer reports as a
// crash with the input that caused it.

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pointcloud/point_cloud.h"
#include "settings/settings.h"

#define FUZZ_CHECK(condition)                                                                 \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

inline bool finitePoint(const PointRecord& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// What every reader promises: a loaded cloud has consistent counts, key indices inside the
// points, finite coordinates, corners and scale; a refused one is empty.
inline void checkCloud(const PointCloud& c, bool loaded) {
  FUZZ_CHECK(c.loaded == loaded);
  if (!loaded) {
    FUZZ_CHECK(c.count == 0 && c.fileCount == 0 && c.points.empty() && c.rootIndex == -1);
    return;
  }
  FUZZ_CHECK(c.count >= 1 && c.fileCount >= 1 && c.fileCount <= c.count && c.count <= c.points.size());
  FUZZ_CHECK(c.colours.empty() || c.colours.size() >= c.count);
  FUZZ_CHECK(c.groundPoints.empty() || c.groundPoints.size() == c.fileCount);
  if (c.rootIndex >= 0) {
    FUZZ_CHECK(c.rootIndex <= c.keyBegin && c.keyBegin <= c.keyEnd && uint32_t(c.keyEnd) <= c.count);
    FUZZ_CHECK(uint32_t(c.rootIndex) >= c.fileCount);
  } else {
    FUZZ_CHECK(c.keyBegin == -1 && c.keyEnd == -1);
  }
  FUZZ_CHECK(std::isfinite(c.scale) && c.scale > 0.0);
  FUZZ_CHECK(finitePoint(c.minCorner) && finitePoint(c.maxCorner) && finitePoint(c.baseCorner));
  for (uint32_t i = 0; i < c.count; ++i) FUZZ_CHECK(finitePoint(c.points[i]));
  for (const PointRecord& g : c.groundPoints) FUZZ_CHECK(finitePoint(g));
}

// Every user setting within its range, whatever a header or --set gave it.
inline void checkSettingsInRange() {
  for (const SettingInfo& s : settingTable()) {
    if (s.userSet) FUZZ_CHECK(s.value() >= s.min && s.value() <= s.max);
  }
}

// The input as a regular file without touching the disk: an anonymous memory file, opened
// by its /proc path.
class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) {
    fd_ = memfd_create("fuzz-input", 0);
    if (fd_ < 0 || (size > 0 && write(fd_, data, size) != static_cast<ssize_t>(size))) std::abort();
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { close(fd_); }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// Readers and settings print to stdout; the fuzzer's own report goes to stderr.
inline void silenceStdout() {
  static const bool done = std::freopen("/dev/null", "w", stdout) != nullptr;
  (void)done;
}
