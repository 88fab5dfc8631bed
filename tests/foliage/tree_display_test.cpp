#include "foliage/tree_display.h"

#include <gtest/gtest.h>

#include "app/settings.h"

namespace {

int g_builds = 0;
size_t g_branchesAtBuild = 0;

void countingBuilder(TreeModel& model) {
  ++g_builds;
  g_branchesAtBuild = model.branches.size();
}

// Installs a list builder that counts its calls, and restores the previous one.
class TreeDisplayTriggers : public testing::Test {
 protected:
  void SetUp() override {
    resetSettingsToStartValues();
    saved_ = TreeModel::listBuilder;
    TreeModel::listBuilder = countingBuilder;
    g_builds = 0;
    g_branchesAtBuild = 0;
  }
  void TearDown() override { TreeModel::listBuilder = saved_; }

  // A root segment with two tip children: three branches once rebuilt.
  static void addFork(TreeModel& model) {
    TreeSegment root;
    root.start = Vec3(0, -0.2, 0);
    root.end = Vec3(0, 1, 0);
    root.children = {1, 2};
    TreeSegment left, right;
    left.start = right.start = root.end;
    left.end = Vec3(-1, 2, 0);
    right.end = Vec3(1, 2, 0);
    left.parent = right.parent = 0;
    model.appendSegment(root);
    model.appendSegment(left);
    model.appendSegment(right);
  }

  void (*saved_)(TreeModel&) = nullptr;
};

}  // namespace

TEST_F(TreeDisplayTriggers, ApplyRebuildsHierarchyThenDisplayEvenWhenNotBuilt) {
  TreeModel model;
  applyTreeParameters(model);  // nothing to rebuild, but the display is still rebuilt
  EXPECT_EQ(g_builds, 1);
  EXPECT_FALSE(model.isBuilt());

  addFork(model);
  applyTreeParameters(model);
  EXPECT_EQ(g_builds, 2);
  EXPECT_TRUE(model.isBuilt());
  EXPECT_EQ(g_branchesAtBuild, 2u);  // the builder sees the rebuilt branches
}

TEST_F(TreeDisplayTriggers, RebuildDisplayOnlyOnceBuilt) {
  TreeModel model;
  rebuildTreeDisplay(model);
  EXPECT_EQ(g_builds, 0);
  addFork(model);
  rebuildTreeDisplay(model);  // segments but no rebuild yet: not built
  EXPECT_EQ(g_builds, 0);
  model.rebuild();
  const size_t branches = model.branches.size();
  rebuildTreeDisplay(model);
  EXPECT_EQ(g_builds, 1);
  EXPECT_EQ(model.branches.size(), branches);
}
