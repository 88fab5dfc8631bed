#include "foliage/tree_list_gl.h"

#include <GL/gl.h>

#include "foliage/tree_display.h"
#include "settings/settings.h"
#include "tree/branch_mesh.h"

namespace {

// Records one call of the leaf shape under a column-major leaf matrix.
void recordLeaf(const Mat4& frame, unsigned int leafShapeList) {
  glPushMatrix();
  glMultMatrixd(frame.m);
  glCallList(leafShapeList);
  glPopMatrix();
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
  if (treeLeavesShown()) {
    const unsigned int leafShapeList = model.leafShapeList;
    forEachTreeLeafFrame(model, [leafShapeList](const Mat4& frame) { recordLeaf(frame, leafShapeList); });
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
