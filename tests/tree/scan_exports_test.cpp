// The exports in the scan's frame read back by third-party readers (Open3D, assimp) and the
// cylinder table checked against the model's nodes.

#include "tree/scan_exports.h"

#include <functional>
#include <numeric>
#include <sstream>

#include "tree/branch_mesh.h"
#include "tree_test_util.h"

namespace {

ScanFrame zUpFrame(double signX, const Vec3& absolute, const Vec3& shift, double scale) {
  ScanFrame f = ScanFrame::zUp();
  f.sign[0] = signX, f.absolute = absolute, f.shift = shift, f.scale = scale;
  return f;
}
// UTM-sized file positions, X mirrored as well as Z up (no mirror overall), a scale that is not
// a power of two.
const ScanFrame kProjected = zUpFrame(-1.0, Vec3(500000.25, 5400000.5, 250.0), Vec3(3.0, -1.0, 2.0), 2.5);
// Z up alone mirrors (a swap of two axes).
const ScanFrame kZUpShifted = zUpFrame(1.0, Vec3(), Vec3(1.0, -2.0, 0.5), 0.8);

constexpr int kNoOpen3d = 77;  // the reader's exit status without Open3D

using Row = std::array<double, 4>;  // x, y, z, radius

Row rowOf(const Vec3& p, double radius) {
  return {p.x, p.y, p.z, radius};
}

// What tests/tree/read_exports.py printed.
struct ReadBack {
  int status = 0;
  std::string counts;                     // the words of the other lines, e.g. "triangles 12 inward 0"
  std::vector<Row> vertices;              // "v x y z [radius]"
  std::vector<std::array<int, 2>> edges;  // "e a b"
};

ReadBack readBack(const std::string& kind, const std::string& path) {
  ReadBack r;
  std::string out;
  r.status = runCommand(
      "/usr/bin/python3 " FRONDAREL_SOURCE_DIR "/tests/tree/read_exports.py " + kind + " " + path + " 2>/dev/null",
      &out);
  std::istringstream text(r.status == 0 ? out : "");
  for (std::string line, word; std::getline(text, line);) {
    std::istringstream in(line);
    in >> word;
    if (word == "v")
      for (double& x : r.vertices.emplace_back()) in >> x;  // no radius reads as 0
    else if (word == "e")
      for (int& v : r.edges.emplace_back()) in >> v;
    else
      r.counts += (r.counts.empty() ? "" : " ") + line;
  }
  return r;
}

// Sorted, with positions within 1e-5 of each other kept once.
std::vector<Row> uniquePositions(std::vector<Row> rows) {
  std::sort(rows.begin(), rows.end());
  auto same = [](const Row& a, const Row& b) {
    return std::fabs(a[0] - b[0]) + std::fabs(a[1] - b[1]) + std::fabs(a[2] - b[2]) < 1e-5;
  };
  rows.erase(std::unique(rows.begin(), rows.end(), same), rows.end());
  return rows;
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
  TempDir dir;
};

}  // namespace

// The OBJ read by Open3D and by assimp: the triangles the tubes are drawn with (two per quad,
// each ring written once and closed), the tube vertices in file coordinates, every triangle
// facing outwards (its winding agrees with the normals) also when the frame mirrors, and the
// leaves as their own group.
TEST_F(ScanExportTest, BranchMeshReadsBackFacingOutwardsInBothReaders) {
  std::string out;
  const bool haveAssimp = runCommand("command -v assimp >/dev/null 2>&1", &out) == 0;
  buildSmoothTree();
  // Two leaf triangles facing +y in model coordinates, wound to face their normals.
  MeshTriangles leaves;
  leaves.vertices = {Vec3(0, 1, 0),     Vec3(0, 1, 0.1),     Vec3(0.1, 1, 0),
                     Vec3(0.2, 1.2, 0), Vec3(0.2, 1.2, 0.1), Vec3(0.3, 1.2, 0)};
  leaves.normals.assign(6, Vec3(0, 1, 0));
  for (ScanFrame frame : {kZUpShifted, kProjected}) {
    frame.absolute = Vec3();  // both readers keep single precision only
    SCOPED_TRACE(frame.scale);
    EXPECT_EQ(frameMirrors(frame), frame.sign[0] > 0);
    const std::string path = dir.write("tree.obj", branchMeshObj(model, frame, &leaves));
    // The trunk's tube less its first two strips (the refined root segment).
    size_t triangles = 0;
    std::vector<Row> expected;
    auto add = [&](const Vec3& v) { expected.push_back(rowOf(frame.toScan(v), 0.0)); };
    std::for_each(leaves.vertices.begin(), leaves.vertices.end(), add);
    for (const BranchTube& tube : branchTubes(model)) {
      const size_t skipped = tube.branch == 0 ? 2 : 0;
      triangles += 2 * (tube.stripCount() - skipped) * tube.sides;
      std::for_each(tube.vertices.begin() + skipped * tube.stripSize(), tube.vertices.end(), add);
    }
    const ReadBack r = readBack("mesh", path);
    if (r.status == kNoOpen3d) GTEST_SKIP() << "python3-open3d is not installed";
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.counts, "triangles " + std::to_string(triangles + 2) + " inward 0");
    const std::vector<Row> a = uniquePositions(expected), b = uniquePositions(r.vertices);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[i][c], b[i][c], 1e-5 * (1 + std::fabs(a[i][c])));
    if (!haveAssimp) continue;
    ASSERT_EQ(runCommand("assimp info " + path + " -r 2>/dev/null", &out), 0);
    const std::string branches = std::to_string(3 * triangles) + " / 0 / " + std::to_string(triangles);
    EXPECT_NE(out.find("(branches): [" + branches + " | triangle]"), std::string::npos) << out;
    EXPECT_NE(out.find("(leaves): [6 / 0 / 2 | triangle]"), std::string::npos) << out;
  }
  if (!haveAssimp) GTEST_SKIP() << "assimp-utils is not installed; read with Open3D only";
}

// On a random tree of 80 nodes, nothing pruned, with branches forking at the trunk's first
// written node. Each cylinder joins two consecutive nodes of a drawn branch (the trunk from its
// second node): its start is the first node and start + length * axis the second (in file
// coordinates), its radius the mean drawn radius; its parent is the previous cylinder, or for a
// branch's first one the parent branch's cylinder ending at the fork (or starting there, at the
// trunk's first written node). The skeleton graph, read back with Open3D, has every written
// node once (a branch's first node is the parent's node it forks from) with its drawn radius,
// coordinates exact (millimetres at UTM size), and edges that form one tree.
TEST_F(ScanExportTest, CylinderTableAndSkeletonGraphInScanCoordinates) {
  std::mt19937 rng(7);
  g_dTwigRemoveRatio = 0.0;
  loadSkeleton(model, randomNodeTree(rng, 80));
  model.rebuild();
  std::istringstream csv(cylinderTableCsv(treeCylinders(model, kProjected)));
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line, "id,start_x,start_y,start_z,axis_x,axis_y,axis_z,length,radius,branch,order,parent,position");
  std::vector<std::vector<double>> rows;
  while (std::getline(csv, line)) {
    std::istringstream fields(line);
    rows.emplace_back();
    for (std::string f; std::getline(fields, f, ',');) rows.back().push_back(std::stod(f));
    ASSERT_EQ(rows.back().size(), 13u) << line;
  }
  auto end = [](const std::vector<double>& r) {
    return Vec3(r[1] + r[7] * r[4], r[2] + r[7] * r[5], r[3] + r[7] * r[6]);
  };
  size_t expectedRows = 0;
  for (const auto& b : model.branches) expectedRows += std::max<size_t>(b->nodes.size(), 1) - 1;
  ASSERT_EQ(rows.size(), expectedRows - 1);
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& r = rows[i];
    SCOPED_TRACE(i);
    const Branch& b = *model.branches.at(static_cast<size_t>(r[9]));
    const size_t k = static_cast<size_t>(r[12]) + (r[9] == 0 ? 1 : 0);
    ASSERT_LT(k + 1, b.nodes.size());
    const Vec3 a = kProjected.toScan(b.nodes[k]);
    expectSame(Vec3(r[1], r[2], r[3]), a);
    expectSame(end(r), kProjected.toScan(b.nodes[k + 1]), 1e-6);
    EXPECT_NEAR(std::hypot(r[4], r[5], r[6]), 1.0, 1e-12);
    EXPECT_NEAR(r[8], 0.25 * (b.radii[k] + b.radii[k + 1]) / kProjected.scale, 1e-15);
    const int parent = static_cast<int>(r[11]);
    if (i == 0 || r[12] > 0) {
      EXPECT_EQ(parent, static_cast<int>(i) - 1);
      continue;
    }
    ASSERT_TRUE(parent >= 0 && parent < static_cast<int>(i));
    const auto& p = rows[parent];
    EXPECT_LT(p[9], r[9]);
    const Vec3 start(p[1], p[2], p[3]);
    expectSame(p[9] == 0 && p[12] == 0 && length(start - a) < 1e-6 ? start : end(p), a, 1e-6);
  }

  ReadBack r = readBack("graph", dir.write("tree.ply", skeletonGraphPly(model, kProjected)));
  if (r.status == kNoOpen3d) GTEST_SKIP() << "python3-open3d is not installed";
  ASSERT_EQ(r.status, 0);
  std::vector<Row> expected;
  for (const auto& b : model.branches)
    for (size_t k = 1; k < b->nodes.size(); ++k)  // the root segment hangs below the trunk's first node
      expected.push_back(rowOf(kProjected.toScan(b->nodes[k]), 0.5 * b->radii[k] / kProjected.scale));
  const int n = static_cast<int>(expected.size());
  EXPECT_EQ(r.counts, "vertices " + std::to_string(n) + " edges " + std::to_string(n - 1));
  // With one edge fewer than vertices and none closing a cycle, the edges form a tree.
  std::vector<int> root(r.vertices.size());
  std::iota(root.begin(), root.end(), 0);
  std::function<int(int)> find = [&](int v) { return root[v] == v ? v : root[v] = find(root[v]); };
  for (auto [a, b] : r.edges) {
    ASSERT_TRUE(a >= 0 && b >= 0 && a < n && b < n);
    EXPECT_NE(find(a), find(b)) << a << " " << b;
    root[find(a)] = find(b);
  }
  std::sort(expected.begin(), expected.end());
  std::sort(r.vertices.begin(), r.vertices.end());
  EXPECT_EQ(r.vertices, expected);
}
