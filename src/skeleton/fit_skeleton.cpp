// "Fit to scan", second half: nodes from bins of the distance from the trunk foot, rings and
// radii, the tidying of the node tree, and the hand-over to the tree model.

#include <cmath>
#include <deque>
#include <limits>

#include "skeleton/fit_scan.h"
#include "tree/tree_model.h"

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Thickness found at the first cut spreads over this many rings of neighbouring voxels, so
// loose points beside thick wood share its bins.
constexpr int kThicknessRounds = 2;
// Second cut: bins as wide as the wood is thick; pieces of one bin closer than this many
// thicknesses are one piece cut apart by a hole in the scan.
constexpr double kJoinPerThickness = 2.0;
// A radius is measured from at least this many points.
constexpr size_t kMinFitPoints = 5;
// Circle fits: at least this many of sixteen sectors around the centre hold points, and the
// median distance of the points from the circle is at most this share of its radius.
constexpr int kMinSectors = 5;
// A side node within the tube of a ring plus this share of its radius (at least the kill
// distance) lies on that wood's surface.
constexpr double kSurfaceShare = 0.25;
// Weight of a radius interpolated between measurements when tapering a branch.
constexpr double kUnmeasuredWeight = 0.5;
// Ring nodes looked for this many nodes up and down a branch line.
constexpr int kRingSearchSteps = 8;

// Largest distance of 2-D points from their mean.
double spreadOf(const std::vector<double>& u, const std::vector<double>& v) {
  double mu = 0, mv = 0;
  for (size_t i = 0; i < u.size(); ++i) mu += u[i], mv += v[i];
  const double n = static_cast<double>(std::max<size_t>(1, u.size()));
  mu /= n, mv /= n;
  double far = 0.0;
  for (size_t i = 0; i < u.size(); ++i) far = std::max(far, std::hypot(u[i] - mu, v[i] - mv));
  return far;
}

double det3(const double m[3][3]) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// Solves m x = b by Cramer's rule; false when m is singular.
bool solve3(const double m[3][3], const double b[3], double x[3]) {
  const double det = det3(m);
  if (!(std::fabs(det) > 1e-30)) return false;
  for (int col = 0; col < 3; ++col) {
    double c[3][3];
    for (int r = 0; r < 3; ++r)
      for (int k = 0; k < 3; ++k) c[r][k] = k == col ? b[r] : m[r][k];
    x[col] = det3(c) / det;
  }
  return true;
}

}  // namespace

// Circle through 2-D points: an algebraic fit, refined by geometric Gauss-Newton steps on
// the points within three median residuals of the circle. Accepted only when the points
// surround enough of it and sit close to it.
Circle fitCircle(const std::vector<double>& u, const std::vector<double>& v) {
  Circle c;
  const size_t n = u.size();
  if (n < 8) return c;
  double mu = 0, mv = 0;
  for (size_t i = 0; i < n; ++i) mu += u[i], mv += v[i];
  mu /= static_cast<double>(n), mv /= static_cast<double>(n);
  // Algebraic fit around the mean: x^2 + y^2 + D x + E y + F = 0.
  double m[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, b[3] = {0, 0, 0}, s[3];
  for (size_t i = 0; i < n; ++i) {
    const double x = u[i] - mu, y = v[i] - mv, row[3] = {x, y, 1.0};
    for (int r = 0; r < 3; ++r) {
      for (int k = 0; k < 3; ++k) m[r][k] += row[r] * row[k];
      b[r] -= row[r] * (x * x + y * y);
    }
  }
  if (!solve3(m, b, s)) return c;
  double cu = -s[0] / 2, cv = -s[1] / 2, r2 = cu * cu + cv * cv - s[2];
  if (!(r2 > 0.0)) return c;
  double r = std::sqrt(r2);
  std::vector<double> residual(n);
  for (int iteration = 0; iteration < 8; ++iteration) {
    for (size_t i = 0; i < n; ++i) residual[i] = std::fabs(std::hypot(u[i] - mu - cu, v[i] - mv - cv) - r);
    const double limit = 3.0 * std::max(medianOf(residual), 1e-12);
    double jtj[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, jtr[3] = {0, 0, 0};
    for (size_t i = 0; i < n; ++i) {
      if (residual[i] > limit) continue;
      const double dx = u[i] - mu - cu, dy = v[i] - mv - cv, d = std::hypot(dx, dy);
      if (d < 1e-12) continue;
      const double j[3] = {-dx / d, -dy / d, -1.0}, e = d - r;
      for (int p = 0; p < 3; ++p) {
        jtr[p] -= j[p] * e;
        for (int q = 0; q < 3; ++q) jtj[p][q] += j[p] * j[q];
      }
    }
    double step[3];
    if (!solve3(jtj, jtr, step)) break;
    cu += step[0], cv += step[1], r += step[2];
    if (!(r > 0.0)) return c;
    if (std::fabs(step[0]) + std::fabs(step[1]) + std::fabs(step[2]) < 1e-9 * r) break;
  }
  bool sector[16] = {};
  for (size_t i = 0; i < n; ++i) {
    const double dx = u[i] - mu - cu, dy = v[i] - mv - cv;
    residual[i] = std::fabs(std::hypot(dx, dy) - r);
    sector[static_cast<int>(std::floor((std::atan2(dy, dx) + kPi) / (2 * kPi) * 16)) & 15] = true;
  }
  int covered = 0;
  for (bool filled : sector) covered += filled;
  if (covered < kMinSectors) return c;
  c.cu = cu + mu, c.cv = cv + mv, c.r = r, c.residual = medianOf(residual), c.ok = true;
  return c;
}

// Labels of the connected pieces of each bin (voxels of one bin joined by edges and by path
// links); the foot voxels of the foot's bin form one piece. Unreached voxels get none.
std::vector<uint32_t> ScanFit::binPieces(const std::vector<int64_t>& bin) const {
  const uint32_t n = static_cast<uint32_t>(voxels_.size());
  UnionFind uf(n);
  for (uint32_t i = 0; i < n; ++i) {
    if (bin[i] < 0) continue;
    if (from_[i] >= 0 && bin[from_[i]] == bin[i]) uf.join(i, static_cast<uint32_t>(from_[i]));
    for (uint32_t e = edgeStart_[i]; e < edgeStart_[i + 1]; ++e)
      if (bin[edgeTo_[e]] == bin[i]) uf.join(i, edgeTo_[e]);
  }
  for (uint32_t i : footVoxels_)
    if (bin[i] == bin[footVoxels_[0]]) uf.join(i, footVoxels_[0]);
  std::vector<uint32_t> label(n, UINT32_MAX);
  for (uint32_t i = 0; i < n; ++i)
    if (bin[i] >= 0) label[i] = uf.find(i);
  return label;
}

// Point-weighted centre of a set of voxels and the median distance of its points from it.
void ScanFit::centreAndSpread(const std::vector<uint32_t>& voxels, Vec3* centre, double* spread) const {
  Vec3 sum;
  double weight = 0.0;
  for (uint32_t v : voxels) {
    sum = sum + voxels_[v].centroid * static_cast<double>(voxels_[v].count);
    weight += voxels_[v].count;
  }
  *centre = sum / weight;
  std::vector<double> d;
  for (uint32_t v : voxels)
    for (uint32_t k = voxels_[v].first; k < voxels_[v].first + voxels_[v].count; ++k)
      d.push_back(length(points_[voxelPoints_[k]] - *centre));
  *spread = medianOf(d);
}

// Nodes: the connected pieces of bins of the distance from the foot. A first cut at the step
// measures how thick the wood is around each voxel; the second cut makes each bin as wide as
// the wood is thick there (never narrower than the step), so a stem is cut into rings and not
// into scraps of its surface, while twigs keep the fine step. Each node hangs from the node
// holding the path predecessor of its voxel closest to the foot.
std::vector<uint32_t> ScanFit::hopsFromFoot(const std::vector<uint32_t>& reached) const {
  std::vector<uint32_t> hops(voxels_.size(), 0);
  std::vector<char> known(voxels_.size(), 0);
  std::vector<uint32_t> chain;
  for (uint32_t start : reached) {
    uint32_t v = start;
    while (!known[v] && from_[v] >= 0) {
      chain.push_back(v);
      v = static_cast<uint32_t>(from_[v]);
    }
    known[v] = 1;  // a path's first voxel has hop 0
    uint32_t h = hops[v];
    for (; !chain.empty(); chain.pop_back()) {
      hops[chain.back()] = ++h;
      known[chain.back()] = 1;
    }
  }
  return hops;
}

bool ScanFit::buildSkeleton() {
  nodes_.clear();
  if (footPiece_ < 0) return false;
  const uint32_t n = static_cast<uint32_t>(voxels_.size());
  std::vector<uint32_t> reached;
  for (uint32_t i = 0; i < n; ++i)
    if (distance_[i] < kInfinity) reached.push_back(i);
  if (reached.empty()) return false;
  // In path order: by distance, and at equal distance (along the tracked stem distance runs
  // along its axis, so a step around the stem adds nothing) by hops from the foot, so that
  // every voxel comes after its predecessor and a piece's first voxel is where its path
  // enters it.
  const std::vector<uint32_t> hops = hopsFromFoot(reached);
  std::sort(reached.begin(), reached.end(), [&](uint32_t a, uint32_t b) {
    if (distance_[a] != distance_[b]) return distance_[a] < distance_[b];
    return hops[a] < hops[b] || (hops[a] == hops[b] && a < b);
  });

  std::vector<int64_t> bin(n, -1);
  for (uint32_t i : reached) bin[i] = static_cast<int64_t>(distance_[i] / step_);
  std::vector<uint32_t> label = binPieces(bin);
  // Pieces in order of their voxel closest to the foot; each piece's axis runs from the
  // centre of the piece holding that voxel's path predecessor.
  std::unordered_map<uint32_t, uint32_t> firstIndex;
  std::vector<std::vector<uint32_t>> firstPieces;
  for (uint32_t i : reached) {
    auto [it, fresh] = firstIndex.emplace(label[i], static_cast<uint32_t>(firstPieces.size()));
    if (fresh) firstPieces.emplace_back();
    firstPieces[it->second].push_back(i);
  }
  std::vector<Vec3> firstCentre(firstPieces.size());
  std::vector<double> thickness(n, 0.0);
  for (size_t q = 0; q < firstPieces.size(); ++q) {
    double spread = 0.0;
    centreAndSpread(firstPieces[q], &firstCentre[q], &spread);
    const int32_t before = from_[firstPieces[q][0]];
    Vec3 axis = before < 0 ? Vec3(0, 1, 0) : firstCentre[q] - firstCentre[firstIndex[label[before]]];
    if (length(axis) > 0.0) {
      axis = axis / length(axis);
      std::vector<double> d;
      for (uint32_t v : firstPieces[q])
        for (uint32_t k = voxels_[v].first; k < voxels_[v].first + voxels_[v].count; ++k) {
          const Vec3 r = points_[voxelPoints_[k]] - firstCentre[q];
          const double along = dot(r, axis);
          d.push_back(std::sqrt(std::max(0.0, dot(r, r) - along * along)));
        }
      spread = medianOf(d);
    }
    for (uint32_t v : firstPieces[q]) thickness[v] = spread;
  }
  for (int round = 0; round < kThicknessRounds; ++round) {
    std::vector<double> grown = thickness;
    for (uint32_t i : reached)
      for (uint32_t e = edgeStart_[i]; e < edgeStart_[i + 1]; ++e) grown[i] = std::max(grown[i], thickness[edgeTo_[e]]);
    thickness.swap(grown);
  }
  std::vector<double> scaled(n, 0.0);
  for (uint32_t i : reached) {
    const int32_t f = from_[i];
    scaled[i] = f < 0 ? 0.0 : scaled[f] + (distance_[i] - distance_[f]) / std::max(step_, thickness[i]);
    bin[i] = static_cast<int64_t>(scaled[i]);
  }
  label = binPieces(bin);
  // On the tracked stem each ring is one piece: the bins there need not find it. The foot
  // band is one piece too, the trunk's first node: its voxels are where every path starts,
  // and a part of it the bins leave apart (clutter beside the foot, a foot split where the
  // ground was taken away) would otherwise start a second trunk.
  {
    std::vector<char> foot(n, 0);
    for (uint32_t i : footVoxels_) foot[i] = 1;
    for (uint32_t i : reached)
      if (stemRing_[i] >= 0 && !foot[i]) label[i] = n + static_cast<uint32_t>(stemRing_[i]);
    for (uint32_t i : footVoxels_) label[i] = std::numeric_limits<uint32_t>::max();
  }

  std::unordered_map<uint32_t, uint32_t> pieceIndex;
  std::vector<std::vector<uint32_t>> pieceVoxels;
  for (uint32_t i : reached) {
    auto [it, fresh] = pieceIndex.emplace(label[i], static_cast<uint32_t>(pieceVoxels.size()));
    if (fresh) pieceVoxels.emplace_back();
    pieceVoxels[it->second].push_back(i);
  }
  const uint32_t m = static_cast<uint32_t>(pieceVoxels.size());
  std::vector<Vec3> centre(m);
  std::vector<double> spread(m);
  double widest = 0.0;
  for (uint32_t p = 0; p < m; ++p) {
    centreAndSpread(pieceVoxels[p], &centre[p], &spread[p]);
    widest = std::max(widest, spread[p]);
  }
  const PointIndex centres(centre);
  UnionFind joined(m);
  std::vector<uint32_t> near;
  for (uint32_t p = 0; p < m; ++p) {
    near.clear();
    centres.within(centre[p], kJoinPerThickness * widest, &near);
    for (uint32_t q : near) {
      if (q == p || bin[pieceVoxels[q][0]] != bin[pieceVoxels[p][0]]) continue;
      if (length(centre[q] - centre[p]) <= kJoinPerThickness * std::max(spread[p], spread[q])) joined.join(p, q);
    }
  }

  nodes_.push_back(FitNode());
  nodes_[0].position = footPoint_;
  std::vector<int32_t> voxelNode(n, -1);
  std::unordered_map<uint32_t, uint32_t> nodeOf;
  std::vector<uint32_t> firstVoxel;
  for (uint32_t i : reached) {
    auto [it, fresh] = nodeOf.emplace(joined.find(pieceIndex[label[i]]), static_cast<uint32_t>(nodes_.size()));
    if (fresh) {
      nodes_.push_back(FitNode());
      firstVoxel.push_back(i);
    }
    voxelNode[i] = static_cast<int32_t>(it->second);
    nodes_[it->second].voxels.push_back(i);
  }
  for (size_t k = 1; k < nodes_.size(); ++k) {
    FitNode& node = nodes_[k];
    const int32_t before = from_[firstVoxel[k - 1]];
    node.parent = before < 0 ? 0 : voxelNode[before];
    nodes_[node.parent].children.push_back(static_cast<uint32_t>(k));
    double unused = 0.0;
    centreAndSpread(node.voxels, &node.position, &unused);
  }
  return nodes_.size() > 1 && nodes_[0].children.size() == 1;
}

// Direction, position and radius of node k. The radius is the median distance of the node's
// points from its axis; where those points spread wider than a voxel, a circle is fitted to
// every point in a slab across the axis (reaching past the node's own points, so wood whose
// far side fell into other nodes still fits as one ring), and a good ring gives both the
// centre and the radius.
void ScanFit::measureNode(uint32_t k, const std::vector<Vec3>& before, std::vector<double>* u, std::vector<double>* v) {
  FitNode& node = nodes_[k];
  const Vec3 from = before[node.parent];
  const Vec3 to = mainChild_[k] >= 0 ? before[mainChild_[k]] : before[k];
  Vec3 axis = to - from;
  const double len = length(axis);
  axis = len > 0.0 ? axis / len : Vec3(0, 1, 0);
  Vec3 side = std::fabs(axis.y) < 0.9 ? cross(axis, Vec3(0, 1, 0)) : cross(axis, Vec3(1, 0, 0));
  side = side / length(side);
  const Vec3 up = cross(axis, side);
  node.axis = axis;

  u->clear(), v->clear();
  for (uint32_t vx : node.voxels)
    for (uint32_t q = voxels_[vx].first; q < voxels_[vx].first + voxels_[vx].count; ++q) {
      const Vec3 r = points_[voxelPoints_[q]] - node.position;
      u->push_back(dot(r, side));
      v->push_back(dot(r, up));
    }
  std::vector<double> d;
  for (size_t i = 0; i < u->size(); ++i) d.push_back(std::hypot((*u)[i], (*v)[i]));
  node.radius = medianOf(d);
  node.fitted = d.size() >= kMinFitPoints;
  node.support = node.fitted ? static_cast<double>(d.size()) : 0.0;
  const double own = spreadOf(*u, *v);
  if (!node.fitted || own < voxelSize_) return;

  const double halfWidth = std::max(step_, 2.0 * voxelSize_);
  double reach = std::max(3.0 * voxelSize_, 2.0 * own);
  Vec3 centre;
  Circle circle = slabCircle(node.position, axis, reach, halfWidth, &centre);
  if (circle.ok && closeToRing(circle) && circle.r > 0.4 * reach) {
    reach = 2.5 * circle.r;
    circle = slabCircle(node.position, axis, reach, halfWidth, &centre);
  }
  if (!circle.ok || circle.r > 0.6 * reach || !closeToRing(circle)) return;
  node.position = centre;
  node.radius = circle.r;
  node.ring = true;
}

Circle ScanFit::slabCircle(const Vec3& at, const Vec3& axis, double reach, double halfWidth, Vec3* centre) const {
  Vec3 side = std::fabs(axis.y) < 0.9 ? cross(axis, Vec3(0, 1, 0)) : cross(axis, Vec3(1, 0, 0));
  side = side / length(side);
  const Vec3 up = cross(axis, side);
  std::vector<uint32_t> near;
  index_.within(at, reach, &near);
  std::vector<double> u, v;
  for (uint32_t i : near) {
    if (ground_[i]) continue;
    const Vec3 r = points_[i] - at;
    if (std::fabs(dot(r, axis)) > halfWidth) continue;
    u.push_back(dot(r, side));
    v.push_back(dot(r, up));
  }
  const Circle circle = fitCircle(u, v);
  if (circle.ok) *centre = at + side * circle.cu + up * circle.cv;
  return circle;
}

void ScanFit::fitRadii() {
  const size_t count = nodes_.size();
  // The child holding the most points below it continues its parent's branch.
  std::vector<double> mass(count, 0.0);
  for (size_t k = count; k-- > 1;) {
    for (uint32_t v : nodes_[k].voxels) mass[k] += voxels_[v].count;
    mass[nodes_[k].parent] += mass[k];
  }
  mainChild_.assign(count, -1);
  for (size_t k = 0; k < count; ++k)
    for (uint32_t c : nodes_[k].children)
      if (mainChild_[k] < 0 || mass[c] > mass[mainChild_[k]]) mainChild_[k] = static_cast<int32_t>(c);

  // Every node is measured from the first positions; ring centres move in afterwards.
  std::vector<Vec3> before(count);
  for (size_t k = 0; k < count; ++k) before[k] = nodes_[k].position;
  std::vector<double> u, v;
  for (size_t k = 1; k < count; ++k) measureNode(static_cast<uint32_t>(k), before, &u, &v);

  absorbIntoHosts();
  dropGroundBranches();

  std::vector<double> radii;
  for (size_t k = 1; k < count; ++k)
    if (nodes_[k].fitted && !nodes_[k].dropped) radii.push_back(nodes_[k].radius);
  std::sort(radii.begin(), radii.end());
  tipRadius_ = radii.empty() ? 0.5 * spacing_ : radii[radii.size() / 10];
  taperBranches();
}

// A node within the tube of a ring node of its own branch is no wood of its own: a side node
// there is that branch's surface (or a piece of a stem's far side cut off by the bins) and is
// dropped, its children moving to the nearest node of the branch where their links stay
// short; a node on the branch line itself is a detour along the surface and is cut out.
void ScanFit::absorbIntoHosts() {
  const size_t count = nodes_.size();
  auto tolerance = [&](uint32_t host) { return std::max(kill_, kSurfaceShare * nodes_[host].radius); };
  auto inside = [&](uint32_t host, const Vec3& p) {
    const FitNode& h = nodes_[host];
    if (!h.ring) return false;
    const Vec3 r = p - h.position;
    const double along = dot(r, h.axis);
    const double across = std::sqrt(std::max(0.0, dot(r, r) - along * along));
    return std::fabs(along) <= std::max(2.0 * step_, h.radius) && across <= h.radius + tolerance(host);
  };
  // Nearest node to p on the branch line through start: its ancestors while they continue
  // the line, and its main descendants.
  auto closestOnLine = [&](uint32_t start, const Vec3& p) {
    uint32_t best = start;
    double bestD = length(nodes_[start].position - p);
    for (int32_t m = mainChild_[start]; m >= 0; m = mainChild_[m]) {
      const double dm = length(nodes_[m].position - p);
      if (dm > bestD) break;
      best = static_cast<uint32_t>(m), bestD = dm;
    }
    for (uint32_t m = start; nodes_[m].parent > 0 && mainChild_[nodes_[m].parent] == static_cast<int32_t>(m);) {
      m = static_cast<uint32_t>(nodes_[m].parent);
      const double dm = length(nodes_[m].position - p);
      if (dm > bestD) break;
      best = m, bestD = dm;
    }
    return best;
  };
  // Nearest ring node to p within a few nodes of start along its line; -1 when none.
  auto ringNear = [&](uint32_t start, const Vec3& p) {
    int32_t best = -1;
    double bestD = kInfinity;
    auto consider = [&](uint32_t m) {
      const double dm = length(nodes_[m].position - p);
      if (nodes_[m].ring && dm < bestD) best = static_cast<int32_t>(m), bestD = dm;
    };
    consider(start);
    int steps = 0;
    for (int32_t m = mainChild_[start]; m >= 0 && steps < kRingSearchSteps; m = mainChild_[m], ++steps) consider(m);
    steps = 0;
    for (int32_t m = nodes_[start].parent; m > 0 && steps < kRingSearchSteps; m = nodes_[m].parent, ++steps)
      consider(m);
    return best;
  };
  auto unhook = [&](uint32_t k) {
    auto& siblings = nodes_[nodes_[k].parent].children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), k));
  };

  std::vector<uint32_t> to;
  for (size_t k = 2; k < count; ++k) {
    FitNode& node = nodes_[k];
    const int32_t p = node.parent;
    if (p <= 0 || node.dropped) continue;
    if (mainChild_[p] == static_cast<int32_t>(k)) {
      if (node.ring) continue;
      const int32_t host = ringNear(static_cast<uint32_t>(k), node.position);
      if (host < 0 || !inside(static_cast<uint32_t>(host), node.position)) continue;
      unhook(static_cast<uint32_t>(k));
      for (uint32_t c : node.children) {
        nodes_[c].parent = p;
        nodes_[p].children.push_back(c);
      }
      mainChild_[p] = mainChild_[k];
    } else {
      const int32_t host = ringNear(closestOnLine(static_cast<uint32_t>(p), node.position), node.position);
      if (host < 0 || !inside(static_cast<uint32_t>(host), node.position)) continue;
      to.clear();
      bool shortLinks = true;
      for (uint32_t c : node.children) {
        to.push_back(closestOnLine(static_cast<uint32_t>(host), nodes_[c].position));
        shortLinks = shortLinks && length(nodes_[c].position - nodes_[to.back()].position) <=
                                       length(nodes_[c].position - node.position) + nodes_[host].radius +
                                           tolerance(static_cast<uint32_t>(host));
      }
      if (!shortLinks) continue;
      unhook(static_cast<uint32_t>(k));
      for (size_t i = 0; i < node.children.size(); ++i) {
        nodes_[node.children[i]].parent = static_cast<int32_t>(to[i]);
        nodes_[to[i]].children.push_back(node.children[i]);
      }
    }
    node.dropped = true;
    node.children.clear();
    mainChild_[k] = -1;
  }
}

// Clutter on the ground is no wood and grows no roots: side branches that never rise out of
// the foot band above the ground are dropped, and so are branches leaving the trunk within
// two foot bands of the ground that spread farther from the trunk than they rise (lying
// along the ground rather than growing up from it). The trunk line from the foot stays.
void ScanFit::dropGroundBranches() {
  const size_t count = nodes_.size();
  // Post-order over the live tree: highest point above the ground and farthest reach from
  // the trunk's foot of each subtree.
  std::vector<double> top(count, -kInfinity), reach(count, 0.0);
  std::vector<uint32_t> order, stack{0u};
  while (!stack.empty()) {
    const uint32_t k = stack.back();
    stack.pop_back();
    order.push_back(k);
    for (uint32_t c : nodes_[k].children) stack.push_back(c);
  }
  for (size_t i = order.size(); i-- > 1;) {
    const uint32_t k = order[i];
    const Vec3& p = nodes_[k].position;
    top[k] = std::max(top[k], heightAboveGround(p));
    reach[k] = std::max(reach[k], std::hypot(p.x - footPoint_.x, p.z - footPoint_.z));
    const int32_t parent = nodes_[k].parent;
    top[parent] = std::max(top[parent], top[k]);
    reach[parent] = std::max(reach[parent], reach[k]);
  }
  std::vector<char> trunk(count, 0);
  for (int32_t k = nodes_[0].children.empty() ? -1 : static_cast<int32_t>(nodes_[0].children[0]); k >= 0;
       k = mainChild_[k])
    trunk[k] = 1;
  std::vector<uint32_t> drop;
  for (size_t i = 1; i < order.size(); ++i) {
    const uint32_t k = order[i];
    const int32_t parent = nodes_[k].parent;
    if (trunk[k]) continue;
    const bool onGround = top[k] < footBand_ && top[parent] >= footBand_;
    const bool alongGround = parent > 0 && trunk[parent] &&
                             heightAboveGround(nodes_[parent].position) < 2.0 * footBand_ && top[k] < reach[k];
    if (onGround || alongGround) drop.push_back(k);
  }
  for (uint32_t k : drop) {
    auto& siblings = nodes_[nodes_[k].parent].children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), k));
    stack.assign(1, k);
    while (!stack.empty()) {
      const uint32_t j = stack.back();
      stack.pop_back();
      nodes_[j].dropped = true;
      for (uint32_t c : nodes_[j].children) stack.push_back(c);
    }
  }
}

// Radii along each branch (the heaviest path from a fork): nodes without a measurement take
// the value interpolated between measured ones, and past the last one the branch thins to
// the tip radius, the twig end of the pipe model. Then the closest non-increasing sequence
// (pooled adjacent violators, weighted by the points behind each measurement), capped at
// the radius of the node the branch leaves: a stray thin or thick node does not bend the
// taper, and no child is thicker than its parent.
void ScanFit::taperBranches() {
  std::vector<uint32_t> starts{0u}, path;
  std::vector<double> along, value, pooled, weight;
  std::vector<size_t> blockEnd;
  while (!starts.empty()) {
    const uint32_t start = starts.back();
    starts.pop_back();
    const double cap = start == 0 ? kInfinity : nodes_[nodes_[start].parent].radius;
    path.clear();
    for (int32_t k = static_cast<int32_t>(start); k >= 0;) {
      path.push_back(static_cast<uint32_t>(k));
      int32_t next = -1;
      for (uint32_t c : nodes_[k].children)
        if (next < 0 || mainChild_[k] == static_cast<int32_t>(c)) next = static_cast<int32_t>(c);
      for (uint32_t c : nodes_[k].children)
        if (static_cast<int32_t>(c) != next) starts.push_back(c);
      k = next;
    }
    if (start == 0) path.erase(path.begin());
    const size_t m = path.size();
    if (m == 0) continue;
    along.assign(m, 0.0);
    for (size_t i = 1; i < m; ++i)
      along[i] = along[i - 1] + length(nodes_[path[i]].position - nodes_[path[i - 1]].position);

    value.assign(m, 0.0);
    int64_t last = -1;
    for (size_t i = 0; i < m; ++i) {
      if (!nodes_[path[i]].fitted) continue;
      const double r = nodes_[path[i]].radius;
      for (size_t j = last < 0 ? 0 : static_cast<size_t>(last) + 1; j < i; ++j) {
        const double t = last < 0 ? 1.0 : (along[j] - along[last]) / std::max(along[i] - along[last], 1e-12);
        value[j] = last < 0 ? r : value[last] + t * (r - value[last]);
      }
      value[i] = r;
      last = static_cast<int64_t>(i);
    }
    const double tip = std::min(tipRadius_, cap);
    if (last < 0) {
      std::fill(value.begin(), value.end(), tip);
    } else {
      const double end = std::min(value[last], tip), span = along[m - 1] - along[last];
      for (size_t j = static_cast<size_t>(last) + 1; j < m; ++j)
        value[j] = value[last] + (span > 0.0 ? (along[j] - along[last]) / span : 1.0) * (end - value[last]);
    }

    pooled.clear(), weight.clear(), blockEnd.clear();
    for (size_t i = 0; i < m; ++i) {
      pooled.push_back(std::min(value[i], cap));
      weight.push_back(nodes_[path[i]].fitted ? nodes_[path[i]].support : kUnmeasuredWeight);
      blockEnd.push_back(i + 1);
      while (pooled.size() >= 2 && pooled[pooled.size() - 2] < pooled.back()) {
        const size_t a = pooled.size() - 2;
        const double w = weight[a] + weight[a + 1];
        pooled[a] = (pooled[a] * weight[a] + pooled[a + 1] * weight[a + 1]) / w;
        weight[a] = w;
        blockEnd[a] = blockEnd[a + 1];
        pooled.pop_back(), weight.pop_back(), blockEnd.pop_back();
      }
    }
    size_t i = 0;
    for (size_t block = 0; block < pooled.size(); ++block)
      for (; i < blockEnd[block]; ++i) nodes_[path[i]].radius = pooled[block];
  }
}

// Breadth-first from the first node above the foot, as the growth hands its skeleton over:
// the root segment runs from the foot to that node, and each further node ends one segment.
void ScanFit::handOver(TreeModel& model, double scale) const {
  model.clear();
  if (nodes_.size() < 2 || nodes_[0].children.size() != 1) return;
  auto modelPoint = [&](const Vec3& p) { return Vec3(p.x * scale, p.y * scale, p.z * scale); };
  auto stored = [&](double r) { return 2.0 * r * scale; };
  // The child that continues a branch is listed first: the tree model traces it onwards.
  auto kids = [&](uint32_t k) {
    std::vector<uint32_t> list = nodes_[k].children;
    auto main = std::find(list.begin(), list.end(), static_cast<uint32_t>(std::max(0, mainChild_[k])));
    if (mainChild_[k] >= 0 && main != list.end()) std::rotate(list.begin(), main, main + 1);
    return list;
  };
  const uint32_t top = nodes_[0].children[0];
  TreeSegment root;
  root.start = modelPoint(nodes_[0].position);
  root.end = modelPoint(nodes_[top].position);
  root.fittedRadius = stored(nodes_[top].radius);
  uint32_t assigned = 0;
  for (size_t c = 0; c < nodes_[top].children.size(); ++c) root.children.push_back(++assigned);
  (void)kids;
  model.appendSegment(root);

  std::vector<int32_t> segmentOf(nodes_.size(), 0);
  std::deque<uint32_t> queue{top};
  int32_t next = 1;
  while (!queue.empty()) {
    const uint32_t p = queue.front();
    queue.pop_front();
    for (uint32_t c : kids(p)) {
      TreeSegment s;
      s.start = modelPoint(nodes_[p].position);
      s.end = modelPoint(nodes_[c].position);
      s.parent = segmentOf[p];
      s.fittedRadius = stored(nodes_[c].radius);
      for (size_t g = 0; g < nodes_[c].children.size(); ++g) s.children.push_back(++assigned);
      model.appendSegment(s);
      segmentOf[c] = next++;
      queue.push_back(c);
    }
  }
}
