// Pipe-model radii against a recursive definition, and the trunk taper (twig pruning is checked
// with the export).

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

// Tips take the branch thickness, forks (sum of child radius^ratio)^(1 / ratio).
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
    model.rebuild();
    for (size_t i = 0; i < reference.size(); ++i) EXPECT_EQ(model.segments[i].startRadius, reference[i].startRadius);
    EXPECT_EQ(model.segments.back().startRadius, 7.0);
    for (const TreeSegment& s : model.segments) {  // end radius: the widest traced child
      double widest = s.childCount ? 0.0 : s.startRadius;
      for (uint32_t k = 0; k < s.childCount; ++k) widest = std::max(widest, model.segments[s.children[k]].startRadius);
      EXPECT_EQ(s.endRadius, widest);
    }
  }
}

// The lower half of the trunk tapers from its first radius towards the radius at index
// n - 1 (n = half the radius count), never growing towards the tip; the rest stays.
TEST_F(BranchRadiiTest, TrunkRefinementTapersTheLowerHalfOnly) {
  Branch c{{Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 2, 0), Vec3(0, 4, 0), Vec3(0, 5, 0), Vec3(0, 6, 0)},
           {0.9, 0.2, 0.8, 0.4, 0.3, 0.2}};
  refineTrunkRadii(c);
  EXPECT_TRUE(c.radii[0] == 0.9 && c.radii[1] < 0.9 && c.radii[1] > c.radii[2] && c.radii[2] > 0.8);
  EXPECT_EQ(std::vector<double>(c.radii.begin() + 3, c.radii.end()), (std::vector<double>{0.4, 0.3, 0.2}));
  // Regression: a lower trunk of degenerate nodes (no length) used to give not-a-number radii.
  Branch e{{Vec3(0, 0, 0, 1), Vec3(0, 1, 0), Vec3(0, 2, 0, 1), Vec3(0, 3, 0), Vec3(0, 4, 0)},
           {0.5, 0.4, 0.3, 0.2, 0.1}};
  refineTrunkRadii(e);
  EXPECT_EQ(e.radii, (std::vector<double>{0.5, 0.4, 0.3, 0.2, 0.1}));
}
