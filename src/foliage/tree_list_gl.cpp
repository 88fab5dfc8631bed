#include "foliage/tree_list_gl.h"

#include <GL/gl.h>

#include <algorithm>

#include "foliage/leaf_placement.h"
#include "settings/settings.h"
#include "tree/branch_mesh.h"

namespace {

// Leaf slots drawn on a segment other than the tip one: at the largest density this leaves
// out the last slot, the leaf at the end node that the next segment's first leaf repeats.
constexpr int kInnerSegmentSlots = 15;

bool leavesShown() {
  return g_dLeafSize != 0.0 && g_bShowLeaves && !g_bLevelLines;
}

// Records one call of the leaf shape under a row-by-row leaf matrix.
void recordLeaf(const Mat4& rowMajor, unsigned int leafShapeList) {
  double columnMajor[16];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) columnMajor[4 * c + r] = rowMajor[4 * r + c];
  glPushMatrix();
  glMultMatrixd(columnMajor);
  glCallList(leafShapeList);
  glPopMatrix();
}

// Leaves on the last min(n, g_nLeafInfluence) - 1 segments of a branch of n nodes, the tip
// segment first.
void recordBranchLeaves(TreeModel& model, const Branch& branch) {
  const int n = static_cast<int>(branch.nodes.size());
  if (n < 2 || g_nLeafInfluence < 2) return;
  // The table has 16 slots; a density outside the panel's range must not index past it.
  const int density = std::min(g_nLeafDensity, kMaxLeavesPerSegment);
  for (int j = 2; j <= n && j <= g_nLeafInfluence; ++j) {
    const Vec3& start = branch.nodes[n - j];
    const Vec3& end = branch.nodes[n - j + 1];
    const int written = placeLeaves(g_nLeafPhyllotaxis, model, start, end, density);
    const int slots = j == 2 ? density : std::min(density, kInnerSegmentSlots);
    // Only slots written for this segment are drawn, never those left from another one.
    for (int s = 0; s < std::min(slots, written); ++s) recordLeaf(model.leafFrames[s], model.leafShapeList);
  }
}

}  // namespace

void buildTreeList(TreeModel& model) {
  model.compileLeafShape();
  if (model.treeList != 0) {
    glDeleteLists(model.treeList, 1);
    model.treeList = 0;
  }
  model.treeList = glGenLists(1);
  glNewList(model.treeList, GL_COMPILE);
  if (g_bLevelLines) {
    drawSkeletonLines(model);
  } else {
    drawBranches(model);
  }
  if (leavesShown()) {
    for (const auto& branch : model.branches)
      if (branch) recordBranchLeaves(model, *branch);
    glDisable(GL_TEXTURE_2D);
  }
  glEndList();
}

void drawTree(const TreeModel& model) {
  if (model.isBuilt() && model.treeList != 0) glCallList(model.treeList);
}

void installTreeListBuilder() {
  TreeModel::listBuilder = buildTreeList;
}
