#pragma once
// The edge store as the plain n x n matrix of lengths and marks it used to be: the reference
// the radius store is compared against. Its build runs one kd-tree radius query per vertex
// and writes what each finds, and its rows are full scans.

#include <memory>
#include <vector>

#include "skeleton/edge_store.h"
#include "skeleton/kd_tree.h"

class DenseEdgeStore : public EdgeStore {
 public:
  std::unique_ptr<EdgeStore> clone() const override { return std::make_unique<DenseEdgeStore>(*this); }
  bool buildRadius(const RadiusGraphRequest& request, std::vector<uint32_t>& hits) override {
    const std::vector<Vec3>& p = *request.positions;
    reset(uint32_t(p.size()));
    hits.assign(n_, 0);
    std::vector<uint32_t> found;
    std::vector<double> distance;
    for (uint32_t i = 0; i < n_; ++i) {
      const double q[3] = {p[i].x, p[i].y, p[i].z};
      request.index->radiusSearch(q, request.radius, found, distance);
      for (size_t h = 0; h < found.size(); ++h) {
        hits[i] += found[h] != i;
        setLength(i, found[h], found[h] == i ? request.diagonal : distance[h]);
        if (found[h] != i) setLength(found[h], i, distance[h]);
      }
    }
    return true;
  }
  bool reset(uint32_t n) override {
    n_ = n;
    length_.assign(size_t(n) * n, -1.0);
    mark_.assign(size_t(n) * n, 0);
    return true;
  }
  void release() override { reset(0); }
  uint32_t size() const override { return n_; }
  double length(uint32_t i, uint32_t j) const override { return length_[at(i, j)]; }
  void setLength(uint32_t i, uint32_t j, double d) override { length_[at(i, j)] = d; }
  uint8_t mark(uint32_t i, uint32_t j) const override { return mark_[at(i, j)]; }
  void setMark(uint32_t i, uint32_t j, uint8_t m) override { mark_[at(i, j)] = m; }
  void clearMarks() override { mark_.assign(mark_.size(), 0); }
  void row(uint32_t i, const std::vector<uint8_t>* skip, std::vector<EdgeEntry>& out) const override {
    out.clear();
    for (uint32_t j = 0; j < n_; ++j)
      if (j != i && length(i, j) != -1.0 && !(skip && (*skip)[j])) out.push_back({j, length(i, j)});
  }
  void removeVertex(uint32_t s) override {
    size_t out = 0;  // compacted in place: the write position never passes the read one
    for (uint32_t i = 0; i < n_; ++i)
      for (uint32_t j = 0; j < n_; ++j)
        if (i != s && j != s) length_[out] = length_[at(i, j)], mark_[out++] = mark_[at(i, j)];
    --n_;
    length_.resize(out);
    mark_.resize(out);
  }
  bool assignTree(uint32_t n, const std::vector<TreeEdge>& edges) override {
    reset(n);
    for (const TreeEdge& e : edges) setLength(e.a, e.b, e.length), setLength(e.b, e.a, e.length);
    return true;
  }
  size_t memoryBytes() const override { return length_.size() * sizeof(double) + mark_.size(); }

 private:
  size_t at(uint32_t i, uint32_t j) const { return size_t(i) * n_ + j; }
  uint32_t n_ = 0;
  std::vector<double> length_;
  std::vector<uint8_t> mark_;
};
