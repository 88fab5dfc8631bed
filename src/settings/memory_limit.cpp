#include "settings/memory_limit.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint64_t kMinimumMargin = uint64_t{64} << 20;

// MemAvailable from /proc/meminfo; the physical memory when that cannot be read.
uint64_t availableMemory() {
  if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    unsigned long long kb = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f)) found = std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1;
    std::fclose(f);
    if (found) return static_cast<uint64_t>(kb) * 1024u;
  }
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

// What the address-space limit still leaves: the soft limit less the current virtual size.
uint64_t addressSpaceLeft() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return UINT64_MAX;
  unsigned long long pages = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  const uint64_t used = static_cast<uint64_t>(pages) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  const uint64_t cap = static_cast<uint64_t>(limit.rlim_cur);
  return cap > used ? cap - used : 0;
}

}  // namespace

uint64_t usableMemoryBytes() {
  const uint64_t room = std::min(availableMemory(), addressSpaceLeft());
  if (room == UINT64_MAX) return room;
  const uint64_t margin = std::max(room / 10, kMinimumMargin);
  return room > margin ? room - margin : 0;
}

std::string formatBytes(uint64_t bytes) {
  static const char* const units[] = {"bytes", "kB", "MB", "GB", "TB", "PB", "EB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 999.95 && unit < 6) {
    value /= 1000.0;
    ++unit;
  }
  char text[32];
  if (unit == 0) {
    std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  } else {
    std::snprintf(text, sizeof text, value < 99.95 ? "%.1f %s" : "%.0f %s", value, units[unit]);
  }
  return text;
}

std::string formatCount(uint64_t count) {
  char text[48];
  const double v = static_cast<double>(count);
  if (v >= 1e9) {
    std::snprintf(text, sizeof text, "%.1f billion", v / 1e9);
  } else if (v >= 1e8) {
    std::snprintf(text, sizeof text, "%.0f million", v / 1e6);
  } else if (v >= 1e6) {
    std::snprintf(text, sizeof text, "%.1f million", v / 1e6);
  } else {
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(count));
  }
  return text;
}

bool fitsInUsableMemory(uint64_t bytes, const std::string& what, const std::string& detail, std::string* why) {
  const uint64_t usable = usableMemoryBytes();
  if (bytes <= usable) return true;
  if (why) {
    *why = what + " needs " + formatBytes(bytes) + (detail.empty() ? "" : " (" + detail + ")") + ", more than the " +
           formatBytes(usable) + " this process may use";
  }
  return false;
}
