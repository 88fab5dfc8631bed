#include "foliage/tree_list_gl.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "settings/settings.h"
#include "foliage/tree_display.h"
#include "support/gl_test_context.h"
#include "tree/branch_mesh.h"

namespace {

constexpr double kLeafSize = 0.2;

// Position of slot i of count along its segment, per arrangement.
using SlotT = double (*)(int i, int count);
double spiralT(int i, int count) {
  return static_cast<double>(i) / (count - 1);
}

// Heights of the leaves among the captured triangles. The test leaf is the unit right triangle
// with its corner first; leaves on the chain up the y axis have that corner on the axis, where
// no branch vertex lies, and both legs of the leaf size.
std::vector<double> leafHeights(const std::vector<FeedbackPrimitive>& prims) {
  std::vector<double> heights;
  for (const auto& p : prims) {
    if (p.token != GL_POLYGON_TOKEN || p.vertices.size() != 3) continue;
    const FeedbackVertex& o = p.vertices[0];
    auto isLeg = [&](const FeedbackVertex& v) {
      return std::fabs(std::hypot(v.x - o.x, v.y - o.y, v.z - o.z) - kLeafSize) < 1e-3;
    };
    if (std::hypot(o.x, o.z) < 1e-4 && isLeg(p.vertices[1]) && isLeg(p.vertices[2])) heights.push_back(o.y);
  }
  std::sort(heights.begin(), heights.end());
  return heights;
}

// Leaf heights on a chain of unit segments: every slot on the tip segment, at most 15 on
// the others, on the last min(segments, influence - 1) segments.
std::vector<double> expectedHeights(SlotT t, int density, int segments, int influence) {
  std::vector<double> y;
  for (int k = segments - 1; k >= 0 && segments - k < influence; --k)
    for (int s = 0; s < (k == segments - 1 ? density : std::min(density, 15)); ++s) y.push_back(k + t(s, density));
  std::sort(y.begin(), y.end());
  return y;
}

void expectHeights(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-4) << i;
}

class TreeListGl : public testing::Test {
 protected:
  void SetUp() override {
    resetSettingsToStartValues();
    ensureGlContext();
    saved_ = TreeModel::listBuilder;
    installTreeListBuilder();
    model.leafVertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
    model.leafTexCoords = {0, 0, 1, 0, 0, 1};
    model.leafTriangles = {0, 1, 2};
    model.leafNormals = {Vec3(0, 0, 1)};
  }
  void TearDown() override {
    TreeModel::listBuilder = saved_;
    for (unsigned list : {model.treeList, model.leafShapeList})
      if (list) glDeleteLists(list, 1);
    resetSettingsToStartValues();
  }

  // A chain of `count` unit segments up the y axis: one branch of count + 1 nodes.
  void addChain(int count) {
    for (int k = 0; k < count; ++k) {
      TreeSegment s;
      s.start = Vec3(0, k, 0);
      s.end = Vec3(0, k + 1, 0);
      s.parent = k - 1;
      if (k + 1 < count) s.children = {static_cast<uint32_t>(k + 1)};
      model.appendSegment(s);
    }
  }

  std::vector<FeedbackPrimitive> drawn() {
    return captureFeedback([&] {
      drawTree(model);
      glDisable(GL_LIGHTING);
    });
  }

  TreeModel model;
  void (*saved_)(TreeModel&) = nullptr;
};

}  // namespace

// On a branch of 5 nodes: at density 16, 16 leaves on the tip segment and 15 on each other one;
// at density 4, 4 on each. Influence n covers the last n - 1 segments: 2 the tip segment only,
// 40 all four.
TEST_F(TreeListGl, LeavesPerSegmentFollowDensityAndInfluence) {
  addChain(4);
  applyTreeParameters(model);
  ASSERT_EQ(model.branches.size(), 1u);
  ASSERT_EQ(model.branches[0]->nodes.size(), 5u);
  // density, influence, leaves drawn
  const int cases[][3] = {{16, 40, 16 + 3 * 15}, {4, 40, 4 * 4}, {5, 1, 0}, {5, 2, 5}, {5, 3, 10}, {5, 40, 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "density " << c[0] << " influence " << c[1]);
    g_nLeafDensity = c[0];
    g_nLeafInfluence = c[1];
    applyTreeParameters(model);
    const std::vector<double> heights = leafHeights(drawn());
    EXPECT_EQ(heights.size(), size_t(c[2]));
    expectHeights(heights, expectedHeights(spiralT, c[0], 4, c[1]));
  }
}

// The tree list places leaves by the chosen phyllotaxis.
TEST_F(TreeListGl, ArrangementAndDensityLimits) {
  addChain(3);
  g_nLeafDensity = 16;
  g_nLeafInfluence = 10;
  applyTreeParameters(model);
  const SlotT alternateT = [](int i, int count) { return i + 1 < count ? static_cast<double>(i) / (count - 2) : 1.0; };
  const std::pair<int, SlotT> cases[] = {{1, spiralT}, {2, alternateT}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    g_nLeafPhyllotaxis = c.first;
    rebuildTreeDisplay(model);
    expectHeights(leafHeights(drawn()), expectedHeights(c.second, 16, 3, 10));
  }
  // Regression: a density beyond the panel's range is held to the 16 slots of the table.
  g_nLeafDensity = 40;
  g_nLeafPhyllotaxis = 1;
  rebuildTreeDisplay(model);
  expectHeights(leafHeights(drawn()), expectedHeights(spiralT, 16, 3, 10));
  // Regression: alternate places nothing for one leaf; slots left from earlier are not drawn.
  g_nLeafDensity = 1;
  g_nLeafPhyllotaxis = 2;
  rebuildTreeDisplay(model);
  EXPECT_TRUE(leafHeights(drawn()).empty());
}

// Leaf size 0, "Show leaves" off and level lines give the branches only.
TEST_F(TreeListGl, BranchesOnlyWhenLeavesAreOff) {
  addChain(2);
  applyTreeParameters(model);
  const size_t withLeaves = drawn().size();
  const size_t branchesOnly = captureFeedback([&] {
                                drawBranches(model);
                                glDisable(GL_LIGHTING);
                              }).size();
  ASSERT_GT(withLeaves, branchesOnly);
  g_dLeafSize = 0.0;
  applyTreeParameters(model);
  EXPECT_EQ(drawn().size(), branchesOnly);
  g_dLeafSize = kLeafSize;
  g_bShowLeaves = false;
  applyTreeParameters(model);
  EXPECT_EQ(drawn().size(), branchesOnly);
  g_bShowLeaves = true;
  g_bLevelLines = true;
  rebuildTreeDisplay(model);
  auto lines = drawn();
  EXPECT_EQ(countTokens(lines, GL_POLYGON_TOKEN), 0u);
  EXPECT_EQ(countTokens(lines, GL_LINE_TOKEN) + countTokens(lines, GL_LINE_RESET_TOKEN), 2u);
  g_bLevelLines = false;
  rebuildTreeDisplay(model);
  EXPECT_EQ(drawn().size(), withLeaves);
}

// drawTree draws nothing before the model is built.
TEST_F(TreeListGl, NothingDrawnBeforeBuiltAndRebuildReplacesLists) {
  EXPECT_TRUE(drawn().empty());  // no list yet
  model.branches.push_back(std::make_unique<Branch>());
  model.branches[0]->nodes = {Vec3(0, 0, 0), Vec3(0, 1, 0)};
  model.branches[0]->radii = {0.04, 0.04};
  buildTreeList(model);
  ASSERT_NE(model.treeList, 0u);
  EXPECT_TRUE(drawn().empty());
  model.built = true;
  EXPECT_EQ(leafHeights(drawn()).size(), 4u);

  // Each build deletes the previous tree list and leaf shape list (ids may be reused).
  const unsigned tree = model.treeList, shape = model.leafShapeList;
  buildTreeList(model);
  for (unsigned old : {tree, shape})
    EXPECT_TRUE(model.treeList == old || model.leafShapeList == old || !glIsList(old)) << old;
  EXPECT_EQ(leafHeights(drawn()).size(), 4u);
}
