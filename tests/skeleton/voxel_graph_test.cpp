// The voxel graph: edges against a brute-force neighbour computation, the shortest-path tree
// against Floyd-Warshall, and refused inputs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "volume_fixture.h"

namespace {

using VoxelGraph = SkeletonTest;

// Brute force: every pair within the search radius, and for a vertex with fewer than K such
// neighbours also its K nearest, unless it holds one of the base trunk seeds.
TEST_F(VoxelGraph, EdgesAreRadiusHitsPlusNearestOfSparseVerticesExceptBaseSeeds) {
  std::mt19937 rng(3);
  VoxelVolume v;
  makeVolume(v, 8, 10, 8, 0.2, randomCells(rng, 160, 8, 10, 8, 0.2));
  g_dSearchRadius = 0.3;
  g_nKNN = 5;
  std::vector<uint32_t> occupied, sparse;
  std::vector<Vec3> p;
  for (uint32_t c = 0; c < v.cellCount; ++c)
    if (v.labels[c]) occupied.push_back(c), p.emplace_back(v.centres[c].x, v.centres[c].y, v.centres[c].z);
  const uint32_t n = uint32_t(p.size());
  auto euclid = [&](uint32_t i, uint32_t j) { return length(p[i] - p[j]); };
  std::vector<std::vector<double>> want(n, std::vector<double>(n, -1.0));
  std::vector<uint32_t> hits(n, 0);
  uint64_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) {
    for (uint32_t j = 0; j < n; ++j)
      if (i != j && euclid(i, j) <= g_dSearchRadius) want[i][j] = euclid(i, j), ++hits[i], ++sum;
    if (hits[i] < 5) sparse.push_back(i);
  }
  // Two sparse vertices hold base seeds (never given nearest edges), a third a later seed.
  ASSERT_GE(sparse.size(), 3u);
  for (int k = 0; k < 3; ++k) v.trunkSeeds[k] = int32_t(occupied[sparse[k]]);
  v.seedCount = 3, v.baseSeedCount = 2;
  for (uint32_t i : sparse) {
    if (i == sparse[0] || i == sparse[1]) continue;
    std::vector<std::pair<double, uint32_t>> byDistance;
    for (uint32_t j = 0; j < n; ++j) byDistance.emplace_back(euclid(i, j), j);
    std::partial_sort(byDistance.begin(), byDistance.begin() + 6, byDistance.end());
    for (int k = 0; k < 6; ++k)
      if (byDistance[k].second != i)
        want[i][byDistance[k].second] = want[byDistance[k].second][i] = byDistance[k].first;
  }
  EXPECT_EQ(buildGraph(r, v),
            "Number of valid voxels:160\nAverage Number of Neighbor Points:  " + std::to_string(sum / n) + "\n");
  ASSERT_EQ(r.voxelIndex, occupied);
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t j = 0; j < n; ++j)
      ASSERT_TRUE(i == j || std::fabs(r.distances.length(i, j) - want[i][j]) < 1e-12) << i << "," << j;
}

// Distances from `root` (Bellman-Ford) over the pairs to which w gives a length (>= 0).
std::vector<double> distancesFrom(uint32_t n, uint32_t root, const std::function<double(uint32_t, uint32_t)>& w) {
  std::vector<double> d(n, 1e300);
  d[root] = 0.0;
  for (uint32_t pass = 0; pass < n; ++pass)
    for (uint32_t i = 0; i < n; ++i)
      for (uint32_t j = 0; j < n; ++j)
        if (i != j && w(i, j) >= 0.0) d[j] = std::min(d[j], d[i] + w(i, j));
  return d;
}

TEST_F(VoxelGraph, ShortestPathTreeGivesTheShortestDistances) {
  std::mt19937 rng(5);
  for (int statusVertices : {0, 1, 2}) {
    VoxelVolume v;
    auto cells = randomCells(rng, 14, 5, 5, 5, 0.2);
    for (int s = 0; s < statusVertices; ++s) cells[3 + 4 * s].tag = 1;
    makeVolume(v, 5, 5, 5, 0.2, cells);
    TreeReconstructor t;
    buildGraph(t, v);
    t.rootVoxel = 2;
    StdoutCapture progress;
    ASSERT_TRUE(t.buildShortestPathTree());
    // A tree (n - 1 edges; zero-length ones keep 0) along which every vertex is as far from
    // the root as by the shortest path over all pairs.
    const uint32_t n = t.nVoxels;
    size_t edges = 0, fromRoot = 0;
    for (uint32_t i = 0; i < n; ++i)
      for (uint32_t j = i + 1; j < n; ++j)
        if (t.distances.length(i, j) >= 0.0) ++edges, fromRoot += i == 2 || j == 2;
    EXPECT_EQ(edges, n - 1);
    // In general position every vertex keeps its direct edge from the root.
    EXPECT_TRUE(statusVertices > 0 || fromRoot == n - 1);
    const auto along = distancesFrom(n, 2, [&](uint32_t i, uint32_t j) { return t.distances.length(i, j); });
    const auto shortest =
        distancesFrom(n, 2, [&](uint32_t i, uint32_t j) { return graphDistance(t.positions[i], t.positions[j]); });
    for (uint32_t j = 0; j < n; ++j) EXPECT_NEAR(along[j], shortest[j], 1e-12) << "vertex " << j;
  }
}

// Fault pinned: vertex indices kept from a larger graph were used on a rebuilt smaller one.
TEST_F(VoxelGraph, IndicesBeyondARebuiltGraphAreReportedNotUsed) {
  VoxelVolume v, small;
  makeVolume(v, 7, 12, 7, 0.2, cellBox(3, 0, 3, 1, 12, 1, {CellSpec{5, 6, 3}, CellSpec{1, 8, 3}}));
  bool ran = false;
  growTree(r, v, &ran);
  ASSERT_TRUE(ran);
  r.rootVoxel = r.refineRoot = 10;
  r.secondVoxel = r.refineSecond = 11;
  makeVolume(small, 3, 3, 3, 0.5, {CellSpec{1, 0, 1}, CellSpec{1, 1, 1}, CellSpec{1, 2, 1}});
  buildGraph(r, small);
  ASSERT_EQ(r.nVoxels, 3u);
  const size_t segments = r.model.segments.size();
  StdoutCapture out;
  r.deleteSelectedVoxel();
  EXPECT_FALSE(r.buildShortestPathTree());
  EXPECT_FALSE(r.refineTree());
  EXPECT_EQ(out.text(),
            "Delete: vertex 10 is not in the current graph of 3 vertices; nothing deleted\n"
            "Shortest path tree: root vertex 10 is not in the current graph of 3 vertices\n"
            "Refine: root pair 10, 11 is not in the current graph of 3 vertices; reconstruct the tree first\n");
  EXPECT_EQ(r.model.segments.size(), segments);
}

}  // namespace
