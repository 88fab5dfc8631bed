#include "tree/branch_mesh.h"

#include <set>
#include <tuple>

#include "support/gl_test_context.h"
#include "tree_test_util.h"

namespace {

// Feedback coordinates pass through single-precision window coordinates.
constexpr double kTol = 1e-4;

class BranchMeshGlTest : public TreeTest {
 protected:
  void SetUp() override {
    TreeTest::SetUp();
    ensureGlContext();
  }
};

std::vector<FeedbackVertex> verticesOf(const std::vector<FeedbackPrimitive>& prims) {
  std::vector<FeedbackVertex> all;
  for (const auto& p : prims) all.insert(all.end(), p.vertices.begin(), p.vertices.end());
  return all;
}

using Key = std::tuple<long, long, long>;
Key keyOf(double x, double y, double z) {
  return Key(std::lround(x * 1e3), std::lround(y * 1e3), std::lround(z * 1e3));
}

// Distinct vertex positions (to 1e-3), all of them or those with x on one side of 0.
std::set<Key> vertexKeys(const std::vector<FeedbackPrimitive>& prims, int side = 0) {
  std::set<Key> keys;
  for (const auto& v : verticesOf(prims))
    if (side == 0 || (v.x > 0) == (side > 0)) keys.insert(keyOf(v.x, v.y, v.z));
  return keys;
}

void expectColour(const FeedbackVertex& v, int entry) {
  const float got[3] = {v.r, v.g, v.b};
  for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(got[ch], depthColour(entry)[ch] / 255.0, 0.002) << entry;
}

// A tube lit by one white directional light from +x, no ambient light.
std::vector<FeedbackPrimitive> litTube(const std::vector<Vec3>& nodes) {
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
}

}  // namespace

TEST_F(BranchMeshGlTest, TwoNodeBranchIsRefinedToThreeRingsAndTwoStrips) {
  g_dBranchThickness = 2.0;
  model.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 10, 0), -1));
  model.rebuild();
  auto prims = captureFeedback([&] { drawBranches(model); });
  // Two quad strips of 12 quads, each quad arriving as two triangles.
  EXPECT_EQ(countTokens(prims, GL_POLYGON_TOKEN), prims.size());
  EXPECT_EQ(prims.size(), 2u * 12u * 2u);
  EXPECT_EQ(vertexKeys(prims).size(), 36u);
  std::set<long> levels;
  for (const auto& v : verticesOf(prims)) {
    EXPECT_NEAR(std::hypot(v.x, v.z), 1.0, kTol);  // half the radius 2
    levels.insert(std::lround(v.y));
  }
  EXPECT_EQ(levels, (std::set<long>{0, 5, 10}));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST_F(BranchMeshGlTest, TrunkHasTwelveSidesOtherBranchesEightPrunedNone) {
  for (double x : {-30.0, 30.0, 60.0})
    model.branches.push_back(std::make_unique<Branch>(Branch{{Vec3(x, 0, 0), Vec3(x, 10, 0)}, {4, 1}}));
  model.branches.back()->nodes.clear();  // pruned
  auto prims = captureFeedback([&] { drawBranches(model); });
  EXPECT_EQ(vertexKeys(prims, -1).size(), 3u * 12u);
  EXPECT_EQ(vertexKeys(prims, 1).size(), 3u * 8u);
  EXPECT_EQ(prims.size(), 2u * (12u + 8u) * 2u);
  for (const auto& v : verticesOf(prims)) EXPECT_LT(v.x, 45.0);
}

TEST_F(BranchMeshGlTest, DegenerateFrames) {
  // Along +x, three sides: u = (0, 0, -1) and w = (0, 1, 0) place the first ring vertex at -z.
  auto prims = captureFeedback([] { drawTube({Vec3(0, 0, 0), Vec3(20, 0, 0)}, {4, 4}, 3); });
  EXPECT_EQ(prims.size(), 2u * 3u);
  std::set<Key> keys = vertexKeys(prims);
  EXPECT_EQ(keys.count(keyOf(0, 0, -2)), 1u);
  EXPECT_EQ(keys.count(keyOf(0, 2 * std::sin(2 * M_PI / 3), -2 * std::cos(2 * M_PI / 3))), 1u);
  EXPECT_EQ(keys.count(keyOf(0, 0, 2)), 0u);
  // First two nodes coincide: zero normals (no diffuse light reaches any vertex) and every ring
  // vertex on the polyline. A sound tube under the same light is lit.
  auto flat = litTube({Vec3(0, 0, 0), Vec3(0, 0, 0), Vec3(0, 10, 0)});
  ASSERT_EQ(flat.size(), 2u * 8u * 2u);
  for (const auto& v : verticesOf(flat)) {
    EXPECT_NEAR(std::hypot(v.x, v.z), 0.0, kTol);
    EXPECT_EQ(v.r + v.g + v.b, 0.0f);
  }
  float brightest = 0;
  for (const auto& v : verticesOf(litTube({Vec3(0, 0, 0), Vec3(0, 5, 0), Vec3(0, 10, 0)})))
    brightest = std::max(brightest, v.r);
  EXPECT_GT(brightest, 0.5f);
}

TEST_F(BranchMeshGlTest, LineColoursFollowLevelsOrRootCountedDepths) {
  {
    StdoutCapture quiet;
    loadSkeleton(model, nodeTree({{0, 0, 0, -1}, {-5, 5, 0, 0}, {5, 5, 0, 0}}), kBestFirst);  // g_level 2
  }
  model.applyLevel();
  ASSERT_EQ(g_level, 2);
  auto prims = captureFeedback([&] { drawSkeletonLines(model); });
  ASSERT_EQ(prims.size(), 3u);
  for (const auto& p : prims) {
    ASSERT_TRUE(p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN);
    bool isRoot = std::min(p.vertices[0].y, p.vertices[1].y) < -0.1;
    for (const auto& v : p.vertices) expectColour(v, isRoot ? 127 : 255);
  }
  GLfloat width = 0;
  glGetFloatv(GL_LINE_WIDTH, &width);
  EXPECT_EQ(width, 1.0f);
  // Space-colonisation chain of three levels with g_level still 0: depths counted from the root.
  loadSkeleton(model, nodeTree({{0, 0, 0, -1}, {0, 5, 0, 0}, {0, 10, 0, 1}}));
  g_level = 0;
  prims = captureFeedback([&] { drawSkeletonLines(model); });
  ASSERT_EQ(prims.size(), 3u);
  for (const auto& p : prims) {
    double top = std::max(p.vertices[0].y, p.vertices[1].y);
    for (const auto& v : p.vertices) expectColour(v, (top < 1 ? 1 : (top < 6 ? 2 : 3)) * 255 / 3);
  }
}
