#include "tree/tree_model.h"

#include <gtest/gtest.h>

#include <random>

#include "app/settings.h"
#include "support/test_support.h"
#include "tree/branch_radii.h"
#include "tree_test_util.h"

namespace {

class TreeModelTest : public ::testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override {
    resetSettingsToStartValues();
    TreeModel::listBuilder = nullptr;
  }
  TreeModel model;
};

void expectSame(const Vec3& a, const Vec3& b) {
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.z, b.z);
}

// Trunk n0..n4 up the y axis with forks at n1 (side a1, which forks again), n2 (c1) and n3 (d1).
struct ForkedTree {
  NodeTree tree;
  int n1, a1, b1, c1, d1;
  ForkedTree() {
    int n0 = tree.add(Vec3(0, 0, 0), -1);
    n1 = tree.add(Vec3(0, 1, 0), n0);
    a1 = tree.add(Vec3(1, 1.5, 0), n1);
    int n2 = tree.add(Vec3(0, 2, 0), n1);
    c1 = tree.add(Vec3(-1, 2.5, 0), n2);
    int n3 = tree.add(Vec3(0, 3, 0), n2);
    d1 = tree.add(Vec3(1, 3.5, 0), n3);
    tree.add(Vec3(0, 4, 0), n3);
    tree.add(Vec3(2, 2, 0), a1);
    b1 = tree.add(Vec3(1, 2.5, 0), a1);
  }
};

// Orders assigned the slow way: every node of every branch against the first node of every
// later branch.
std::vector<int> bruteForceOrders(const TreeModel& m, int* maxOrder) {
  std::vector<int> order(m.branches.size(), -1);
  if (!order.empty()) order[0] = 1;
  *maxOrder = 1;
  for (size_t j = 0; j < m.branches.size(); ++j)
    for (const Vec3& node : m.branches[j]->nodes)
      for (size_t i = j + 1; i < m.branches.size(); ++i) {
        const Vec3& f = m.branches[i]->nodes[0];
        if (order[i] == -1 && f.x == node.x && f.y == node.y && f.z == node.z) {
          order[i] = order[j] + 1;
          *maxOrder = std::max(*maxOrder, order[i]);
        }
      }
  return order;
}

// Depth by walking parent links, one segment at a time.
int walkDepth(const TreeModel& m, size_t i) {
  int d = 1;
  for (int p = m.segments[i].parent; p != -1; p = m.segments[p].parent) ++d;
  return d;
}

}  // namespace

TEST_F(TreeModelTest, SingleSegmentGivesTheTrunk) {
  EXPECT_FALSE(model.isBuilt());
  EXPECT_EQ(model.maxOrder, 1);
  for (const Mat4& f : model.leafFrames)
    for (double v : f.m) EXPECT_EQ(v, 0.0);
  model.appendSegment(makeSegment(Vec3(0, -0.2, 0), Vec3(0, 0, 0), -1));
  EXPECT_EQ(model.depths, std::vector<int32_t>{-1});
  model.rebuild();
  ASSERT_EQ(model.branches.size(), 1u);
  const Branch& b = *model.branches[0];
  ASSERT_EQ(b.nodes.size(), 2u);
  expectSame(b.nodes[0], Vec3(0, -0.2, 0));
  expectSame(b.nodes[1], Vec3(0, 0, 0));
  EXPECT_EQ(b.radii, (std::vector<double>{0.04, 0.04}));
  EXPECT_EQ(b.order, 1);
  EXPECT_TRUE(model.isBuilt());
  EXPECT_TRUE(model.pendingStarts.empty());

  model.clear();
  EXPECT_FALSE(model.isBuilt());
  EXPECT_TRUE(model.segments.empty());
  EXPECT_TRUE(model.branches.empty());
  EXPECT_TRUE(model.depths.empty());
  model.rebuild();  // empty: nothing happens
  EXPECT_FALSE(model.isBuilt());
}

TEST_F(TreeModelTest, ForkChoosesFirstOnTiesAndStraighterOtherwise) {
  // Equal radius and equal angle: the walk continues along the first child.
  NodeTree sym;
  sym.add(Vec3(0, 0, 0), -1);
  sym.add(Vec3(-1, 1, 0), 0);
  sym.add(Vec3(1, 1, 0), 0);
  loadSpaceColonisation(model, sym);
  model.rebuild();
  ASSERT_EQ(model.branches.size(), 2u);
  ASSERT_EQ(model.branches[0]->nodes.size(), 3u);
  expectSame(model.branches[0]->nodes[2], Vec3(-1, 1, 0));
  ASSERT_EQ(model.branches[1]->nodes.size(), 2u);
  expectSame(model.branches[1]->nodes[0], Vec3(0, 0, 0));  // the fork point
  expectSame(model.branches[1]->nodes[1], Vec3(1, 1, 0));
  EXPECT_EQ(model.branches[1]->order, 2);
  EXPECT_EQ(model.maxOrder, 2);

  // Equal radii, the second child straighter: it is chosen.
  NodeTree bent;
  bent.add(Vec3(0, 0, 0), -1);
  bent.add(Vec3(1, 0.2, 0), 0);
  bent.add(Vec3(0.1, 1, 0), 0);
  loadSpaceColonisation(model, bent);
  model.rebuild();
  expectSame(model.branches[0]->nodes.back(), Vec3(0.1, 1, 0));

  // Without any radius the first child is taken however bent it is.
  g_dBranchThickness = 0.0;
  model.rebuild();
  expectSame(model.branches[0]->nodes.back(), Vec3(1, 0.2, 0));
}

TEST_F(TreeModelTest, ForksStartBranchesInFirstInFirstOutOrderWithOrders) {
  ForkedTree f;
  loadSpaceColonisation(model, f.tree);
  model.rebuild();
  ASSERT_EQ(model.branches.size(), 5u);
  const Vec3 expectedTips[] = {Vec3(0, 4, 0), Vec3(2, 2, 0), f.tree.positions[f.c1], f.tree.positions[f.d1],
                               f.tree.positions[f.b1]};
  const int expectedOrders[] = {1, 2, 2, 2, 3};
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    expectSame(model.branches[i]->nodes.back(), expectedTips[i]);
    EXPECT_EQ(model.branches[i]->order, expectedOrders[i]);
    EXPECT_EQ(model.branches[i]->nodes.size(), model.branches[i]->radii.size());
  }
  EXPECT_EQ(model.branches[0]->nodes.size(), 6u);
  expectSame(model.branches[1]->nodes[0], f.tree.positions[f.n1]);
  expectSame(model.branches[4]->nodes[0], f.tree.positions[f.a1]);
  EXPECT_EQ(model.maxOrder, 3);
}

TEST_F(TreeModelTest, IndexLevelsDetachesLeafSpursAndPrintsLevels) {
  // Root with a leaf child and an inner child; the inner child has two leaf children.
  model.appendSegment(makeSegment(Vec3(0, -0.2, 0), Vec3(0, 0, 0), -1));
  model.setChildRange(0, 2, 0);
  model.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(-1, 1, 0), 0));
  model.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 1, 0), 0));
  model.setChildRange(2, 2, 2);
  model.appendSegment(makeSegment(Vec3(0, 1, 0), Vec3(-1, 2, 0), 2));
  model.appendSegment(makeSegment(Vec3(0, 1, 0), Vec3(1, 2, 0), 2));
  // An index past the list is ignored.
  model.setChildRange(5, 3, 10);
  EXPECT_EQ(model.segments.size(), 5u);

  StdoutCapture out;
  model.indexLevels();
  EXPECT_EQ(out.text(), "nodes size=5\ng_level=3\n");
  EXPECT_EQ(model.segments[0].children, std::vector<uint32_t>{2});
  EXPECT_EQ(model.segments[0].childCount, 1u);
  EXPECT_EQ(model.segments[2].children, (std::vector<uint32_t>{3, 4}));
  EXPECT_EQ(model.segments[1].parent, 0);  // detached but kept
  EXPECT_EQ(model.savedChildCounts, (std::vector<uint32_t>{1, 0, 2, 0, 0}));
  EXPECT_EQ(model.depths, (std::vector<int32_t>{1, 2, 2, 3, 3}));
  EXPECT_EQ(g_nMaxLevel, 3);
  EXPECT_EQ(g_level, 3);

  model.applyLevel();
  EXPECT_EQ(model.branches.size(), 2u);  // the detached leaf is not traced
  g_level = 1;
  model.applyLevel();
  ASSERT_EQ(model.branches.size(), 1u);
  EXPECT_EQ(model.branches[0]->nodes.size(), 2u);
  // Raising the level again undoes the cut.
  g_level = g_nMaxLevel;
  model.applyLevel();
  EXPECT_EQ(model.branches.size(), 2u);
  EXPECT_EQ(model.segments[0].childCount, 1u);
}

TEST_F(TreeModelTest, BestFirstAndSpaceColonisationHandOversAgree) {
  std::mt19937 rng(2024);
  NodeTree tree = randomNodeTree(rng, 300);
  TreeModel other;
  loadSpaceColonisation(other, tree);
  other.rebuild();
  {
    StdoutCapture quiet;
    loadBestFirst(model, tree);
    model.applyLevel();
  }
  // Detached spurs are skipped: the branches hold the root plus every traced child once,
  // and one extra node per branch.
  size_t traced = 0;
  for (const TreeSegment& s : model.segments) traced += s.childCount;
  size_t nodes = 0;
  for (const auto& b : model.branches) nodes += b->radii.size();
  EXPECT_EQ(nodes, traced + 1 + model.branches.size());
  EXPECT_EQ(other.segments.size(), model.segments.size());
  for (size_t i = 0; i < model.segments.size(); ++i) EXPECT_EQ(model.depths[i], walkDepth(model, i));
}

TEST_F(TreeModelTest, TracingVisitsEverySegmentOnceAndOrdersMatchBruteForce) {
  g_dTwigRemoveRatio = 0.0;  // keep every branch's nodes for the comparison
  for (double grid : {0.0, 0.1}) {
    std::mt19937 rng(grid == 0.0 ? 17 : 18);
    NodeTree tree = randomNodeTree(rng, 1500, grid);
    loadSpaceColonisation(model, tree);
    model.rebuild();
    SCOPED_TRACE(grid);
    // A branch over k segments has k + 1 nodes, so all nodes = segments + branches.
    size_t nodes = 0;
    for (const auto& b : model.branches) nodes += b->nodes.size();
    EXPECT_EQ(nodes, model.segments.size() + model.branches.size());
    // Every branch but the trunk starts at the end of some segment (its fork point).
    for (size_t i = 1; i < model.branches.size(); ++i) EXPECT_GE(model.branches[i]->order, 2);
    int maxOrder = 0;
    std::vector<int> expected = bruteForceOrders(model, &maxOrder);
    for (size_t i = 0; i < model.branches.size(); ++i) EXPECT_EQ(model.branches[i]->order, expected[i]) << i;
    EXPECT_EQ(model.maxOrder, maxOrder);
  }
}

TEST_F(TreeModelTest, DeepChainTracesWithoutRecursion) {
  const uint32_t n = 200000;
  model.segments.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    std::vector<uint32_t> kids;
    if (i + 1 < n) kids.push_back(i + 1);
    model.appendSegment(makeSegment(Vec3(0, i * 0.2 - 0.2, 0), Vec3(0, i * 0.2, 0), static_cast<int>(i) - 1, kids));
  }
  model.rebuild();
  ASSERT_EQ(model.branches.size(), 1u);
  EXPECT_EQ(model.branches[0]->nodes.size(), n + 1);
  EXPECT_DOUBLE_EQ(model.segments[0].startRadius, 0.04);
  {
    StdoutCapture out;
    model.indexLevels();
    EXPECT_EQ(out.text(), "nodes size=200000\ng_level=200000\n");
  }
  EXPECT_EQ(model.depths.back(), static_cast<int32_t>(n));
}

TEST_F(TreeModelTest, ChildIndicesPastTheListAreSkipped) {
  // Segment 0 lists children 1 and 99; only 1 exists.
  TreeModel clean;
  for (TreeModel* m : {&model, &clean}) {
    std::vector<uint32_t> kids = m == &model ? std::vector<uint32_t>{1, 99} : std::vector<uint32_t>{1};
    m->appendSegment(makeSegment(Vec3(0, -0.2, 0), Vec3(0, 0, 0), -1, kids));
    m->appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 1, 0), 0,
                                 m == &model ? std::vector<uint32_t>{77} : std::vector<uint32_t>{}));
    m->appendSegment(makeSegment(Vec3(0, 1, 0), Vec3(0, 2, 0), 55));  // parent past the list
    m->rebuild();
    StdoutCapture quiet;
    m->indexLevels();
    m->applyLevel();
  }
  ASSERT_EQ(model.branches.size(), clean.branches.size());
  EXPECT_EQ(model.branches[0]->radii, clean.branches[0]->radii);
  EXPECT_EQ(model.branches[0]->nodes.size(), 3u);
  EXPECT_EQ(model.depths, (std::vector<int32_t>{1, 2, 1}));
}

TEST_F(TreeModelTest, FinaliseAndApplyLevelRunTheListBuilder) {
  static int calls = 0;
  calls = 0;
  model.finalise();  // empty model: no rebuild, the list is still compiled
  EXPECT_EQ(calls, 0);
  TreeModel::listBuilder = [](TreeModel& m) { calls += m.isBuilt() ? 1 : 100; };
  model.appendSegment(makeSegment(Vec3(0, -0.2, 0), Vec3(0, 0, 0), -1));
  model.finalise();
  EXPECT_EQ(calls, 1);
  {
    StdoutCapture quiet;
    model.indexLevels();
  }
  model.applyLevel();
  EXPECT_EQ(calls, 2);
}

TEST_F(TreeModelTest, CyclicLinksTerminate) {
  // Malformed hand-over: segment 1 lists the root as its child and parents loop. Every step
  // must end and each segment is traced once.
  model.appendSegment(makeSegment(Vec3(0, -0.2, 0), Vec3(0, 0, 0), 1, {1}));
  model.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 1, 0), 0, {0, 1}));
  model.rebuild();
  ASSERT_EQ(model.branches.size(), 1u);
  EXPECT_EQ(model.branches[0]->nodes.size(), 3u);
  StdoutCapture quiet;
  model.indexLevels();
  EXPECT_EQ(g_nMaxLevel, 2);
}
