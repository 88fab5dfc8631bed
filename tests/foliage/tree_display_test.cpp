// When the tree display is rebuilt: parameter changes rebuild the hierarchy, then the display,
// built or not; display-only changes rebuild the display once a tree is built.

#include "foliage/tree_display.h"

#include "support/fresh_globals.h"

namespace {
int g_builds = 0;
size_t g_branchesAtBuild = 0;
}  // namespace

using TreeDisplayTriggers = FreshSettings;

TEST_F(TreeDisplayTriggers, WhenTheDisplayIsRebuilt) {
  TreeModel::listBuilder = [](TreeModel& model) { ++g_builds, g_branchesAtBuild = model.branches.size(); };
  TreeModel model;
  rebuildTreeDisplay(model);   // no tree built: nothing to rebuild
  applyTreeParameters(model);  // rebuilds the display, built or not
  EXPECT_EQ(g_builds, 1);
  TreeSegment segment;
  segment.end = Vec3(0, 1, 0);
  model.appendSegment(segment);
  rebuildTreeDisplay(model);  // a segment but no rebuild yet: not built
  applyTreeParameters(model);
  EXPECT_TRUE(g_builds == 2 && model.isBuilt() && g_branchesAtBuild == 1);  // the builder sees the branches
  model.branches.clear();
  rebuildTreeDisplay(model);
  EXPECT_TRUE(g_builds == 3 && g_branchesAtBuild == 0);  // without rebuilding the hierarchy
}
