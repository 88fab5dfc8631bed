#include "foliage/tree_display.h"

#include <gtest/gtest.h>

#include "settings/settings.h"

namespace {

int g_builds = 0;
size_t g_branchesAtBuild = 0;

void countingBuilder(TreeModel& model) {
  ++g_builds;
  g_branchesAtBuild = model.branches.size();
}

}  // namespace

// Parameter changes rebuild the hierarchy, then the display, built or not; display-only
// changes rebuild the display once a tree is built, and leave the hierarchy alone.
TEST(TreeDisplayTriggers, WhenTheDisplayIsRebuilt) {
  resetSettingsToStartValues();
  void (*saved)(TreeModel&) = TreeModel::listBuilder;
  TreeModel::listBuilder = countingBuilder;
  g_builds = 0;

  TreeModel model;
  rebuildTreeDisplay(model);
  EXPECT_EQ(g_builds, 0);
  applyTreeParameters(model);
  EXPECT_EQ(g_builds, 1);
  EXPECT_FALSE(model.isBuilt());

  TreeSegment segment;
  segment.end = Vec3(0, 1, 0);
  model.appendSegment(segment);
  rebuildTreeDisplay(model);  // a segment but no rebuild yet: not built
  EXPECT_EQ(g_builds, 1);
  applyTreeParameters(model);
  EXPECT_EQ(g_builds, 2);
  EXPECT_TRUE(model.isBuilt());
  EXPECT_EQ(g_branchesAtBuild, 1u);  // the builder sees the rebuilt branches
  model.branches.clear();
  rebuildTreeDisplay(model);
  EXPECT_EQ(g_builds, 3);
  EXPECT_EQ(g_branchesAtBuild, 0u);  // without rebuilding the hierarchy
  TreeModel::listBuilder = saved;
}
