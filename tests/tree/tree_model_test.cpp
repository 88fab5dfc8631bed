#include "tree/tree_model.h"

#include "tree_test_util.h"

namespace {

using TreeModelTest = TreeTest;

// Orders assigned the slow way: every node of every branch against the first node of every
// later branch.
std::vector<int> bruteForceOrders(const TreeModel& m) {
  std::vector<int> order(m.branches.size(), -1);
  order[0] = 1;
  for (size_t j = 0; j < m.branches.size(); ++j)
    for (const Vec3& node : m.branches[j]->nodes)
      for (size_t i = j + 1; i < m.branches.size(); ++i) {
        const Vec3& f = m.branches[i]->nodes[0];
        if (order[i] == -1 && f.x == node.x && f.y == node.y && f.z == node.z) order[i] = order[j] + 1;
      }
  return order;
}

size_t nodeCount(const TreeModel& m) {
  size_t n = 0;
  for (const auto& b : m.branches) n += b->radii.size();
  return n;
}

}  // namespace

TEST_F(TreeModelTest, SingleSegmentGivesTheTrunkAndRunsTheListBuilder) {
  static int lists;
  lists = 0;
  TreeModel::listBuilder = [](TreeModel& m) { lists += m.isBuilt() ? 1 : 100; };
  model.appendSegment(rootSegment(Vec3(0, 0, 0)));
  EXPECT_EQ(model.depths, std::vector<int32_t>{-1});
  EXPECT_FALSE(model.isBuilt());
  model.finalise();
  EXPECT_EQ(lists, 1);
  ASSERT_EQ(model.branches.size(), 1u);
  const Branch& b = *model.branches[0];
  ASSERT_EQ(b.nodes.size(), 2u);
  expectSame(b.nodes[0], Vec3(0, -0.2, 0));
  expectSame(b.nodes[1], Vec3(0, 0, 0));
  EXPECT_EQ(b.radii, (std::vector<double>{0.04, 0.04}));
  EXPECT_EQ(b.order, 1);
  {
    StdoutCapture quiet;
    model.indexLevels();
  }
  model.applyLevel();
  EXPECT_EQ(lists, 2);
  model.clear();
  model.rebuild();  // empty: nothing happens
  EXPECT_FALSE(model.isBuilt());
}

TEST_F(TreeModelTest, ForkChoosesFirstOnTiesAndStraighterOtherwise) {
  // Equal radius and angle: the walk continues along the first child.
  loadSkeleton(model, nodeTree({{0, 0, 0, -1}, {-1, 1, 0, 0}, {1, 1, 0, 0}}));
  model.rebuild();
  ASSERT_EQ(model.branches.size(), 2u);
  ASSERT_EQ(model.branches[0]->nodes.size(), 3u);
  expectSame(model.branches[0]->nodes[2], Vec3(-1, 1, 0));
  ASSERT_EQ(model.branches[1]->nodes.size(), 2u);
  expectSame(model.branches[1]->nodes[0], Vec3(0, 0, 0));  // the fork point
  expectSame(model.branches[1]->nodes[1], Vec3(1, 1, 0));
  EXPECT_EQ(model.branches[1]->order, 2);
  // Equal radii, the second child straighter: it is chosen; with all radii 0 the first is.
  loadSkeleton(model, nodeTree({{0, 0, 0, -1}, {1, 0.2, 0, 0}, {0.1, 1, 0, 0}}));
  model.rebuild();
  expectSame(model.branches[0]->nodes.back(), Vec3(0.1, 1, 0));
  g_dBranchThickness = 0.0;
  model.rebuild();
  expectSame(model.branches[0]->nodes.back(), Vec3(1, 0.2, 0));
}

TEST_F(TreeModelTest, ForksStartBranchesInFirstInFirstOutOrderWithOrders) {
  // Trunk 0, 1, 3, 5, 7 up the y axis with forks at node 1 (side 2, which forks again into 8
  // and 9), node 3 (side 4) and node 5 (side 6).
  const double rows[][4] = {{0, 0, 0, -1}, {0, 1, 0, 0},   {1, 1.5, 0, 1}, {0, 2, 0, 1}, {-1, 2.5, 0, 3},
                            {0, 3, 0, 3},  {1, 3.5, 0, 5}, {0, 4, 0, 5},   {2, 2, 0, 2}, {1, 2.5, 0, 2}};
  loadSkeleton(model, nodeTree(rows));
  model.rebuild();
  ASSERT_EQ(model.branches.size(), 5u);
  const Vec3 bases[] = {Vec3(0, -0.2, 0), Vec3(0, 1, 0), Vec3(0, 2, 0), Vec3(0, 3, 0), Vec3(1, 1.5, 0)};
  const Vec3 tips[] = {Vec3(0, 4, 0), Vec3(2, 2, 0), Vec3(-1, 2.5, 0), Vec3(1, 3.5, 0), Vec3(1, 2.5, 0)};
  const int orders[] = {1, 2, 2, 2, 3};
  for (size_t i = 0; i < 5; ++i) {
    expectSame(model.branches[i]->nodes.front(), bases[i]);
    expectSame(model.branches[i]->nodes.back(), tips[i]);
    EXPECT_EQ(model.branches[i]->order, orders[i]) << i;
  }
  EXPECT_EQ(model.branches[0]->nodes.size(), 6u);
  EXPECT_EQ(model.maxOrder, 3);
}

TEST_F(TreeModelTest, IndexLevelsDetachesLeafSpursAndPrintsLevels) {
  // Root with a leaf child and an inner child; the inner child has two leaf children.
  StdoutCapture out;
  loadSkeleton(model, nodeTree({{0, 0, 0, -1}, {-1, 1, 0, 0}, {0, 1, 0, 0}, {-1, 2, 0, 2}, {1, 2, 0, 2}}), kBestFirst);
  EXPECT_EQ(out.text(), "nodes size=5\ng_level=3\n");
  EXPECT_EQ(model.segments[0].children, std::vector<uint32_t>{2});
  EXPECT_EQ(model.segments[2].children, (std::vector<uint32_t>{3, 4}));
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
  g_level = g_nMaxLevel;  // raising the level again undoes the cut
  model.applyLevel();
  EXPECT_EQ(model.branches.size(), 2u);
}

TEST_F(TreeModelTest, RandomTreesMatchSlowVersions) {
  g_dTwigRemoveRatio = 0.0;  // keep every branch's nodes for the comparison
  TreeModel bestFirst;
  for (double grid : {0.0, 0.1}) {
    SCOPED_TRACE(grid);
    std::mt19937 rng(grid == 0.0 ? 17 : 18);
    NodeTree tree = randomNodeTree(rng, 1500, grid);
    loadSkeleton(model, tree);
    model.rebuild();
    // A branch over k segments has k + 1 nodes.
    EXPECT_EQ(nodeCount(model), model.segments.size() + model.branches.size());
    std::vector<int> expected = bruteForceOrders(model);
    for (size_t i = 0; i < model.branches.size(); ++i) EXPECT_EQ(model.branches[i]->order, expected[i]) << i;
    EXPECT_EQ(model.maxOrder, *std::max_element(expected.begin(), expected.end()));

    StdoutCapture quiet;
    loadSkeleton(bestFirst, tree, kBestFirst);
    bestFirst.applyLevel();
    EXPECT_EQ(bestFirst.segments.size(), model.segments.size());
    for (size_t i = 0; i < bestFirst.segments.size(); ++i) EXPECT_EQ(bestFirst.depths[i], walkDepth(bestFirst, i));
    // Detached spurs are skipped: the root, every traced child once, and one node per branch.
    size_t traced = 0;
    for (const TreeSegment& s : bestFirst.segments) traced += s.childCount;
    EXPECT_EQ(nodeCount(bestFirst), traced + 1 + bestFirst.branches.size());
  }
}

TEST_F(TreeModelTest, DeepChainTracesWithoutRecursion) {
  const uint32_t n = 200000;
  for (uint32_t i = 0; i < n; ++i)
    model.appendSegment(makeSegment(Vec3(0, i * 0.2 - 0.2, 0), Vec3(0, i * 0.2, 0), static_cast<int>(i) - 1,
                                    i + 1 < n ? std::vector<uint32_t>{i + 1} : std::vector<uint32_t>{}));
  model.rebuild();
  ASSERT_EQ(model.branches.size(), 1u);
  EXPECT_EQ(model.branches[0]->nodes.size(), n + 1);
  EXPECT_DOUBLE_EQ(model.segments[0].startRadius, 0.04);
  StdoutCapture out;
  model.indexLevels();
  EXPECT_EQ(out.text(), "nodes size=200000\ng_level=200000\n");
  EXPECT_EQ(model.depths.back(), static_cast<int32_t>(n));
}

// Regression: child and parent indices past the list are skipped, and cyclic links terminate.
TEST_F(TreeModelTest, MalformedLinksAreSkippedAndTerminate) {
  model.appendSegment(rootSegment(Vec3(0, 0, 0), {1, 99}));
  model.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 1, 0), 0, {77}));
  model.appendSegment(makeSegment(Vec3(0, 1, 0), Vec3(0, 2, 0), 55));  // parent past the list
  model.setChildRange(5, 3, 10);                                       // index past the list: ignored
  model.rebuild();
  EXPECT_EQ(model.segments.size(), 3u);
  ASSERT_EQ(model.branches.size(), 1u);
  EXPECT_EQ(model.branches[0]->radii.size(), 3u);
  for (double r : model.branches[0]->radii) EXPECT_NEAR(r, 0.04, 1e-15);  // as if 99 and 77 were absent
  StdoutCapture quiet;
  model.indexLevels();
  EXPECT_EQ(model.depths, (std::vector<int32_t>{1, 2, 1}));
  model.applyLevel();
  EXPECT_EQ(model.branches.size(), 1u);

  TreeModel cyclic;  // segment 1 lists the root as its child and the parents loop
  cyclic.appendSegment(makeSegment(Vec3(0, -0.2, 0), Vec3(0, 0, 0), 1, {1}));
  cyclic.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 1, 0), 0, {0, 1}));
  cyclic.rebuild();
  ASSERT_EQ(cyclic.branches.size(), 1u);
  EXPECT_EQ(cyclic.branches[0]->nodes.size(), 3u);
  cyclic.indexLevels();
  EXPECT_EQ(g_nMaxLevel, 2);
}
