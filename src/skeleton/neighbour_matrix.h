#pragma once
// The dense n x n edge store of the voxel graph: an edge length per pair (> 0 means an
// edge) and a mark byte per pair. Sizes are computed in 64-bit arithmetic and allocation
// failure is reported instead of thrown.
//
// A graph is refused as too large when n exceeds kMaxVertices or when its 9 n^2 bytes exceed
// what the process may use (usableMemoryBytes: the address-space limit and MemAvailable, less
// a margin): filling a matrix beyond that would not fail cleanly but push the machine into
// swapping or the out-of-memory killer, or fail part way under an address-space limit.

#include <cstddef>
#include <cstdint>
#include <vector>

class NeighbourMatrix {
 public:
  static constexpr uint32_t kMaxVertices = 65535;
  static constexpr size_t kBytesPerEntry = sizeof(double) + sizeof(uint8_t);

  // Replaces the matrix by an n x n one filled with fill (marks zero). Returns false,
  // leaving the matrix empty, when it cannot be allocated.
  bool allocate(uint32_t n, double fill);
  void release();
  // Bytes an n x n matrix pair takes, in 64-bit arithmetic.
  static uint64_t bytesFor(uint32_t n) { return static_cast<uint64_t>(n) * n * kBytesPerEntry; }
  // True when an n x n matrix is within kMaxVertices and the usable memory.
  static bool fits(uint32_t n);
  bool empty() const { return lengths_.empty(); }
  uint32_t size() const { return n_; }

  double length(uint32_t i, uint32_t j) const { return lengths_[index(i, j)]; }
  void setLength(uint32_t i, uint32_t j, double d) { lengths_[index(i, j)] = d; }
  // Writes both (i, j) and (j, i).
  void setEdge(uint32_t i, uint32_t j, double d) {
    lengths_[index(i, j)] = d;
    lengths_[index(j, i)] = d;
  }
  bool hasEdge(uint32_t i, uint32_t j) const { return lengths_[index(i, j)] > 0.0; }
  // Row i of the lengths: n entries, entry j the length of edge (i, j).
  const double* row(uint32_t i) const { return lengths_.data() + static_cast<size_t>(i) * n_; }

  uint8_t mark(uint32_t i, uint32_t j) const { return marks_[index(i, j)]; }
  void setMark(uint32_t i, uint32_t j, uint8_t m) { marks_[index(i, j)] = m; }
  void clearMarks();

  // Drops row s and column s, keeping the order of everything else.
  void removeVertex(uint32_t s);

 private:
  size_t index(uint32_t i, uint32_t j) const { return static_cast<size_t>(i) * n_ + j; }
  uint32_t n_ = 0;
  std::vector<double> lengths_;
  std::vector<uint8_t> marks_;
};
