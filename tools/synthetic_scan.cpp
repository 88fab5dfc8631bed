#include "synthetic_scan.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

V3 operator+(V3 a, V3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
V3 operator-(V3 a, V3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V3 operator*(V3 a, double s) {
  return {a.x * s, a.y * s, a.z * s};
}
double dot(V3 a, V3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
V3 cross(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double length(V3 a) {
  return std::sqrt(dot(a, a));
}
V3 unit(V3 a) {
  double l = length(a);
  return l > 0.0 ? a * (1.0 / l) : V3{0.0, 0.0, 1.0};
}
double radians(double degrees) {
  return degrees * kPi / 180.0;
}

// Any unit vector perpendicular to the unit vector w.
V3 perpendicular(V3 w) {
  V3 helper = std::fabs(w.z) < 0.9 ? V3{0.0, 0.0, 1.0} : V3{1.0, 0.0, 0.0};
  return unit(cross(helper, w));
}

// A point along a limb's polyline, with the limb radius there.
struct LimbNode {
  V3 p;
  double r = 0.0;
};

struct Limb {
  std::vector<LimbNode> nodes;
  double length = 0.0;
  V3 direction;  // initial direction
};

// Position and radius at fraction f (0..1) of the limb's length, and the local direction.
void sampleLimb(const Limb& limb, double f, LimbNode* node, V3* direction) {
  size_t segments = limb.nodes.size() - 1;
  double s = std::clamp(f, 0.0, 1.0) * static_cast<double>(segments);
  size_t i = std::min(static_cast<size_t>(s), segments - 1);
  double t = s - static_cast<double>(i);
  const LimbNode& a = limb.nodes[i];
  const LimbNode& b = limb.nodes[i + 1];
  node->p = a.p + (b.p - a.p) * t;
  node->r = a.r + (b.r - a.r) * t;
  *direction = unit(b.p - a.p);
}

struct LimbPlan {
  V3 start, direction;
  double length = 1.0;
  double baseRadius = 0.05;
  double tipRadius = 0.006;
  int segments = 5;
  double upwardPull = 0.08;  // gravitropism added to the direction per segment
  double wobble = 0.06;      // random bending per segment
  int order = 1;
};

// Grows a limb as a bent polyline of tapered cylinders appended to shape.
Limb growLimb(const LimbPlan& plan, PortableRng& rng, TreeShape* shape) {
  Limb limb;
  limb.length = plan.length;
  limb.direction = plan.direction;
  double step = plan.length / plan.segments;
  V3 p = plan.start;
  V3 dir = unit(plan.direction);
  limb.nodes.push_back({p, plan.baseRadius});
  for (int k = 1; k <= plan.segments; ++k) {
    double t = static_cast<double>(k) / plan.segments;
    V3 next = p + dir * step;
    double r = plan.baseRadius + (plan.tipRadius - plan.baseRadius) * std::pow(t, 0.8);
    shape->cones.push_back({p, next, limb.nodes.back().r, r, plan.order});
    limb.nodes.push_back({next, r});
    p = next;
    V3 bend{rng.normal() * plan.wobble, rng.normal() * plan.wobble, rng.normal() * plan.wobble + plan.upwardPull};
    dir = unit(dir + bend);
  }
  return limb;
}

// Direction of a side branch leaving a parent direction at angle alpha (radians),
// at a random azimuth, kept from pointing steeply downwards.
V3 sideDirection(V3 parentDir, double alpha, PortableRng& rng) {
  V3 u = perpendicular(parentDir);
  V3 v = cross(parentDir, u);
  double azimuth = rng.uniform(0.0, 2.0 * kPi);
  V3 side = u * std::cos(azimuth) + v * std::sin(azimuth);
  V3 dir = unit(parentDir * std::cos(alpha) + side * std::sin(alpha));
  if (dir.z < -0.2) dir.z = -0.5 * dir.z;
  return unit(dir);
}

void growSideBranches(const Limb& parent, int order, int maxOrder, PortableRng& rng, TreeShape* shape) {
  bool finest = order == maxOrder;
  int count = order == 2 ? rng.integer(2, 4) : rng.integer(1, 3);
  for (int i = 0; i < count; ++i) {
    double f = 0.25 + 0.65 * (i + 0.5 + 0.4 * (rng.uniform() - 0.5)) / count;
    LimbNode at;
    V3 parentDir;
    sampleLimb(parent, f, &at, &parentDir);
    LimbPlan plan;
    plan.order = order;
    plan.direction = sideDirection(parentDir, radians(rng.uniform(35.0, 60.0)), rng);
    plan.start = at.p + plan.direction * (0.8 * at.r);
    plan.length = std::max(0.3, parent.length * (1.0 - f) * rng.uniform(0.55, 0.85));
    plan.baseRadius = std::max(0.008, at.r * rng.uniform(0.5, 0.65));
    plan.tipRadius = std::min(0.005, plan.baseRadius);
    plan.segments = std::max(2, static_cast<int>(plan.length / 0.4) + 1);
    plan.upwardPull = 0.05;
    plan.wobble = 0.08;
    Limb limb = growLimb(plan, rng, shape);
    if (finest) {
      V3 tipDir = unit(limb.nodes.back().p - limb.nodes[limb.nodes.size() - 2].p);
      shape->tips.push_back({limb.nodes.back().p, tipDir});
    } else {
      growSideBranches(limb, order + 1, maxOrder, rng, shape);
    }
  }
}

Limb growTrunk(const TreeParams& params, PortableRng& rng, TreeShape* shape) {
  const int segments = 12;
  double length = 0.88 * params.height;
  Limb trunk;
  trunk.length = length;
  V3 dir = unit({rng.normal() * radians(params.lean), rng.normal() * radians(params.lean), 1.0});
  trunk.direction = dir;
  V3 p{0.0, 0.0, 0.0};
  auto radiusAt = [&](double t) {
    double flare = 1.0 + 0.35 * std::exp(-t * length / 0.5);  // root flare in the lowest half metre
    return params.trunkRadius * (1.0 - 0.8 * t) * flare;
  };
  trunk.nodes.push_back({p, radiusAt(0.0)});
  for (int k = 1; k <= segments; ++k) {
    double t = static_cast<double>(k) / segments;
    V3 next = p + dir * (length / segments);
    shape->cones.push_back({p, next, trunk.nodes.back().r, radiusAt(t), 0});
    trunk.nodes.push_back({next, radiusAt(t)});
    p = next;
    dir = unit(dir + V3{rng.normal() * 0.04, rng.normal() * 0.04, 0.05});
  }
  return trunk;
}

}  // namespace

double PortableRng::uniform() {
  uint64_t high = engine_() >> 5;  // 27 bits
  uint64_t low = engine_() >> 6;   // 26 bits
  return (static_cast<double>(high) * 67108864.0 + static_cast<double>(low)) / 9007199254740992.0;
}

int PortableRng::integer(int lo, int hi) {
  int value = lo + static_cast<int>(uniform() * (hi - lo + 1));
  return std::min(value, hi);
}

double PortableRng::normal() {
  double u1 = 1.0 - uniform();  // (0, 1]
  double u2 = uniform();
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

TreeShape growTree(const TreeParams& params, PortableRng& rng) {
  TreeShape shape;
  Limb trunk = growTrunk(params, rng, &shape);
  V3 top = trunk.nodes.back().p;
  shape.tips.push_back({top, unit(top - trunk.nodes[trunk.nodes.size() - 2].p)});
  int primaries = rng.integer(params.primaryMin, params.primaryMax);
  const double goldenAngle = radians(137.5);
  for (int i = 0; i < primaries; ++i) {
    double frac = (i + 0.5 + 0.6 * (rng.uniform() - 0.5)) / primaries;
    double u = params.crownStart + (0.92 - params.crownStart) * frac;
    LimbNode at;
    V3 trunkDir;
    sampleLimb(trunk, u, &at, &trunkDir);
    double azimuth = i * goldenAngle + radians(15.0) * rng.normal();
    double zenith = radians(params.lowZenith + (params.highZenith - params.lowZenith) * frac + 6.0 * rng.normal());
    LimbPlan plan;
    plan.order = 1;
    plan.direction = {std::sin(zenith) * std::cos(azimuth), std::sin(zenith) * std::sin(azimuth), std::cos(zenith)};
    plan.start = at.p + plan.direction * (0.8 * at.r);
    plan.length = params.height * params.spread * (1.0 - 0.55 * frac) * rng.uniform(0.8, 1.1);
    plan.baseRadius = at.r * rng.uniform(0.45, 0.6);
    plan.tipRadius = 0.006;
    plan.segments = std::max(3, static_cast<int>(plan.length / 0.5) + 1);
    plan.upwardPull = 0.07;
    plan.wobble = 0.05;
    Limb limb = growLimb(plan, rng, &shape);
    growSideBranches(limb, 2, params.orders, rng, &shape);
  }
  return shape;
}

namespace {

struct Scanner {
  V3 position;
};

std::vector<Scanner> placeScanners(const ScanParams& scan, PortableRng& rng) {
  std::vector<Scanner> scanners;
  double start = rng.uniform(0.0, 2.0 * kPi);
  for (int k = 0; k < scan.scannerCount; ++k) {
    double azimuth = start + 2.0 * kPi * k / scan.scannerCount + radians(10.0) * rng.normal();
    double distance = scan.scannerDistance * rng.uniform(0.85, 1.15);
    scanners.push_back({{distance * std::cos(azimuth), distance * std::sin(azimuth), scan.scannerHeight}});
  }
  return scanners;
}

// Picks, among the scanners that see a surface point with outward normal n, one at random;
// -1 when the surface faces away from all of them (back-face test with a grazing margin).
int pickVisibleScanner(const std::vector<Scanner>& scanners, V3 p, V3 n, PortableRng& rng) {
  int visible[16];
  int count = 0;
  for (size_t k = 0; k < scanners.size() && count < 16; ++k) {
    V3 toScanner = scanners[k].position - p;
    if (dot(n, toScanner) > 0.05 * length(toScanner)) visible[count++] = static_cast<int>(k);
  }
  if (count == 0) return -1;
  return visible[rng.integer(0, count - 1)];
}

// Moves p along the beam of scanner s by the range noise and fills scanner, intensity.
void applyRangeNoise(const ScanParams& scan, const Scanner& s, V3 n, PortableRng& rng, ScanPoint* out) {
  V3 beam = out->p - s.position;
  double range = length(beam);
  V3 beamDir = beam * (1.0 / range);
  double sigma = scan.noiseBase + scan.noisePerMetre * range;
  out->p = out->p + beamDir * (sigma * rng.normal());
  double incidence = std::fabs(dot(beamDir, n));
  double strength = (0.25 + 0.6 * incidence) * std::min(1.0, 12.0 / range) + 0.05 * rng.normal();
  out->intensity = static_cast<uint16_t>(std::clamp(strength, 0.02, 1.0) * 65535.0);
}

void setColour(ScanPoint* out, int r, int g, int b, double shade, PortableRng& rng) {
  int channels[3] = {r, g, b};
  double jitter = 1.0 + 0.08 * rng.normal();
  for (int c = 0; c < 3; ++c) {
    double value = channels[c] * shade * jitter;
    out->rgb[c] = static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
  }
}

class ConeSampler {
 public:
  explicit ConeSampler(const std::vector<Cone>& cones) : cones_(cones) {
    double total = 0.0;
    for (const Cone& c : cones_) {
      total += kPi * (c.ra + c.rb) * length(c.b - c.a);
      cumulative_.push_back(total);
    }
  }

  // A surface point of the cones, uniform by area, with its outward normal.
  void sample(PortableRng& rng, V3* p, V3* n) const {
    double target = rng.uniform() * cumulative_.back();
    size_t i = std::upper_bound(cumulative_.begin(), cumulative_.end(), target) - cumulative_.begin();
    const Cone& c = cones_[std::min(i, cones_.size() - 1)];
    double rmax = std::max(c.ra, c.rb);
    double t = 0.0;
    do {
      t = rng.uniform();
    } while (rng.uniform() * rmax > c.ra + (c.rb - c.ra) * t);
    V3 axis = c.b - c.a;
    V3 w = unit(axis);
    V3 u = perpendicular(w);
    V3 v = cross(w, u);
    double psi = rng.uniform(0.0, 2.0 * kPi);
    *n = u * std::cos(psi) + v * std::sin(psi);
    *p = c.a + axis * t + *n * (c.ra + (c.rb - c.ra) * t);
  }

 private:
  const std::vector<Cone>& cones_;
  std::vector<double> cumulative_;
};

bool keepHeight(const ScanParams& scan, const ScanPoint& point) {
  return scan.clipBelow < 0.0 || point.p.z >= scan.clipBelow;
}

}  // namespace

std::vector<ScanPoint> scanTree(const TreeShape& tree, const ScanParams& scan, PortableRng& rng) {
  std::vector<Scanner> scanners = placeScanners(scan, rng);
  ConeSampler wood(tree.cones);
  int groundTarget = static_cast<int>(scan.pointCount * scan.groundFraction);
  int leafTarget = tree.tips.empty() ? 0 : static_cast<int>(scan.pointCount * scan.leafFraction);
  int woodTarget = scan.pointCount - groundTarget - leafTarget;
  std::vector<ScanPoint> points;
  points.reserve(scan.pointCount);

  while (static_cast<int>(points.size()) < woodTarget) {
    ScanPoint point;
    V3 n;
    wood.sample(rng, &point.p, &n);
    int s = pickVisibleScanner(scanners, point.p, n, rng);
    if (s < 0) continue;
    point.scanner = s;
    applyRangeNoise(scan, scanners[s], n, rng, &point);
    if (!keepHeight(scan, point)) continue;
    setColour(&point, 96, 76, 58, 0.6 + 0.4 * point.intensity / 65535.0, rng);
    points.push_back(point);
  }

  // Leaf clumps: a Gaussian blob a little beyond a random branch tip.
  int leafCount = 0;
  while (leafCount < leafTarget) {
    const BranchTip& tip = tree.tips[rng.integer(0, static_cast<int>(tree.tips.size()) - 1)];
    double radius = rng.uniform(0.12, 0.25);
    V3 centre = tip.position + tip.direction * radius;
    int clump = std::min(rng.integer(20, 60), leafTarget - leafCount);
    for (int k = 0; k < clump; ++k) {
      ScanPoint point;
      point.kind = SurfaceKind::kLeaf;
      V3 offset{rng.normal() * radius, rng.normal() * radius, rng.normal() * radius * 0.6};
      point.p = centre + offset;
      V3 n = unit(offset);
      int s = pickVisibleScanner(scanners, point.p, n, rng);
      if (s < 0) s = rng.integer(0, static_cast<int>(scanners.size()) - 1);
      point.scanner = s;
      applyRangeNoise(scan, scanners[s], n, rng, &point);
      if (!keepHeight(scan, point)) continue;
      setColour(&point, 70, 125, 45, rng.uniform(0.7, 1.15), rng);
      points.push_back(point);
      ++leafCount;
    }
  }

  // Ground disc around the base, outside the trunk; visible from every scanner head.
  double trunkRadius = tree.cones.empty() ? 0.0 : tree.cones.front().ra;
  int groundCount = 0;
  while (groundCount < groundTarget) {
    double r = scan.groundRadius * std::sqrt(rng.uniform());
    if (r < trunkRadius) continue;
    double azimuth = rng.uniform(0.0, 2.0 * kPi);
    ScanPoint point;
    point.kind = SurfaceKind::kGround;
    point.p = {r * std::cos(azimuth), r * std::sin(azimuth), 0.0};
    V3 up{0.0, 0.0, 1.0};
    int s = rng.integer(0, static_cast<int>(scanners.size()) - 1);
    point.scanner = s;
    applyRangeNoise(scan, scanners[s], up, rng, &point);
    if (!keepHeight(scan, point)) continue;
    setColour(&point, 118, 104, 74, rng.uniform(0.8, 1.1), rng);
    points.push_back(point);
    ++groundCount;
  }
  return points;
}
