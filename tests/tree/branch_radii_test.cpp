#include "tree/branch_radii.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "app/settings.h"
#include "tree/tree_model.h"
#include "tree_test_util.h"

namespace {

class BranchRadiiTest : public ::testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override { resetSettingsToStartValues(); }
  TreeModel model;
};

NodeTree fan(int tips) {
  NodeTree t;
  t.add(Vec3(0, 0, 0), -1);
  for (int i = 0; i < tips; ++i) t.add(Vec3(std::cos(i * 2.0), 1, std::sin(i * 2.0)), 0);
  return t;
}

// Pipe model written as plain recursion, for comparison on shallow trees.
double recursiveRadius(std::vector<TreeSegment>& segs, uint32_t s) {
  TreeSegment& seg = segs[s];
  if (seg.childCount == 0) return seg.startRadius = g_dBranchThickness;
  double sum = 0.0;
  for (uint32_t k = 0; k < seg.childCount; ++k) sum += std::pow(recursiveRadius(segs, seg.children[k]), g_dBranchRatio);
  return seg.startRadius = seg.endRadius = std::pow(sum, 1.0 / g_dBranchRatio);
}

Branch branchOf(const std::vector<Vec3>& nodes, const std::vector<double>& radii) {
  Branch b;
  b.nodes = nodes;
  b.radii = radii;
  return b;
}

}  // namespace

TEST_F(BranchRadiiTest, PipeModelAtTipsAndForks) {
  loadSpaceColonisation(model, fan(0));
  model.computeRadii();
  EXPECT_DOUBLE_EQ(model.segments[0].startRadius, 0.04);
  EXPECT_DOUBLE_EQ(model.segments[0].endRadius, 0.04);

  loadSpaceColonisation(model, fan(2));
  model.computeRadii();
  EXPECT_DOUBLE_EQ(model.segments[0].startRadius, 0.04 * std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(model.segments[0].endRadius, 0.04);
  for (int i : {1, 2}) {
    EXPECT_DOUBLE_EQ(model.segments[i].startRadius, 0.04);
    EXPECT_DOUBLE_EQ(model.segments[i].endRadius, 0.04);
  }

  g_dBranchRatio = 3.0;
  loadSpaceColonisation(model, fan(3));
  model.computeRadii();
  EXPECT_NEAR(model.segments[0].startRadius, 0.04 * std::cbrt(3.0), 1e-15);
}

TEST_F(BranchRadiiTest, IterativeRadiiEqualTheRecursiveDefinition) {
  std::mt19937 rng(99);
  for (double ratio : {2.0, 2.7}) {
    g_dBranchRatio = ratio;
    NodeTree tree = randomNodeTree(rng, 800);
    loadSpaceColonisation(model, tree);
    // A segment outside the traced tree keeps the radius it had.
    model.segments.back().startRadius = 7.0;
    uint32_t parent = static_cast<uint32_t>(model.segments.back().parent);
    model.segments[parent].childCount = 0;
    std::vector<uint32_t> cut = model.segments[parent].children;
    std::vector<TreeSegment> reference = model.segments;
    recursiveRadius(reference, 0);
    model.computeRadii();
    for (size_t i = 0; i < reference.size(); ++i) EXPECT_EQ(model.segments[i].startRadius, reference[i].startRadius);
    EXPECT_EQ(model.segments.back().startRadius, 7.0);
    for (uint32_t i = 0; i < model.segments.size(); ++i) {
      const TreeSegment& s = model.segments[i];
      double widest = s.childCount ? 0.0 : s.startRadius;
      for (uint32_t k = 0; k < s.childCount; ++k) widest = std::max(widest, model.segments[s.children[k]].startRadius);
      EXPECT_EQ(s.endRadius, widest);
      if (std::find(cut.begin(), cut.end(), i) == cut.end()) {
        EXPECT_GT(s.startRadius, 0.0);
      }
    }
  }
}

TEST_F(BranchRadiiTest, TwigsBelowTheTrunkFractionAreEmptied) {
  // Trunk 10 long with side branches 0.19 and 0.25 long at its middle.
  model.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 5, 0), -1, {1, 2, 3}));
  model.appendSegment(makeSegment(Vec3(0, 5, 0), Vec3(0, 10, 0), 0));
  model.appendSegment(makeSegment(Vec3(0, 5, 0), Vec3(0.19, 5, 0), 0));
  model.appendSegment(makeSegment(Vec3(0, 5, 0), Vec3(0, 5, 0.25), 0));
  model.rebuild();
  ASSERT_EQ(model.branches.size(), 3u);
  EXPECT_DOUBLE_EQ(polylineLength(model.branches[0]->nodes), 10.0);
  EXPECT_TRUE(model.branches[1]->nodes.empty());
  EXPECT_EQ(model.branches[1]->radii.size(), 2u);
  EXPECT_EQ(model.branches[1]->order, 2);
  EXPECT_EQ(model.branches[2]->nodes.size(), 2u);

  // A branch of one node has length 0: emptied for any positive ratio, kept at 0.
  for (double ratio : {0.0, 0.01}) {
    g_dTwigRemoveRatio = ratio;
    model.branches.resize(1);
    model.branches.push_back(std::make_unique<Branch>(branchOf({Vec3(1, 1, 1)}, {0.1})));
    model.pruneTwigs();
    EXPECT_EQ(model.branches[1]->nodes.size(), ratio > 0 ? 0u : 1u);
    EXPECT_EQ(model.branches[0]->nodes.size(), 3u);
  }
}

TEST_F(BranchRadiiTest, TrunkRefinementFollowsThePowerCurve) {
  // Four radii: n = 2, only index 1 changes.
  std::vector<Vec3> nodes = {Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 1, 3), Vec3(0, 1, 4)};
  Branch b = branchOf(nodes, {0.5, 0.3, 0.2, 0.1});
  refineTrunkRadii(b);
  double l01 = 1.0, l12 = 3.0;
  EXPECT_DOUBLE_EQ(b.radii[1], 0.5 - std::pow(l01 / (l01 + l12), 1.3) * (0.5 - 0.3));
  EXPECT_EQ(b.radii[0], 0.5);
  EXPECT_EQ(b.radii[2], 0.2);
  EXPECT_EQ(b.radii[3], 0.1);

  // Seven radii: n = 3, indices 1 and 2 follow the curve towards the old radius at index 2.
  std::mt19937 rng(4);
  std::uniform_real_distribution<double> u(0.1, 1.0);
  std::vector<Vec3> pts;
  std::vector<double> radii;
  for (int k = 0; k < 7; ++k) {
    pts.push_back(Vec3(u(rng), k + u(rng), u(rng)));
    radii.push_back(u(rng));
  }
  Branch c = branchOf(pts, radii);
  refineTrunkRadii(c);
  double l[3];
  for (int k = 0; k < 3; ++k) l[k] = length(difference(pts[k + 1], pts[k]));
  double total = l[0] + l[1] + l[2];
  EXPECT_NEAR(c.radii[1], radii[0] - std::pow(l[0] / total, 1.3) * (radii[0] - radii[2]), 1e-12);
  EXPECT_NEAR(c.radii[2], radii[0] - std::pow((l[0] + l[1]) / total, 1.3) * (radii[0] - radii[2]), 1e-12);
  for (int k : {0, 3, 4, 5, 6}) EXPECT_EQ(c.radii[k], radii[k]);

  // Two or three radii: n = 1, nothing changes.
  Branch d = branchOf({Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 2, 0)}, {0.3, 0.2, 0.1});
  refineTrunkRadii(d);
  EXPECT_EQ(d.radii, (std::vector<double>{0.3, 0.2, 0.1}));
}

TEST_F(BranchRadiiTest, RefinementWithoutLengthLeavesRadiiUnchanged) {
  // Lower trunk of degenerate nodes: total length 0 (it used to give not-a-number radii).
  std::vector<Vec3> nodes = {Vec3(0, 0, 0, 1), Vec3(0, 1, 0), Vec3(0, 2, 0, 1), Vec3(0, 3, 0), Vec3(0, 4, 0)};
  Branch b = branchOf(nodes, {0.5, 0.4, 0.3, 0.2, 0.1});
  refineTrunkRadii(b);
  EXPECT_EQ(b.radii, (std::vector<double>{0.5, 0.4, 0.3, 0.2, 0.1}));
  EXPECT_EQ(segmentLength(nodes[0], nodes[1]), 0.0);
}

TEST_F(BranchRadiiTest, RebuildRefinesTheTrunkOnlyWhenSwitchedOn) {
  NodeTree t;
  int n = t.add(Vec3(0, 0, 0), -1);
  for (int k = 1; k <= 6; ++k) {
    int next = t.add(Vec3(0, k, 0), n);
    for (int s = 0; s < 7 - k; ++s) t.add(Vec3(s + 1.0, k + 0.5, 0), n);  // fewer tips higher up
    n = next;
  }
  loadSpaceColonisation(model, t);
  model.rebuild();
  std::vector<double> plain = model.branches[0]->radii;
  g_bRefineTrunk = 1;
  model.rebuild();
  Branch expected = branchOf(model.branches[0]->nodes, plain);
  refineTrunkRadii(expected);
  EXPECT_EQ(model.branches[0]->radii, expected.radii);
  EXPECT_NE(model.branches[0]->radii, plain);
}
