#include "tree/branch_mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "app/settings.h"
#include "support/test_support.h"
#include "tree/tree_model.h"
#include "tree_test_util.h"

namespace {

class BranchMeshTest : public ::testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override { resetSettingsToStartValues(); }
};

std::vector<Vec3> randomPolyline(std::mt19937& rng, int count) {
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<Vec3> p{Vec3(0, 0, 0)};
  for (int i = 1; i < count; ++i) p.push_back(Vec3(p.back().x + u(rng), p.back().y + 1 + u(rng), p.back().z + u(rng)));
  return p;
}

}  // namespace

TEST_F(BranchMeshTest, SubdivisionInsertsCatmullRomMidpoints) {
  std::vector<Vec3> nodes = {Vec3(1, 2, 3), Vec3(3, 6, 1, 1)};
  std::vector<double> radii = {0.4, 0.1};
  subdivideBranch(nodes, radii);
  ASSERT_EQ(nodes.size(), 3u);
  EXPECT_NEAR(nodes[1].x, 2.0, 1e-12);
  EXPECT_NEAR(nodes[1].y, 4.0, 1e-12);
  EXPECT_NEAR(nodes[1].z, 2.0, 1e-12);
  EXPECT_EQ(nodes[1].status, kVecValid);
  EXPECT_EQ(nodes[2].status, 1u);  // original nodes keep their status
  EXPECT_DOUBLE_EQ(radii[1], 0.25);

  std::mt19937 rng(8);
  for (int m = 2; m < 9; ++m) {
    std::vector<Vec3> p = randomPolyline(rng, m);
    std::vector<double> r(m);
    for (int i = 0; i < m; ++i) r[i] = 0.1 * (i + 1);
    std::vector<Vec3> q = p;
    std::vector<double> s = r;
    subdivideBranch(q, s);
    ASSERT_EQ(q.size(), size_t(2 * m - 1));
    ASSERT_EQ(s.size(), q.size());
    for (int i = 0; i < m; ++i) {
      EXPECT_EQ(q[2 * i].x, p[i].x);
      EXPECT_EQ(s[2 * i], r[i]);
    }
    for (int i = 0; i + 1 < m; ++i) {
      Vec3 before = i == 0 ? Vec3(2 * p[0].x - p[1].x, 2 * p[0].y - p[1].y, 2 * p[0].z - p[1].z) : p[i - 1];
      Vec3 after = i + 2 < m
                       ? p[i + 2]
                       : Vec3(2 * p[m - 1].x - p[m - 2].x, 2 * p[m - 1].y - p[m - 2].y, 2 * p[m - 1].z - p[m - 2].z);
      Vec3 mid = catmullRomPoint(before, p[i], p[i + 1], after, 0.5);
      EXPECT_NEAR(q[2 * i + 1].y, mid.y, 1e-12);
      EXPECT_NEAR(s[2 * i + 1], 0.5 * (r[i] + r[i + 1]), 1e-12);
    }
  }
  std::vector<Vec3> one = {Vec3(1, 1, 1)};
  std::vector<double> oneRadius = {0.1, 0.2};
  subdivideBranch(one, oneRadius);
  EXPECT_EQ(one.size(), 1u);
  EXPECT_EQ(oneRadius.size(), 2u);
}

TEST_F(BranchMeshTest, RingsSitAtHalfRadiusAroundTheCarriedFrame) {
  std::mt19937 rng(31);
  for (int sides : {8, 12}) {
    std::vector<Vec3> p = randomPolyline(rng, 9);
    std::vector<double> r(p.size());
    for (size_t i = 0; i < r.size(); ++i) r[i] = 0.3 + 0.05 * i;
    std::vector<TubeRing> rings = tubeRings(p, r, sides);
    ASSERT_EQ(rings.size(), p.size());
    for (size_t i = 0; i < rings.size(); ++i) {
      ASSERT_EQ(rings[i].vertices.size(), size_t(sides));
      // The direction each frame is perpendicular to: the first segment for node 0, else the
      // segment after the node (the last segment for the last node).
      Vec3 d = i == 0 ? difference(p[1], p[0])
                      : (i + 1 < p.size() ? difference(p[i + 1], p[i]) : difference(p[i], p[i - 1]));
      normalise(d);
      for (int j = 0; j < sides; ++j) {
        EXPECT_NEAR(length(rings[i].normals[j]), 1.0, 1e-12);
        EXPECT_NEAR(dot(rings[i].normals[j], d), 0.0, 1e-12);
        EXPECT_NEAR(length(difference(rings[i].vertices[j], p[i])), 0.5 * r[i], 1e-12);
      }
    }
  }
  EXPECT_TRUE(tubeRings({Vec3(0, 0, 0)}, {0.1}, 8).empty());
  EXPECT_TRUE(tubeRings({Vec3(0, 0, 0), Vec3(0, 1, 0)}, {0.1}, 8).empty());
}

TEST_F(BranchMeshTest, DegenerateAndAxisAlignedFrames) {
  // Along +x: u = (0, 0, -1), so the first normal of the first ring points to -z.
  std::vector<TubeRing> x = tubeRings({Vec3(0, 0, 0), Vec3(2, 0, 0)}, {1, 1}, 8);
  EXPECT_NEAR(x[0].normals[0].z, -1.0, 1e-15);
  EXPECT_NEAR(x[0].normals[2].y, 1.0, 1e-15);  // w = d x u = +y
  // A straight vertical trunk has the same frame at every node.
  std::vector<TubeRing> up = tubeRings({Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 3, 0), Vec3(0, 4, 0)}, {1, 1, 1, 1}, 12);
  for (const TubeRing& ring : up)
    for (int j = 0; j < 12; ++j) {
      EXPECT_EQ(ring.normals[j].x, up[0].normals[j].x);
      EXPECT_EQ(ring.normals[j].z, up[0].normals[j].z);
      EXPECT_EQ(ring.normals[j].y, 0.0);
    }
  // No zero is dx*dy*dz: the closed form of the first u.
  Vec3 d(1, 2, 3);
  std::vector<TubeRing> g = tubeRings({Vec3(0, 0, 0), d}, {2, 2}, 4);
  double s = std::sqrt(13.0);
  Vec3 u(s, -2 / s, -3 / s);
  normalise(u);
  EXPECT_NEAR(g[0].normals[0].x, u.x, 1e-12);
  EXPECT_NEAR(g[0].normals[0].y, u.y, 1e-12);
  EXPECT_NEAR(g[0].normals[0].z, u.z, 1e-12);

  // First two nodes coincide: zero frame at every node, ring vertices on the polyline.
  std::vector<Vec3> p = {Vec3(1, 1, 1), Vec3(1, 1, 1), Vec3(2, 3, 1), Vec3(2, 5, 2)};
  std::vector<TubeRing> z = tubeRings(p, {1, 1, 1, 1}, 8);
  for (size_t i = 0; i < z.size(); ++i)
    for (int j = 0; j < 8; ++j) {
      EXPECT_EQ(length(z[i].normals[j]), 0.0);
      EXPECT_EQ(length(difference(z[i].vertices[j], p[i])), 0.0);
    }
  // An invalid node poisons the frames from there on.
  std::vector<TubeRing> bad =
      tubeRings({Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 2, 0, 1), Vec3(0, 3, 0)}, {1, 1, 1, 1}, 8);
  EXPECT_NEAR(length(bad[0].normals[0]), 1.0, 1e-12);
  for (size_t i = 1; i < bad.size(); ++i) EXPECT_EQ(length(bad[i].normals[3]), 0.0);
}

TEST_F(BranchMeshTest, DepthColourTableRamp) {
  const int rows[][4] = {{0, 0, 0, 146},      {16, 0, 0, 255},   {45, 0, 255, 255},
                         {64, 110, 255, 150}, {86, 255, 255, 0}, {119, 255, 127, 0},
                         {143, 255, 0, 0},    {173, 255, 0, 0},  {255, 205, 0, 0}};
  for (const auto& row : rows) {
    const unsigned char* c = depthColour(row[0]);
    EXPECT_EQ(c[0], row[1]) << row[0];
    EXPECT_EQ(c[1], row[2]) << row[0];
    EXPECT_EQ(c[2], row[3]) << row[0];
  }
  for (int i = 143; i <= 173; ++i) EXPECT_EQ(depthColour(i)[0] + depthColour(i)[1] + depthColour(i)[2], 255);
  EXPECT_LT(depthColour(174)[0], 255);
  for (int i = 174; i <= 255; ++i) {
    EXPECT_LE(depthColour(i)[0], depthColour(i - 1)[0]);
    EXPECT_EQ(depthColour(i)[1], 0);
  }
  for (int i = 1; i < 256; ++i)
    for (int ch = 0; ch < 3; ++ch) EXPECT_LE(std::abs(depthColour(i)[ch] - depthColour(i - 1)[ch]), 10) << i;
  EXPECT_EQ(depthColour(-5), depthColour(0));
  EXPECT_EQ(depthColour(900), depthColour(255));
}

TEST_F(BranchMeshTest, SkeletonLineColoursUseLevelsOrRootCountedDepths) {
  std::mt19937 rng(12);
  NodeTree tree = randomNodeTree(rng, 400);
  TreeModel model;
  // Space-colonisation model: depths -1, g_level still 0 or stale from an earlier model.
  loadSpaceColonisation(model, tree);
  for (int level : {0, 5}) {
    g_level = level;
    std::vector<SkeletonLine> lines = skeletonLines(model);
    ASSERT_EQ(lines.size(), model.segments.size());
    int deepest = 1;
    std::vector<int> depth(model.segments.size());
    for (size_t i = 0; i < depth.size(); ++i) {
      int d = 1;
      for (int p = model.segments[i].parent; p != -1; p = model.segments[p].parent) ++d;
      depth[i] = d;
      deepest = std::max(deepest, d);
    }
    for (const SkeletonLine& l : lines) EXPECT_EQ(l.colourIndex, depth[l.segment] * 255 / deepest);
    EXPECT_EQ(lines.front().segment, 0u);
  }
  // A lone root segment is depth 1 of 1.
  TreeModel lone;
  lone.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 1, 0), -1));
  EXPECT_EQ(skeletonLines(lone).at(0).colourIndex, 255);

  // Best-first model: stored depths over g_level; a level cut draws only the kept segments.
  {
    StdoutCapture quiet;
    loadBestFirst(model, tree);
  }
  g_level = 3;
  model.applyLevel();
  for (const SkeletonLine& l : skeletonLines(model)) {
    EXPECT_LE(model.depths[l.segment], 3);
    EXPECT_EQ(l.colourIndex, model.depths[l.segment] * 255 / 3);
  }
}
