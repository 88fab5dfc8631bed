// The voxel graph: edges against a brute-force neighbour computation, the direction field
// against its formula, the graph edits (Delete, shortest-path tree) and refused inputs.

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
          cellWithCentre(c[0], c[1], c[2], (c[0] + j(rng)) * size, (c[1] + j(rng)) * size, (c[2] + j(rng)) * size));
  }
  return cells;
}

TEST_F(VoxelGraph, EdgesAreRadiusHitsPlusNearestOfSparseVerticesExceptBaseSeeds) {
  std::mt19937 rng(3);
  VoxelVolume v;
  makeVolume(v, 8, 10, 8, 0.2, randomCells(rng, 160, 8, 10, 8, 0.2));
  std::vector<uint32_t> occupied;
  for (uint32_t c = 0; c < v.cellCount; ++c)
    if (v.labels[c]) occupied.push_back(c);
  // Vertices 5 and 18 hold the base seeds (never augmented); 30 a later seed (augmented).
  v.trunkSeeds[0] = int32_t(occupied[5]);
  v.trunkSeeds[1] = int32_t(occupied[18]);
  v.trunkSeeds[2] = int32_t(occupied[30]);
  v.seedCount = 3;
  v.baseSeedCount = 2;
  g_dSearchRadius = 0.3;
  g_nKNN = 5;
  const std::string text = buildGraph(r, v);
  const uint32_t n = r.nVoxels;
  ASSERT_EQ(n, 160u);
  EXPECT_EQ(r.voxelIndex, occupied);

  // Brute force: radius hits, then the K + 1 nearest (self included) of sparse vertices.
  std::vector<std::vector<double>> want(n, std::vector<double>(n, -1.0));
  std::vector<uint32_t> hits(n, 0);
  uint64_t sum = 0;
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t j = 0; j < n; ++j)
      if (i != j && euclid(r.positions[i], r.positions[j]) <= g_dSearchRadius) {
        want[i][j] = euclid(r.positions[i], r.positions[j]);
        ++hits[i], ++sum;
      }
  ASSERT_TRUE(hits[5] < 5 && hits[18] < 5 && hits[30] < 5) << "the seeds' vertices must be sparse here";
  for (uint32_t i = 0; i < n; ++i) {
    if (hits[i] >= 5 || i == 5 || i == 18) continue;
    std::vector<std::pair<double, uint32_t>> byDistance;
    for (uint32_t j = 0; j < n; ++j) byDistance.emplace_back(euclid(r.positions[i], r.positions[j]), j);
    std::partial_sort(byDistance.begin(), byDistance.begin() + 6, byDistance.end());
    for (int k = 0; k < 6; ++k)
      if (byDistance[k].second != i)
        want[i][byDistance[k].second] = want[byDistance[k].second][i] = byDistance[k].first;
  }
  const double D = 0.2 * std::sqrt(8.0 * 8 + 10 * 10 + 8 * 8);
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t j = 0; j < n; ++j) {
      ASSERT_EQ(r.distances.length(i, j), r.distances.length(j, i)) << i << "," << j;
      ASSERT_DOUBLE_EQ(r.distances.length(i, j), i == j ? -D : want[i][j]) << i << "," << j;
    }
  EXPECT_EQ(text, "Number of valid voxels:160\nAverage Number of Neighbor Points:  " + std::to_string(sum / n) + "\n");
}

TEST_F(VoxelGraph, EmptyGraphAveragesZeroAndDuplicatePositionsLoseTheirSelfHit) {
  VoxelVolume v;
  makeVolume(v, 4, 4, 4, 0.2, {});
  EXPECT_EQ(buildGraph(r, v), "Number of valid voxels:0\nAverage Number of Neighbor Points:  0\n");
  EXPECT_FALSE(r.hasGraph());
  StdoutCapture quiet;
  EXPECT_FALSE(r.reconstruct());
  EXPECT_FALSE(r.buildShortestPathTree());
  EXPECT_EQ(quiet.text(), "");
  // The index keeps one node per position (the later vertex), so only that one finds itself.
  makeVolume(v, 2, 1, 1, 1.0, {cellWithCentre(0, 0, 0, 0.9, 0.5, 0.5), cellWithCentre(1, 0, 0, 0.9, 0.5, 0.5)});
  buildGraph(r, v);
  EXPECT_EQ(r.distances.length(0, 0), -1.0);
  EXPECT_DOUBLE_EQ(r.distances.length(1, 1), -std::sqrt(6.0));
}

// The direction field written out from its definition for one vertex.
Vec3 fieldByFormula(const VoxelVolume& v, const Vec3& p, double maxRadius) {
  const double pi = std::acos(-1.0);
  const double cx = 0.5 * v.maxCorner.x + 0.5 * v.baseCorner.x + 0.5 * v.voxelSize;
  const double cz = 0.5 * v.maxCorner.z + 0.5 * v.baseCorner.z + 0.5 * v.voxelSize;
  const double r = std::hypot(p.x - cx, p.z - cz), rho = r / maxRadius;
  const double H = v.maxCorner.y - v.baseCorner.y, depth = v.maxCorner.y - p.y;
  if (depth > H || (g_bRefineTrunk == 2 && rho < 0.2)) return Vec3(0, rho, 0);
  const double L = std::pow(depth / H, 1.8 - g_dFieldHeightExponent + 0.4);
  const double M = std::pow(rho, g_dFieldRadialExponent);
  const double T = g_dFieldTopAngle * pi / 180, B = g_dFieldBottomAngle * pi / 180;
  const double e = M * (L * (B - T) + T - pi / 2) + pi / 2;
  const double hx = (p.x - cx) / r, hz = (p.z - cz) / r, t = std::tan(e);
  const double len = std::sqrt(hx * hx + t * t + hz * hz);
  return Vec3(hx / len * rho, t / len * rho, hz / len * rho);
}

TEST_F(VoxelGraph, DirectionFieldFollowsTheFormula) {
  // Box 4 x 6 x 4 with its base lifted to y = 1: vertex 0 lies below the crown (depth > H).
  VoxelVolume v;
  makeVolume(v, 20, 30, 20, 0.2,
             {cellWithCentre(0, 0, 0, 2.1, 0.5, 2.1), cellWithCentre(1, 0, 0, 3.7, 2.0, 2.1),
              cellWithCentre(2, 0, 0, 0.5, 4.5, 3.0), cellWithCentre(3, 0, 0, 2.4, 5.9, 0.3),
              cellWithCentre(4, 0, 0, 2.15, 3.0, 2.2)});
  v.baseCorner = PointRecord{0, 1.0, 0, 0};
  g_dFieldBottomAngle = -30.0;
  for (int refine : {0, 2}) {
    g_bRefineTrunk = refine;
    TreeReconstructor fresh;
    buildGraph(fresh, v);
    double maxRadius = 0;
    for (const Vec3& p : fresh.positions) maxRadius = std::max(maxRadius, std::hypot(p.x - 2.1, p.z - 2.1));
    EXPECT_DOUBLE_EQ(fresh.maxRadius, maxRadius);
    for (uint32_t i = 0; i < 5; ++i) {
      const Vec3 want = fieldByFormula(v, fresh.positions[i], maxRadius), got = fresh.directions[i];
      EXPECT_LT(euclid(got, want), 1e-12) << "vertex " << i << " refine " << refine;
    }
    EXPECT_GT(fresh.directions[1].x, 0.0) << "the field points outwards";
  }
}

// A vertical column of cells with two side cells, grown once.
void grownColumn(VoxelVolume& v, TreeReconstructor& r) {
  makeVolume(v, 7, 12, 7, 0.2, cellBox(3, 0, 3, 1, 12, 1, {cellAt(5, 6, 3), cellAt(1, 8, 3)}));
  bool ran = false;
  growTree(r, v, &ran);
  ASSERT_TRUE(ran);
}

TEST_F(VoxelGraph, DeleteRemovesTheSelectedVertexAndShiftsLaterOnes) {
  VoxelVolume v;
  grownColumn(v, r);
  const uint32_t n = r.nVoxels;
  r.rootVoxel = 4;  // as if the selection had moved
  r.distances.setMark(3, 7, 1);
  r.distances.setMark(9, 2, 1);
  for (uint32_t k = 0; k < n; ++k) r.visited[k] = k % 3 == 0;
  const auto positions = r.positions;
  const auto voxels = r.voxelIndex;
  const auto visited = r.visited;
  const NeighbourGraph matrix = r.distances;
  r.deleteSelectedVoxel();
  ASSERT_EQ(r.nVoxels, n - 1);
  EXPECT_EQ(r.rootVoxel, -1);
  auto old = [](uint32_t i) { return i < 4 ? i : i + 1; };
  for (uint32_t i = 0; i + 1 < n; ++i) {
    EXPECT_EQ(r.positions[i].y, positions[old(i)].y);
    EXPECT_EQ(r.voxelIndex[i], voxels[old(i)]);
    EXPECT_EQ(r.visited[i], visited[old(i)]);
    for (uint32_t j = 0; j + 1 < n; ++j) {
      ASSERT_EQ(r.distances.length(i, j), matrix.length(old(i), old(j)));
      ASSERT_EQ(r.distances.mark(i, j), matrix.mark(old(i), old(j)));
    }
  }
  r.deleteSelectedVoxel();
  EXPECT_EQ(r.nVoxels, n - 1) << "a second Delete does nothing";
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
    const std::string text = progress.text();
    EXPECT_EQ(text.substr(text.size() - 13), "\b\b\b\b\b\b\b100.0%");

    // Tree edges: off-diagonal entries that kept a length (zero-length edges stay at 0).
    std::vector<std::vector<uint32_t>> adj(n);
    size_t edges = 0;
    for (uint32_t i = 0; i < n; ++i)
      for (uint32_t j = 0; j < n; ++j) {
        EXPECT_EQ(t.distances.mark(i, j), 0);
        EXPECT_TRUE(i != j || t.distances.length(i, i) == -1.0);
        if (i != j && t.distances.length(i, j) >= 0.0) adj[i].push_back(j), edges += i < j;
      }
    EXPECT_EQ(edges, n - 1);
    // Distances along the tree from the root equal the shortest distances.
    const auto shortest = allPairs(t.positions);
    std::vector<double> along(n, -1.0);
    std::queue<uint32_t> q({2});
    along[2] = 0.0;
    for (; !q.empty(); q.pop())
      for (uint32_t b : adj[q.front()])
        if (along[b] < 0) along[b] = along[q.front()] + t.distances.length(q.front(), b), q.push(b);
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
  makeVolume(small, 3, 3, 3, 0.5, {cellAt(1, 0, 1), cellAt(1, 1, 1), cellAt(1, 2, 1)});
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

TEST_F(VoxelGraph, LinkTrunkSeedsJoinsVisitedLaterSeedsToTheirNearestFreeVertices) {
  VoxelVolume v;
  makeVolume(v, 6, 1, 1, 1.0, cellBox(0, 0, 0, 6, 1, 1));
  v.trunkSeeds[0] = 0;  // base seed: not linked
  v.trunkSeeds[1] = 2;
  v.seedCount = 2;
  v.baseSeedCount = 1;
  g_dSearchRadius = 1.5;
  g_nKNN = 2;
  buildGraph(r, v);
  r.visited = {1, 0, 1, 1, 0, 0};
  r.linkTrunkSeeds();
  // Vertex 2's free candidates: 1 (edge 1.0), 4 and 5 (no edge, key 1.0); the first two kept.
  EXPECT_EQ(r.distances.length(2, 1), 1.0);
  EXPECT_EQ(r.distances.length(4, 2), 1.0);
  EXPECT_EQ(r.distances.length(2, 5), -1.0);
  EXPECT_EQ(r.distances.length(0, 4), -1.0);
}

}  // namespace
