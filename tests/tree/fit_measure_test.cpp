// The fit measure against closed forms on a straight tube and against a brute-force computation
// on random small models; its point index against exhaustive search.

#include "tree/fit_measure.h"

#include "tree/branch_mesh.h"
#include "tree_test_util.h"

namespace {

using FitMeasureTest = TreeTest;

}  // namespace

// With points on the lower half of a straight tube only, a centreline point at height y > 1 has
// its nearest point on the top rim, sqrt((y - 1)^2 + r^2) away: beyond the surface by more than
// 0.1 once y - 1 > sqrt((0.1 + r)^2 - r^2).
TEST_F(FitMeasureTest, StraightTubeClosedForms) {
  const double r = 0.05, scale = 3.0;
  // 21 nodes from (0, 0, 0) to (0, 2, 0) in file units, the stored radius twice the drawn one.
  auto& b = model.branches.emplace_back(std::make_unique<Branch>());
  for (int i = 0; i <= 20; ++i) b->nodes.push_back(Vec3(0, 0.1 * i, 0) * scale), b->radii.push_back(2.0 * r * scale);
  std::vector<Vec3> lower;  // 51 rings of 24 points up to a height of 1
  for (int i = 0; i <= 50; ++i)
    for (int j = 0; j < 24; ++j) {
      const double a = 2 * kPi * j / 24;
      lower.push_back(Vec3(r * std::cos(a), i / 50.0, r * std::sin(a)) * scale);
    }
  const FitFigures f = measureFit(model, lower, scale);
  EXPECT_NEAR(f.phantom, (1.0 - std::sqrt((0.1 + r) * (0.1 + r) - r * r)) / 2.0, 0.01 / 2.0);
  EXPECT_TRUE(f.within2 == 1.0 && f.medianDistance < 1e-9 && f.valid());
  EXPECT_NEAR(f.centreline, 2.0, 1e-9);
  model.branches.clear();  // nothing drawn
  EXPECT_FALSE(measureFit(model, lower, scale).valid());
}

TEST_F(FitMeasureTest, MatchesBruteForceOnRandomModels) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> u(-1, 1), r(0.005, 0.2);
  for (int trial = 0; trial < 6; ++trial) {
    const double scale = 0.5 + trial;
    model.branches.clear();
    for (int b = 0; b < 4; ++b) {
      auto& branch = model.branches.emplace_back(std::make_unique<Branch>());
      for (Vec3 p(u(rng), u(rng) + 1, u(rng)); branch->nodes.size() < size_t(2 + trial);
           p = p + Vec3(0.3 * u(rng), 0.3, 0.3 * u(rng)))
        branch->nodes.push_back(p * scale), branch->radii.push_back(r(rng) * scale);
    }
    model.branches.push_back(std::make_unique<Branch>());  // pruned: not drawn
    std::vector<Vec3> points;
    for (int i = 0; i < 300; ++i) points.push_back(Vec3(u(rng), u(rng) + 1.5, u(rng)) * scale);
    const FitFigures f = measureFit(model, points, scale);
    EXPECT_EQ(f.points, points.size());

    // Brute force in file units: every drawn piece for every point, every point for every
    // centimetre sample of the centreline.
    std::vector<TubePiece> pieces;
    double centreline = 0.0, phantom = 0.0;
    for (const auto& br : model.branches) {
      std::vector<Vec3> nodes = br->nodes;
      std::vector<double> radii = br->radii;
      if (nodes.size() < 2) continue;
      subdivideBranch(nodes, radii);
      for (size_t k = 0; k + 1 < nodes.size(); ++k) {
        pieces.push_back({nodes[k] / scale, nodes[k + 1] / scale, 0.5 * radii[k] / scale, 0.5 * radii[k + 1] / scale});
        centreline += length(nodes[k + 1] - nodes[k]) / scale;
      }
    }
    std::vector<double> d;
    for (const Vec3& q : points) {
      double best = 1e300, rad = 0.0;
      for (const TubePiece& s : pieces) {
        const Vec3 e = s.b - s.a;
        const double t = std::clamp(dot(q / scale - s.a, e) / dot(e, e), 0.0, 1.0),
                     dist = length(q / scale - (s.a + e * t));
        if (dist < best) best = dist, rad = s.ra + t * (s.rb - s.ra);
      }
      d.push_back(std::fabs(best - rad));
    }
    for (const TubePiece& s : pieces) {
      const double len = length(s.b - s.a);
      const int n = std::max(1, static_cast<int>(std::ceil(len / 0.01)));
      for (int i = 0; i < n; ++i) {
        const double t = (i + 0.5) / n;
        double nearest = 1e300;
        for (const Vec3& q : points) nearest = std::min(nearest, length(q / scale - (s.a + (s.b - s.a) * t)));
        if (nearest - (s.ra + t * (s.rb - s.ra)) > 0.10) phantom += len / n;
      }
    }
    auto share = [&](double limit) {
      return std::count_if(d.begin(), d.end(), [&](double x) { return x <= limit; }) / 300.0;
    };
    std::sort(d.begin(), d.end());
    EXPECT_DOUBLE_EQ(f.within2, share(0.02));
    EXPECT_DOUBLE_EQ(f.within5, share(0.05));
    EXPECT_DOUBLE_EQ(f.within10, share(0.10));
    EXPECT_NEAR(f.medianDistance, 0.5 * (d[149] + d[150]), 1e-12);
    EXPECT_NEAR(f.centreline, centreline, 1e-9);
    EXPECT_NEAR(f.phantom, phantom / centreline, 1e-9);
  }
}

TEST_F(FitMeasureTest, PointIndexAnswersLikeExhaustiveSearch) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(0, 1);
  auto grid = [&] { return std::round(u(rng) * 8) / 8; };
  std::vector<Vec3> points;  // a coarse grid makes many equal distances, so the
                             // order of ties is checked too
  for (int i = 0; i < 500; ++i) points.push_back(Vec3(grid(), grid(), grid()));
  const PointIndex index(points);
  std::vector<uint32_t> within;
  std::vector<std::pair<double, uint32_t>> knn;
  for (int q = 0; q < 200; ++q) {
    const Vec3 c(u(rng), u(rng), u(rng));
    std::vector<std::pair<double, uint32_t>> all;
    std::vector<uint32_t> expected;
    for (uint32_t i = 0; i < points.size(); ++i) all.push_back({dot(points[i] - c, points[i] - c), i});
    for (const auto& [d2, i] : all)
      if (d2 <= 0.0625) expected.push_back(i);
    std::sort(all.begin(), all.end());
    double d = 0.0;
    EXPECT_EQ(index.nearest(c, &d), all[0].second);
    EXPECT_DOUBLE_EQ(d * d, all[0].first);
    index.nearestK(c, 7, &knn);
    EXPECT_EQ(knn, decltype(all)(all.begin(), all.begin() + 7));
    within.clear();
    index.within(c, 0.25, &within);
    std::sort(within.begin(), within.end());
    EXPECT_EQ(within, expected);
  }
  double d = 0.0;
  EXPECT_EQ(PointIndex(std::vector<Vec3>{}).nearest(Vec3(0, 0, 0), &d), SIZE_MAX);
}
