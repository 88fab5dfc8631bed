// The shortest-path tree's narrow-cone search against the plain n^2 search on vertex sets
// where rounding decides: lattices and points strung along rays from the root (nearly every
// triple collinear), coincident vertices, and general position.

#include "skeleton/shortest_path.h"

#include <gtest/gtest.h>

#include <random>

#include "support/test_support.h"

namespace {

TEST(ShortestPathTree, NarrowConeSearchMatchesThePlainSearch) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<Vec3> lattice, rays{Vec3(0.31, 1.7, -0.45)}, scatter;
  for (int x = 0; x < 7; ++x)
    for (int y = 0; y < 7; ++y)
      for (int z = 0; z < 7; ++z) lattice.emplace_back((x + 0.5) * 0.2, (y + 0.5) * 0.2, (z + 0.5) * 0.2);
  // Rays from the root with points at whole multiples of a random step, some repeated.
  for (int r = 0; r < 60; ++r) {
    const Vec3 step(u(rng) * 0.3, u(rng) * 0.3, u(rng) * 0.3);
    for (int k = 1; k <= 25; ++k) rays.push_back(rays[0] + double(k) * step);
  }
  rays.push_back(rays[0]);
  rays.push_back(rays[40]);
  for (int k = 0; k < 2000; ++k) scatter.emplace_back(u(rng) * 5, u(rng) * 10, u(rng) * 5);
  const std::pair<const std::vector<Vec3>*, uint32_t> cases[] = {
      {&lattice, 0}, {&lattice, 171 /* the centre */}, {&rays, 0}, {&rays, 30}, {&scatter, 5}};
  size_t detours = 0;
  for (const auto& [points, root] : cases) {
    SCOPED_TRACE(testing::Message() << points->size() << " points, root " << root);
    std::string printed[2];
    std::vector<int64_t> tree[2];
    for (int exhaustive = 0; exhaustive < 2; ++exhaustive) {
      StdoutCapture out;
      tree[exhaustive] = shortestPathTree(*points, root, exhaustive);
      printed[exhaustive] = out.text();
    }
    EXPECT_EQ(tree[0], tree[1]);
    EXPECT_EQ(printed[0], printed[1]);
    for (int64_t p : tree[1]) detours += p >= 0 && p != root;
  }
  EXPECT_GT(detours, 0u) << "rounding must make some path through another vertex shorter";
}

}  // namespace
