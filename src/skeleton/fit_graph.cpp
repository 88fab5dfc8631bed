// "Fit to scan", first half: lengths from the point spacing, the ground, the voxel graph, the
// trunk foot, distances from it along the graph, and bridges over gaps in the scan.

#include <cmath>
#include <limits>
#include <queue>

#include "skeleton/fit_scan.h"

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr uint32_t kLeaf = kKdLeafSize;

// Lengths derived from the spacing of the points (median distance to the nearest other
// point): voxels a little wider than the spacing keep a sampled surface connected; the gaps
// everything may cross are a few spacings wide.
constexpr double kVoxelsPerSpacing = 1.5;
constexpr double kInfluencePerSpacing = 8.0;
constexpr double kKillPerVoxel = 2.0;
// Pieces of fewer points than this are specks: they join only within the influence radius.
constexpr uint32_t kSpeckPoints = 3;
// Nearest gaps are looked for within this many influence radii first (the rest one by one).
constexpr double kLocalReach = 4.0;
// Stems thinner than this many voxels are left to the distance bins.
constexpr double kStemMinVoxels = 3.0;
// Points lie on a circle when their median distance from it is within this share of its
// radius, or within this many times the noise seen on the stem.
constexpr double kRingResidualShare = 0.15;
constexpr double kNoiseAllowance = 1.5;
// A stem is followed past up to this many failed circles (where branches leave it).
constexpr int kStemSkip = 3;

// Ground: surfaces within this angle of horizontal, seeded among the lowest share of the
// points; a region smaller than kGroundMinPoints is no ground.
constexpr double kGroundTiltDegrees = 35.0;
constexpr size_t kGroundSeedDivisor = 50;
constexpr size_t kGroundMinPoints = 30;
constexpr size_t kNormalNeighbours = 16, kGroundNeighbours = 10;

// Eigenvector of the smallest eigenvalue of a symmetric 3x3 matrix (cyclic Jacobi).
Vec3 smallestEigenvector(double a[3][3]) {
  double v[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (int sweep = 0; sweep < 12; ++sweep) {
    const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
    if (off < 1e-30) break;
    for (int p = 0; p < 2; ++p) {
      for (int q = p + 1; q < 3; ++q) {
        if (std::fabs(a[p][q]) < 1e-300) continue;
        const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
        const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (int k = 0; k < 3; ++k) {
          const double akp = a[k][p], akq = a[k][q];
          a[k][p] = c * akp - s * akq;
          a[k][q] = s * akp + c * akq;
        }
        for (int k = 0; k < 3; ++k) {
          const double apk = a[p][k], aqk = a[q][k];
          a[p][k] = c * apk - s * aqk;
          a[q][k] = s * apk + c * aqk;
        }
        for (int k = 0; k < 3; ++k) {
          const double vkp = v[k][p], vkq = v[k][q];
          v[k][p] = c * vkp - s * vkq;
          v[k][q] = s * vkp + c * vkq;
        }
      }
    }
  }
  int m = 0;
  for (int k = 1; k < 3; ++k)
    if (a[k][k] < a[m][m]) m = k;
  return Vec3(v[0][m], v[1][m], v[2][m]);
}

// Unit normal of a neighbourhood: the direction of least spread of its points.
Vec3 localNormal(const std::vector<Vec3>& points, const std::vector<std::pair<double, uint32_t>>& near) {
  Vec3 mean;
  for (const auto& [d2, i] : near) mean = mean + points[i];
  mean = mean / static_cast<double>(near.size());
  double c[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  for (const auto& [d2, i] : near) {
    const double d[3] = {points[i].x - mean.x, points[i].y - mean.y, points[i].z - mean.z};
    for (int r = 0; r < 3; ++r)
      for (int k = 0; k < 3; ++k) c[r][k] += d[r] * d[k];
  }
  return smallestEigenvector(c);
}

// A kd-tree over fixed points of which any subset is present; answers "nearest present point
// within a limit". Subtrees without present points are skipped.
class PresenceIndex {
 public:
  explicit PresenceIndex(const std::vector<Vec3>& points) {
    buildKdLayout(points, &order_, &axis_, &xyz_);
    const uint32_t n = static_cast<uint32_t>(points.size());
    alive_.assign(n, 0);
    position_.resize(n);
    for (uint32_t i = 0; i < n; ++i) position_[order_[i]] = i;
    present_.assign(n, 0);
  }

  void insert(uint32_t point) { change(point, 1); }
  void remove(uint32_t point) { change(point, -1); }
  bool present(uint32_t point) const { return present_[position_[point]] != 0; }

  // Nearest present point within limit (SIZE_MAX when none) and its distance.
  size_t nearest(const Vec3& q, double* distance, double limit = kInfinity) const {
    const double c[3] = {q.x, q.y, q.z};
    double best2 = limit * limit;
    uint32_t best = UINT32_MAX;
    if (!order_.empty()) search(0, static_cast<uint32_t>(order_.size()), c, &best2, &best);
    *distance = std::sqrt(best2);
    return best == UINT32_MAX ? SIZE_MAX : order_[best];
  }

 private:
  void change(uint32_t point, int delta) {
    const uint32_t pos = position_[point];
    if ((present_[pos] != 0) == (delta > 0)) return;
    present_[pos] = delta > 0;
    uint32_t lo = 0, hi = static_cast<uint32_t>(order_.size());
    while (hi - lo > kLeaf) {
      const uint32_t mid = lo + (hi - lo) / 2;
      alive_[mid] += delta;
      if (pos == mid) break;
      if (pos < mid)
        hi = mid;
      else
        lo = mid + 1;
    }
  }

  void consider(uint32_t i, const double q[3], double* best2, uint32_t* best) const {
    if (!present_[i]) return;
    const double dx = xyz_[3 * i] - q[0], dy = xyz_[3 * i + 1] - q[1], dz = xyz_[3 * i + 2] - q[2];
    const double d2 = dx * dx + dy * dy + dz * dz;
    if (d2 < *best2 || (d2 == *best2 && *best != UINT32_MAX && order_[i] < order_[*best])) *best2 = d2, *best = i;
  }

  void search(uint32_t lo, uint32_t hi, const double q[3], double* best2, uint32_t* best) const {
    if (hi - lo <= kLeaf) {
      for (uint32_t i = lo; i < hi; ++i) consider(i, q, best2, best);
      return;
    }
    const uint32_t mid = lo + (hi - lo) / 2;
    if (alive_[mid] == 0) return;
    const int axis = axis_[mid];
    const double diff = q[axis] - xyz_[3 * mid + axis];
    consider(mid, q, best2, best);
    if (diff < 0) {
      search(lo, mid, q, best2, best);
      if (diff * diff <= *best2) search(mid + 1, hi, q, best2, best);
    } else {
      search(mid + 1, hi, q, best2, best);
      if (diff * diff <= *best2) search(lo, mid, q, best2, best);
    }
  }

  std::vector<double> xyz_;
  std::vector<uint32_t> order_, position_;
  std::vector<uint8_t> axis_, present_;
  std::vector<int32_t> alive_;  // present points in the subtree of the node at that position
};

}  // namespace

ScanFit::ScanFit(std::vector<Vec3> points, const FitOptions& options)
    : points_(std::move(points)), options_(options), ground_(points_.size(), 0) {
  index_.build(points_);
  lower_ = points_[0];
  for (const Vec3& p : points_)
    lower_ = Vec3(std::min(lower_.x, p.x), std::min(lower_.y, p.y), std::min(lower_.z, p.z));

  // Spacing: median distance to the nearest other point over an even sample of the points.
  const size_t n = points_.size();
  const size_t stride = std::max<size_t>(1, n / 4000);
  std::vector<double> gaps;
  std::vector<std::pair<double, uint32_t>> near;
  for (size_t i = 0; i < n; i += stride) {
    index_.nearestK(points_[i], 2, &near);
    if (near.size() == 2 && near[1].first > 0.0) gaps.push_back(std::sqrt(near[1].first));
  }
  spacing_ = medianOf(gaps);
  if (!(spacing_ > 0.0)) spacing_ = 1e-3;

  voxelSize_ = options.voxelSize > 0.0 ? options.voxelSize : kVoxelsPerSpacing * spacing_;
  // Voxel keys hold 21 bits per axis.
  Vec3 upper = points_[0];
  for (const Vec3& p : points_) upper = Vec3(std::max(upper.x, p.x), std::max(upper.y, p.y), std::max(upper.z, p.z));
  const Vec3 extent = upper - lower_;
  voxelSize_ = std::max(voxelSize_, std::max({extent.x, extent.y, extent.z}) / double(1 << 20));
  step_ = options.step > 0.0 ? options.step : voxelSize_;
  kill_ = options.killDistance > 0.0 ? options.killDistance : kKillPerVoxel * voxelSize_;
  influence_ = options.influenceRadius > 0.0 ? options.influenceRadius : kInfluencePerSpacing * spacing_;
}

// Ground: the near-horizontal surface that holds the lowest points, grown from them over
// neighbours whose local surface is near horizontal too, then everything lying on it no
// higher than a band of two voxels (grass, clutter, the rough rim of a disc). A trunk
// standing on no ground shows upright surfaces at its lowest points and seeds nothing.
void ScanFit::removeGround() {
  if (!options_.removeGround) return;
  const size_t n = points_.size();
  const double minUp = std::cos(kGroundTiltDegrees * kPi / 180.0);
  std::vector<signed char> flat(n, -1);  // -1 not yet known
  std::vector<std::pair<double, uint32_t>> near;
  auto horizontal = [&](uint32_t i) {
    if (flat[i] < 0) {
      index_.nearestK(points_[i], kNormalNeighbours, &near);
      flat[i] = near.size() >= 5 && std::fabs(localNormal(points_, near).y) >= minUp;
    }
    return flat[i] == 1;
  };
  std::vector<uint32_t> lowest(n);
  std::iota(lowest.begin(), lowest.end(), 0u);
  const size_t seeds = std::max<size_t>(20, n / kGroundSeedDivisor);
  if (seeds < n) {
    std::nth_element(lowest.begin(), lowest.begin() + seeds, lowest.end(), [&](uint32_t a, uint32_t b) {
      return points_[a].y < points_[b].y || (points_[a].y == points_[b].y && a < b);
    });
    lowest.resize(seeds);
    std::sort(lowest.begin(), lowest.end());
  }
  std::vector<uint32_t> region;
  for (uint32_t i : lowest) {
    if (horizontal(i)) {
      ground_[i] = 1;
      region.push_back(i);
    }
  }
  std::vector<uint32_t> next;
  for (size_t head = 0; head < region.size(); ++head) {
    index_.nearestK(points_[region[head]], kGroundNeighbours, &near);
    next.clear();
    for (const auto& [d2, j] : near) next.push_back(j);
    for (uint32_t j : next) {
      if (ground_[j] || !horizontal(j)) continue;
      ground_[j] = 1;
      region.push_back(j);
    }
  }
  if (region.size() < kGroundMinPoints) {
    for (uint32_t i : region) ground_[i] = 0;
    return;
  }
  groundCell_ = 4.0 * voxelSize_;
  auto cellKey = [&](const Vec3& p, int dx, int dz) {
    const int64_t ix = static_cast<int64_t>(std::floor((p.x - lower_.x) / groundCell_)) + dx + 1;
    const int64_t iz = static_cast<int64_t>(std::floor((p.z - lower_.z) / groundCell_)) + dz + 1;
    return (static_cast<uint64_t>(ix) << 32) | static_cast<uint64_t>(iz);
  };
  for (uint32_t i : region) {
    auto [it, fresh] = groundTop_.emplace(cellKey(points_[i], 0, 0), points_[i].y);
    if (!fresh) it->second = std::max(it->second, points_[i].y);
  }
  const double band = 2.0 * voxelSize_;
  for (uint32_t i = 0; i < n; ++i) {
    for (int dx = -1; dx <= 1 && !ground_[i]; ++dx)
      for (int dz = -1; dz <= 1 && !ground_[i]; ++dz) {
        auto it = groundTop_.find(cellKey(points_[i], dx, dz));
        if (it != groundTop_.end() && points_[i].y <= it->second + band) ground_[i] = 1;
      }
    groundCount_ += ground_[i];
  }
}

// Height of the ground under p: the highest ground in the nearest ring of ground cells around
// p's column (up to three cells away); NaN where there is none.
double ScanFit::groundBelow(const Vec3& p) const {
  if (groundTop_.empty()) return std::nan("");
  const int64_t cx = static_cast<int64_t>(std::floor((p.x - lower_.x) / groundCell_)) + 1;
  const int64_t cz = static_cast<int64_t>(std::floor((p.z - lower_.z) / groundCell_)) + 1;
  for (int ring = 0; ring <= 3; ++ring) {
    double best = -kInfinity;
    for (int dx = -ring; dx <= ring; ++dx)
      for (int dz = -ring; dz <= ring; ++dz) {
        if (std::max(std::abs(dx), std::abs(dz)) != ring) continue;
        auto it = groundTop_.find((static_cast<uint64_t>(cx + dx) << 32) | static_cast<uint64_t>(cz + dz));
        if (it != groundTop_.end()) best = std::max(best, it->second);
      }
    if (best > -kInfinity) return best;
  }
  return std::nan("");
}

// Height above the ground under p, or above the trunk foot where no ground was found.
double ScanFit::heightAboveGround(const Vec3& p) const {
  const double g = groundBelow(p);
  return p.y - (std::isnan(g) ? footPoint_.y : g);
}

void ScanFit::buildGraph() {
  voxelise();
  findPieces();
  distance_.assign(voxels_.size(), kInfinity);
  from_.assign(voxels_.size(), -1);
  if (!findFoot()) return;
  trackStem();
  for (size_t k = 0; k < footVoxels_.size(); ++k) distance_[footVoxels_[k]] = footHeight_[k];
  flood(footVoxels_);
  bridgeGaps();
}

void ScanFit::voxelise() {
  const double h = voxelSize_;
  std::vector<std::pair<uint64_t, uint32_t>> keyed;
  keyed.reserve(points_.size());
  for (uint32_t i = 0; i < points_.size(); ++i) {
    if (ground_[i]) continue;
    const Vec3& p = points_[i];
    const uint64_t ix = static_cast<uint64_t>((p.x - lower_.x) / h);
    const uint64_t iy = static_cast<uint64_t>((p.y - lower_.y) / h);
    const uint64_t iz = static_cast<uint64_t>((p.z - lower_.z) / h);
    keyed.emplace_back((ix << 42) | (iy << 21) | iz, i);
  }
  std::sort(keyed.begin(), keyed.end());
  voxelPoints_.clear();
  voxels_.clear();
  std::vector<uint64_t> keys;
  for (size_t k = 0; k < keyed.size(); ++k) {
    if (k == 0 || keyed[k].first != keyed[k - 1].first) {
      voxels_.push_back(Voxel());
      voxels_.back().first = static_cast<uint32_t>(k);
      keys.push_back(keyed[k].first);
    }
    voxelPoints_.push_back(keyed[k].second);
    Voxel& v = voxels_.back();
    v.centroid = v.centroid + points_[keyed[k].second];
    ++v.count;
  }
  for (Voxel& v : voxels_) v.centroid = v.centroid / static_cast<double>(v.count);

  // Edges of the 26-neighbourhood, found by binary search in the sorted keys.
  const uint64_t mask = (1ull << 21) - 1;
  edgeStart_.assign(1, 0);
  edgeTo_.clear();
  edgeLength_.clear();
  for (size_t i = 0; i < keys.size(); ++i) {
    const int64_t ix = static_cast<int64_t>(keys[i] >> 42), iy = static_cast<int64_t>((keys[i] >> 21) & mask),
                  iz = static_cast<int64_t>(keys[i] & mask);
    for (int dx = -1; dx <= 1; ++dx)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dz = -1; dz <= 1; ++dz) {
          if ((!dx && !dy && !dz) || ix + dx < 0 || iy + dy < 0 || iz + dz < 0) continue;
          const uint64_t key = (static_cast<uint64_t>(ix + dx) << 42) | (static_cast<uint64_t>(iy + dy) << 21) |
                               static_cast<uint64_t>(iz + dz);
          auto it = std::lower_bound(keys.begin(), keys.end(), key);
          if (it == keys.end() || *it != key) continue;
          const uint32_t j = static_cast<uint32_t>(it - keys.begin());
          edgeTo_.push_back(j);
          edgeLength_.push_back(length(voxels_[i].centroid - voxels_[j].centroid));
        }
    edgeStart_.push_back(static_cast<uint32_t>(edgeTo_.size()));
  }
}

void ScanFit::findPieces() {
  UnionFind uf(voxels_.size());
  for (uint32_t i = 0; i < voxels_.size(); ++i)
    for (uint32_t e = edgeStart_[i]; e < edgeStart_[i + 1]; ++e) uf.join(i, edgeTo_[e]);
  std::unordered_map<uint32_t, int32_t> pieceOf;
  pieceSize_.clear();
  pieceLow_.clear();
  pieceHigh_.clear();
  for (uint32_t i = 0; i < voxels_.size(); ++i) {
    auto [it, fresh] = pieceOf.emplace(uf.find(i), static_cast<int32_t>(pieceSize_.size()));
    Voxel& v = voxels_[i];
    if (fresh) {
      pieceSize_.push_back(0);
      pieceLow_.push_back(v.centroid);
      pieceHigh_.push_back(v.centroid);
    }
    v.piece = it->second;
    pieceSize_[v.piece] += v.count;
    const Vec3& c = v.centroid;
    Vec3& lo = pieceLow_[v.piece];
    Vec3& hi = pieceHigh_[v.piece];
    lo = Vec3(std::min(lo.x, c.x), std::min(lo.y, c.y), std::min(lo.z, c.z));
    hi = Vec3(std::max(hi.x, c.x), std::max(hi.y, c.y), std::max(hi.z, c.z));
  }
  pieces_ = pieceSize_.size();
}

// The trunk foot. The trunk is the piece with the most points in the lowest tenth of the
// wood's height. Its voxels less than a seed band above its lowest part (height taken above
// the ground where there is ground, so a trunk on a slope is seeded all round) start the
// distances with that height, so equal distances run across the trunk rather than around
// it. The band is as high as the trunk is wide at its foot: the median distance of the
// piece's lowest tenth of points from their middle.
bool ScanFit::findFoot() {
  if (voxels_.empty()) return false;
  double low = kInfinity, high = -kInfinity;
  for (const Voxel& v : voxels_) low = std::min(low, v.centroid.y), high = std::max(high, v.centroid.y);
  std::vector<uint32_t> lowCount(pieceSize_.size(), 0);
  for (const Voxel& v : voxels_)
    if (v.centroid.y <= low + 0.1 * (high - low)) lowCount[v.piece] += v.count;
  footPiece_ = -1;
  for (size_t p = 0; p < pieceSize_.size(); ++p)
    if (lowCount[p] > 0 && (footPiece_ < 0 || lowCount[p] > lowCount[footPiece_])) footPiece_ = static_cast<int32_t>(p);
  if (footPiece_ < 0) return false;

  const double bottom = pieceLow_[footPiece_].y;
  std::vector<uint32_t> members;
  std::vector<double> height;
  double lowest = kInfinity;
  for (uint32_t i = 0; i < voxels_.size(); ++i) {
    if (voxels_[i].piece != footPiece_) continue;
    const double g = groundBelow(voxels_[i].centroid);
    members.push_back(i);
    height.push_back(voxels_[i].centroid.y - (std::isnan(g) ? bottom : g));
    lowest = std::min(lowest, height.back());
  }
  std::vector<uint32_t> byHeight(members.size());
  std::iota(byHeight.begin(), byHeight.end(), 0u);
  std::sort(byHeight.begin(), byHeight.end(),
            [&](uint32_t a, uint32_t b) { return height[a] < height[b] || (height[a] == height[b] && a < b); });
  std::vector<double> xs, zs;
  const size_t tenth = std::max<size_t>(1, pieceSize_[footPiece_] / 10);
  for (uint32_t k : byHeight) {
    if (xs.size() >= tenth) break;
    const Voxel& v = voxels_[members[k]];
    for (uint32_t q = v.first; q < v.first + v.count; ++q) {
      xs.push_back(points_[voxelPoints_[q]].x);
      zs.push_back(points_[voxelPoints_[q]].z);
    }
  }
  const double cx = medianOf(xs), cz = medianOf(zs);
  std::vector<double> across;
  for (size_t k = 0; k < xs.size(); ++k) across.push_back(std::hypot(xs[k] - cx, zs[k] - cz));
  footBand_ = std::max(2.0 * step_, medianOf(across));

  footVoxels_.clear();
  footHeight_.clear();
  double footY = kInfinity;
  for (size_t k = 0; k < members.size(); ++k) {
    const double h = height[k] - lowest;
    if (h >= footBand_) continue;
    footVoxels_.push_back(members[k]);
    footHeight_.push_back(h);
    footY = std::min(footY, voxels_[members[k]].centroid.y - h);
  }
  footPoint_ = Vec3(cx, std::max(footY, bottom), cz);
  return !footVoxels_.empty();
}

// The trunk followed upwards from the foot by circles across it, each a step of half its
// radius above the last, while the circles stay good and about as wide (a fork or thin wood
// ends it). Voxels within a ring's slab and tube get their distance along the stem.
void ScanFit::trackStem() {
  stem_.clear();
  stemAlong_.assign(voxels_.size(), std::nan(""));
  stemRing_.assign(voxels_.size(), -1);
  Vec3 axis(0, 1, 0), centre;
  const double minRadius = kStemMinVoxels * voxelSize_;
  Circle c = slabCircle(footPoint_ + axis * (0.5 * footBand_), axis, std::max(3.0 * voxelSize_, 2.5 * footBand_),
                        std::max(0.25 * footBand_, voxelSize_), &centre);
  noise_ = 0.0;
  if (!c.ok || !closeToRing(c) || c.r < minRadius) return;
  std::vector<double> residuals{c.residual};
  stem_.push_back({centre, axis, c.r, centre.y - footPoint_.y});
  while (stem_.size() < 100000) {
    const StemRing last = stem_.back();
    const double advance = std::max(step_, 0.5 * last.radius);
    // Where a branch leaves, the circle fails for a while: the next good one up to a few
    // steps ahead continues the stem, the rings in between interpolated.
    int ahead = 1;
    for (; ahead <= kStemSkip + 1; ++ahead) {
      const Vec3 at = last.centre + last.axis * (advance * ahead);
      c = slabCircle(at, last.axis, 2.5 * last.radius, std::max(0.5 * advance, voxelSize_), &centre);
      if (c.ok && closeToRing(c) && c.r >= minRadius && c.r >= 0.7 * last.radius && c.r <= 1.3 * last.radius &&
          length(centre - at) <= 0.5 * last.radius)
        break;
    }
    if (ahead > kStemSkip + 1) break;
    for (int k = 1; k < ahead; ++k) {
      const double t = static_cast<double>(k) / ahead;
      const Vec3 mid = last.centre + (centre - last.centre) * t;
      stem_.push_back({mid, last.axis, last.radius + t * (c.r - last.radius), last.along + length(mid - last.centre)});
    }
    const StemRing& prev = stem_.back();
    const StemRing& back = stem_[stem_.size() >= 3 ? stem_.size() - 3 : 0];
    Vec3 dir = centre - back.centre;
    dir = length(dir) > 0.0 ? dir / length(dir) : last.axis;
    stem_.push_back({centre, dir, c.r, prev.along + length(centre - prev.centre)});
    residuals.push_back(c.residual);
  }
  if (stem_.size() >= 2) noise_ = medianOf(residuals);
  if (stem_.size() < 2) {
    stem_.clear();
    return;
  }
  std::vector<Vec3> centres;
  centres.reserve(voxels_.size());
  for (const Voxel& v : voxels_) centres.push_back(v.centroid);
  const PointIndex index(centres);
  std::vector<uint32_t> near;
  std::vector<double> bestAlong(voxels_.size(), kInfinity);
  for (size_t k = 0; k < stem_.size(); ++k) {
    const StemRing& ring = stem_[k];
    const double half =
        0.5 * (k + 1 < stem_.size() ? stem_[k + 1].along - ring.along : ring.along - stem_[k - 1].along);
    const double tube = ring.radius + std::max(kill_, 0.25 * ring.radius);
    near.clear();
    index.within(ring.centre, std::hypot(tube, half), &near);
    for (uint32_t v : near) {
      const Vec3 r = voxels_[v].centroid - ring.centre;
      const double along = dot(r, ring.axis);
      if (std::fabs(along) > half || dot(r, r) - along * along > tube * tube) continue;
      if (std::fabs(along) < bestAlong[v]) {
        bestAlong[v] = std::fabs(along);
        stemAlong_[v] = ring.along + along;
        stemRing_[v] = static_cast<int32_t>(k);
      }
    }
  }
}

bool ScanFit::closeToRing(const Circle& c) const {
  return c.ok && c.residual <= std::max(kRingResidualShare * c.r, kNoiseAllowance * noise_);
}

// Dijkstra over the graph from voxels whose distance is already set.
void ScanFit::flood(const std::vector<uint32_t>& seeds) {
  using Entry = std::pair<double, uint32_t>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
  for (uint32_t s : seeds) queue.emplace(distance_[s], s);
  while (!queue.empty()) {
    const auto [d, i] = queue.top();
    queue.pop();
    if (d > distance_[i]) continue;
    for (uint32_t e = edgeStart_[i]; e < edgeStart_[i + 1]; ++e) {
      const uint32_t j = edgeTo_[e];
      // Along the tracked stem distance runs along its axis, so that equal distances make
      // rings across it however the path winds over its surface.
      const bool onStem = !std::isnan(stemAlong_[i]) && !std::isnan(stemAlong_[j]);
      const double nd = d + (onStem ? std::fabs(stemAlong_[j] - stemAlong_[i]) : edgeLength_[e]);
      if (nd < distance_[j]) {
        distance_[j] = nd;
        from_[j] = static_cast<int32_t>(i);
        queue.emplace(nd, j);
      }
    }
  }
}

// Pieces the graph does not reach are joined to the reached wood over the narrowest gap,
// narrowest first (Prim's order on the pieces): first every gap up to a few influence radii,
// then, one at a time, the nearest piece farther away. Specks join only within the
// influence radius (farther ones are stray points), and nothing joins that lies within the
// foot band above the ground (clutter on the ground is no wood).
void ScanFit::bridgeGaps() {
  const uint32_t n = static_cast<uint32_t>(voxels_.size());
  std::vector<Vec3> centres;
  centres.reserve(n);
  for (const Voxel& v : voxels_) centres.push_back(v.centroid);
  PresenceIndex unreached(centres), reached(centres);
  std::vector<std::vector<uint32_t>> pieceVoxels(pieceSize_.size());
  for (uint32_t i = 0; i < n; ++i) pieceVoxels[voxels_[i].piece].push_back(i);
  std::vector<char> open(pieceSize_.size(), 1);  // may still join
  for (size_t p = 0; p < pieceVoxels.size(); ++p) {
    double top = -kInfinity;
    for (uint32_t v : pieceVoxels[p]) top = std::max(top, heightAboveGround(voxels_[v].centroid));
    if (static_cast<int32_t>(p) != footPiece_ && top < footBand_) open[p] = 0;
  }
  for (uint32_t i = 0; i < n; ++i) {
    if (distance_[i] < kInfinity) {
      reached.insert(i);
      open[voxels_[i].piece] = 0;
    } else if (open[voxels_[i].piece]) {
      unreached.insert(i);
    }
  }
  struct Candidate {
    double gap;
    uint32_t from, to;
    bool operator>(const Candidate& o) const {
      return gap > o.gap || (gap == o.gap && (from > o.from || (from == o.from && to > o.to)));
    }
  };
  std::priority_queue<Candidate, std::vector<Candidate>, std::greater<Candidate>> queue;
  const double localReach = kLocalReach * influence_;
  auto offer = [&](uint32_t v) {
    double d = 0.0;
    const size_t u = unreached.nearest(voxels_[v].centroid, &d, localReach);
    if (u != SIZE_MAX) queue.push({d, v, static_cast<uint32_t>(u)});
  };
  auto close = [&](int32_t piece) {
    open[piece] = 0;
    for (uint32_t v : pieceVoxels[piece]) unreached.remove(v);
  };
  auto join = [&](uint32_t from, uint32_t to, double gap) {
    const int32_t piece = voxels_[to].piece;
    ++bridges_;
    distance_[to] = distance_[from] + gap;
    from_[to] = static_cast<int32_t>(from);
    flood({to});
    close(piece);
    for (uint32_t v : pieceVoxels[piece]) reached.insert(v);
    for (uint32_t v : pieceVoxels[piece]) offer(v);
  };
  for (uint32_t v = 0; v < n; ++v)
    if (distance_[v] < kInfinity) offer(v);

  while (true) {
    while (!queue.empty()) {
      const Candidate c = queue.top();
      queue.pop();
      const int32_t piece = voxels_[c.to].piece;
      if (unreached.present(c.to) && pieceSize_[piece] < kSpeckPoints && c.gap > influence_) close(piece);
      if (unreached.present(c.to)) join(c.from, c.to, c.gap);
      offer(c.from);
    }
    // Nothing open within reach: the nearest piece that is more than a speck, however far.
    Candidate best{kInfinity, 0, 0};
    for (size_t p = 0; p < pieceVoxels.size(); ++p) {
      if (!open[p] || pieceSize_[p] < kSpeckPoints) continue;
      for (uint32_t v : pieceVoxels[p]) {
        double d = 0.0;
        const size_t u = reached.nearest(voxels_[v].centroid, &d, best.gap);
        if (u != SIZE_MAX && d < best.gap) best = {d, static_cast<uint32_t>(u), v};
      }
    }
    if (!(best.gap < kInfinity)) break;
    join(best.from, best.to, best.gap);
  }
  for (uint32_t v = 0; v < n; ++v)
    if (!(distance_[v] < kInfinity)) leftOut_ += voxels_[v].count;
}

void ScanFit::fillStats(FitStats* st) const {
  st->groundPoints = groundCount_;
  st->voxels = voxels_.size();
  st->pieces = pieces_;
  st->bridges = bridges_;
  st->leftOutPoints = leftOut_;
  st->nodes = 0;
  st->fittedNodes = 0;
  for (size_t k = 1; k < nodes_.size(); ++k) {
    st->nodes += !nodes_[k].dropped;
    st->fittedNodes += !nodes_[k].dropped && nodes_[k].fitted;
  }
  st->spacing = spacing_;
  st->voxelSize = voxelSize_;
  st->step = step_;
  st->killDistance = kill_;
  st->influenceRadius = influence_;
  st->stemRings = stem_.size();
}
