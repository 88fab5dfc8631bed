#include "skeleton/neighbour_matrix.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <stdexcept>

namespace {

// MemAvailable from /proc/meminfo; the physical memory when that cannot be read.
uint64_t availableMemoryBytes() {
  if (FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    unsigned long long kb = 0;
    bool found = false;
    while (std::fgets(line, sizeof line, f)) {
      if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) {
        found = true;
        break;
      }
    }
    std::fclose(f);
    if (found) return static_cast<uint64_t>(kb) * 1024u;
  }
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

}  // namespace

bool NeighbourMatrix::fits(uint32_t n) {
  if (n > kMaxVertices) return false;
  return bytesFor(n) <= availableMemoryBytes();
}

bool NeighbourMatrix::allocate(uint32_t n, double fill) {
  release();
  if (!fits(n)) return false;
  const size_t entries = static_cast<size_t>(n) * n;
  try {
    lengths_.assign(entries, fill);
    marks_.assign(entries, 0);
  } catch (const std::bad_alloc&) {
    release();
    return false;
  } catch (const std::length_error&) {
    release();
    return false;
  }
  n_ = n;
  return true;
}

void NeighbourMatrix::release() {
  std::vector<double>().swap(lengths_);
  std::vector<uint8_t>().swap(marks_);
  n_ = 0;
}

void NeighbourMatrix::clearMarks() {
  std::fill(marks_.begin(), marks_.end(), 0);
}

void NeighbourMatrix::removeVertex(uint32_t s) {
  if (s >= n_) return;
  size_t out = 0;
  for (uint32_t i = 0; i < n_; ++i) {
    if (i == s) continue;
    for (uint32_t j = 0; j < n_; ++j) {
      if (j == s) continue;
      lengths_[out] = lengths_[index(i, j)];
      marks_[out] = marks_[index(i, j)];
      ++out;
    }
  }
  --n_;
  lengths_.resize(static_cast<size_t>(n_) * n_);
  marks_.resize(static_cast<size_t>(n_) * n_);
}
