// The branch hierarchy: tracing along the thickest and straightest child, branch orders and
// level cuts in worked examples, slow reference versions on random trees, and malformed links.

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

}  // namespace

// The walk goes on along the thicker child, between equally thick ones along the straighter,
// between equal ones (or without any radius) along the first; a side branch starts at the fork.
TEST_F(TreeModelTest, ForkContinuesAlongTheThickestAndStraightestChild) {
  auto trunkTip = [&](const std::vector<std::array<double, 4>>& rows) {
    loadSkeleton(model, nodeTree(rows));
    model.rebuild();
    expectSame(model.branches.at(1)->nodes[0], Vec3(0, 0, 0));
    return model.branches[0]->nodes.back();
  };
  expectSame(trunkTip({{0, 0, 0, -1}, {-1, 1, 0, 0}, {1, 1, 0, 0}}), Vec3(-1, 1, 0));
  expectSame(trunkTip({{0, 0, 0, -1}, {1, 0.2, 0, 0}, {0.1, 1, 0, 0}}), Vec3(0.1, 1, 0));
  // The first child carries three tips: sqrt(3) times thicker outweighs straighter.
  expectSame(
      trunkTip({{0, 0, 0, -1}, {1, 0.2, 0, 0}, {0.1, 1, 0, 0}, {1.5, 0.2, 0, 1}, {1.5, 0.5, 0, 1}, {1.5, -0.1, 0, 1}}),
      Vec3(1.5, 0.2, 0));
  g_dBranchThickness = 0.0;
  expectSame(trunkTip({{0, 0, 0, -1}, {1, 0.2, 0, 0}, {0.1, 1, 0, 0}}), Vec3(1, 0.2, 0));
}

// Trunk 0, 1, 3, 5, 7 up the y axis with forks at node 1 (side 2, which forks again into 8 and
// 9), node 3 (side 4) and node 5 (side 6): side branches start first in, first out.
TEST_F(TreeModelTest, SideBranchesInFirstInFirstOutOrderWithOrders) {
  const std::vector<std::array<double, 4>> rows = {{0, 0, 0, -1},   {0, 1, 0, 0},  {1, 1.5, 0, 1}, {0, 2, 0, 1},
                                                   {-1, 2.5, 0, 3}, {0, 3, 0, 3},  {1, 3.5, 0, 5}, {0, 4, 0, 5},
                                                   {2, 2, 0, 2},    {1, 2.5, 0, 2}};
  loadSkeleton(model, nodeTree(rows));
  model.rebuild();
  ASSERT_EQ(model.branches.size(), 5u);
  const Vec3 tips[] = {Vec3(0, 4, 0), Vec3(2, 2, 0), Vec3(-1, 2.5, 0), Vec3(1, 3.5, 0), Vec3(1, 2.5, 0)};
  const int orders[] = {1, 2, 2, 2, 3};
  for (size_t i = 0; i < 5; ++i) {
    expectSame(model.branches[i]->nodes.back(), tips[i]);
    EXPECT_EQ(model.branches[i]->order, orders[i]) << i;
  }
  EXPECT_EQ(model.maxOrder, 3);
}

// Best-first hand-over: leaf segments beside an inner one are detached, depths counted from the
// root, and a level cut keeps the segments above it; raising the level again undoes the cut.
TEST_F(TreeModelTest, LevelsDetachLeafSpursAndCutTheTree) {
  StdoutCapture out;
  loadSkeleton(model, nodeTree({{0, 0, 0, -1}, {-1, 1, 0, 0}, {0, 1, 0, 0}, {-1, 2, 0, 2}, {1, 2, 0, 2}}), kBestFirst);
  EXPECT_EQ(out.text(), "nodes size=5\ng_level=3\n");
  EXPECT_EQ(model.segments[0].children, std::vector<uint32_t>{2});
  EXPECT_EQ(model.depths, (std::vector<int32_t>{1, 2, 2, 3, 3}));
  model.applyLevel();
  EXPECT_EQ(model.branches.size(), 2u);  // the detached leaf is not traced
  g_level = 1;
  model.applyLevel();
  ASSERT_EQ(model.branches.size(), 1u);
  EXPECT_EQ(model.branches[0]->nodes.size(), 2u);
  g_level = g_nMaxLevel;
  model.applyLevel();
  EXPECT_EQ(model.branches.size(), 2u);
}

TEST_F(TreeModelTest, RandomTreesMatchSlowVersions) {
  g_dTwigRemoveRatio = 0.0;         // keep every branch's nodes for the comparison
  for (double grid : {0.0, 0.1}) {  // on a grid many positions coincide
    std::mt19937 rng(grid == 0.0 ? 17 : 18);
    const NodeTree tree = randomNodeTree(rng, 1500, grid);
    loadSkeleton(model, tree);
    model.rebuild();
    size_t nodes = 0;  // k segments, k + 1 nodes per branch
    for (const auto& b : model.branches) nodes += b->radii.size();
    EXPECT_EQ(nodes, model.segments.size() + model.branches.size());
    const std::vector<int> expected = bruteForceOrders(model);
    for (size_t i = 0; i < model.branches.size(); ++i) EXPECT_EQ(model.branches[i]->order, expected[i]) << i;
    EXPECT_EQ(model.maxOrder, *std::max_element(expected.begin(), expected.end()));
    StdoutCapture quiet;
    loadSkeleton(model, tree, kBestFirst);
    for (size_t i = 0; i < model.segments.size(); ++i) {  // depths by walking the parent links
      int depth = 1;
      for (int p = model.segments[i].parent; p != -1; p = model.segments[p].parent) ++depth;
      EXPECT_EQ(model.depths[i], depth);
    }
  }
}

// Regression: tracing and levels used recursion and overflowed the stack on long chains; links
// past the list are skipped and cyclic links terminate.
TEST_F(TreeModelTest, DeepChainsAndMalformedLinks) {
  const uint32_t n = 200000;
  for (uint32_t i = 0; i < n; ++i)
    model.appendSegment(makeSegment(Vec3(0, i * 0.2 - 0.2, 0), Vec3(0, i * 0.2, 0), int(i) - 1,
                                    i + 1 < n ? std::vector<uint32_t>{i + 1} : std::vector<uint32_t>{}));
  model.rebuild();
  ASSERT_EQ(model.branches.size(), 1u);
  EXPECT_EQ(model.branches[0]->nodes.size(), n + 1);
  StdoutCapture quiet;
  model.indexLevels();
  EXPECT_EQ(model.depths.back(), int32_t(n));

  TreeModel bad;
  bad.appendSegment(rootSegment(Vec3(0, 0, 0), {1, 99}));
  bad.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 1, 0), 0, {77}));
  bad.appendSegment(makeSegment(Vec3(0, 1, 0), Vec3(0, 2, 0), 55));  // parent past the list
  bad.rebuild();
  ASSERT_EQ(bad.branches.size(), 1u);
  EXPECT_EQ(bad.branches[0]->radii, (std::vector<double>{0.04, 0.04, 0.04}));
  bad.indexLevels();
  EXPECT_EQ(bad.depths, (std::vector<int32_t>{1, 2, 1}));
  TreeModel cyclic;  // segment 1 lists the root as its child and the parents loop
  cyclic.appendSegment(makeSegment(Vec3(0, -0.2, 0), Vec3(0, 0, 0), 1, {1}));
  cyclic.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 1, 0), 0, {0, 1}));
  cyclic.rebuild();
  EXPECT_EQ(cyclic.branches.at(0)->nodes.size(), 3u);
  cyclic.indexLevels();
  EXPECT_EQ(g_nMaxLevel, 2);
}
