#include "foliage/tree_list_gl.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/settings.h"
#include "foliage/tree_display.h"
#include "support/gl_test_context.h"
#include "tree/branch_mesh.h"

namespace {

constexpr double kLeafSize = 0.2;

// Leaf origins (the right-angle corner of the test leaf) found among the captured polygons.
// The test leaf is the unit right triangle at the model origin, so under a rigid leaf
// matrix it shows as a triangle with two perpendicular legs of the leaf size.
std::vector<FeedbackVertex> leafOrigins(const std::vector<FeedbackPrimitive>& prims) {
  std::vector<FeedbackVertex> origins;
  for (const auto& p : prims) {
    if (p.token != GL_POLYGON_TOKEN || p.vertices.size() != 3) continue;
    for (int k = 0; k < 3; ++k) {
      const FeedbackVertex &o = p.vertices[k], &a = p.vertices[(k + 1) % 3], &b = p.vertices[(k + 2) % 3];
      double ax = a.x - o.x, ay = a.y - o.y, az = a.z - o.z, bx = b.x - o.x, by = b.y - o.y, bz = b.z - o.z;
      double la = std::sqrt(ax * ax + ay * ay + az * az), lb = std::sqrt(bx * bx + by * by + bz * bz);
      if (std::fabs(la - kLeafSize) < 1e-3 && std::fabs(lb - kLeafSize) < 1e-3 &&
          std::fabs(ax * bx + ay * by + az * bz) < 1e-3) {
        origins.push_back(o);
        break;
      }
    }
  }
  return origins;
}

std::vector<double> sortedHeights(const std::vector<FeedbackVertex>& origins) {
  std::vector<double> y;
  for (const auto& o : origins) {
    EXPECT_NEAR(o.x, 0.0, 1e-4);
    EXPECT_NEAR(o.z, 0.0, 1e-4);
    y.push_back(o.y);
  }
  std::sort(y.begin(), y.end());
  return y;
}

// Heights of the leaves on segment k (from y = k to y = k + 1) drawn with m of the slots
// at parameters t.
void addSegment(std::vector<double>& y, int k, const std::vector<double>& t, int m) {
  for (int s = 0; s < m; ++s) y.push_back(k + t[s]);
}

std::vector<double> spiralT(int count) {
  std::vector<double> t;
  for (int i = 0; i < count; ++i) t.push_back(static_cast<double>(i) / (count - 1));
  return t;
}

std::vector<double> decussateT(int count) {
  std::vector<double> t;
  for (int i = 0; i < count; ++i) t.push_back(count > 2 ? static_cast<double>(i / 2) / ((count - 1) / 2) : 1.0);
  return t;
}

std::vector<double> alternateT(int count) {
  std::vector<double> t;
  for (int i = 0; i + 1 < count; ++i) t.push_back(count == 2 ? 0.0 : static_cast<double>(i) / (count - 2));
  t.push_back(count == 2 ? 0.0 : 1.0);
  return t;
}

// Expected leaf heights on the straight branch of `segments` unit segments along +y:
// the tip segment draws every slot, the others at most 15, on the last min(n, influence) - 1
// segments.
std::vector<double> expectedHeights(const std::vector<double>& t, int segments, int influence) {
  const int density = static_cast<int>(t.size());
  std::vector<double> y;
  const int nodes = segments + 1;
  for (int j = 2; j <= nodes && j <= influence; ++j) {
    int k = nodes - j;  // segment from node k to node k + 1
    addSegment(y, k, t, j == 2 ? density : std::min(density, 15));
  }
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
    // The test leaf: one right triangle, no stem.
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

TEST_F(TreeListGl, LeavesPerSegmentFollowDensity) {
  addChain(4);
  g_nLeafDensity = 16;
  g_nLeafInfluence = 40;
  applyTreeParameters(model);
  ASSERT_EQ(model.branches.size(), 1u);
  ASSERT_EQ(model.branches[0]->nodes.size(), 5u);
  // 16 on the tip segment, 15 on each of the three others.
  expectHeights(sortedHeights(leafOrigins(drawn())), expectedHeights(spiralT(16), 4, 40));
  EXPECT_EQ(leafOrigins(drawn()).size(), 16u + 3 * 15);

  g_nLeafDensity = 4;
  applyTreeParameters(model);
  expectHeights(sortedHeights(leafOrigins(drawn())), expectedHeights(spiralT(4), 4, 40));
  EXPECT_EQ(leafOrigins(drawn()).size(), 4u * 4);
}

TEST_F(TreeListGl, InfluenceLimitsSegmentsFromTheTip) {
  addChain(4);
  g_nLeafDensity = 5;
  for (int influence : {2, 3, 5, 40}) {
    SCOPED_TRACE(influence);
    g_nLeafInfluence = influence;
    applyTreeParameters(model);
    expectHeights(sortedHeights(leafOrigins(drawn())), expectedHeights(spiralT(5), 4, influence));
  }
  g_nLeafInfluence = 1;
  applyTreeParameters(model);
  EXPECT_TRUE(leafOrigins(drawn()).empty());
}

TEST_F(TreeListGl, EveryArrangementAtFullDensity) {
  addChain(3);
  g_nLeafDensity = 16;
  g_nLeafInfluence = 10;
  struct Case {
    int phyllotaxis;
    std::vector<double> t;
  } cases[] = {{1, spiralT(16)}, {2, alternateT(16)}, {3, decussateT(16)}, {0, decussateT(16)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phyllotaxis);
    g_nLeafPhyllotaxis = c.phyllotaxis;
    rebuildTreeDisplay(model);
    if (!model.isBuilt()) applyTreeParameters(model);
    expectHeights(sortedHeights(leafOrigins(drawn())), expectedHeights(c.t, 3, 10));
  }
  // A density beyond the panel's range is held to the 16 slots of the table.
  g_nLeafDensity = 40;
  g_nLeafPhyllotaxis = 1;
  rebuildTreeDisplay(model);
  expectHeights(sortedHeights(leafOrigins(drawn())), expectedHeights(spiralT(16), 3, 10));
}

// Leaf size 0, "Show leaves" off and level lines give the branches only.
TEST_F(TreeListGl, BranchesOnlyWhenLeavesAreOff) {
  addChain(2);
  applyTreeParameters(model);
  const size_t withLeaves = drawn().size();
  const auto branchesOnly = captureFeedback([&] {
    drawBranches(model);
    glDisable(GL_LIGHTING);
  });
  ASSERT_GT(withLeaves, branchesOnly.size());

  // A zero-area triangle still reaches the feedback buffer, so collapsed leaves would count.
  auto degenerate = captureFeedback([] {
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < 3; ++k) glVertex3d(1, 1, 1);
    glEnd();
  });
  ASSERT_EQ(degenerate.size(), 1u);

  g_dLeafSize = 0.0;
  applyTreeParameters(model);
  EXPECT_EQ(drawn().size(), branchesOnly.size());

  g_dLeafSize = kLeafSize;
  g_bShowLeaves = false;
  applyTreeParameters(model);
  EXPECT_EQ(drawn().size(), branchesOnly.size());

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

TEST_F(TreeListGl, NothingDrawnBeforeBuilt) {
  EXPECT_TRUE(drawn().empty());  // no list yet
  model.branches.push_back(std::make_unique<Branch>());
  model.branches[0]->nodes = {Vec3(0, 0, 0), Vec3(0, 1, 0)};
  model.branches[0]->radii = {0.04, 0.04};
  buildTreeList(model);
  ASSERT_NE(model.treeList, 0u);
  EXPECT_TRUE(drawn().empty());
  model.built = true;
  EXPECT_EQ(leafOrigins(drawn()).size(), 4u);
}

// Each build replaces both lists; the leaf shape is compiled before the tree list.
TEST_F(TreeListGl, RebuildReplacesLists) {
  addChain(1);
  applyTreeParameters(model);
  const unsigned tree = model.treeList, shape = model.leafShapeList;
  ASSERT_TRUE(glIsList(tree));
  ASSERT_TRUE(glIsList(shape));
  buildTreeList(model);
  EXPECT_TRUE(glIsList(model.treeList));
  EXPECT_TRUE(glIsList(model.leafShapeList));
  if (model.treeList != tree && model.leafShapeList != tree) {
    EXPECT_FALSE(glIsList(tree));
  }
  EXPECT_EQ(leafOrigins(drawn()).size(), 4u);
}
