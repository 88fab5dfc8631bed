// The fit measure against closed forms on a straight tube and against a brute-force
// computation on random small models; its point index against exhaustive search.

#include "tree/fit_measure.h"

#include "tree/branch_mesh.h"
#include "tree_test_util.h"

namespace {

using FitMeasureTest = TreeTest;

// One branch straight up from (0, 0, 0) to (0, height, 0) in model units, with 21 nodes and
// the stored radius that draws a tube of the given file-unit radius.
void straightTube(TreeModel& model, double height, double radius, double scale) {
  model.branches.clear();
  auto b = std::make_unique<Branch>();
  for (int i = 0; i <= 20; ++i) {
    b->nodes.push_back(Vec3(0, height * scale * i / 20.0, 0));
    b->radii.push_back(2.0 * radius * scale);
  }
  model.branches.push_back(std::move(b));
}

// Points on the drawn surface of that tube between heights lo and hi (file units), in model
// coordinates.
std::vector<Vec3> surfacePoints(double lo, double hi, double radius, double scale, int rings) {
  std::vector<Vec3> points;
  for (int i = 0; i <= rings; ++i)
    for (int j = 0; j < 24; ++j) {
      const double a = 2 * kPi * j / 24, y = lo + (hi - lo) * i / rings;
      points.push_back(Vec3(radius * std::cos(a) * scale, y * scale, radius * std::sin(a) * scale));
    }
  return points;
}

double pieceDistance(const TubePiece& s, const Vec3& p, double* radius) {
  const Vec3 d = s.b - s.a;
  const double l2 = dot(d, d);
  const double t = l2 > 0 ? std::clamp(dot(p - s.a, d) / l2, 0.0, 1.0) : 0.0;
  *radius = s.ra + t * (s.rb - s.ra);
  return length(p - (s.a + d * t));
}

}  // namespace

TEST_F(FitMeasureTest, PointsOnAStraightTubeFitExactly) {
  for (double scale : {1.0, 2.5}) {
    straightTube(model, 2.0, 0.15, scale);
    const FitFigures f = measureFit(model, surfacePoints(0.0, 2.0, 0.15, scale, 40), scale);
    EXPECT_EQ(f.points, 41u * 24u);
    EXPECT_DOUBLE_EQ(f.within2, 1.0);
    EXPECT_NEAR(f.medianDistance, 0.0, 1e-9);
    EXPECT_NEAR(f.centreline, 2.0, 1e-9);
    EXPECT_EQ(f.phantom, 0.0);
    EXPECT_TRUE(f.valid());
  }
}

TEST_F(FitMeasureTest, TubeWithoutPointsNearItsTopCountsThatLengthAsPhantom) {
  // Points cover the lower half only: a centreline point at height y > 1 has its nearest
  // point on the top rim, sqrt((y - 1)^2 + r^2) away; beyond the surface by more than 0.1
  // once y - 1 > sqrt((0.1 + r)^2 - r^2).
  const double r = 0.05, scale = 3.0;
  straightTube(model, 2.0, r, scale);
  const FitFigures f = measureFit(model, surfacePoints(0.0, 1.0, r, scale, 50), scale);
  const double expected = (1.0 - std::sqrt((0.1 + r) * (0.1 + r) - r * r)) / 2.0;
  EXPECT_NEAR(f.phantom, expected, 0.01 / 2.0);
  EXPECT_DOUBLE_EQ(f.within2, 1.0);
  // A point far off the tube is outside every band, and it is the median when most are.
  std::vector<Vec3> far(3, Vec3(0.6 * scale, 1.0 * scale, 0));
  far.push_back(Vec3(r * scale, 0.5 * scale, 0));
  const FitFigures g = measureFit(model, far, scale);
  EXPECT_DOUBLE_EQ(g.within10, 0.25);
  EXPECT_NEAR(g.medianDistance, 0.6 - r, 1e-9);
  // Nothing drawn: not valid.
  model.branches.clear();
  EXPECT_FALSE(measureFit(model, far, scale).valid());
}

TEST_F(FitMeasureTest, MatchesBruteForceOnRandomModels) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> u(-1, 1), r(0.005, 0.2);
  for (int trial = 0; trial < 6; ++trial) {
    const double scale = 0.5 + trial;
    model.branches.clear();
    for (int b = 0; b < 4; ++b) {
      auto branch = std::make_unique<Branch>();
      Vec3 p(u(rng), u(rng) + 1, u(rng));
      for (int k = 0; k < 2 + trial; ++k) {
        branch->nodes.push_back(p * scale);
        branch->radii.push_back(r(rng) * scale);
        p = p + Vec3(0.3 * u(rng), 0.3, 0.3 * u(rng));
      }
      model.branches.push_back(std::move(branch));
    }
    model.branches.push_back(std::make_unique<Branch>());  // pruned: not drawn
    std::vector<Vec3> points;
    for (int i = 0; i < 300; ++i) points.push_back(Vec3(u(rng), u(rng) + 1.5, u(rng)) * scale);
    const FitFigures f = measureFit(model, points, scale);

    // Brute force: every drawn piece for every point, every point for every sample.
    std::vector<TubePiece> pieces;
    double centreline = 0.0;
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
      const Vec3 p = q / scale;
      double best = 1e300, rad = 0.0;
      for (const TubePiece& s : pieces) {
        double rr = 0.0;
        const double dist = pieceDistance(s, p, &rr);
        if (dist < best) best = dist, rad = rr;
      }
      d.push_back(std::fabs(best - rad));
    }
    double phantom = 0.0;
    for (const TubePiece& s : pieces) {
      const double len = length(s.b - s.a);
      const int n = std::max(1, static_cast<int>(std::ceil(len / 0.01)));
      for (int i = 0; i < n; ++i) {
        const double t = (i + 0.5) / n;
        const Vec3 c = s.a + (s.b - s.a) * t;
        double nearest = 1e300;
        for (const Vec3& q : points) nearest = std::min(nearest, length(q / scale - c));
        if (nearest - (s.ra + t * (s.rb - s.ra)) > 0.10) phantom += len / n;
      }
    }
    auto share = [&](double limit) {
      return static_cast<double>(std::count_if(d.begin(), d.end(), [&](double x) { return x <= limit; })) / d.size();
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
  std::vector<Vec3> points;
  for (int i = 0; i < 500; ++i) {
    // A coarse grid makes many equal distances, so the order of ties is checked too.
    points.push_back(Vec3(std::round(u(rng) * 8) / 8, std::round(u(rng) * 8) / 8, std::round(u(rng) * 8) / 8));
  }
  const PointIndex index(points);
  std::vector<uint32_t> within;
  std::vector<std::pair<double, uint32_t>> knn;
  for (int q = 0; q < 200; ++q) {
    const Vec3 c(u(rng), u(rng), u(rng));
    std::vector<std::pair<double, uint32_t>> all;
    for (uint32_t i = 0; i < points.size(); ++i) all.push_back({dot(points[i] - c, points[i] - c), i});
    std::sort(all.begin(), all.end());
    double d = 0.0;
    EXPECT_EQ(index.nearest(c, &d), all[0].second);
    EXPECT_DOUBLE_EQ(d * d, all[0].first);
    index.nearestK(c, 7, &knn);
    ASSERT_EQ(knn.size(), 7u);
    for (size_t k = 0; k < 7; ++k) EXPECT_EQ(knn[k], all[k]);
    within.clear();
    index.within(c, 0.25, &within);
    std::sort(within.begin(), within.end());
    std::vector<uint32_t> expected;
    for (const auto& [d2, i] : all)
      if (d2 <= 0.0625) expected.push_back(i);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(within, expected);
  }
  const PointIndex empty(std::vector<Vec3>{});
  double d = 0.0;
  EXPECT_EQ(empty.nearest(Vec3(0, 0, 0), &d), SIZE_MAX);
}
