// The voxel graph: edges against a brute-force neighbour computation, the shortest-path tree
// against Floyd-Warshall, and refused inputs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <queue>
#include <random>
#include <set>

#include "volume_fixture.h"

namespace {

using VoxelGraph = SkeletonTest;

double euclid(const Vec3& a, const Vec3& b) {
  return length(difference(a, b));
}

// A seeded scatter of occupied cells with jittered centres (no two pairs at equal distance).
std::vector<CellSpec> randomCells(std::mt19937& rng, int count, int dx, int dy, int dz, double size) {
  std::uniform_int_distribution<int> X(0, dx - 1), Y(0, dy - 1), Z(0, dz - 1);
  std::uniform_real_distribution<double> j(0.05, 0.95);
  std::set<std::array<int, 3>> used;
  std::vector<CellSpec> cells;
  while (int(cells.size()) < count) {
    std::array<int, 3> c{X(rng), Y(rng), Z(rng)};
    if (used.insert(c).second)
      cells.push_back(
          CellSpec{c[0], c[1], c[2], (c[0] + j(rng)) * size, (c[1] + j(rng)) * size, (c[2] + j(rng)) * size});
  }
  return cells;
}

// Brute force: every pair within the search radius, and for a vertex with fewer than K such
// neighbours also its K nearest, unless it holds one of the base trunk seeds.
TEST_F(VoxelGraph, EdgesAreRadiusHitsPlusNearestOfSparseVerticesExceptBaseSeeds) {
  std::mt19937 rng(3);
  VoxelVolume v;
  makeVolume(v, 8, 10, 8, 0.2, randomCells(rng, 160, 8, 10, 8, 0.2));
  g_dSearchRadius = 0.3;
  g_nKNN = 5;
  std::vector<uint32_t> occupied, sparse;
  for (uint32_t c = 0; c < v.cellCount; ++c)
    if (v.labels[c]) occupied.push_back(c);
  const uint32_t n = uint32_t(occupied.size());
  auto at = [&](uint32_t i) {
    return Vec3(v.centres[occupied[i]].x, v.centres[occupied[i]].y, v.centres[occupied[i]].z);
  };
  std::vector<std::vector<double>> want(n, std::vector<double>(n, -1.0));
  std::vector<uint32_t> hits(n, 0);
  uint64_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) {
    for (uint32_t j = 0; j < n; ++j)
      if (i != j && euclid(at(i), at(j)) <= g_dSearchRadius) want[i][j] = euclid(at(i), at(j)), ++hits[i], ++sum;
    if (hits[i] < 5) sparse.push_back(i);
  }
  // Two sparse vertices hold base seeds (never given nearest edges), a third a later seed.
  ASSERT_GE(sparse.size(), 3u);
  for (int k = 0; k < 3; ++k) v.trunkSeeds[k] = int32_t(occupied[sparse[k]]);
  v.seedCount = 3, v.baseSeedCount = 2;
  for (uint32_t i : sparse) {
    if (i == sparse[0] || i == sparse[1]) continue;
    std::vector<std::pair<double, uint32_t>> byDistance;
    for (uint32_t j = 0; j < n; ++j) byDistance.emplace_back(euclid(at(i), at(j)), j);
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
      ASSERT_TRUE(i == j || std::fabs(edgeLength(r, i, j) - want[i][j]) < 1e-12) << i << "," << j;
}

// A vertical column of cells with two side cells, grown once.
void grownColumn(VoxelVolume& v, TreeReconstructor& r) {
  makeVolume(v, 7, 12, 7, 0.2, cellBox(3, 0, 3, 1, 12, 1, {CellSpec{5, 6, 3}, CellSpec{1, 8, 3}}));
  bool ran = false;
  growTree(r, v, &ran);
  ASSERT_TRUE(ran);
}

// Floyd-Warshall over the complete graph with the distance rule.
std::vector<std::vector<double>> allPairs(const std::vector<Vec3>& p) {
  const size_t n = p.size();
  std::vector<std::vector<double>> d(n, std::vector<double>(n));
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j) d[i][j] = i == j ? 0.0 : graphDistance(p[i], p[j]);
  for (size_t k = 0; k < n; ++k)
    for (size_t i = 0; i < n; ++i)
      for (size_t j = 0; j < n; ++j) d[i][j] = std::min(d[i][j], d[i][k] + d[k][j]);
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
    const uint32_t n = t.nVoxels;
    t.rootVoxel = 2;
    StdoutCapture progress;
    ASSERT_TRUE(t.buildShortestPathTree());

    // Tree edges: off-diagonal entries that kept a length (zero-length edges stay at 0).
    std::vector<std::vector<uint32_t>> adj(n);
    size_t edges = 0;
    for (uint32_t i = 0; i < n; ++i)
      for (uint32_t j = 0; j < n; ++j)
        if (i != j && edgeLength(t, i, j) >= 0.0) adj[i].push_back(j), edges += i < j;
    EXPECT_EQ(edges, n - 1);
    // Distances along the tree from the root equal the shortest distances.
    const auto shortest = allPairs(t.positions);
    std::vector<double> along(n, -1.0);
    std::queue<uint32_t> q({2});
    along[2] = 0.0;
    for (; !q.empty(); q.pop())
      for (uint32_t b : adj[q.front()])
        if (along[b] < 0) along[b] = along[q.front()] + edgeLength(t, q.front(), b), q.push(b);
    for (uint32_t j = 0; j < n; ++j) EXPECT_NEAR(along[j], shortest[2][j], 1e-12) << "vertex " << j;
    // In general position every vertex keeps its direct edge from the root.
    EXPECT_TRUE(statusVertices > 0 || adj[2].size() == n - 1);
  }
}

// Fault pinned: vertex indices kept from a larger graph were used on a rebuilt smaller one.
TEST_F(VoxelGraph, IndicesBeyondARebuiltGraphAreReportedNotUsed) {
  VoxelVolume v, small;
  grownColumn(v, r);
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
  EXPECT_EQ(r.nVoxels, 3u);
  EXPECT_EQ(r.model.segments.size(), segments);
}

}  // namespace
