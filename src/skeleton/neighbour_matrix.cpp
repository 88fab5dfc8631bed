#include "skeleton/neighbour_matrix.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "settings/memory_limit.h"

bool NeighbourMatrix::fits(uint32_t n) {
  if (n > kMaxVertices) return false;
  return fitsInUsableMemory(bytesFor(n), "the neighbour graph", "", nullptr);
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
