// "Fit to scan" on generated trees whose cylinders are known: every thick limb is found along
// its true axis, stem and first-order radii match, nothing grows into the ground disc, the
// model is well formed for the tree model, the fit repeats exactly, and its fitted radii
// survive a rebuild.

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
#include "volume_fixture.h"

namespace {

// A point of a limb's true axis with the true radius and direction there.
struct AxisSample {
  Vec3 p;
  double r;
  Vec3 direction;
};

// The limbs of the generated tree (consecutive cones of one order that continue one another)
// with their order, each sampled along its true axis every `step`.
std::vector<std::pair<int, std::vector<AxisSample>>> limbAxes(const TreeShape& shape, double step) {
  std::vector<std::pair<int, std::vector<AxisSample>>> limbs;
  const Cone* previous = nullptr;
  for (const Cone& c : shape.cones) {
    if (!previous || previous->order != c.order || previous->b.x != c.a.x || previous->b.y != c.a.y ||
        previous->b.z != c.a.z)
      limbs.push_back({c.order, {}});
    previous = &c;
    const Vec3 a(c.a.x, c.a.z, c.a.y), b(c.b.x, c.b.z, c.b.y);  // model axes: Y up
    const int n = std::max(1, static_cast<int>(std::ceil(length(b - a) / step)));
    for (int i = 0; i < n; ++i) {
      const double t = (i + 0.5) / n;
      limbs.back().second.push_back({a + (b - a) * t, c.ra + t * (c.rb - c.ra), (b - a) / length(b - a)});
    }
  }
  return limbs;
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
  Case a{"broadleaf", 11, TreeParams(), ScanParams()};
  a.scan.groundFraction = 0.12;
  a.scan.groundRadius = 2.5;
  Case b{"slender with leaves", 29, TreeParams(), ScanParams()};
  b.tree.height = 16.0;
  b.tree.trunkRadius = 0.25;
  b.tree.orders = 2;
  b.tree.spread = 0.3;
  b.scan.pointCount = 50000;
  b.scan.scannerCount = 4;
  b.scan.leafFraction = 0.1;
  b.scan.groundFraction = 0.1;
  return {a, b};
}

class FitReconstructionTest : public FreshSettings {
 protected:
  // Scans the case's tree into a metric cloud (scale 1) and fits a model to it.
  bool fit(const Case& c, TreeShape* shape) {
    PortableRng rng(c.seed);
    *shape = growTree(c.tree, rng);
    cloud.reset();
    for (const ScanPoint& s : scanTree(*shape, c.scan, rng)) cloud.points.push_back({s.p.x, s.p.z, s.p.y, 0});
    cloud.count = cloud.fileCount = static_cast<uint32_t>(cloud.points.size());
    cloud.scale = 1.0;
    cloud.loaded = true;
    return fitTreeToScan(cloud, model);
  }
  std::vector<double> ends() const {
    std::vector<double> out;
    for (const TreeSegment& s : model.segments) out.insert(out.end(), {s.end.x, s.end.y, s.end.z, s.fittedRadius});
    return out;
  }

  PointCloud cloud;
  TreeModel model;
};

TEST_F(FitReconstructionTest, FindsThickLimbsAlongTheirAxesWithTheirRadiiAndNoRoots) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    TreeShape shape;
    ASSERT_TRUE(fit(c, &shape));
    ASSERT_GT(model.segments.size(), 10u);
    EXPECT_TRUE(model.isBuilt());
    expectHandOver(model);
    for (const TreeSegment& s : model.segments) EXPECT_GE(s.fittedRadius, 0.0);
    const std::vector<TubePiece> pieces = drawnTubePieces(model, 1.0);
    ASSERT_FALSE(pieces.empty());

    for (const auto& [order, axis] : limbAxes(shape, 0.01)) {
      // The part of the limb thicker than 3 cm, if it is longer than 1 m.
      std::vector<AxisSample> thick;
      std::copy_if(axis.begin(), axis.end(), std::back_inserter(thick),
                   [](const AxisSample& s) { return 2.0 * s.r > 0.03; });
      if (thick.size() * 0.01 <= 1.0) continue;
      size_t onAxis = 0;
      std::vector<double> ratio;
      for (const AxisSample& s : thick) {
        double r = 0.0;
        onAxis += nearestCentreline(pieces, s.p, &r) <= 0.03;
        if (nearestCentreline(pieces, s.p, &r, &s.direction) <= 0.03) ratio.push_back(r / s.r);
      }
      const Vec3 from = axis.front().p;
      SCOPED_TRACE(testing::Message() << "order " << order << " limb from " << from.x << ", " << from.y << ", "
                                      << from.z);
      EXPECT_GE(static_cast<double>(onAxis) / thick.size(), 0.9);
      if (order <= 1) {
        ASSERT_GE(ratio.size(), thick.size() / 2);
        std::nth_element(ratio.begin(), ratio.begin() + ratio.size() / 2, ratio.end());
        EXPECT_NEAR(ratio[ratio.size() / 2], 1.0, 0.15);
      }
    }

    // The ground disc: no drawn centreline within 10 cm of the ground outside the trunk's
    // foot (its flared radius plus 5 cm).
    const double foot = 1.35 * shape.cones.front().ra + 0.05;
    for (const TubePiece& s : pieces)
      for (int i = 0; i <= 10; ++i) {
        const Vec3 p = s.a + (s.b - s.a) * (i / 10.0);
        EXPECT_TRUE(p.y >= 0.1 || std::hypot(p.x, p.z) <= foot) << "at " << p.x << ", " << p.y << ", " << p.z;
      }

    if (c.scan.leafFraction > 0.0) {  // the same scan fits to the same model
      const std::vector<double> first = ends();
      ASSERT_TRUE(fit(c, &shape));
      EXPECT_EQ(first, ends());
    }

    // The panel's thickness settings rebuild the model: fitted radii stay.
    std::vector<double> before, after;
    for (const auto& b : model.branches) before.insert(before.end(), b->radii.begin(), b->radii.end());
    g_dBranchThickness = 0.3;
    g_dBranchRatio = 2.6;
    model.rebuild();
    for (const auto& b : model.branches) after.insert(after.end(), b->radii.begin(), b->radii.end());
    EXPECT_EQ(before, after);
    // Where segments have no fitted radius the pipe model fills in, and no child is thicker.
    for (size_t i = 1; i < model.segments.size(); i += 2) model.segments[i].fittedRadius = -1.0;
    model.rebuild();
    expectHandOver(model);
    for (const TreeSegment& s : model.segments) EXPECT_TRUE(s.fittedRadius < 0.0 || s.startRadius <= s.fittedRadius);
    resetSettingsToStartValues();
  }
}

TEST_F(FitReconstructionTest, DegenerateCloudsGiveNoTreeOrAWellFormedOne) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1, 1);
  const char* names[] = {"no points",          "five points",     "flat ground only",
                         "one repeated point", "a vertical line", "two far clusters"};
  const int counts[] = {0, 5, 3000, 500, 800, 800};
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(names[k]);
    cloud.reset();
    for (int i = 0; i < counts[k]; ++i) {
      const double a = u(rng), b = u(rng), c = u(rng), far = i % 2;
      const PointRecord shapes[] = {
          {0, 0, 0, 0},     {0, 0.1 * i, 0, 0},   {2 * a, 0.002 * b, 2 * c, 0},
          {0.3, 1, 0.2, 0}, {0, 0.005 * i, 0, 0}, {50 * far + 0.05 * a, 1 + 29 * far + 0.05 * b, 0.05 * c, 0}};
      cloud.points.push_back(shapes[k]);
    }
    cloud.count = cloud.fileCount = static_cast<uint32_t>(counts[k]);
    cloud.scale = 2.0;
    const bool ok = fitTreeToScan(cloud, model);
    EXPECT_TRUE(ok ? counts[k] > 0 : model.segments.empty());
    if (ok) expectHandOver(model);
  }
}

}  // namespace
