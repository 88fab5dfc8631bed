// The radius edge store against the dense matrix it replaced (dense_edge_store.h): the same
// entries after builds and edits, the same console and exports over whole command sequences
// on every bundled model and real scan, and graphs beyond the old 65,535-vertex cap.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

#include "dense_edge_store.h"
#include "pointcloud/point_cloud.h"
#include "volume_fixture.h"

namespace {

using EdgeStores = SkeletonTest;

uint64_t bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

// Every entry, every mark and the rows (whole, and without the skipped vertices) alike.
void expectSameStore(const NeighbourGraph& a, const NeighbourGraph& b, const std::vector<uint8_t>& skip) {
  ASSERT_EQ(a.size(), b.size());
  std::vector<EdgeEntry> ra, rb;
  for (uint32_t i = 0; i < a.size(); ++i) {
    for (uint32_t j = 0; j < a.size(); ++j) {
      ASSERT_EQ(bits(a.length(i, j)), bits(b.length(i, j))) << i << "," << j << ": " << a.length(i, j);
      ASSERT_EQ(a.mark(i, j), b.mark(i, j)) << i << "," << j;
    }
    for (const std::vector<uint8_t>* s : {(const std::vector<uint8_t>*)nullptr, &skip}) {
      a.row(i, s, ra);
      b.row(i, s, rb);
      ASSERT_EQ(ra.size(), rb.size()) << "row " << i;
      for (size_t k = 0; k < ra.size(); ++k)
        ASSERT_TRUE(ra[k].vertex == rb[k].vertex && bits(ra[k].length) == bits(rb[k].length)) << "row " << i;
    }
  }
}

// Rows as the passes walk them; for graphs too large to compare pair by pair.
void expectSameRows(const NeighbourGraph& a, const NeighbourGraph& b) {
  ASSERT_EQ(a.size(), b.size());
  std::vector<EdgeEntry> ra, rb;
  for (uint32_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(bits(a.length(i, i)), bits(b.length(i, i))) << i;
    a.row(i, nullptr, ra);
    b.row(i, nullptr, rb);
    ASSERT_EQ(ra.size(), rb.size()) << "row " << i;
    for (size_t k = 0; k < ra.size(); ++k) {
      ASSERT_TRUE(ra[k].vertex == rb[k].vertex && bits(ra[k].length) == bits(rb[k].length)) << "row " << i;
      ASSERT_EQ(a.mark(i, ra[k].vertex), b.mark(i, ra[k].vertex));
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
    bool ok[2];
    for (int side = 0; side < 2; ++side) {
      std::srand(7);
      StdoutCapture out;
      ok[side] = f(side == 0 ? radius : dense, side);
      text[side] = out.text();
    }
    EXPECT_EQ(text[0], text[1]) << what;
    EXPECT_EQ(ok[0], ok[1]) << what;
  }
};

// A scatter of cells; `lattice` keeps cell centres (exact ties and pairs at exactly the
// radius), otherwise jittered, with some cells repeating another's centre and some tagged.
VoxelVolume scatter(std::mt19937& rng, bool lattice) {
  std::uniform_int_distribution<int> X(0, 7), Y(0, 9);
  std::uniform_real_distribution<double> jitter(0.05, 0.95);
  std::vector<CellSpec> cells;
  std::set<std::array<int, 3>> used;
  while (cells.size() < 150) {
    const std::array<int, 3> c{X(rng), Y(rng), X(rng)};
    if (!used.insert(c).second) continue;
    cells.push_back(lattice ? CellSpec{c[0], c[1], c[2]}
                            : CellSpec{c[0], c[1], c[2], (c[0] + jitter(rng)) * 0.2, (c[1] + jitter(rng)) * 0.2,
                                       (c[2] + jitter(rng)) * 0.2});
    if (!lattice && cells.size() % 10 == 0) {  // a later vertex repeats an earlier one's centre
      CellSpec& last = cells.back();
      last.cx = cells[cells.size() / 2].cx, last.cy = cells[cells.size() / 2].cy, last.cz = cells[cells.size() / 2].cz;
    }
    if (cells.size() % 17 == 0) cells.back().tag = 1;
  }
  VoxelVolume v;
  makeVolume(v, 8, 10, 8, 0.2, cells);
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
  const std::tuple<bool, double, int> cases[] = {{false, 0.3, 5},
                                                 {true, std::sqrt(0.2 * 0.2 + 0.2 * 0.2), 8},
                                                 {true, std::sqrt(0.4 * 0.4 + 0.2 * 0.2), 8},
                                                 {true, 0.6, 30},
                                                 {false, 0.0, 3},
                                                 {false, 9.0, 2}};
  for (const auto& [lattice, radius, K] : cases) {
    SCOPED_TRACE(testing::Message() << "radius " << radius << " K " << K);
    const VoxelVolume v = scatter(rng, lattice);
    g_dSearchRadius = radius;
    g_nKNN = K;
    Twin t;
    t.step("build", [&](TreeReconstructor& r, int) { return r.buildVoxelGraph(v), true; });
    std::vector<uint8_t> skip(t.radius.nVoxels);
    for (auto& s : skip) s = rng() % 3 == 0;
    expectSameStore(t.radius.distances, t.dense.distances, skip);

    // Random edits, both stores alike; the length values include 0, -1 and a non-edge's.
    for (int e = 0; e < 60; ++e) {
      const uint32_t n = t.radius.distances.size(), i = rng() % n, j = rng() % n, op = rng() % 8;
      for (NeighbourGraph* g : {&t.radius.distances, &t.dense.distances}) {
        if (op <= 2) g->setEdge(i, j, std::array<double, 4>{0.0, -1.0, 0.7, 1.25}[op + (e % 2)]);
        if (op == 3) g->setMark(i, j, 1);
        if (op == 4) g->setMark(i, j, 0);
        if (op == 5 && e % 4 == 0) g->clearMarks();
        if (op == 6 && n > 2) g->removeVertex(i);
      }
      if (op == 6 && n > 2) skip.erase(skip.begin() + i);
      if (op == 7 && e == 40) {  // a random tree replaces everything
        std::vector<TreeEdge> tree;
        for (uint32_t k = 1; k < n; ++k) tree.push_back({uint32_t(rng() % k), k, 0.1 * k});
        t.radius.distances.assignTree(n, tree);
        t.dense.distances.assignTree(n, tree);
      }
      expectSameStore(t.radius.distances, t.dense.distances, skip);
    }
  }
}

// The bundled models, then the real scans when present (both formats of each).
std::vector<std::string> cloudFiles() {
  std::vector<std::string> out;
  std::error_code ec;
  for (const char* folder : {FRONDAREL_SOURCE_DIR "/data/point_model", FRONDAREL_REALDATA "/converted"}) {
    const size_t from = out.size();
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) out.push_back(e.path().string());
    std::sort(out.begin() + from, out.end());
  }
  return out;
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
  expectSameRows(t.radius.distances, t.dense.distances);
  t.step("reconstruct", [](TreeReconstructor& r, int) { return r.reconstruct(); });
  exportBoth("b");
  t.step("key f", [](TreeReconstructor& r, int) { return r.refineTree(); });
  exportBoth("f");
  t.step("key p", [](TreeReconstructor& r, int) { return r.buildShortestPathTree(); });
  expectSameRows(t.radius.distances, t.dense.distances);
  t.step("Delete", [](TreeReconstructor& r, int) { return r.deleteSelectedVoxel(), r.hasGraph(); });
  t.step("key f after p", [](TreeReconstructor& r, int) { return r.refineTree(); });
  exportBoth("pdf");
  expectSameRows(t.radius.distances, t.dense.distances);
}

TEST(EdgeStoreCommands, EveryModelAndScanMatchesTheDenseStore) {
  const auto files = cloudFiles();
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
  uint64_t sum = 0;
  for (int y = 0; y < 70; ++y)
    for (int z = 0; z < 40; ++z)
      for (int x = 0; x < 25; ++x)
        for (int dy = -2; dy <= 2; ++dy)
          for (int dz = -2; dz <= 2; ++dz)
            for (int dx = -2; dx <= 2; ++dx) {
              const int away = dx * dx + dy * dy + dz * dz;
              sum += away >= 1 && away <= 6 && x + dx >= 0 && x + dx < 25 && y + dy >= 0 && y + dy < 70 &&
                     z + dz >= 0 && z + dz < 40;
            }
  EXPECT_EQ(buildGraph(r, v),
            "Number of valid voxels:70000\nAverage Number of Neighbor Points:  " + std::to_string(sum / 70000) + "\n");
  ASSERT_TRUE(r.hasGraph());
  std::vector<EdgeEntry> row;
  r.distances.row(12 + 25 * (20 + 40 * 35), nullptr, row);
  EXPECT_EQ(row.size(), 80u);
  bool ran = false;
  growTree(r, v, &ran);
  ASSERT_TRUE(ran);
  StdoutCapture out;
  ASSERT_TRUE(r.refineTree());
  EXPECT_GT(r.model.segments.size(), 1000u) << out.text();
}

}  // namespace
