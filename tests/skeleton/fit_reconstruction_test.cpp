// "Fit to scan" on generated trees whose cylinders are known: every thick limb is found along
// its true axis, stem and first-order radii match, nothing grows into the ground disc, the
// model is well formed for the tree model, and its fitted radii survive a rebuild.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "pointcloud/point_cloud.h"
#include "settings/settings.h"
#include "skeleton/fit_reconstruction.h"
#include "synthetic_scan.h"
#include "tree/fit_measure.h"
#include "tree/tree_model.h"

namespace {

// A limb of the generated tree: consecutive cones that continue one another.
struct Limb {
  std::vector<Cone> cones;
  int order = 0;
};

// Model axes: Y up, the file's (x, y, z) as (x, z, y).
Vec3 toModel(const V3& p) {
  return Vec3(p.x, p.z, p.y);
}

std::vector<Limb> limbsOf(const TreeShape& shape) {
  std::vector<Limb> limbs;
  for (const Cone& c : shape.cones) {
    const bool continues = !limbs.empty() && limbs.back().order == c.order && limbs.back().cones.back().b.x == c.a.x &&
                           limbs.back().cones.back().b.y == c.a.y && limbs.back().cones.back().b.z == c.a.z;
    if (!continues) limbs.push_back(Limb{{}, c.order});
    limbs.back().cones.push_back(c);
  }
  return limbs;
}

// A point of a limb's true axis with the true radius and direction there.
struct AxisSample {
  Vec3 p;
  double r;
  Vec3 direction;
};

std::vector<AxisSample> axisSamples(const Limb& limb, double step) {
  std::vector<AxisSample> out;
  for (const Cone& c : limb.cones) {
    const Vec3 a = toModel(c.a), b = toModel(c.b);
    const int n = std::max(1, static_cast<int>(std::ceil(length(b - a) / step)));
    for (int i = 0; i < n; ++i) {
      const double t = (i + 0.5) / n;
      out.push_back({a + (b - a) * t, c.ra + t * (c.rb - c.ra), (b - a) / length(b - a)});
    }
  }
  return out;
}

// Nearest drawn centreline point to p: its distance and the drawn radius there. With a
// direction given, only pieces within 30 degrees of it count (the limb's own branch, not a
// twig leaving it or the stem it leaves).
double nearestCentreline(const std::vector<TubePiece>& pieces, const Vec3& p, double* radius,
                         const Vec3* direction = nullptr) {
  double best = 1e300;
  for (const TubePiece& s : pieces) {
    const Vec3 d = s.b - s.a;
    const double l2 = dot(d, d);
    if (direction && !(std::fabs(dot(d, *direction)) >= std::cos(30.0 * kPi / 180.0) * std::sqrt(l2))) continue;
    const double t = l2 > 0 ? std::clamp(dot(p - s.a, d) / l2, 0.0, 1.0) : 0.0;
    const double dist = length(p - (s.a + d * t));
    if (dist < best) best = dist, *radius = s.ra + t * (s.rb - s.ra);
  }
  return best;
}

struct Case {
  const char* name;
  uint32_t seed;
  TreeParams tree;
  ScanParams scan;
};

std::vector<Case> cases() {
  std::vector<Case> out;
  Case a{"broadleaf", 11, TreeParams(), ScanParams()};
  a.scan.pointCount = 40000;
  a.scan.groundFraction = 0.12;
  a.scan.groundRadius = 2.5;
  out.push_back(a);
  Case b{"slender with leaves", 29, TreeParams(), ScanParams()};
  b.tree.height = 16.0;
  b.tree.trunkRadius = 0.25;
  b.tree.orders = 2;
  b.tree.spread = 0.3;
  b.scan.pointCount = 50000;
  b.scan.scannerCount = 4;
  b.scan.leafFraction = 0.1;
  b.scan.groundFraction = 0.1;
  out.push_back(b);
  return out;
}

class FitReconstructionTest : public ::testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override { resetSettingsToStartValues(); }

  // Scans the case's tree into a metric cloud (scale 1) and fits a model to it.
  bool fit(const Case& c, TreeShape* shape, FitStats* stats) {
    PortableRng rng(c.seed);
    *shape = growTree(c.tree, rng);
    const std::vector<ScanPoint> scan = scanTree(*shape, c.scan, rng);
    cloud.reset();
    for (const ScanPoint& s : scan) cloud.points.push_back(PointRecord{s.p.x, s.p.z, s.p.y, 0});
    cloud.count = cloud.fileCount = static_cast<uint32_t>(cloud.points.size());
    cloud.scale = 1.0;
    cloud.loaded = true;
    return fitTreeToScan(cloud, model, FitOptions(), stats);
  }

  PointCloud cloud;
  TreeModel model;
};

TEST_F(FitReconstructionTest, FindsThickLimbsAlongTheirAxesWithTheirRadiiAndNoRoots) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    TreeShape shape;
    FitStats stats;
    ASSERT_TRUE(fit(c, &shape, &stats));
    const std::vector<TubePiece> pieces = drawnTubePieces(model, 1.0);
    ASSERT_FALSE(pieces.empty());

    for (const Limb& limb : limbsOf(shape)) {
      // The part of the limb thicker than 3 cm, if it is longer than 1 m.
      std::vector<AxisSample> thick;
      for (const AxisSample& s : axisSamples(limb, 0.01))
        if (2.0 * s.r > 0.03) thick.push_back(s);
      if (thick.size() * 0.01 <= 1.0) continue;
      size_t onAxis = 0;
      std::vector<double> ratio;
      for (const AxisSample& s : thick) {
        double r = 0.0;
        onAxis += nearestCentreline(pieces, s.p, &r) <= 0.03;
        if (nearestCentreline(pieces, s.p, &r, &s.direction) <= 0.03) ratio.push_back(r / s.r);
      }
      const Vec3 from = toModel(limb.cones.front().a);
      EXPECT_GE(static_cast<double>(onAxis) / thick.size(), 0.9)
          << "order " << limb.order << " limb from " << from.x << ", " << from.y << ", " << from.z;
      if (limb.order <= 1) {
        ASSERT_GE(ratio.size(), thick.size() / 2);
        std::nth_element(ratio.begin(), ratio.begin() + ratio.size() / 2, ratio.end());
        EXPECT_NEAR(ratio[ratio.size() / 2], 1.0, 0.15)
            << "order " << limb.order << " limb from " << from.x << ", " << from.y << ", " << from.z;
      }
    }

    // The ground disc: no drawn centreline within 10 cm of the ground outside the trunk's
    // foot (its flared radius plus 5 cm).
    const double foot = 1.35 * shape.cones.front().ra + 0.05;
    for (const TubePiece& s : pieces)
      for (int i = 0; i <= 10; ++i) {
        const Vec3 p = s.a + (s.b - s.a) * (i / 10.0);
        if (p.y < 0.1) {
          EXPECT_LE(std::hypot(p.x, p.z), foot) << "at " << p.x << ", " << p.y << ", " << p.z;
        }
      }
  }
}

TEST_F(FitReconstructionTest, HandsAWellFormedTreeWhoseFittedRadiiSurviveARebuild) {
  const Case c = cases()[0];
  TreeShape shape;
  FitStats stats;
  ASSERT_TRUE(fit(c, &shape, &stats));
  ASSERT_GT(model.segments.size(), 10u);
  EXPECT_TRUE(model.isBuilt());
  // Segment convention of the growth: root first, each child starting at its parent's end,
  // children listed after their parent; no child thicker than its parent.
  EXPECT_EQ(model.segments[0].parent, -1);
  for (size_t i = 0; i < model.segments.size(); ++i) {
    const TreeSegment& s = model.segments[i];
    EXPECT_GE(s.fittedRadius, 0.0);
    for (uint32_t k : s.children) {
      ASSERT_LT(k, model.segments.size());
      EXPECT_GT(k, i);
      EXPECT_EQ(model.segments[k].parent, static_cast<int32_t>(i));
      EXPECT_EQ(length(model.segments[k].start - s.end), 0.0);
      EXPECT_LE(model.segments[k].startRadius, s.startRadius);
    }
  }
  std::vector<double> before;
  for (const auto& b : model.branches) before.insert(before.end(), b->radii.begin(), b->radii.end());

  // The panel's thickness settings rebuild the model: fitted radii stay.
  g_dBranchThickness = 0.3;
  g_dBranchRatio = 2.6;
  model.rebuild();
  std::vector<double> after;
  for (const auto& b : model.branches) after.insert(after.end(), b->radii.begin(), b->radii.end());
  EXPECT_EQ(before, after);

  // Where segments have no fitted radius the pipe model fills in, and no child is thicker.
  for (size_t i = 1; i < model.segments.size(); i += 2) model.segments[i].fittedRadius = -1.0;
  model.rebuild();
  for (size_t i = 0; i < model.segments.size(); ++i) {
    const TreeSegment& s = model.segments[i];
    if (s.fittedRadius >= 0.0) {
      EXPECT_LE(s.startRadius, s.fittedRadius);
    }
    for (uint32_t k : s.children) EXPECT_LE(model.segments[k].startRadius, s.startRadius);
  }
}

TEST_F(FitReconstructionTest, DegenerateCloudsGiveNoTreeOrAWellFormedOne) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1, 1);
  struct Shape {
    const char* name;
    std::vector<PointRecord> points;
  };
  std::vector<Shape> shapes;
  shapes.push_back({"five points", {}});
  for (int i = 0; i < 5; ++i) shapes.back().points.push_back(PointRecord{0.0, 0.1 * i, 0.0, 0});
  shapes.push_back({"flat ground only", {}});
  for (int i = 0; i < 3000; ++i) shapes.back().points.push_back(PointRecord{2 * u(rng), 0.002 * u(rng), 2 * u(rng), 0});
  shapes.push_back({"one repeated point", std::vector<PointRecord>(500, PointRecord{0.3, 1.0, 0.2, 0})});
  shapes.push_back({"a vertical line", {}});
  for (int i = 0; i < 800; ++i) shapes.back().points.push_back(PointRecord{0.0, 0.005 * i, 0.0, 0});
  shapes.push_back({"two far clusters", {}});
  for (int i = 0; i < 400; ++i) {
    shapes.back().points.push_back(PointRecord{0.05 * u(rng), 1 + 0.05 * u(rng), 0.05 * u(rng), 0});
    shapes.back().points.push_back(PointRecord{50 + 0.05 * u(rng), 30 + 0.05 * u(rng), 0.05 * u(rng), 0});
  }
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    cloud.reset();
    cloud.points = shape.points;
    cloud.count = cloud.fileCount = static_cast<uint32_t>(shape.points.size());
    cloud.scale = 2.0;
    if (!fitTreeToScan(cloud, model)) {
      EXPECT_TRUE(model.segments.empty());
      continue;
    }
    ASSERT_FALSE(model.segments.empty());
    for (size_t i = 0; i < model.segments.size(); ++i)
      for (uint32_t k : model.segments[i].children) EXPECT_EQ(model.segments[k].parent, static_cast<int32_t>(i));
    for (const auto& b : model.branches)
      for (double r : b->radii) EXPECT_TRUE(std::isfinite(r) && r >= 0.0);
  }
  cloud.reset();
  EXPECT_FALSE(fitTreeToScan(cloud, model));
}

TEST_F(FitReconstructionTest, IsDeterministic) {
  TreeShape shape;
  FitStats stats;
  ASSERT_TRUE(fit(cases()[1], &shape, &stats));
  std::vector<double> first;
  for (const TreeSegment& s : model.segments) first.insert(first.end(), {s.end.x, s.end.y, s.end.z, s.fittedRadius});
  ASSERT_TRUE(fit(cases()[1], &shape, &stats));
  std::vector<double> second;
  for (const TreeSegment& s : model.segments) second.insert(second.end(), {s.end.x, s.end.y, s.end.z, s.fittedRadius});
  EXPECT_EQ(first, second);
}

}  // namespace
