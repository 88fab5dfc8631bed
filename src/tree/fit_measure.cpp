#include "tree/fit_measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

#include "tree/branch_mesh.h"
#include "tree/tree_model.h"

namespace {

constexpr uint32_t kLeafSize = kKdLeafSize;
// Centreline sampling step and the phantom threshold, in the file's units (metres).
constexpr double kSampleStep = 0.01;
constexpr double kPhantomGap = 0.10;

double squaredDistance(const double* a, const double q[3]) {
  const double dx = a[0] - q[0], dy = a[1] - q[1], dz = a[2] - q[2];
  return dx * dx + dy * dy + dz * dz;
}

// Closest point of the piece's centreline to p: its parameter in [0, 1] and the distance.
double closestOnPiece(const TubePiece& s, const Vec3& p, double* t) {
  const double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y, dz = s.b.z - s.a.z;
  const double len2 = dx * dx + dy * dy + dz * dz;
  double u = 0.0;
  if (len2 > 0.0) u = std::clamp(((p.x - s.a.x) * dx + (p.y - s.a.y) * dy + (p.z - s.a.z) * dz) / len2, 0.0, 1.0);
  *t = u;
  const double cx = s.a.x + u * dx - p.x, cy = s.a.y + u * dy - p.y, cz = s.a.z + u * dz - p.z;
  return std::sqrt(cx * cx + cy * cy + cz * cz);
}

Vec3 lerp(const Vec3& a, const Vec3& b, double t) {
  return Vec3(a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z));
}

}  // namespace

void buildKdLayout(const std::vector<Vec3>& points, std::vector<uint32_t>* order, std::vector<uint8_t>* axis,
                   std::vector<double>* xyz) {
  const uint32_t n = static_cast<uint32_t>(points.size());
  std::vector<uint32_t>& ord = *order;
  ord.resize(n);
  std::iota(ord.begin(), ord.end(), 0u);
  axis->assign(n, 0);
  xyz->clear();
  if (n == 0) return;
  // Split on the original points, then lay the coordinates out in tree order.
  struct Frame {
    uint32_t lo, hi;
  };
  std::vector<Frame> stack{{0, n}};
  while (!stack.empty()) {
    const Frame f = stack.back();
    stack.pop_back();
    if (f.hi - f.lo <= kKdLeafSize) continue;
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (uint32_t i = f.lo; i < f.hi; ++i) {
      const Vec3& p = points[ord[i]];
      const double c[3] = {p.x, p.y, p.z};
      for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], c[a]), hi[a] = std::max(hi[a], c[a]);
    }
    int widest = 0;
    for (int a = 1; a < 3; ++a)
      if (hi[a] - lo[a] > hi[widest] - lo[widest]) widest = a;
    const uint32_t mid = f.lo + (f.hi - f.lo) / 2;
    auto coord = [&](uint32_t i) { return widest == 0 ? points[i].x : widest == 1 ? points[i].y : points[i].z; };
    std::nth_element(ord.begin() + f.lo, ord.begin() + mid, ord.begin() + f.hi, [&](uint32_t a, uint32_t b) {
      const double ca = coord(a), cb = coord(b);
      return ca < cb || (ca == cb && a < b);
    });
    (*axis)[mid] = static_cast<uint8_t>(widest);
    stack.push_back({f.lo, mid});
    stack.push_back({mid + 1, f.hi});
  }
  xyz->resize(3 * static_cast<size_t>(n));
  for (uint32_t i = 0; i < n; ++i) {
    const Vec3& p = points[ord[i]];
    (*xyz)[3 * i] = p.x;
    (*xyz)[3 * i + 1] = p.y;
    (*xyz)[3 * i + 2] = p.z;
  }
}

// ---- PointIndex ----

void PointIndex::build(std::vector<Vec3> points) {
  buildKdLayout(points, &order_, &axis_, &xyz_);
}

void PointIndex::nearestIn(uint32_t lo, uint32_t hi, const double q[3], double* best2, uint32_t* best) const {
  if (hi - lo <= kLeafSize) {
    for (uint32_t i = lo; i < hi; ++i) {
      const double d2 = squaredDistance(&xyz_[3 * i], q);
      if (d2 < *best2 || (d2 == *best2 && order_[i] < order_[*best])) *best2 = d2, *best = i;
    }
    return;
  }
  const uint32_t mid = lo + (hi - lo) / 2;
  const int axis = axis_[mid];
  const double diff = q[axis] - xyz_[3 * mid + axis];
  const double d2 = squaredDistance(&xyz_[3 * mid], q);
  if (d2 < *best2 || (d2 == *best2 && order_[mid] < order_[*best])) *best2 = d2, *best = mid;
  if (diff < 0) {
    nearestIn(lo, mid, q, best2, best);
    if (diff * diff <= *best2) nearestIn(mid + 1, hi, q, best2, best);
  } else {
    nearestIn(mid + 1, hi, q, best2, best);
    if (diff * diff <= *best2) nearestIn(lo, mid, q, best2, best);
  }
}

size_t PointIndex::nearest(const Vec3& q, double* distance) const {
  if (order_.empty()) {
    *distance = std::numeric_limits<double>::infinity();
    return SIZE_MAX;
  }
  const double c[3] = {q.x, q.y, q.z};
  double best2 = std::numeric_limits<double>::infinity();
  uint32_t best = 0;
  nearestIn(0, static_cast<uint32_t>(order_.size()), c, &best2, &best);
  *distance = std::sqrt(best2);
  return order_[best];
}

void PointIndex::withinIn(uint32_t lo, uint32_t hi, const double q[3], double r2, std::vector<uint32_t>* out) const {
  if (hi - lo <= kLeafSize) {
    for (uint32_t i = lo; i < hi; ++i)
      if (squaredDistance(&xyz_[3 * i], q) <= r2) out->push_back(order_[i]);
    return;
  }
  const uint32_t mid = lo + (hi - lo) / 2;
  const int axis = axis_[mid];
  const double diff = q[axis] - xyz_[3 * mid + axis];
  if (squaredDistance(&xyz_[3 * mid], q) <= r2) out->push_back(order_[mid]);
  if (diff <= 0 || diff * diff <= r2) withinIn(lo, mid, q, r2, out);
  if (diff >= 0 || diff * diff <= r2) withinIn(mid + 1, hi, q, r2, out);
}

void PointIndex::within(const Vec3& q, double r, std::vector<uint32_t>* out) const {
  if (order_.empty() || !(r >= 0.0)) return;
  const double c[3] = {q.x, q.y, q.z};
  withinIn(0, static_cast<uint32_t>(order_.size()), c, r * r, out);
}

// Keeps out as the k best (squared distance, original index) pairs, sorted.
void PointIndex::nearestKIn(uint32_t lo, uint32_t hi, const double q[3], size_t k,
                            std::vector<std::pair<double, uint32_t>>* out) const {
  auto offer = [&](uint32_t i) {
    const std::pair<double, uint32_t> c(squaredDistance(&xyz_[3 * i], q), order_[i]);
    if (out->size() == k && !(c < out->back())) return;
    if (out->size() == k) out->pop_back();
    out->insert(std::upper_bound(out->begin(), out->end(), c), c);
  };
  if (hi - lo <= kLeafSize) {
    for (uint32_t i = lo; i < hi; ++i) offer(i);
    return;
  }
  const uint32_t mid = lo + (hi - lo) / 2;
  const int axis = axis_[mid];
  const double diff = q[axis] - xyz_[3 * mid + axis];
  offer(mid);
  const bool lowFirst = diff < 0;
  if (lowFirst)
    nearestKIn(lo, mid, q, k, out);
  else
    nearestKIn(mid + 1, hi, q, k, out);
  if (out->size() < k || diff * diff <= out->back().first) {
    if (lowFirst)
      nearestKIn(mid + 1, hi, q, k, out);
    else
      nearestKIn(lo, mid, q, k, out);
  }
}

void PointIndex::nearestK(const Vec3& q, size_t k, std::vector<std::pair<double, uint32_t>>* out) const {
  out->clear();
  if (order_.empty() || k == 0) return;
  const double c[3] = {q.x, q.y, q.z};
  nearestKIn(0, static_cast<uint32_t>(order_.size()), c, k, out);
}

// ---- The measure ----

std::vector<TubePiece> drawnTubePieces(const TreeModel& model, double scale) {
  std::vector<TubePiece> pieces;
  for (const auto& b : model.branches) {
    std::vector<Vec3> nodes = b->nodes;
    std::vector<double> radii = b->radii;
    if (nodes.size() < 2 || radii.size() != nodes.size()) continue;
    subdivideBranch(nodes, radii);
    for (size_t k = 0; k + 1 < nodes.size(); ++k) {
      TubePiece s;
      s.a = Vec3(nodes[k].x / scale, nodes[k].y / scale, nodes[k].z / scale);
      s.b = Vec3(nodes[k + 1].x / scale, nodes[k + 1].y / scale, nodes[k + 1].z / scale);
      s.ra = 0.5 * radii[k] / scale;
      s.rb = 0.5 * radii[k + 1] / scale;
      pieces.push_back(s);
    }
  }
  return pieces;
}

FitFigures measureFit(const TreeModel& model, const std::vector<Vec3>& points, double scale) {
  std::vector<Vec3> metric;
  metric.reserve(points.size());
  for (const Vec3& p : points) metric.push_back(Vec3(p.x / scale, p.y / scale, p.z / scale));
  return measureFit(drawnTubePieces(model, scale), metric);
}

FitFigures measureFit(const std::vector<TubePiece>& pieces, const std::vector<Vec3>& points) {
  FitFigures f;
  f.points = points.size();
  if (pieces.empty() || points.empty()) return f;

  // Centreline samples every centimetre or less, ends included, for the nearest-piece search.
  std::vector<Vec3> samples;
  std::vector<uint32_t> sampleOwner;
  double widestStep = 0.0;
  for (size_t k = 0; k < pieces.size(); ++k) {
    const TubePiece& s = pieces[k];
    const double len = length(difference(s.b, s.a));
    f.centreline += len;
    const int n = std::max(1, static_cast<int>(std::ceil(len / kSampleStep)));
    widestStep = std::max(widestStep, len / n);
    for (int i = 0; i <= n; ++i) {
      samples.push_back(lerp(s.a, s.b, static_cast<double>(i) / n));
      sampleOwner.push_back(static_cast<uint32_t>(k));
    }
  }
  const PointIndex sampleIndex(samples);

  // Every point: the nearest centreline point lies on a piece with a sample no farther than
  // the nearest sample plus half a sampling step, so those pieces are projected exactly.
  std::vector<double> distances(points.size());
  std::vector<uint32_t> near, owners;
  for (size_t i = 0; i < points.size(); ++i) {
    const Vec3& p = points[i];
    double ds = 0.0;
    sampleIndex.nearest(p, &ds);
    near.clear();
    sampleIndex.within(p, ds + 0.5 * widestStep + 1e-9, &near);
    owners.clear();
    for (uint32_t s : near) owners.push_back(sampleOwner[s]);
    std::sort(owners.begin(), owners.end());
    owners.erase(std::unique(owners.begin(), owners.end()), owners.end());
    double best = std::numeric_limits<double>::infinity(), radius = 0.0;
    for (uint32_t k : owners) {
      double t = 0.0;
      const double d = closestOnPiece(pieces[k], p, &t);
      if (d < best) best = d, radius = pieces[k].ra + t * (pieces[k].rb - pieces[k].ra);
    }
    distances[i] = std::fabs(best - radius);
  }
  size_t n2 = 0, n5 = 0, n10 = 0;
  for (double d : distances) n2 += d <= 0.02, n5 += d <= 0.05, n10 += d <= 0.10;
  const double count = static_cast<double>(points.size());
  f.within2 = n2 / count;
  f.within5 = n5 / count;
  f.within10 = n10 / count;
  const size_t half = distances.size() / 2;
  std::nth_element(distances.begin(), distances.begin() + half, distances.end());
  f.medianDistance = distances[half];
  if (distances.size() % 2 == 0) {
    f.medianDistance = 0.5 * (f.medianDistance + *std::max_element(distances.begin(), distances.begin() + half));
  }

  // Phantom: centreline samples at the middle of centimetre steps, each standing for its step.
  const PointIndex cloudIndex(points);
  double phantomLength = 0.0;
  for (const TubePiece& s : pieces) {
    const double len = length(difference(s.b, s.a));
    const int n = std::max(1, static_cast<int>(std::ceil(len / kSampleStep)));
    for (int i = 0; i < n; ++i) {
      const double t = (i + 0.5) / n;
      double d = 0.0;
      cloudIndex.nearest(lerp(s.a, s.b, t), &d);
      if (d - (s.ra + t * (s.rb - s.ra)) > kPhantomGap) phantomLength += len / n;
    }
  }
  f.phantom = f.centreline > 0.0 ? phantomLength / f.centreline : 0.0;
  return f;
}

std::string formatFitFigures(const FitFigures& f) {
  char line[200];
  std::snprintf(line, sizeof line, "within 2/5/10 cm %.1f / %.1f / %.1f %%, median %.3f m, phantom %.1f %% of %.1f m",
                100.0 * f.within2, 100.0 * f.within5, 100.0 * f.within10, f.medianDistance, 100.0 * f.phantom,
                f.centreline);
  return line;
}
