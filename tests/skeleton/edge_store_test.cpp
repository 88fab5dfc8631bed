// The radius edge store against the dense matrix it replaced (dense_edge_store.h): the same
// entries after builds and edits, the same console and exports over whole command sequences
// on every bundled model and real scan, and graphs beyond the old 65,535-vertex cap.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include "dense_edge_store.h"
#include "pointcloud/point_cloud.h"
#include "volume_fixture.h"

namespace {

using EdgeStores = SkeletonTest;

// The rows as the passes walk them (whole, and without the skipped vertices when given), their
// marks and the diagonal alike; with `everyPair` every entry and mark, edge or not.
void expectSame(const NeighbourGraph& a, const NeighbourGraph& b, const std::vector<uint8_t>* skip, bool everyPair) {
  ASSERT_EQ(a.size(), b.size());
  std::vector<EdgeEntry> ra, rb;
  for (uint32_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(a.length(i, i), b.length(i, i)) << i;
    for (uint32_t j = 0; everyPair && j < a.size(); ++j)
      ASSERT_TRUE(a.length(i, j) == b.length(i, j) && a.mark(i, j) == b.mark(i, j))
          << i << "," << j << ": " << a.length(i, j) << " " << b.length(i, j);
    for (int pass = 0; pass < (skip ? 2 : 1); ++pass) {
      a.row(i, pass ? skip : nullptr, ra);
      b.row(i, pass ? skip : nullptr, rb);
      ASSERT_EQ(ra.size(), rb.size()) << "row " << i;
      for (size_t k = 0; k < ra.size(); ++k)
        ASSERT_TRUE(ra[k].vertex == rb[k].vertex && ra[k].length == rb[k].length &&
                    a.mark(i, ra[k].vertex) == b.mark(i, rb[k].vertex))
            << "row " << i;
    }
  }
}

// A reconstructor on the radius store and one on the dense store, driven alike.
struct Twin {
  TreeReconstructor radius, dense;
  Twin() { dense.distances.useStore(std::make_unique<DenseEdgeStore>()); }
  // Runs f on both (same random sequence); they must print and return the same.
  void step(const std::string& what, const std::function<bool(TreeReconstructor&, int)>& f) {
    std::string text[2];
    for (int side = 0; side < 2; ++side) {
      std::srand(7);
      StdoutCapture out;
      const bool ok = f(side == 0 ? radius : dense, side);
      text[side] = out.text() + (ok ? "(true)" : "(false)");
    }
    EXPECT_EQ(text[0], text[1]) << what;
  }
};

// 150 cells; `lattice` keeps cell centres (exact ties and pairs at exactly the radius),
// otherwise jittered, with some cells repeating another's centre; some tagged.
VoxelVolume scatter(std::mt19937& rng, bool lattice) {
  VoxelVolume v;
  makeVolume(v, 8, 10, 8, 0.2, randomCells(rng, 150, 8, 10, 8, 0.2, lattice, 10, 17));
  for (int k = 0; k < 6; ++k)
    v.trunkSeeds[k] = int32_t(std::find(v.labels.begin(), v.labels.end(), 1) - v.labels.begin()) + 8 * k;
  v.seedCount = 6;
  v.baseSeedCount = 2;
  return v;
}

TEST_F(EdgeStores, BuildsAndEveryEditMatchTheDenseStore) {
  std::mt19937 rng(11);
  // (lattice, radius, K): general position; lattice pairs at exactly the radius (rounding
  // puts some just inside, some just outside; cells then hold several lattice points);
  // nothing within the radius but the vertex itself; every pair within it.
  const double side = std::sqrt(0.2 * 0.2 + 0.2 * 0.2), knight = std::sqrt(0.4 * 0.4 + 0.2 * 0.2);
  const std::tuple<bool, double, int> cases[] = {{false, 0.3, 5}, {true, side, 8}, {true, knight, 8},
                                                 {true, 0.6, 30}, {false, 0.0, 3}, {false, 9.0, 2}};
  for (const auto& [lattice, radius, K] : cases) {
    SCOPED_TRACE(testing::Message() << "radius " << radius << " K " << K);
    const VoxelVolume v = scatter(rng, lattice);
    g_dSearchRadius = radius;
    g_nKNN = K;
    Twin t;
    t.step("build", [&](TreeReconstructor& r, int) { return r.buildVoxelGraph(v), true; });
    std::vector<uint8_t> skip(t.radius.nVoxels);
    for (auto& s : skip) s = rng() % 3 == 0;
    expectSame(t.radius.distances, t.dense.distances, &skip, true);

    // Random edits, both stores alike; the length values include 0, -1 and a non-edge's.
    for (int e = 0; e < 60; ++e) {
      const uint32_t n = t.radius.distances.size(), i = rng() % n, j = rng() % n, op = rng() % 8;
      for (NeighbourGraph* g : {&t.radius.distances, &t.dense.distances}) {
        if (op <= 2) g->setEdge(i, j, std::array<double, 4>{0.0, -1.0, 0.7, 1.25}[op + (e % 2)]);
        if (op == 3 || op == 4) g->setMark(i, j, op == 3);
        if (op == 5 && e % 4 == 0) g->clearMarks();
        if (op == 6 && n > 2) g->removeVertex(i);
      }
      if (op == 6 && n > 2) skip.erase(skip.begin() + i);
      if (op == 7 && e == 40) {  // a random tree replaces everything
        std::vector<TreeEdge> tree;
        for (uint32_t k = 1; k < n; ++k) tree.push_back({uint32_t(rng() % k), k, 0.1 * k});
        for (NeighbourGraph* g : {&t.radius.distances, &t.dense.distances}) g->assignTree(n, tree);
      }
      expectSame(t.radius.distances, t.dense.distances, &skip, true);
    }
  }
}

// Reconstruct, key f, key p, Delete, key f on one cloud at one voxel size, on both stores.
void runCommandsOnBoth(const std::string& path, double voxelSize) {
  SCOPED_TRACE(path + " at " + std::to_string(voxelSize));
  resetSettingsToStartValues();
  PointCloud cloud;
  VoxelVolume volume;
  {
    StdoutCapture quiet;
    ASSERT_TRUE(cloud.load(path));
    g_dVoxelSize = voxelSize;
    volume.build(cloud, voxelSize);
    volume.thin();
  }
  TempDir dir;
  Twin t;
  auto exportBoth = [&](const std::string& tag) {
    t.step("export " + tag, [&](TreeReconstructor& r, int side) {
      if (!r.model.isBuilt()) return false;
      r.model.buildDisplay();
      return r.model.exportTree(dir.file(tag + std::to_string(side)), cloud.scale);
    });
    EXPECT_EQ(readFile(dir.file(tag + "0")), readFile(dir.file(tag + "1"))) << tag;
  };
  t.step("graph", [&](TreeReconstructor& r, int) { return r.buildVoxelGraph(volume), r.hasGraph(); });
  expectSame(t.radius.distances, t.dense.distances, nullptr, false);
  t.step("reconstruct", [](TreeReconstructor& r, int) { return r.reconstruct(); });
  exportBoth("b");
  t.step("key f", [](TreeReconstructor& r, int) { return r.refineTree(); });
  exportBoth("f");
  t.step("key p", [](TreeReconstructor& r, int) { return r.buildShortestPathTree(); });
  expectSame(t.radius.distances, t.dense.distances, nullptr, false);
  t.step("Delete", [](TreeReconstructor& r, int) { return r.deleteSelectedVoxel(), r.hasGraph(); });
  t.step("key f after p", [](TreeReconstructor& r, int) { return r.refineTree(); });
  exportBoth("pdf");
  expectSame(t.radius.distances, t.dense.distances, nullptr, false);
}

TEST(EdgeStoreCommands, EveryModelAndScanMatchesTheDenseStore) {
  std::vector<std::string> files;  // the bundled models, then the real scans when present (both formats)
  for (const char* folder : {FRONDAREL_SOURCE_DIR "/data/point_model", FRONDAREL_REALDATA "/converted"}) {
    const size_t from = files.size();
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) files.push_back(e.path().string());
    std::sort(files.begin() + from, files.end());
  }
  ASSERT_GE(files.size(), 6u);
  for (double size : {0.2, 0.1})
    for (const std::string& f : files) runCommandsOnBoth(f, size);
}

// Fault pinned: graphs of more than 65,535 vertices were refused.
TEST_F(EdgeStores, MoreThan65535VerticesBuildAndGrow) {
  VoxelVolume v;
  makeVolume(v, 25, 70, 40, 0.1, cellBox(0, 0, 0, 25, 70, 40));
  g_dVoxelSize = 0.1;
  g_dSearchRadius = 0.25;   // cells up to sqrt(6) cells away: 80 around an inner cell
  g_dKillDistance = 100.0;  // the colonisation ends after one step; the regrowth is what runs
  uint64_t sum = 0;         // over every offset up to sqrt(6) cells, the cells whose neighbour there is inside
  for (int dy = -2; dy <= 2; ++dy)
    for (int dz = -2; dz <= 2; ++dz)
      for (int dx = -2; dx <= 2; ++dx)
        if (const int away = dx * dx + dy * dy + dz * dz; away >= 1 && away <= 6)
          sum += uint64_t(25 - std::abs(dx)) * (70 - std::abs(dy)) * (40 - std::abs(dz));
  EXPECT_EQ(buildGraph(r, v),
            "Number of valid voxels:70000\nAverage Number of Neighbor Points:  " + std::to_string(sum / 70000) + "\n");
  ASSERT_TRUE(r.hasGraph());
  std::vector<EdgeEntry> row;
  r.distances.row(12 + 25 * (20 + 40 * 35), nullptr, row);
  EXPECT_EQ(row.size(), 80u);
  StdoutCapture quiet;
  ASSERT_TRUE(r.reconstruct());
  ASSERT_TRUE(r.refineTree());
  EXPECT_GT(r.model.segments.size(), 1000u);
}

}  // namespace
