#include "tree/branch_mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

#include "app/settings.h"
#include "support/gl_test_context.h"
#include "support/test_support.h"
#include "tree/tree_model.h"
#include "tree_test_util.h"

namespace {

// Feedback coordinates pass through single-precision window coordinates.
constexpr double kTol = 1e-4;

class BranchMeshGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSettingsToStartValues();
    ensureGlContext();
  }
  void TearDown() override { resetSettingsToStartValues(); }
};

using Key = std::tuple<long, long, long>;
Key keyOf(const FeedbackVertex& v) {
  return Key(std::lround(v.x / kTol / 10), std::lround(v.y / kTol / 10), std::lround(v.z / kTol / 10));
}

std::set<Key> distinctVertices(const std::vector<FeedbackPrimitive>& prims, bool (*keep)(const FeedbackVertex&)) {
  std::set<Key> keys;
  for (const auto& p : prims)
    for (const auto& v : p.vertices)
      if (keep(v)) keys.insert(keyOf(v));
  return keys;
}

std::unique_ptr<Branch> verticalBranch(double x, double height, double radius) {
  auto b = std::make_unique<Branch>();
  b->nodes = {Vec3(x, 0, 0), Vec3(x, height, 0)};
  b->radii = {radius, radius};
  return b;
}

bool hasVertex(const std::vector<FeedbackPrimitive>& prims, double x, double y, double z) {
  for (const auto& p : prims)
    for (const auto& v : p.vertices)
      if (std::fabs(v.x - x) < kTol && std::fabs(v.y - y) < kTol && std::fabs(v.z - z) < kTol) return true;
  return false;
}

void expectColour(const FeedbackVertex& v, int entry) {
  const unsigned char* c = depthColour(entry);
  EXPECT_NEAR(v.r, c[0] / 255.0, 0.002) << entry;
  EXPECT_NEAR(v.g, c[1] / 255.0, 0.002) << entry;
  EXPECT_NEAR(v.b, c[2] / 255.0, 0.002) << entry;
}

}  // namespace

TEST_F(BranchMeshGlTest, TwoNodeBranchIsRefinedToThreeRingsAndTwoStrips) {
  TreeModel model;
  g_dBranchThickness = 2.0;
  model.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 10, 0), -1));
  model.rebuild();
  auto prims = captureFeedback([&] { drawBranches(model); });
  // Two quad strips of 12 quads, each quad arriving as two triangles.
  EXPECT_EQ(countTokens(prims, GL_POLYGON_TOKEN), 2u * 12u * 2u);
  EXPECT_EQ(prims.size(), 48u);
  std::set<Key> all = distinctVertices(prims, [](const FeedbackVertex&) { return true; });
  EXPECT_EQ(all.size(), 36u);
  std::set<long> levels;
  for (const auto& p : prims)
    for (const auto& v : p.vertices) {
      EXPECT_NEAR(std::hypot(v.x, v.z), 1.0, kTol);  // half the radius 2
      levels.insert(std::lround(v.y));
    }
  EXPECT_EQ(levels, (std::set<long>{0, 5, 10}));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST_F(BranchMeshGlTest, TrunkHasTwelveSidesOtherBranchesEightPrunedNone) {
  TreeModel model;
  model.branches.push_back(verticalBranch(-30, 10, 4));
  model.branches.push_back(verticalBranch(30, 10, 1));
  model.branches.push_back(verticalBranch(60, 10, 1));
  model.branches.back()->nodes.clear();  // pruned
  auto prims = captureFeedback([&] { drawBranches(model); });
  EXPECT_EQ(distinctVertices(prims, [](const FeedbackVertex& v) { return v.x < 0; }).size(), 3u * 12u);
  EXPECT_EQ(distinctVertices(prims, [](const FeedbackVertex& v) { return v.x > 0; }).size(), 3u * 8u);
  EXPECT_EQ(prims.size(), 2u * (12u + 8u) * 2u);
  for (const auto& p : prims)
    for (const auto& v : p.vertices) EXPECT_LT(v.x, 45.0);
}

TEST_F(BranchMeshGlTest, DegenerateFrames) {
  // Along +x, three sides: u = (0, 0, -1) and w = (0, 1, 0) place the first ring vertex at -z.
  auto prims = captureFeedback([] { drawTube({Vec3(0, 0, 0), Vec3(20, 0, 0)}, {4, 4}, 3); });
  EXPECT_EQ(prims.size(), 2u * 3u);
  EXPECT_TRUE(hasVertex(prims, 0, 0, -2));
  EXPECT_TRUE(hasVertex(prims, 0, 2 * std::sin(2 * M_PI / 3), -2 * std::cos(2 * M_PI / 3)));
  EXPECT_FALSE(hasVertex(prims, 0, 0, 2));

  // First two nodes coincide: zero normals (no diffuse light reaches any vertex) and every
  // ring vertex on the polyline. A sound tube under the same light is lit.
  auto lit = [](const std::vector<Vec3>& nodes) {
    return captureFeedback([&] {
      const GLfloat none[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1}, fromX[4] = {1, 0, 0, 0};
      glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
      glLightfv(GL_LIGHT0, GL_AMBIENT, none);
      glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
      glLightfv(GL_LIGHT0, GL_POSITION, fromX);
      glEnable(GL_LIGHT0);
      glEnable(GL_LIGHTING);
      drawTube(nodes, {2, 2, 2}, 8);
      glDisable(GL_LIGHTING);
      glDisable(GL_LIGHT0);
    });
  };
  auto flat = lit({Vec3(0, 0, 0), Vec3(0, 0, 0), Vec3(0, 10, 0)});
  ASSERT_EQ(flat.size(), 2u * 8u * 2u);
  for (const auto& p : flat)
    for (const auto& v : p.vertices) {
      EXPECT_NEAR(v.x, 0.0, kTol);
      EXPECT_NEAR(v.z, 0.0, kTol);
      EXPECT_EQ(v.r + v.g + v.b, 0.0f);
    }
  auto sound = lit({Vec3(0, 0, 0), Vec3(0, 5, 0), Vec3(0, 10, 0)});
  float brightest = 0;
  for (const auto& p : sound)
    for (const auto& v : p.vertices) brightest = std::max(brightest, v.r);
  EXPECT_GT(brightest, 0.5f);
}

TEST_F(BranchMeshGlTest, LineColoursFollowLevelsOrRootCountedDepths) {
  NodeTree tree;
  tree.add(Vec3(0, 0, 0), -1);
  tree.add(Vec3(-5, 5, 0), 0);
  tree.add(Vec3(5, 5, 0), 0);
  TreeModel model;
  {
    StdoutCapture quiet;
    loadBestFirst(model, tree);  // g_level 2
  }
  model.applyLevel();
  ASSERT_EQ(g_level, 2);
  auto prims = captureFeedback([&] { drawSkeletonLines(model); });
  ASSERT_EQ(prims.size(), 3u);
  for (const auto& p : prims) {
    ASSERT_TRUE(p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN);
    bool isRoot = p.vertices[0].y < -0.1 || p.vertices[1].y < -0.1;
    for (const auto& v : p.vertices) expectColour(v, isRoot ? 127 : 255);
  }
  GLfloat width = 0;
  glGetFloatv(GL_LINE_WIDTH, &width);
  EXPECT_EQ(width, 1.0f);

  // Space-colonisation model of three levels with g_level still 0: depths counted from the root.
  NodeTree chain;
  chain.add(Vec3(0, 0, 0), -1);
  chain.add(Vec3(0, 5, 0), 0);
  chain.add(Vec3(0, 10, 0), 1);
  loadSpaceColonisation(model, chain);
  g_level = 0;
  prims = captureFeedback([&] { drawSkeletonLines(model); });
  ASSERT_EQ(prims.size(), 3u);
  for (const auto& p : prims) {
    double top = std::max(p.vertices[0].y, p.vertices[1].y);
    int depth = top < 1 ? 1 : (top < 6 ? 2 : 3);
    for (const auto& v : p.vertices) expectColour(v, depth * 255 / 3);
  }
}
