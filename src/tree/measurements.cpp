#include "tree/measurements.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>

#include "pointcloud/point_cloud.h"
#include "tree/scan_exports.h"
#include "tree/tree_model.h"

namespace {

constexpr double kDrawnRadius = 0.5;  // the tube surface sits at half the stored radius
constexpr double kSliceHalf = 0.05;   // half the stem slice's thickness, file units
constexpr int32_t kMinStemPoints = 10;
constexpr double kMaxRmsToRadius = 0.25;
// A second stem at breast height: a branch crossing it beside the stem that rises within 45
// degrees of upright and is at least this share of the stem's radius, or reaches into the
// top quarter of the tree's height (the pipe-model radii can undervalue a second stem).
constexpr double kCodominantRatio = 0.7;
constexpr double kCodominantTop = 0.75;
// A circle with more than this share of the points well inside it is not a stem's outline.
constexpr double kMaxInsideShare = 0.1;
// Branches on the trunk that stay this close to the base (roots, ground points the skeleton
// ran through) do not start the crown.
constexpr double kGroundBranchHeight = 0.5;
// Random circles through three points tried as the start of the stem fit.
constexpr int kCircleTrials = 400;

struct Point2 {
  double x, y;
};

// Solves the 3x3 system a * s = b by Cramer's rule; false when it is (nearly) singular.
bool solve3(const double a[3][3], const double b[3], double s[3]) {
  auto det = [](const double m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  };
  const double d = det(a);
  double scaleSum = 0.0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) scaleSum += std::fabs(a[i][j]);
  if (!std::isfinite(d) || std::fabs(d) <= 1e-14 * scaleSum * scaleSum * scaleSum) return false;
  for (int c = 0; c < 3; ++c) {
    double m[3][3];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) m[i][j] = j == c ? b[i] : a[i][j];
    s[c] = det(m) / d;
  }
  return true;
}

// Algebraic (Kasa) fit: least squares of x^2 + y^2 + D x + E y + F over the points.
bool algebraicCircle(const std::vector<Point2>& p, const std::vector<uint32_t>& use, double* cx, double* cy,
                     double* r) {
  double a[3][3] = {}, b[3] = {};
  for (uint32_t i : use) {
    const double row[3] = {p[i].x, p[i].y, 1.0};
    const double rhs = -(p[i].x * p[i].x + p[i].y * p[i].y);
    for (int j = 0; j < 3; ++j) {
      for (int k = 0; k < 3; ++k) a[j][k] += row[j] * row[k];
      b[j] += row[j] * rhs;
    }
  }
  double s[3];
  if (!solve3(a, b, s)) return false;
  *cx = -0.5 * s[0];
  *cy = -0.5 * s[1];
  const double r2 = *cx * *cx + *cy * *cy - s[2];
  if (!(r2 > 0.0)) return false;
  *r = std::sqrt(r2);
  return true;
}

// Geometric fit by Gauss-Newton on the distances to the circle, from the given start.
bool geometricCircle(const std::vector<Point2>& p, const std::vector<uint32_t>& use, double* cx, double* cy,
                     double* r) {
  for (int iteration = 0; iteration < 50; ++iteration) {
    double a[3][3] = {}, b[3] = {};
    for (uint32_t i : use) {
      const double dx = p[i].x - *cx, dy = p[i].y - *cy;
      const double d = std::sqrt(dx * dx + dy * dy);
      if (d == 0.0) continue;
      const double j[3] = {-dx / d, -dy / d, -1.0};
      const double e = d - *r;
      for (int u = 0; u < 3; ++u) {
        for (int v = 0; v < 3; ++v) a[u][v] += j[u] * j[v];
        b[u] -= j[u] * e;
      }
    }
    double step[3];
    if (!solve3(a, b, step)) return false;
    *cx += step[0];
    *cy += step[1];
    *r += step[2];
    if (!std::isfinite(*r) || *r <= 0.0) return false;
    if (std::fabs(step[0]) + std::fabs(step[1]) + std::fabs(step[2]) <= 1e-12 * *r) break;
  }
  return true;
}

double median(std::vector<double> v) {
  const size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + mid, v.end());
  return v[mid];
}

// Convex hull by the monotone chain, counter-clockwise, without repeated points.
std::vector<Point2> convexHull(std::vector<Point2> p) {
  std::sort(p.begin(), p.end(),
            [](const Point2& a, const Point2& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  if (p.size() < 3) return p;
  auto turn = [](const Point2& o, const Point2& a, const Point2& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
  };
  std::vector<Point2> hull(2 * p.size());
  size_t k = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    while (k >= 2 && turn(hull[k - 2], hull[k - 1], p[i]) <= 0) --k;
    hull[k++] = p[i];
  }
  for (size_t i = p.size() - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && turn(hull[k - 2], hull[k - 1], p[i]) <= 0) --k;
    hull[k++] = p[i];
  }
  hull.resize(k - 1);
  return hull;
}

// The k-th smallest (from the bottom) or largest value, k counted from 0, clamped to the list.
double kthLowest(std::vector<double> v, size_t k) {
  k = std::min(k, v.size() - 1);
  std::nth_element(v.begin(), v.begin() + k, v.end());
  return v[k];
}

Vec3 at(const PointRecord& p) {
  return Vec3(p.x, p.y, p.z);
}

double horizontalDistance(const Vec3& a, const Vec3& b) {
  return std::hypot(a.x - b.x, a.z - b.z);
}

// The ground level at the stem: see measurements.h.
double baseLevel(const PointCloud& cloud, const Vec3& anchor, double searchRadius) {
  std::vector<double> levels;
  for (int attempt = 0; attempt < 4 && levels.size() < 3; ++attempt, searchRadius *= 2.0) {
    levels.clear();
    for (uint32_t i = 0; i < cloud.fileCount; ++i)
      if (horizontalDistance(at(cloud.points[i]), anchor) <= searchRadius) levels.push_back(cloud.points[i].y);
  }
  if (levels.empty())
    for (uint32_t i = 0; i < cloud.fileCount; ++i) levels.push_back(cloud.points[i].y);
  return kthLowest(levels, 2);
}

// Where a branch's centreline first crosses the level y (from its first written node up),
// with its drawn radius there.
struct Crossing {
  size_t branch = 0;
  Vec3 axis;
  double radius = 0.0;
};

bool crossLevel(const Branch& branch, size_t first, double y, Crossing* at) {
  for (size_t k = first; k + 1 < branch.nodes.size(); ++k) {
    const Vec3& a = branch.nodes[k];
    const Vec3& b = branch.nodes[k + 1];
    if (std::min(a.y, b.y) > y || std::max(a.y, b.y) < y || a.y == b.y) continue;
    const double t = (y - a.y) / (b.y - a.y);
    at->axis = a + (b - a) * t;
    at->radius = kDrawnRadius * (branch.radii[k] + (branch.radii[k + 1] - branch.radii[k]) * t);
    return true;
  }
  return false;
}

// A second stem beside the one measured: a branch crossing the same level that rises within
// 45 degrees of upright and is nearly as thick there or reaches into the crown's top.
bool secondStem(const Branch& branch, const Crossing& crossing, const Crossing& stem, double crownTopY) {
  const Vec3 rise = branch.nodes.back() - branch.nodes.front();
  if (!(rise.y > 0.0 && rise.y >= std::cos(kPi / 4) * length(rise))) return false;
  double top = -INFINITY;
  for (const Vec3& node : branch.nodes) top = std::max(top, node.y);
  return crossing.radius >= kCodominantRatio * stem.radius || top >= crownTopY;
}

std::string formatLength(double v) {
  std::string s;
  appendNumber(s, v);
  return s;
}

StemDiameter measureStem(const TreeModel& model, const PointCloud& cloud, const Vec3& anchor, double baseY,
                         double height, double breastHeight) {
  StemDiameter stem;
  const ScanFrame& frame = cloud.frame;
  const double unit = frame.scale;  // one file unit in model units
  const std::string level = formatLength(breastHeight);
  if (height < breastHeight) {
    stem.reason = "the tree is lower than " + level;
    return stem;
  }
  const double y = baseY + breastHeight * unit;
  // The stem there: of the branches crossing that level, the one nearest the base (usually
  // the trunk; not when the trunk was traced along the ground).
  std::vector<Crossing> crossings;
  for (size_t b = 0; b < model.branches.size(); ++b) {
    Crossing c;
    c.branch = b;
    const int32_t first = firstWrittenNode(model, b);
    if (first >= 0 && crossLevel(*model.branches[b], first, y, &c)) crossings.push_back(c);
  }
  if (crossings.empty()) {
    stem.reason = "the model does not reach " + level + " above the base";
    return stem;
  }
  const Vec3 foot(anchor.x, y, anchor.z);
  const Crossing stemAt =
      *std::min_element(crossings.begin(), crossings.end(), [&](const Crossing& a, const Crossing& b) {
        return horizontalDistance(a.axis, foot) < horizontalDistance(b.axis, foot);
      });
  const double crownTopY = baseY + kCodominantTop * height * unit;
  for (const Crossing& c : crossings) {
    if (c.branch != stemAt.branch && secondStem(*model.branches[c.branch], c, stemAt, crownTopY)) {
      stem.reason = "the stem forks below " + level + " into stems of similar size";
      return stem;
    }
  }
  const Vec3 axis = stemAt.axis;
  const double radius = stemAt.radius;
  const double search = std::max(3.0 * radius, 0.3 * unit);
  std::vector<double> xs, zs;
  for (uint32_t i = 0; i < cloud.fileCount; ++i) {
    const Vec3 p = at(cloud.points[i]);
    if (std::fabs(p.y - y) <= kSliceHalf * unit && horizontalDistance(p, axis) <= search) {
      xs.push_back(p.x - axis.x);
      zs.push_back(p.z - axis.z);
    }
  }
  if (static_cast<int32_t>(xs.size()) < kMinStemPoints) {
    stem.reason = "too few points (" + std::to_string(xs.size()) + ") on the stem at " + level;
    return stem;
  }
  // The stem's outline encloses the axis the model follows through the points: an arc of a
  // branch crossing the slice beside the stem does not.
  const CircleFit fit = fitCircleRobust(xs, zs, search, true);
  if (!fit.ok || static_cast<int32_t>(fit.kept.size()) < kMinStemPoints) {
    stem.reason = "no circle fits the stem points at " + level;
    return stem;
  }
  if (fit.rms > kMaxRmsToRadius * fit.r) {
    stem.reason = "the circle fitted at " + level + " is poor (radius " + formatLength(frame.lengthToScan(fit.r)) +
                  ", RMS error " + formatLength(frame.lengthToScan(fit.rms)) + ")";
    return stem;
  }
  stem.measured = true;
  stem.diameter = frame.lengthToScan(2.0 * fit.r);
  stem.rmsError = frame.lengthToScan(fit.rms);
  stem.points = static_cast<int32_t>(fit.kept.size());
  stem.centre = frame.toScan(Vec3(axis.x + fit.cx, y, axis.z + fit.cy));
  return stem;
}

// Area, largest width and the width at right angles to it of the hull of points on the
// ground plane.
void measureCrown(const std::vector<Point2>& points, double* area, double* diameter) {
  const std::vector<Point2> hull = convexHull(points);
  *area = 0.0;
  *diameter = 0.0;
  if (hull.size() < 2) return;
  for (size_t i = 0; i < hull.size(); ++i) {
    const Point2& a = hull[i];
    const Point2& b = hull[(i + 1) % hull.size()];
    *area += 0.5 * (a.x * b.y - b.x * a.y);
  }
  double widest = 0.0;
  Point2 direction{1.0, 0.0};
  for (size_t i = 0; i < hull.size(); ++i)
    for (size_t j = i + 1; j < hull.size(); ++j) {
      const double d = std::hypot(hull[j].x - hull[i].x, hull[j].y - hull[i].y);
      if (d > widest) {
        widest = d;
        direction = {(hull[j].x - hull[i].x) / d, (hull[j].y - hull[i].y) / d};
      }
    }
  double lo = INFINITY, hi = -INFINITY;
  for (const Point2& p : hull) {
    const double s = -direction.y * p.x + direction.x * p.y;
    lo = std::min(lo, s);
    hi = std::max(hi, s);
  }
  *diameter = 0.5 * (widest + (hi - lo));
}

// JSON text of s, quoted, with the characters JSON requires escaped.
std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string jsonNumber(double v) {
  return std::isfinite(v) ? formatLength(v) : "null";
}

std::string jsonPoint(const Vec3& p) {
  return "[" + jsonNumber(p.x) + ", " + jsonNumber(p.y) + ", " + jsonNumber(p.z) + "]";
}

std::string csvField(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

CircleFit fitCircleRobust(const std::vector<double>& xs, const std::vector<double>& ys, double limit,
                          bool aroundOrigin) {
  CircleFit fit;
  const size_t n = std::min(xs.size(), ys.size());
  if (n < 3) return fit;
  // Centred on the mean, so that large coordinates keep their digits in the sums.
  double mx = 0.0, my = 0.0;
  for (size_t i = 0; i < n; ++i) {
    mx += xs[i];
    my += ys[i];
  }
  mx /= n;
  my /= n;
  std::vector<Point2> p(n);
  for (size_t i = 0; i < n; ++i) p[i] = {xs[i] - mx, ys[i] - my};
  const auto allowed = [&](double cx, double cy, double r) {
    const double offCentre = std::hypot(cx + mx, cy + my);
    return std::isfinite(r) && r > 0.0 && r <= limit && offCentre <= limit && (!aroundOrigin || offCentre <= r);
  };
  std::vector<double> absolute(n);
  const auto residuals = [&](double cx, double cy, double r) {
    for (size_t i = 0; i < n; ++i) absolute[i] = std::fabs(std::hypot(p[i].x - cx, p[i].y - cy) - r);
  };

  // Start: of the algebraic circle and circles through random triples, the one with the
  // least median distance to the points, which stands up to nearly half the points being
  // something else (a branch, leaves). The generator is seeded the same on every call.
  std::vector<uint32_t> all(n);
  for (size_t i = 0; i < n; ++i) all[i] = static_cast<uint32_t>(i);
  double cx = 0.0, cy = 0.0, r = 0.0, bestScore = INFINITY;
  const auto consider = [&](double x, double y, double radius) {
    if (!allowed(x, y, radius)) return;
    residuals(x, y, radius);
    const double score = median(absolute);
    if (!(score < bestScore)) return;
    size_t inside = 0;
    for (size_t i = 0; i < n; ++i) inside += std::hypot(p[i].x - x, p[i].y - y) < radius - 3.0 * 1.4826 * score;
    if (inside > kMaxInsideShare * n) return;
    bestScore = score, cx = x, cy = y, r = radius;
  };
  double ax, ay, ar;
  if (algebraicCircle(p, all, &ax, &ay, &ar)) consider(ax, ay, ar);
  std::mt19937 random(1u);
  for (int trial = 0; trial < kCircleTrials; ++trial) {
    const Point2& a = p[random() % n];
    const Point2& b = p[random() % n];
    const Point2& c = p[random() % n];
    const double d = 2.0 * (a.x * (b.y - c.y) + b.x * (c.y - a.y) + c.x * (a.y - b.y));
    if (d == 0.0) continue;
    const double a2 = a.x * a.x + a.y * a.y, b2 = b.x * b.x + b.y * b.y, c2 = c.x * c.x + c.y * c.y;
    const double x = (a2 * (b.y - c.y) + b2 * (c.y - a.y) + c2 * (a.y - b.y)) / d;
    const double y = (a2 * (c.x - b.x) + b2 * (a.x - c.x) + c2 * (b.x - a.x)) / d;
    consider(x, y, std::hypot(a.x - x, a.y - y));
  }
  if (!std::isfinite(bestScore)) return fit;

  // Geometric fit to the points within three robust deviations of the circle, the deviation
  // taken over the points kept, until the kept points settle. A floor keeps a noise-free
  // circle from trimming its own points on rounding.
  double sigma = 1.4826 * bestScore;
  std::vector<uint32_t> use;
  for (int round = 0; round < 20; ++round) {
    residuals(cx, cy, r);
    const double limitResidual = std::max(3.0 * sigma, 1e-9 * r);
    std::vector<uint32_t> kept;
    for (size_t i = 0; i < n; ++i)
      if (absolute[i] <= limitResidual) kept.push_back(static_cast<uint32_t>(i));
    if (kept.size() < 3) return fit;
    if (kept == use) break;
    use.swap(kept);
    if (!geometricCircle(p, use, &cx, &cy, &r)) return fit;
    residuals(cx, cy, r);
    std::vector<double> keptResiduals;
    for (uint32_t i : use) keptResiduals.push_back(absolute[i]);
    sigma = 1.4826 * median(keptResiduals);
  }
  if (!allowed(cx, cy, r)) return fit;  // the refinement drifted off what qualifies
  double sum = 0.0;
  residuals(cx, cy, r);
  for (uint32_t i : use) sum += absolute[i] * absolute[i];
  fit.ok = true;
  fit.cx = cx + mx;
  fit.cy = cy + my;
  fit.r = r;
  fit.rms = std::sqrt(sum / use.size());
  fit.kept = use;
  return fit;
}

TreeMeasurements measureTree(const TreeModel& model, const PointCloud& cloud, double breastHeight) {
  TreeMeasurements m;
  m.breastHeight = breastHeight;
  const int32_t first = model.branches.empty() ? -1 : firstWrittenNode(model, 0);
  if (!model.isBuilt() || first < 0) {
    m.reason = model.isBuilt() ? "the model has no trunk to measure" : "no tree model is built";
    return m;
  }
  if (cloud.fileCount == 0 || cloud.points.size() < cloud.fileCount) {
    m.reason = "the point cloud holds no points";
    return m;
  }
  const ScanFrame& frame = cloud.frame;
  const double unit = frame.scale;
  const Branch& trunk = *model.branches[0];
  m.measured = true;
  m.pointCount = cloud.fileCount;

  const Vec3 anchor = trunk.nodes[first];
  const double baseY = baseLevel(cloud, anchor, std::max(3.0 * kDrawnRadius * trunk.radii[0], 0.5 * unit));
  m.base = frame.toScan(Vec3(anchor.x, baseY, anchor.z));
  std::vector<double> levels(cloud.fileCount);
  for (uint32_t i = 0; i < cloud.fileCount; ++i) levels[i] = -cloud.points[i].y;
  m.height = frame.lengthToScan(-kthLowest(levels, 2) - baseY);
  m.stem = measureStem(model, cloud, anchor, baseY, m.height, breastHeight);

  double crownY = INFINITY;
  for (size_t b = 1; b < model.branches.size(); ++b) {
    const Branch& branch = *model.branches[b];
    if (branch.order != 2 || firstWrittenNode(model, b) < 0) continue;
    double top = -INFINITY;
    for (const Vec3& node : branch.nodes) top = std::max(top, node.y);
    if (top - baseY >= kGroundBranchHeight * unit) crownY = std::min(crownY, branch.nodes[0].y);
  }
  m.hasCrownBase = std::isfinite(crownY);
  if (m.hasCrownBase) m.crownBaseHeight = frame.lengthToScan(crownY - baseY);
  const double lowest = m.hasCrownBase ? crownY : baseY;
  std::vector<Point2> crown;
  for (uint32_t i = 0; i < cloud.fileCount; ++i)
    if (cloud.points[i].y >= lowest) crown.push_back({cloud.points[i].x, cloud.points[i].z});
  measureCrown(crown, &m.crownArea, &m.crownDiameter);
  m.crownArea /= unit * unit;
  m.crownDiameter /= unit;

  std::map<int32_t, OrderSummary> orders;
  int32_t lastBranch = -1;
  for (const Cylinder& c : treeCylinders(model, frame)) {
    m.totalBranchLength += c.length;
    m.woodVolume += kPi * c.radius * c.radius * c.length;
    OrderSummary& o = orders[c.order];
    o.order = c.order;
    o.length += c.length;
    if (c.branch != lastBranch) {
      ++o.branches;
      ++m.branchCount;
      lastBranch = c.branch;
    }
  }
  for (const auto& entry : orders) m.orders.push_back(entry.second);
  return m;
}

std::string measurementsJson(const TreeMeasurements& m, const std::string& treeName) {
  std::string out = "{\n  \"tree\": " + jsonString(treeName) + ",\n";
  out += "  \"units\": \"those of the scan file (metres for metric scans)\",\n";
  if (!m.measured) return out + "  \"measured\": false,\n  \"reason\": " + jsonString(m.reason) + "\n}\n";
  out += "  \"measured\": true,\n";
  out += "  \"point_count\": " + std::to_string(m.pointCount) + ",\n";
  out += "  \"base\": " + jsonPoint(m.base) + ",\n";
  out += "  \"height\": " + jsonNumber(m.height) + ",\n";
  const StemDiameter& s = m.stem;
  out += "  \"stem_diameter\": {\n    \"height_above_base\": " + jsonNumber(m.breastHeight) + ",\n";
  if (s.measured) {
    out += "    \"diameter\": " + jsonNumber(s.diameter) + ",\n    \"rms_error\": " + jsonNumber(s.rmsError) +
           ",\n    \"points\": " + std::to_string(s.points) + ",\n    \"centre\": " + jsonPoint(s.centre) +
           ",\n    \"reason\": null\n  },\n";
  } else {
    out += "    \"diameter\": null,\n    \"rms_error\": null,\n    \"points\": 0,\n    \"centre\": null,\n";
    out += "    \"reason\": " + jsonString(s.reason) + "\n  },\n";
  }
  out += "  \"crown_base_height\": " + (m.hasCrownBase ? jsonNumber(m.crownBaseHeight) : "null") + ",\n";
  out += "  \"crown_diameter\": " + jsonNumber(m.crownDiameter) + ",\n";
  out += "  \"crown_projected_area\": " + jsonNumber(m.crownArea) + ",\n";
  out += "  \"total_branch_length\": " + jsonNumber(m.totalBranchLength) + ",\n";
  out += "  \"wood_volume\": " + jsonNumber(m.woodVolume) + ",\n";
  out += "  \"branch_count\": " + std::to_string(m.branchCount) + ",\n";
  out += "  \"branches_by_order\": [";
  for (size_t i = 0; i < m.orders.size(); ++i) {
    const OrderSummary& o = m.orders[i];
    out += i == 0 ? "\n" : ",\n";
    out += "    {\"order\": " + std::to_string(o.order) + ", \"branches\": " + std::to_string(o.branches) +
           ", \"length\": " + jsonNumber(o.length) + "}";
  }
  out += m.orders.empty() ? "]" : "\n  ]";
  const FitFigures& f = m.fit;
  if (f.valid()) {
    out += ",\n  \"fit\": {\"within_2cm\": " + jsonNumber(f.within2) + ", \"within_5cm\": " + jsonNumber(f.within5) +
           ", \"within_10cm\": " + jsonNumber(f.within10) + ", \"median_distance\": " + jsonNumber(f.medianDistance) +
           ", \"phantom\": " + jsonNumber(f.phantom) + ", \"centreline_length\": " + jsonNumber(f.centreline) +
           "}\n}\n";
  } else {
    out += ",\n  \"fit\": null\n}\n";
  }
  return out;
}

std::string measurementsCsvHeader() {
  return "tree,point_count,base_x,base_y,base_z,height,stem_diameter,stem_rms_error,stem_points,stem_reason,"
         "crown_base_height,crown_diameter,crown_projected_area,total_branch_length,wood_volume,branch_count,"
         "branches_by_order,length_by_order,fit_within_2cm,fit_within_5cm,fit_within_10cm,fit_median_distance,"
         "fit_phantom\n";
}

std::string measurementsCsvRow(const TreeMeasurements& m, const std::string& treeName) {
  std::string out = csvField(treeName);
  if (!m.measured) return out + ",,,,,,,,," + csvField("not measured: " + m.reason) + ",,,,,,,,,,,,,\n";
  auto number = [&out](double v) { out += ',' + formatLength(v); };
  out += ',' + std::to_string(m.pointCount);
  number(m.base.x);
  number(m.base.y);
  number(m.base.z);
  number(m.height);
  if (m.stem.measured) {
    number(m.stem.diameter);
    number(m.stem.rmsError);
    out += ',' + std::to_string(m.stem.points) + ',';
  } else {
    out += ",,,," + csvField(m.stem.reason);
  }
  if (m.hasCrownBase) {
    number(m.crownBaseHeight);
  } else {
    out += ',';
  }
  number(m.crownDiameter);
  number(m.crownArea);
  number(m.totalBranchLength);
  number(m.woodVolume);
  out += ',' + std::to_string(m.branchCount);
  // Per order "order:value" pairs separated by semicolons, so every tree has the same columns.
  std::string counts, lengths;
  for (const OrderSummary& o : m.orders) {
    if (!counts.empty()) {
      counts += ';';
      lengths += ';';
    }
    counts += std::to_string(o.order) + ':' + std::to_string(o.branches);
    lengths += std::to_string(o.order) + ':' + formatLength(o.length);
  }
  out += ',' + counts + ',' + lengths;
  if (m.fit.valid()) {
    for (double v : {m.fit.within2, m.fit.within5, m.fit.within10, m.fit.medianDistance, m.fit.phantom}) number(v);
  } else {
    out += ",,,,,";
  }
  return out + '\n';
}
