#include "skeleton/radius_edge_store.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "skeleton/kd_tree.h"
#include "skeleton/parallel.h"

namespace {

bool finite(const Point3& p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

}  // namespace

bool RadiusEdgeStore::buildRadius(const RadiusGraphRequest& request, std::vector<uint32_t>& hits) {
  release();
  const std::vector<Vec3>& positions = *request.positions;
  const uint32_t n = static_cast<uint32_t>(positions.size());
  try {
    position_.resize(n);
    for (uint32_t i = 0; i < n; ++i) position_[i] = {positions[i].x, positions[i].y, positions[i].z};
    indexed_.assign(n, 0);
    for (uint64_t k = 0; k < request.index->nodeCount; ++k) {
      const uint32_t payload = request.index->node(static_cast<uint32_t>(k)).payload;
      if (payload < n) indexed_[payload] = 1;
    }
    grid_.build(position_, indexed_, request.radius);
    // An index node lies at distance 0 from its own vertex: it finds itself when the radius
    // admits 0.
    const bool selfFound = grid_.limit() >= 0.0;
    diagonal_.assign(n, -1.0);
    hits.assign(n, 0);
    for (uint32_t i = 0; i < n; ++i) {
      if (selfFound && indexed_[i] && finite(position_[i])) diagonal_[i] = request.diagonal;
    }
    parallelFor(n, [&](size_t i) {
      if (!finite(position_[i])) return;
      hits[i] = grid_.countIndexed(position_[i]) - (selfFound && indexed_[i] ? 1 : 0);
    });
    written_.assign(n, {});
  } catch (const std::bad_alloc&) {
    release();
    return false;
  }
  n_ = n;
  rule_ = true;
  return true;
}

bool RadiusEdgeStore::reset(uint32_t n) {
  release();
  try {
    diagonal_.assign(n, -1.0);
    written_.assign(n, {});
  } catch (const std::bad_alloc&) {
    release();
    return false;
  }
  n_ = n;
  return true;
}

void RadiusEdgeStore::release() {
  n_ = 0;
  rule_ = false;
  std::vector<Point3>().swap(position_);
  std::vector<uint8_t>().swap(indexed_);
  std::vector<double>().swap(diagonal_);
  grid_.release();
  std::vector<std::vector<Written>>().swap(written_);
}

double RadiusEdgeStore::ruleLength(uint32_t i, uint32_t j) const {
  if (!rule_ || !(indexed_[i] || indexed_[j])) return -1.0;
  const double s = squaredDistance(position_[j], position_[i]);
  return s <= grid_.limit() ? std::sqrt(s) : -1.0;
}

const RadiusEdgeStore::Written* RadiusEdgeStore::find(uint32_t i, uint32_t j) const {
  const auto& row = written_[i];
  const auto at =
      std::lower_bound(row.begin(), row.end(), j, [](const Written& w, uint32_t v) { return w.vertex < v; });
  return at != row.end() && at->vertex == j ? &*at : nullptr;
}

RadiusEdgeStore::Written& RadiusEdgeStore::entry(uint32_t i, uint32_t j) {
  auto& row = written_[i];
  const auto at =
      std::lower_bound(row.begin(), row.end(), j, [](const Written& w, uint32_t v) { return w.vertex < v; });
  if (at != row.end() && at->vertex == j) return *at;
  Written w;
  w.vertex = j;
  w.length = length(i, j);
  return *row.insert(at, w);
}

double RadiusEdgeStore::length(uint32_t i, uint32_t j) const {
  if (i == j) return diagonal_[i];
  if (const Written* w = find(i, j)) return w->length;
  return ruleLength(i, j);
}

void RadiusEdgeStore::setLength(uint32_t i, uint32_t j, double d) {
  if (i == j) {
    diagonal_[i] = d;
    return;
  }
  entry(i, j).length = d;
}

uint8_t RadiusEdgeStore::mark(uint32_t i, uint32_t j) const {
  const Written* w = find(i, j);
  return w ? w->mark : 0;
}

void RadiusEdgeStore::setMark(uint32_t i, uint32_t j, uint8_t m) {
  if (m == 0 && !find(i, j)) return;
  entry(i, j).mark = m;
}

void RadiusEdgeStore::clearMarks() {
  for (auto& row : written_) {
    for (Written& w : row) w.mark = 0;
  }
}

void RadiusEdgeStore::row(uint32_t i, const std::vector<uint8_t>* skip, std::vector<EdgeEntry>& out) const {
  out.clear();
  thread_local std::vector<uint32_t> found;
  found.clear();
  if (rule_ && finite(position_[i])) {
    grid_.collect(i, position_[i], indexed_[i] != 0, skip, found);
    std::sort(found.begin(), found.end());
  }
  // Merge the rule's vertices with the written entries; a written entry wins its pair.
  const auto& written = written_[i];
  size_t a = 0, b = 0;
  while (a < found.size() || b < written.size()) {
    if (b == written.size() || (a < found.size() && found[a] < written[b].vertex)) {
      const uint32_t j = found[a++];
      out.push_back({j, std::sqrt(squaredDistance(position_[j], position_[i]))});
      continue;
    }
    const Written& w = written[b++];
    if (a < found.size() && found[a] == w.vertex) ++a;
    if (w.vertex == i || w.length == -1.0 || (skip && (*skip)[w.vertex])) continue;
    out.push_back({w.vertex, w.length});
  }
}

void RadiusEdgeStore::removeVertex(uint32_t s) {
  if (s >= n_) return;
  if (!position_.empty()) position_.erase(position_.begin() + s);
  if (!indexed_.empty()) indexed_.erase(indexed_.begin() + s);
  diagonal_.erase(diagonal_.begin() + s);
  written_.erase(written_.begin() + s);
  for (auto& row : written_) {
    row.erase(std::remove_if(row.begin(), row.end(), [s](const Written& w) { return w.vertex == s; }), row.end());
    for (Written& w : row) w.vertex -= w.vertex > s;
  }
  grid_.removeVertex(s);
  --n_;
}

bool RadiusEdgeStore::assignTree(uint32_t n, const std::vector<TreeEdge>& edges) {
  if (!reset(n)) return false;
  for (const TreeEdge& e : edges) {
    Written w;
    w.length = e.length;
    w.vertex = e.b;
    written_[e.a].push_back(w);
    w.vertex = e.a;
    written_[e.b].push_back(w);
  }
  for (auto& row : written_) {
    std::sort(row.begin(), row.end(), [](const Written& x, const Written& y) { return x.vertex < y.vertex; });
  }
  return true;
}

size_t RadiusEdgeStore::memoryBytes() const {
  size_t bytes = position_.capacity() * sizeof(Point3) + indexed_.capacity() + diagonal_.capacity() * sizeof(double) +
                 written_.capacity() * sizeof(std::vector<Written>) + grid_.memoryBytes();
  for (const auto& row : written_) bytes += row.capacity() * sizeof(Written);
  return bytes;
}
