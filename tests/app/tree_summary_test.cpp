// The tree figures the window shows, on a hand-built tree: volume against the frustums of
// the drawn tubes, lengths and heights in file units.

#include "app/tree_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "tree/tree_model.h"

namespace {

void addBranch(TreeModel& m, std::vector<Vec3> nodes, std::vector<double> radii) {
  m.branches.push_back(std::make_unique<Branch>(Branch{std::move(nodes), std::move(radii)}));
}

// Volume of the tubes drawn at half the stored radius: a frustum per segment.
double frustumVolume(const TreeModel& m) {
  double v = 0.0;
  for (const auto& b : m.branches)
    for (size_t k = 1; k < b->nodes.size(); ++k) {
      const Vec3 d = b->nodes[k] - b->nodes[k - 1];
      const double r0 = 0.5 * b->radii[k - 1], r1 = 0.5 * b->radii[k];
      v += M_PI / 3.0 * std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) * (r0 * r0 + r0 * r1 + r1 * r1);
    }
  return v;
}

}  // namespace

TEST(TreeSummary, FiguresOfAHandBuiltTreeInFileUnits) {
  TreeModel m;
  addBranch(m, {Vec3(0, 0, 0), Vec3(0, 2, 0), Vec3(0, 6, 0)}, {0.8, 0.6, 0.2});  // trunk
  addBranch(m, {Vec3(0, 2, 0), Vec3(3, 6, 0)}, {0.4, 0.4});
  addBranch(m, {}, {0.3, 0.1});               // pruned
  addBranch(m, {Vec3(0, 5, 0)}, {0.1});       // a single node is not drawn
  EXPECT_FALSE(summariseTree(m, 2.0).valid);  // not built yet
  m.built = true;

  const double scale = 2.0;  // model units per file unit
  const TreeSummary s = summariseTree(m, scale);
  ASSERT_TRUE(s.valid);
  EXPECT_TRUE(s.branches == 2 && s.height == 3.0 && s.branchLength == 5.5);  // (6 + 5) / 2
  EXPECT_NEAR(s.volume, frustumVolume(m) / (scale * scale * scale), 1e-6);
  // 1.3 file units = 2.6 model units up the trunk: stored radius 0.6 + 0.15 * (0.2 - 0.6).
  ASSERT_TRUE(s.hasStemDiameter && !s.hasFit);
  EXPECT_DOUBLE_EQ(s.stemHeight, 1.3);
  EXPECT_NEAR(s.stemDiameter, 2.0 * 0.5 * 0.54 / scale, 1e-12);

  // A trunk lower than breast height: its base diameter.
  const TreeSummary small = summariseTree(m, 10.0);
  EXPECT_DOUBLE_EQ(small.stemHeight, 0.0);
  EXPECT_NEAR(small.stemDiameter, 0.8 / 10.0, 1e-12);
  EXPECT_NEAR(small.volume * 1000.0, s.volume * 8.0, 1e-9);
  EXPECT_FALSE(summariseTree(m, 0.0).valid);
}
