#include "skeleton/radius_grid.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

double squaredRadiusLimit(double radius) {
  if (!(radius >= 0.0)) return -1.0;
  double s = radius * radius;
  if (!std::isfinite(s)) s = DBL_MAX;
  while (s > 0.0 && std::sqrt(s) > radius) s = std::nextafter(s, 0.0);
  for (;;) {
    const double next = std::nextafter(s, std::numeric_limits<double>::infinity());
    if (!std::isfinite(next) || std::sqrt(next) > radius) return s;
    s = next;
  }
}

int RadiusGrid::cellAlong(int axis, double coordinate) const {
  const double t = std::floor((coordinate - origin_[axis]) / size_);
  if (!(t > 0.0)) return 0;
  if (t >= dims_[axis] - 1) return dims_[axis] - 1;
  return static_cast<int>(t);
}

void RadiusGrid::release() {
  *this = RadiusGrid();
}

void RadiusGrid::build(const std::vector<Point3>& positions, const std::vector<uint8_t>& indexed, double radius) {
  release();
  radius_ = radius;
  limit_ = squaredRadiusLimit(radius);
  Point3 low, high;
  low.fill(std::numeric_limits<double>::infinity());
  high.fill(-std::numeric_limits<double>::infinity());
  size_t filed = 0;
  auto finite = [](const Point3& p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); };
  for (const Point3& p : positions) {
    if (!finite(p)) continue;
    ++filed;
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], p[a]);
      high[a] = std::max(high[a], p[a]);
    }
  }
  if (filed == 0) return;

  // Half the radius across, coarser while that would make more than two cells per vertex.
  const double extent = std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]});
  size_ = radius > 0.0 && std::isfinite(radius) ? radius / 2.0 : extent;
  size_ = std::max({size_, extent * 1e-6, std::numeric_limits<double>::min()});
  const double cap = std::max(2.0 * static_cast<double>(filed), 8.0);
  for (;;) {
    double cells = 1.0;
    for (int a = 0; a < 3; ++a) cells *= std::floor((high[a] - low[a]) / size_) + 1.0;
    if (cells <= cap) break;
    size_ *= 1.25;
  }
  origin_ = low;
  for (int a = 0; a < 3; ++a) dims_[a] = static_cast<int>(std::floor((high[a] - low[a]) / size_)) + 1;
  const size_t cells = static_cast<size_t>(dims_[0]) * dims_[1] * dims_[2];

  // Counting sort of the vertices by cell, keeping vertex order within a cell.
  std::vector<uint32_t> cellOf(positions.size(), UINT32_MAX);
  cellStart_.assign(cells + 1, 0);
  for (size_t i = 0; i < positions.size(); ++i) {
    const Point3& p = positions[i];
    if (!finite(p)) continue;
    const size_t c =
        (static_cast<size_t>(cellAlong(2, p[2])) * dims_[1] + cellAlong(1, p[1])) * dims_[0] + cellAlong(0, p[0]);
    cellOf[i] = static_cast<uint32_t>(c);
    ++cellStart_[c + 1];
  }
  for (size_t c = 0; c < cells; ++c) cellStart_[c + 1] += cellStart_[c];
  vertex_.resize(filed);
  point_.resize(filed);
  indexed_.resize(filed);
  indexedInCell_.assign(cells, 0);
  boxLow_.assign(cells, Point3{});
  boxHigh_.assign(cells, Point3{});
  std::vector<uint32_t> fill(cellStart_.begin(), cellStart_.end() - 1);
  for (size_t i = 0; i < positions.size(); ++i) {
    if (cellOf[i] == UINT32_MAX) continue;
    const uint32_t c = cellOf[i];
    const uint32_t k = fill[c]++;
    vertex_[k] = static_cast<uint32_t>(i);
    point_[k] = positions[i];
    indexed_[k] = indexed[i];
    indexedInCell_[c] += indexed[i] != 0;
    if (k == cellStart_[c]) {
      boxLow_[c] = boxHigh_[c] = positions[i];
    } else {
      for (int a = 0; a < 3; ++a) {
        boxLow_[c][a] = std::min(boxLow_[c][a], positions[i][a]);
        boxHigh_[c][a] = std::max(boxHigh_[c][a], positions[i][a]);
      }
    }
  }
}

template <typename Visit>
void RadiusGrid::forCells(const Point3& at, Visit visit) const {
  if (cellStart_.empty() || limit_ < 0.0) return;
  int from[3], to[3];
  for (int a = 0; a < 3; ++a) {
    // A vertex within the radius differs from at by at most the radius times (1 + 3 ulp)
    // per axis; the reach adds a margin for that and for rounding at - reach. Cell indices
    // are monotonic in the coordinate, so these bounds hold every such vertex's cell.
    const double reach = radius_ * (1.0 + 1e-9) + 1e-12 * std::fabs(at[a]);
    from[a] = cellAlong(a, at[a] - reach);
    to[a] = cellAlong(a, at[a] + reach);
  }
  for (int z = from[2]; z <= to[2]; ++z) {
    for (int y = from[1]; y <= to[1]; ++y) {
      const size_t rowStart = (static_cast<size_t>(z) * dims_[1] + y) * dims_[0];
      for (int x = from[0]; x <= to[0]; ++x) {
        const size_t c = rowStart + x;
        if (cellStart_[c] == cellStart_[c + 1]) continue;
        // Per axis the nearest and farthest offsets of the box; rounding keeps every vertex's
        // offset between them, so its squared distance lies between near and far.
        double near[3], far[3];
        for (int a = 0; a < 3; ++a) {
          const double lo = boxLow_[c][a] - at[a], hi = boxHigh_[c][a] - at[a];
          far[a] = std::max(std::fabs(lo), std::fabs(hi));
          near[a] = lo <= 0.0 && hi >= 0.0 ? 0.0 : std::min(std::fabs(lo), std::fabs(hi));
        }
        const double nearS = near[0] * near[0] + near[1] * near[1] + near[2] * near[2];
        if (nearS > limit_) continue;
        const double farS = far[0] * far[0] + far[1] * far[1] + far[2] * far[2];
        visit(c, farS <= limit_ ? Cover::All : Cover::Some);
      }
    }
  }
}

uint32_t RadiusGrid::countIndexed(const Point3& at) const {
  uint32_t count = 0;
  forCells(at, [&](size_t c, Cover cover) {
    if (cover == Cover::All) {
      count += indexedInCell_[c];
      return;
    }
    for (uint32_t k = cellStart_[c]; k < cellStart_[c + 1]; ++k) {
      if (indexed_[k] && squaredDistance(point_[k], at) <= limit_) ++count;
    }
  });
  return count;
}

void RadiusGrid::collect(uint32_t i, const Point3& at, bool anyVertex, const std::vector<uint8_t>* skip,
                         std::vector<uint32_t>& out) const {
  forCells(at, [&](size_t c, Cover cover) {
    for (uint32_t k = cellStart_[c]; k < cellStart_[c + 1]; ++k) {
      const uint32_t j = vertex_[k];
      if (j == i || (!anyVertex && !indexed_[k]) || (skip && (*skip)[j])) continue;
      if (cover == Cover::All || squaredDistance(point_[k], at) <= limit_) out.push_back(j);
    }
  });
}

void RadiusGrid::removeVertex(uint32_t s) {
  if (cellStart_.empty()) return;
  const auto at = std::find(vertex_.begin(), vertex_.end(), s);
  if (at != vertex_.end()) {
    const size_t k = static_cast<size_t>(at - vertex_.begin());
    // The cell holding slot k: the last one starting at or before k with slots.
    const size_t c =
        static_cast<size_t>(std::upper_bound(cellStart_.begin(), cellStart_.end(), k) - cellStart_.begin()) - 1;
    indexedInCell_[c] -= indexed_[k] != 0;
    for (size_t d = c + 1; d < cellStart_.size(); ++d) --cellStart_[d];
    vertex_.erase(vertex_.begin() + k);
    point_.erase(point_.begin() + k);
    indexed_.erase(indexed_.begin() + k);
    // The box may now be larger than its vertices need; a larger box only tests more vertices.
  }
  for (uint32_t& v : vertex_) v -= v > s;
}

size_t RadiusGrid::memoryBytes() const {
  return cellStart_.capacity() * sizeof(uint32_t) + indexedInCell_.capacity() * sizeof(uint32_t) +
         (boxLow_.capacity() + boxHigh_.capacity() + point_.capacity()) * sizeof(Point3) +
         vertex_.capacity() * sizeof(uint32_t) + indexed_.capacity();
}
