// The voxel graph: edges against a brute-force neighbour computation, the direction field
// against its formula, the graph edits (Delete, shortest-path tree) and refused inputs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <queue>
#include <random>
#include <set>

#include "app/settings.h"
#include "skeleton/tree_reconstructor.h"
#include "support/test_support.h"
#include "volume_fixture.h"

namespace {

double euclid(const Vec3& a, const Vec3& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

class VoxelGraph : public ::testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override { resetSettingsToStartValues(); }
};

// A seeded scatter of occupied cells with jittered centres (no two pairs at equal distance).
std::vector<CellSpec> randomCells(std::mt19937& rng, int count, int dx, int dy, int dz, double size) {
  std::uniform_int_distribution<int> X(0, dx - 1), Y(0, dy - 1), Z(0, dz - 1);
  std::uniform_real_distribution<double> j(0.05, 0.95);
  std::set<std::array<int, 3>> used;
  std::vector<CellSpec> cells;
  while (int(cells.size()) < count) {
    std::array<int, 3> c{X(rng), Y(rng), Z(rng)};
    if (!used.insert(c).second) continue;
    cells.push_back(
        cellWithCentre(c[0], c[1], c[2], (c[0] + j(rng)) * size, (c[1] + j(rng)) * size, (c[2] + j(rng)) * size));
  }
  return cells;
}

TEST_F(VoxelGraph, EdgesAreRadiusHitsPlusNearestForSparseVerticesExceptBaseSeeds) {
  std::mt19937 rng(3);
  VoxelVolume v;
  const double size = 0.2;
  makeVolume(v, 8, 10, 8, size, randomCells(rng, 160, 8, 10, 8, size));
  // The first two seeds are base seeds: their vertices never gain nearest-neighbour edges.
  std::vector<uint32_t> occupied;
  for (uint32_t c = 0; c < v.cellCount; ++c)
    if (v.labels[c]) occupied.push_back(c);
  v.trunkSeeds[0] = int32_t(occupied[5]);
  v.trunkSeeds[1] = int32_t(occupied[17]);
  v.trunkSeeds[2] = int32_t(occupied[30]);
  v.seedCount = 3;
  v.baseSeedCount = 2;
  g_dSearchRadius = 0.3;
  g_nKNN = 5;
  const uint32_t K = 5;

  TreeReconstructor r;
  StdoutCapture out;
  r.buildVoxelGraph(v);
  const std::string text = out.text();
  const uint32_t n = r.nVoxels;
  ASSERT_EQ(n, 160u);
  ASSERT_TRUE(r.hasGraph());
  EXPECT_EQ(r.voxelIndex, occupied);

  // Brute force: radius hits, then the K + 1 nearest (self included) of sparse vertices.
  std::vector<std::vector<double>> want(n, std::vector<double>(n, -1.0));
  uint64_t sum = 0;
  std::vector<uint32_t> count(n, 0);
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t j = 0; j < n; ++j)
      if (i != j && euclid(r.positions[i], r.positions[j]) <= g_dSearchRadius) {
        want[i][j] = euclid(r.positions[i], r.positions[j]);
        ++count[i];
      }
  for (uint32_t i = 0; i < n; ++i) sum += count[i];
  std::set<uint32_t> augmented;
  for (uint32_t i = 0; i < n; ++i) {
    if (count[i] >= K || i == 5 || i == 17) continue;
    augmented.insert(i);
    std::vector<std::pair<double, uint32_t>> byDistance;
    for (uint32_t j = 0; j < n; ++j) byDistance.emplace_back(euclid(r.positions[i], r.positions[j]), j);
    std::sort(byDistance.begin(), byDistance.end());
    for (uint32_t k = 0; k <= K; ++k) {
      const uint32_t j = byDistance[k].second;
      if (j != i) want[i][j] = want[j][i] = byDistance[k].first;
    }
  }
  EXPECT_TRUE(augmented.count(30)) << "vertex 30 (a non-base seed) should be sparse in this cloud";
  const double D = size * std::sqrt(8.0 * 8 + 10 * 10 + 8 * 8);
  for (uint32_t i = 0; i < n; ++i) {
    EXPECT_DOUBLE_EQ(r.distances.length(i, i), -D);
    for (uint32_t j = 0; j < n; ++j) {
      if (i == j) continue;
      ASSERT_EQ(r.distances.length(i, j), r.distances.length(j, i)) << i << "," << j;
      ASSERT_DOUBLE_EQ(r.distances.length(i, j), want[i][j]) << i << "," << j;
    }
  }
  char expected[160];
  std::snprintf(expected, sizeof expected, "Number of valid voxels:160\nAverage Number of Neighbor Points:  %u\n",
                unsigned(sum / n));
  EXPECT_EQ(text, expected);
}

TEST_F(VoxelGraph, DiagonalHoldsMinusTheVolumeDiagonalOnlyForSelfHits) {
  VoxelVolume v;
  makeVolume(v, 3, 4, 5, 0.5, {cellAt(0, 0, 0), cellAt(1, 0, 0), cellAt(2, 3, 4)});
  TreeReconstructor r;
  StdoutCapture out;
  r.buildVoxelGraph(v);
  out.text();
  const double D = 0.5 * std::sqrt(9.0 + 16.0 + 25.0);
  for (uint32_t i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(r.distances.length(i, i), -D);
  EXPECT_FALSE(r.distances.hasEdge(0, 0));
  // A vertex whose position duplicates a later one loses its own node in the index.
  VoxelVolume w;
  makeVolume(w, 2, 1, 1, 1.0, {cellWithCentre(0, 0, 0, 0.9, 0.5, 0.5), cellWithCentre(1, 0, 0, 0.9, 0.5, 0.5)});
  TreeReconstructor r2;
  StdoutCapture out2;
  r2.buildVoxelGraph(w);
  out2.text();
  EXPECT_EQ(r2.distances.length(0, 0), -1.0);
  EXPECT_DOUBLE_EQ(r2.distances.length(1, 1), -std::sqrt(6.0));
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
  VoxelVolume v;
  // Box 4 x 6 x 4 (x, y, z), base corner lifted to y = 1 so that the lowest vertex lies
  // below the crown's bottom (depth > H).
  makeVolume(v, 20, 30, 20, 0.2,
             {cellWithCentre(0, 0, 0, 2.1, 0.5, 2.1), cellWithCentre(1, 0, 0, 3.7, 2.0, 2.1),
              cellWithCentre(2, 0, 0, 0.5, 4.5, 3.0), cellWithCentre(3, 0, 0, 2.4, 5.9, 0.3),
              cellWithCentre(4, 0, 0, 2.15, 3.0, 2.2)});
  v.baseCorner = PointRecord{0, 1.0, 0, 0};
  for (int refine : {0, 2}) {
    g_bRefineTrunk = refine;
    g_dFieldBottomAngle = -30.0;
    TreeReconstructor r;
    StdoutCapture out;
    r.buildVoxelGraph(v);
    out.text();
    ASSERT_EQ(r.nVoxels, 5u);
    double maxRadius = 0;
    for (const Vec3& p : r.positions) maxRadius = std::max(maxRadius, std::hypot(p.x - 2.1, p.z - 2.1));
    EXPECT_DOUBLE_EQ(r.maxRadius, maxRadius);
    for (uint32_t i = 0; i < 5; ++i) {
      const Vec3 want = fieldByFormula(v, r.positions[i], maxRadius);
      EXPECT_NEAR(r.directions[i].x, want.x, 1e-12) << "vertex " << i << " refine " << refine;
      EXPECT_NEAR(r.directions[i].y, want.y, 1e-12) << "vertex " << i << " refine " << refine;
      EXPECT_NEAR(r.directions[i].z, want.z, 1e-12) << "vertex " << i << " refine " << refine;
    }
  }
  // Vertex 0 lies below the crown: straight up, scaled by its relative radius (0 on the axis).
  g_bRefineTrunk = 0;
  TreeReconstructor r;
  StdoutCapture out;
  r.buildVoxelGraph(v);
  out.text();
  EXPECT_EQ(r.directions[0].y, 0.0);
  EXPECT_GT(r.directions[1].x, 0.0) << "the field points outwards";
}

TEST_F(VoxelGraph, EmptyVolumePrintsZeroAverage) {
  VoxelVolume v;
  makeVolume(v, 4, 4, 4, 0.2, {});
  TreeReconstructor r;
  StdoutCapture out;
  r.buildVoxelGraph(v);
  EXPECT_EQ(out.text(), "Number of valid voxels:0\nAverage Number of Neighbor Points:  0\n");
  EXPECT_FALSE(r.hasGraph());
  StdoutCapture quiet;
  EXPECT_FALSE(r.reconstruct());
  EXPECT_FALSE(r.buildShortestPathTree());
  EXPECT_EQ(quiet.text(), "");
}

// A vertical column of cells with a few side cells, grown once.
void grownColumn(VoxelVolume& v, TreeReconstructor& r) {
  std::vector<CellSpec> cells;
  for (int y = 0; y < 12; ++y) cells.push_back(cellAt(3, y, 3));
  cells.push_back(cellAt(5, 6, 3));
  cells.push_back(cellAt(1, 8, 3));
  makeVolume(v, 7, 12, 7, 0.2, cells);
  StdoutCapture out;
  r.buildVoxelGraph(v);
  ASSERT_TRUE(r.reconstruct());
  out.text();
}

TEST_F(VoxelGraph, DeleteRemovesTheRootAndShiftsLaterVertices) {
  VoxelVolume v;
  TreeReconstructor r;
  grownColumn(v, r);
  const uint32_t n = r.nVoxels;
  ASSERT_EQ(r.rootVoxel, 0);
  r.rootVoxel = 4;  // as if the selection had moved
  const auto positions = r.positions;
  const auto voxels = r.voxelIndex;
  const auto visited = r.visited;
  std::vector<double> lengths;
  std::vector<uint8_t> marks;
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t j = 0; j < n; ++j) {
      lengths.push_back(r.distances.length(i, j));
      marks.push_back(r.distances.mark(i, j));
    }
  r.deleteSelectedVoxel();
  ASSERT_EQ(r.nVoxels, n - 1);
  EXPECT_EQ(r.rootVoxel, -1);
  for (uint32_t i = 0; i + 1 < n; ++i) {
    const uint32_t oi = i < 4 ? i : i + 1;
    EXPECT_EQ(r.positions[i].y, positions[oi].y);
    EXPECT_EQ(r.voxelIndex[i], voxels[oi]);
    EXPECT_EQ(r.visited[i], visited[oi]);
    for (uint32_t j = 0; j + 1 < n; ++j) {
      const uint32_t oj = j < 4 ? j : j + 1;
      ASSERT_EQ(r.distances.length(i, j), lengths[oi * n + oj]);
      ASSERT_EQ(r.distances.mark(i, j), marks[oi * n + oj]);
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
    TreeReconstructor r;
    StdoutCapture out;
    r.buildVoxelGraph(v);
    out.text();
    const uint32_t n = r.nVoxels;
    r.rootVoxel = 2;
    StdoutCapture progress;
    ASSERT_TRUE(r.buildShortestPathTree());
    const std::string text = progress.text();
    EXPECT_EQ(text.substr(text.size() - 13), "\b\b\b\b\b\b\b100.0%");

    // Tree edges: off-diagonal entries that kept a length (zero-length edges stay at 0).
    std::vector<std::vector<uint32_t>> adj(n);
    size_t edges = 0;
    for (uint32_t i = 0; i < n; ++i) {
      EXPECT_EQ(r.distances.length(i, i), -1.0);
      for (uint32_t j = 0; j < n; ++j) {
        EXPECT_EQ(r.distances.mark(i, j), 0);
        if (i != j && r.distances.length(i, j) >= 0.0) {
          adj[i].push_back(j);
          if (i < j) ++edges;
        }
      }
    }
    EXPECT_EQ(edges, n - 1);
    const auto shortest = allPairs(r.positions);
    std::vector<double> along(n, -1.0);
    std::queue<uint32_t> q;
    along[2] = 0.0;
    q.push(2);
    while (!q.empty()) {
      const uint32_t a = q.front();
      q.pop();
      for (uint32_t b : adj[a])
        if (along[b] < 0) {
          along[b] = along[a] + r.distances.length(a, b);
          q.push(b);
        }
    }
    for (uint32_t j = 0; j < n; ++j) EXPECT_NEAR(along[j], shortest[2][j], 1e-12) << "vertex " << j;
    if (statusVertices == 0) {
      // In general position every vertex keeps its direct edge from the root.
      EXPECT_EQ(adj[2].size(), n - 1);
    }
  }
}

TEST_F(VoxelGraph, GraphTooLargeForTheMatrixIsRefused) {
  // 70,000 vertices need 44 GB of matrices: refused, and every later pass refuses too.
  VoxelVolume v;
  std::vector<CellSpec> cells;
  for (int y = 0; y < 70; ++y)
    for (int z = 0; z < 40; ++z)
      for (int x = 0; x < 25; ++x) cells.push_back(cellAt(x, y, z));
  makeVolume(v, 25, 70, 40, 0.1, cells);
  TreeReconstructor r;
  StdoutCapture out;
  r.buildVoxelGraph(v);
  EXPECT_EQ(out.text(), "Number of valid voxels:70000\nMemory allocation error!\n");
  EXPECT_FALSE(r.hasGraph());
  r.rootVoxel = r.refineRoot = 0;
  r.secondVoxel = r.refineSecond = 1;
  r.notGrown = false;
  StdoutCapture quiet;
  EXPECT_FALSE(r.reconstruct());
  EXPECT_FALSE(r.refineTree());
  EXPECT_FALSE(r.buildShortestPathTree());
  r.deleteSelectedVoxel();
  EXPECT_EQ(quiet.text(), "");
  EXPECT_EQ(r.nVoxels, 70000u);
}

TEST_F(VoxelGraph, IndicesBeyondARebuiltGraphAreReportedNotUsed) {
  VoxelVolume v;
  TreeReconstructor r;
  grownColumn(v, r);
  r.rootVoxel = r.refineRoot = 10;
  r.secondVoxel = r.refineSecond = 11;
  // The voxel size changed without a model switch: a smaller graph keeps the old indices.
  VoxelVolume small;
  makeVolume(small, 3, 3, 3, 0.5, {cellAt(1, 0, 1), cellAt(1, 1, 1), cellAt(1, 2, 1)});
  StdoutCapture build;
  r.buildVoxelGraph(small);
  build.text();
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

TEST_F(VoxelGraph, LinkTrunkSeedsJoinsVisitedSeedsToTheirNearestFreeVertices) {
  VoxelVolume v;
  std::vector<CellSpec> cells;
  for (int x = 0; x < 6; ++x) cells.push_back(cellAt(x, 0, 0));
  makeVolume(v, 6, 1, 1, 1.0, cells);
  v.trunkSeeds[0] = 0;  // base seed: not linked
  v.trunkSeeds[1] = 2;
  v.seedCount = 2;
  v.baseSeedCount = 1;
  g_dSearchRadius = 1.5;
  g_nKNN = 2;
  TreeReconstructor r;
  StdoutCapture out;
  r.buildVoxelGraph(v);
  out.text();
  r.visited = {1, 0, 1, 1, 0, 0};
  r.linkTrunkSeeds();
  // Vertex 2's free candidates: 1 (edge 1.0), 4 and 5 (no edge, key 1.0); the first two kept.
  EXPECT_EQ(r.distances.length(2, 1), 1.0);
  EXPECT_EQ(r.distances.length(2, 4), 1.0);
  EXPECT_EQ(r.distances.length(4, 2), 1.0);
  EXPECT_EQ(r.distances.length(2, 5), -1.0);
  EXPECT_EQ(r.distances.length(0, 4), -1.0);
}

}  // namespace
