// The shortest-path tree's narrow-cone search against the plain n^2 search on vertex sets
// where rounding decides: lattices and points strung along rays from the root (nearly every
// triple collinear), coincident vertices, and general position.

#include <gtest/gtest.h>

#include <random>

#include "skeleton/shortest_path.h"
#include "support/test_support.h"

namespace {

struct Case {
  const char* name;
  std::vector<Vec3> points;
  uint32_t root;
};

std::vector<Case> cases() {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<Case> out;
  Case lattice{"lattice", {}, 0};
  for (int x = 0; x < 7; ++x)
    for (int y = 0; y < 7; ++y)
      for (int z = 0; z < 7; ++z) lattice.points.emplace_back((x + 0.5) * 0.2, (y + 0.5) * 0.2, (z + 0.5) * 0.2);
  out.push_back(lattice);
  lattice.root = 171;  // the centre
  out.push_back(lattice);

  // Rays from the root with points at whole multiples of a random step, some repeated.
  Case rays{"rays", {Vec3(0.31, 1.7, -0.45)}, 0};
  for (int r = 0; r < 60; ++r) {
    const Vec3 step(u(rng) * 0.3, u(rng) * 0.3, u(rng) * 0.3);
    for (int k = 1; k <= 25; ++k) rays.points.push_back(rays.points[0] + double(k) * step);
  }
  rays.points.push_back(rays.points[0]);
  rays.points.push_back(rays.points[40]);
  out.push_back(rays);
  rays.root = 30;
  out.push_back(rays);

  Case scatter{"scatter", {}, 5};
  for (int k = 0; k < 2000; ++k) scatter.points.emplace_back(u(rng) * 5, u(rng) * 10, u(rng) * 5);
  out.push_back(scatter);
  return out;
}

TEST(ShortestPathTree, NarrowConeSearchMatchesThePlainSearch) {
  size_t detours = 0;
  for (const Case& c : cases()) {
    SCOPED_TRACE(std::string(c.name) + " root " + std::to_string(c.root));
    std::string printed[2];
    std::vector<int64_t> tree[2];
    for (int exhaustive = 0; exhaustive < 2; ++exhaustive) {
      StdoutCapture out;
      tree[exhaustive] = shortestPathTree(c.points, c.root, exhaustive);
      printed[exhaustive] = out.text();
    }
    EXPECT_EQ(tree[0], tree[1]);
    EXPECT_EQ(printed[0], printed[1]);
    for (int64_t p : tree[1]) detours += p >= 0 && p != c.root;
  }
  EXPECT_GT(detours, 0u) << "rounding must make some path through another vertex shorter";
}

}  // namespace
