#include "tree/scan_exports.h"

#include <map>
#include <sstream>

#include "tree/branch_mesh.h"
#include "tree_test_util.h"

namespace {

// Model coordinates back to a UTM-sized file position, read Z up with X mirrored, shifted and
// scaled by a factor that is not a power of two.
ScanFrame projectedFrame() {
  ScanFrame f = ScanFrame::zUp();
  f.sign[0] = -1.0;
  f.absolute = Vec3(500000.25, 5400000.5, 250.0);
  f.shift = Vec3(3.0, -1.0, 2.0);
  f.scale = 2.5;
  return f;
}

// Z up alone mirrors (a swap of two axes), as X mirrored alone does; together they do not.
ScanFrame zUpShifted() {
  ScanFrame f = ScanFrame::zUp();
  f.shift = Vec3(1.0, -2.0, 0.5);
  f.scale = 0.8;
  return f;
}

const char* const kReader = "/usr/bin/python3 " FRONDAREL_SOURCE_DIR "/tests/tree/read_exports.py";

constexpr int kNoOpen3d = 77;  // the reader's exit status without Open3D

// Lines of the reader's output split into words; empty when the reader failed (*status).
std::vector<std::vector<std::string>> readBack(const std::string& kind, const std::string& path, int* status) {
  std::string out;
  *status = runCommand(std::string(kReader) + " " + kind + " " + path + " 2>/dev/null", &out);
  std::vector<std::vector<std::string>> lines;
  if (*status != 0) return lines;
  std::istringstream text(out);
  for (std::string line; std::getline(text, line);) {
    std::istringstream words(line);
    lines.emplace_back();
    for (std::string w; words >> w;) lines.back().push_back(w);
  }
  return lines;
}

class ScanExportTest : public TreeTest {
 protected:
  // A trunk bending gently with limbs leaving it at about 45 degrees, one of them forking
  // again; nothing pruned. Its tubes have no folds, so every triangle faces outwards.
  void buildSmoothTree() {
    g_dTwigRemoveRatio = 0.0;
    NodeTree t;
    std::vector<int> trunk{t.add(Vec3(0, 0, 0), -1)};
    for (int i = 1; i <= 8; ++i) trunk.push_back(t.add(Vec3(0.1 * std::sin(0.3 * i), 0.5 * i, 0.05 * i), trunk.back()));
    auto limb = [&t](int from, const Vec3& direction, int count) {
      int node = from;
      for (int k = 1; k <= count; ++k)
        node = t.add(t.positions[from] + direction * (0.3 * k) + Vec3(0, 0.02 * k * k, 0), node);
      return node - count + 1;
    };
    limb(trunk[3], Vec3(0.7, 0.7, 0), 4);
    const int first = limb(trunk[5], Vec3(-0.6, 0.6, 0.5), 5);
    limb(trunk[6], Vec3(0.1, 0.7, -0.7), 3);
    limb(first + 2, Vec3(-0.2, 0.7, 0.7), 3);
    loadSkeleton(model, t);
    model.rebuild();
    ASSERT_EQ(model.branches.size(), 5u);
  }
  // A random tree of 80 nodes, nothing pruned.
  void buildRandomTree(uint32_t seed) {
    std::mt19937 rng(seed);
    g_dTwigRemoveRatio = 0.0;
    loadSkeleton(model, randomNodeTree(rng, 80));
    model.rebuild();
    ASSERT_GT(model.branches.size(), 5u);
  }
  TempDir dir;
};

using Row = std::array<double, 4>;

}  // namespace

TEST_F(ScanExportTest, SkeletonGraphReadsBackWithOpen3dAsOneTreeInScanCoordinates) {
  buildRandomTree(7);
  const ScanFrame frame = projectedFrame();
  const std::string path = dir.write("tree.ply", skeletonGraphPly(model, frame));
  int status = 0;
  const auto lines = readBack("graph", path, &status);
  if (status == kNoOpen3d) GTEST_SKIP() << "python3-open3d is not installed";
  ASSERT_GE(lines.size(), 2u);

  // Every node once, a branch's first node being the parent's node it forks from, the trunk
  // from its second node (the root segment hangs below the first skeleton node); radii
  // drawn, in file units. Coordinates must come back exactly (millimetres at UTM size).
  std::vector<Row> expected;
  for (const auto& b : model.branches) {
    if (b->nodes.size() < 2) continue;
    for (size_t k = 1; k < b->nodes.size(); ++k) {
      const Vec3 p = frame.toScan(b->nodes[k]);
      expected.push_back({p.x, p.y, p.z, 0.5 * b->radii[k] / frame.scale});
    }
  }
  std::vector<Row> read;
  std::vector<std::pair<int, int>> edges;
  for (const auto& w : lines) {
    if (w[0] == "v") read.push_back({std::stod(w[1]), std::stod(w[2]), std::stod(w[3]), std::stod(w[4])});
    if (w[0] == "e") edges.emplace_back(std::stoi(w[1]), std::stoi(w[2]));
  }
  EXPECT_EQ(lines[0], (std::vector<std::string>{"vertices", std::to_string(expected.size())}));
  std::sort(expected.begin(), expected.end());
  std::sort(read.begin(), read.end());
  ASSERT_EQ(read.size(), expected.size());
  for (size_t i = 0; i < read.size(); ++i)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(read[i][c], expected[i][c]) << i << " " << c;

  // A tree: one edge fewer than vertices, and every vertex reached from the first.
  ASSERT_EQ(edges.size() + 1, read.size());
  std::vector<std::vector<int>> next(read.size());
  for (auto [a, b] : edges) {
    ASSERT_TRUE(a >= 0 && b >= 0 && a < static_cast<int>(read.size()) && b < static_cast<int>(read.size()));
    next[a].push_back(b);
    next[b].push_back(a);
  }
  std::vector<char> seen(read.size(), 0);
  std::vector<int> stack{0};
  seen[0] = 1;
  while (!stack.empty()) {
    int v = stack.back();
    stack.pop_back();
    for (int w : next[v])
      if (!seen[w]) stack.push_back(w), seen[w] = 1;
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(read.size()));
}

// The OBJ read by Open3D and by assimp: the triangles the tubes are drawn with (two per
// quad), the tube vertices in file coordinates, every triangle facing outwards (its winding
// agrees with the normals) also when the frame mirrors, and the leaves as their own group.
TEST_F(ScanExportTest, BranchMeshReadsBackFacingOutwardsInBothReaders) {
  std::string out;
  const bool haveAssimp = runCommand("command -v assimp >/dev/null 2>&1", &out) == 0;
  buildSmoothTree();
  // Two leaf triangles facing +y in model coordinates, wound to face their normals.
  MeshTriangles leaves;
  leaves.vertices = {Vec3(0, 1, 0),     Vec3(0, 1, 0.1),     Vec3(0.1, 1, 0),
                     Vec3(0.2, 1.2, 0), Vec3(0.2, 1.2, 0.1), Vec3(0.3, 1.2, 0)};
  leaves.normals.assign(6, Vec3(0, 1, 0));

  const ScanFrame frames[] = {zUpShifted(), projectedFrame()};
  const bool mirrors[] = {true, false};
  for (int f = 0; f < 2; ++f) {
    ScanFrame local = frames[f];
    local.absolute = Vec3();  // both readers keep single precision only
    SCOPED_TRACE(f);
    EXPECT_EQ(frameMirrors(local), mirrors[f]);
    const std::string path = dir.write("tree.obj", branchMeshObj(model, local, &leaves));

    // The trunk's tube less its first two strips (the refined root segment).
    size_t triangles = 0;
    std::vector<Row> expected;
    for (const BranchTube& tube : branchTubes(model)) {
      const size_t skipped = tube.branch == 0 ? 2 : 0;
      triangles += 2 * (tube.stripCount() - skipped) * tube.sides;
      for (size_t v = skipped * tube.stripSize(); v < tube.vertices.size(); ++v) {
        const Vec3 p = local.toScan(tube.vertices[v]);
        expected.push_back({p.x, p.y, p.z, 0});
      }
    }
    for (const Vec3& v : leaves.vertices) {
      const Vec3 p = local.toScan(v);
      expected.push_back({p.x, p.y, p.z, 0});
    }
    int status = 0;
    const auto lines = readBack("mesh", path, &status);
    if (status == kNoOpen3d) GTEST_SKIP() << "python3-open3d is not installed";
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], (std::vector<std::string>{"triangles", std::to_string(triangles + 2)}));
    EXPECT_EQ(lines[1], (std::vector<std::string>{"inward", "0"}));
    std::vector<Row> read;
    for (const auto& w : lines)
      if (w[0] == "v") read.push_back({std::stod(w[1]), std::stod(w[2]), std::stod(w[3]), 0});
    // Same positions, each within single precision of one written.
    auto unique = [](std::vector<Row> rows) {
      std::sort(rows.begin(), rows.end());
      rows.erase(std::unique(rows.begin(), rows.end(),
                             [](const Row& a, const Row& b) {
                               return std::fabs(a[0] - b[0]) + std::fabs(a[1] - b[1]) + std::fabs(a[2] - b[2]) < 1e-5;
                             }),
                 rows.end());
      return rows;
    };
    const std::vector<Row> a = unique(expected), b = unique(read);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[i][c], b[i][c], 1e-5 * (1 + std::fabs(a[i][c])));

    if (!haveAssimp) continue;
    ASSERT_EQ(runCommand("assimp info " + path + " -r 2>/dev/null", &out), 0);
    EXPECT_NE(out.find("(branches): [" + std::to_string(3 * triangles) + " / 0 / " + std::to_string(triangles) +
                       " | triangle]"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("(leaves): [6 / 0 / 2 | triangle]"), std::string::npos) << out;
  }
  if (!haveAssimp) GTEST_SKIP() << "assimp-utils is not installed; read with Open3D only";
}

// Each cylinder joins two consecutive nodes of a drawn branch (the trunk from its second
// node): its start is the first node and start + length * axis the second (in file
// coordinates), its radius the mean drawn radius; its parent is the previous cylinder, or for
// a branch's first one the parent branch's cylinder ending at the fork (or starting there,
// at the trunk's first written node).
TEST_F(ScanExportTest, CylinderTableJoinsTheNodesOfEveryBranch) {
  buildRandomTree(5);
  const ScanFrame frame = projectedFrame();
  std::istringstream csv(cylinderTableCsv(treeCylinders(model, frame)));
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line, "id,start_x,start_y,start_z,axis_x,axis_y,axis_z,length,radius,branch,order,parent,position");
  std::vector<std::vector<double>> rows;
  while (std::getline(csv, line)) {
    std::vector<double> row;
    std::istringstream fields(line);
    for (std::string f; std::getline(fields, f, ',');) row.push_back(std::stod(f));
    ASSERT_EQ(row.size(), 13u) << line;
    rows.push_back(row);
  }
  auto end = [](const std::vector<double>& r) {
    return Vec3(r[1] + r[7] * r[4], r[2] + r[7] * r[5], r[3] + r[7] * r[6]);
  };
  size_t expectedRows = 0;
  for (const auto& b : model.branches) expectedRows += b->nodes.size() >= 2 ? b->nodes.size() - 1 : 0;
  --expectedRows;
  ASSERT_EQ(rows.size(), expectedRows);
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& r = rows[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(r[0], static_cast<double>(i));
    const Branch& b = *model.branches.at(static_cast<size_t>(r[9]));
    const size_t k = static_cast<size_t>(r[12]) + (r[9] == 0 ? 1 : 0);
    ASSERT_LT(k + 1, b.nodes.size());
    EXPECT_EQ(r[10], b.order);
    const Vec3 a = frame.toScan(b.nodes[k]), e = frame.toScan(b.nodes[k + 1]);
    expectSame(Vec3(r[1], r[2], r[3]), a);
    expectSame(end(r), e, 1e-6);
    EXPECT_NEAR(std::hypot(r[4], r[5], r[6]), 1.0, 1e-12);
    EXPECT_NEAR(r[8], 0.25 * (b.radii[k] + b.radii[k + 1]) / frame.scale, 1e-15);
    const int parent = static_cast<int>(r[11]);
    if (i == 0) {
      EXPECT_EQ(parent, -1);
      continue;
    }
    ASSERT_TRUE(parent >= 0 && parent < static_cast<int>(i));
    if (r[12] > 0) {
      EXPECT_EQ(parent, static_cast<int>(i) - 1);
    } else {
      EXPECT_LT(rows[parent][9], r[9]);
      const Vec3 start(rows[parent][1], rows[parent][2], rows[parent][3]);
      const bool atTrunkBase = rows[parent][9] == 0 && rows[parent][12] == 0 && length(start - a) < 1e-6;
      expectSame(atTrunkBase ? start : end(rows[parent]), a, 1e-6);
    }
  }
}
