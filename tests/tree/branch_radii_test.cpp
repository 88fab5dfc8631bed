#include "tree/branch_radii.h"

#include "tree_test_util.h"

namespace {

using BranchRadiiTest = TreeTest;

// Pipe model written as plain recursion, for comparison on shallow trees.
double recursiveRadius(std::vector<TreeSegment>& segs, uint32_t s) {
  TreeSegment& seg = segs[s];
  if (seg.childCount == 0) return seg.startRadius = g_dBranchThickness;
  double sum = 0.0;
  for (uint32_t k = 0; k < seg.childCount; ++k) sum += std::pow(recursiveRadius(segs, seg.children[k]), g_dBranchRatio);
  return seg.startRadius = std::pow(sum, 1.0 / g_dBranchRatio);
}

}  // namespace

TEST_F(BranchRadiiTest, PipeModelAtTipsAndForks) {
  loadSkeleton(model, nodeTree({{0, 0, 0, -1}, {1, 1, 0, 0}, {-1, 1, 0, 0}}));
  model.computeRadii();
  EXPECT_DOUBLE_EQ(model.segments[0].startRadius, 0.04 * std::sqrt(2.0));
  g_dBranchRatio = 3.0;
  loadSkeleton(model, nodeTree({{0, 0, 0, -1}, {1, 1, 0, 0}, {-1, 1, 0, 0}, {0, 1, 1, 0}}));
  model.computeRadii();
  EXPECT_NEAR(model.segments[0].startRadius, 0.04 * std::cbrt(3.0), 1e-15);
}

TEST_F(BranchRadiiTest, IterativeRadiiEqualTheRecursiveDefinition) {
  std::mt19937 rng(99);
  for (double ratio : {2.0, 2.7}) {
    g_dBranchRatio = ratio;
    loadSkeleton(model, randomNodeTree(rng, 800));
    // A segment outside the traced tree keeps the radius it had.
    model.segments.back().startRadius = 7.0;
    model.segments[model.segments.back().parent].childCount = 0;
    std::vector<TreeSegment> reference = model.segments;
    recursiveRadius(reference, 0);
    model.computeRadii();
    for (size_t i = 0; i < reference.size(); ++i) EXPECT_EQ(model.segments[i].startRadius, reference[i].startRadius);
    EXPECT_EQ(model.segments.back().startRadius, 7.0);
    for (const TreeSegment& s : model.segments) {  // end radius: the widest traced child
      double widest = s.childCount ? 0.0 : s.startRadius;
      for (uint32_t k = 0; k < s.childCount; ++k) widest = std::max(widest, model.segments[s.children[k]].startRadius);
      EXPECT_EQ(s.endRadius, widest);
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
  EXPECT_EQ(model.branches[2]->nodes.size(), 2u);
  // At ratio 0 even a branch of length 0 is kept.
  g_dTwigRemoveRatio = 0.0;
  model.branches.push_back(std::make_unique<Branch>(Branch{{Vec3(1, 1, 1)}, {0.1}}));
  model.pruneTwigs();
  EXPECT_EQ(model.branches[3]->nodes.size(), 1u);
}

TEST_F(BranchRadiiTest, TrunkRefinementFollowsThePowerCurve) {
  // Four radii: n = 2, only index 1 changes; segment lengths 1 and 3.
  Branch b{{Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 1, 3), Vec3(0, 1, 4)}, {0.5, 0.3, 0.2, 0.1}};
  refineTrunkRadii(b);
  EXPECT_NEAR(b.radii[1], 0.5 - std::pow(0.25, 1.3) * 0.2, 1e-12);
  b.radii[1] = 0.3;  // every other radius is unchanged
  EXPECT_EQ(b.radii, (std::vector<double>{0.5, 0.3, 0.2, 0.1}));
  // Six radii: n = 3, indices 1 and 2 head for the old radius at index 2; lengths 1, 1, 2.
  Branch c{{Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 2, 0), Vec3(0, 4, 0), Vec3(0, 5, 0), Vec3(0, 6, 0)},
           {0.9, 0.8, 0.5, 0.4, 0.3, 0.2}};
  refineTrunkRadii(c);
  EXPECT_NEAR(c.radii[1], 0.9 - std::pow(0.25, 1.3) * 0.4, 1e-12);
  EXPECT_NEAR(c.radii[2], 0.9 - std::pow(0.5, 1.3) * 0.4, 1e-12);
  EXPECT_EQ(std::vector<double>(c.radii.begin() + 3, c.radii.end()), (std::vector<double>{0.4, 0.3, 0.2}));
  // Three radii: n = 1, nothing changes.
  Branch d{{Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 2, 0)}, {0.3, 0.2, 0.1}};
  refineTrunkRadii(d);
  EXPECT_EQ(d.radii, (std::vector<double>{0.3, 0.2, 0.1}));
  // Regression: a lower trunk of degenerate nodes (L = 0) used to give not-a-number radii.
  Branch e{{Vec3(0, 0, 0, 1), Vec3(0, 1, 0), Vec3(0, 2, 0, 1), Vec3(0, 3, 0), Vec3(0, 4, 0)},
           {0.5, 0.4, 0.3, 0.2, 0.1}};
  refineTrunkRadii(e);
  EXPECT_EQ(e.radii, (std::vector<double>{0.5, 0.4, 0.3, 0.2, 0.1}));
}

TEST_F(BranchRadiiTest, RebuildRefinesTheTrunkOnlyWhenSwitchedOn) {
  std::mt19937 rng(5);
  loadSkeleton(model, randomNodeTree(rng, 200));
  model.rebuild();
  Branch expected = *model.branches[0];
  g_bRefineTrunk = 1;
  model.rebuild();
  EXPECT_NE(model.branches[0]->radii, expected.radii);
  refineTrunkRadii(expected);
  EXPECT_EQ(model.branches[0]->radii, expected.radii);
}
