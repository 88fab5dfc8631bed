// The tree figures the window shows, on a hand-built tree: volume against a numerical
// integral of the drawn tubes, lengths and heights in file units.

#include "app/tree_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "tree/tree_model.h"

namespace {

void addBranch(TreeModel& m, std::vector<Vec3> nodes, std::vector<double> radii) {
  m.branches.push_back(std::make_unique<Branch>(Branch{std::move(nodes), std::move(radii)}));
}

// Volume of the tubes drawn at half the stored radius, by slicing each segment thinly.
double slicedVolume(const TreeModel& m) {
  double v = 0.0;
  for (const auto& b : m.branches)
    for (size_t k = 1; k < b->nodes.size(); ++k) {
      const Vec3 d = b->nodes[k] - b->nodes[k - 1];
      const double len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
      const int slices = 20000;
      for (int i = 0; i < slices; ++i) {
        const double t = (i + 0.5) / slices;
        const double r = 0.5 * (b->radii[k - 1] + t * (b->radii[k] - b->radii[k - 1]));
        v += M_PI * r * r * len / slices;
      }
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
  EXPECT_EQ(s.branches, 2u);
  EXPECT_DOUBLE_EQ(s.height, 3.0);
  EXPECT_DOUBLE_EQ(s.branchLength, 5.5);  // (6 + 5) / 2
  EXPECT_NEAR(s.volume, slicedVolume(m) / (scale * scale * scale), 1e-6);
  // 1.3 file units = 2.6 model units up the trunk: stored radius 0.6 + 0.15 * (0.2 - 0.6).
  ASSERT_TRUE(s.hasStemDiameter);
  EXPECT_DOUBLE_EQ(s.stemHeight, 1.3);
  EXPECT_NEAR(s.stemDiameter, 2.0 * 0.5 * 0.54 / scale, 1e-12);
  EXPECT_FALSE(s.hasFit);

  // A trunk lower than breast height: its base diameter.
  const TreeSummary small = summariseTree(m, 10.0);
  EXPECT_DOUBLE_EQ(small.stemHeight, 0.0);
  EXPECT_NEAR(small.stemDiameter, 0.8 / 10.0, 1e-12);
  EXPECT_NEAR(small.volume * 1000.0, s.volume * 8.0, 1e-9);
  EXPECT_FALSE(summariseTree(m, 0.0).valid);
}
