#include "foliage/leaf_mesh.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "foliage/leaf_shape.h"
#include "foliage/tree_display.h"
#include "foliage/tree_list_gl.h"
#include "settings/settings.h"
#include "support/gl_test_context.h"
#include "tree/branch_mesh.h"

namespace {

// Whether some point of list lies within tol of p.
bool near(const std::vector<Vec3>& list, const Vec3& p, double tol) {
  for (const Vec3& q : list)
    if (std::fabs(q.x - p.x) < tol && std::fabs(q.y - p.y) < tol && std::fabs(q.z - p.z) < tol) return true;
  return false;
}

}  // namespace

// The leaves of the mesh export are those the tree display draws: after the same seed of
// the C library generator, every corner the display list records is a branch-tube vertex or
// a corner of the exported leaf triangles, and every exported corner is recorded. Stems and
// blades both; the stem quads become two triangles each.
TEST(LeafMeshGl, LeafTrianglesAreTheDrawnLeaves) {
  resetSettingsToStartValues();
  ensureGlContext();
  void (*saved)(TreeModel&) = TreeModel::listBuilder;
  installTreeListBuilder();
  TreeModel model;
  model.leafVertices = {Vec3(0, 0.5, 0), Vec3(1, 1, 0), Vec3(0, 1.5, 0.2)};
  model.leafTriangles = {0, 1, 2};
  model.leafNormals = {Vec3(0, 0, 1)};
  model.stemPoints = {Vec3(0, 0, 0), Vec3(0, 0.25, 0.05), Vec3(0, 0.5, 0)};
  model.stemWidths = {0.05, 0.04, 0.03};
  // A trunk of three unit segments with a side branch from its second node.
  const Vec3 p[] = {Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 2, 0.1), Vec3(0.1, 3, 0.1), Vec3(0.8, 1.8, 0)};
  const int parent[] = {-1, 0, 1, 2, 1};
  for (int k = 0; k < 5; ++k) {
    TreeSegment s;
    s.start = parent[k] < 0 ? Vec3(0, -0.2, 0) : p[parent[k]];
    s.end = p[k];
    s.parent = parent[k];
    for (int c = 0; c < 5; ++c)
      if (parent[c] == k) s.children.push_back(static_cast<uint32_t>(c));
    model.appendSegment(s);
  }
  g_nLeafDensity = 6;
  g_nLeafInfluence = 2;
  g_dTwigRemoveRatio = 0.0;

  std::srand(7);
  applyTreeParameters(model);
  std::vector<Vec3> drawn;
  for (const FeedbackPrimitive& prim : captureFeedback([&] {
         drawTree(model);
         glDisable(GL_LIGHTING);
       }))
    for (const FeedbackVertex& v : prim.vertices) drawn.push_back(Vec3(v.x, v.y, v.z));
  std::srand(7);
  const MeshTriangles leaves = treeLeafTriangles(model);

  ASSERT_EQ(model.branches.size(), 2u);
  const size_t leavesDrawn = 2 * 6;                       // on the tip segment of each branch
  const size_t perLeaf = 2 * 2 * kLeafStemSides * 3 + 3;  // two stem segments, one blade triangle
  EXPECT_EQ(leaves.vertices.size(), leavesDrawn * perLeaf);
  ASSERT_EQ(leaves.normals.size(), leaves.vertices.size());
  std::vector<Vec3> exported = leaves.vertices;
  for (const BranchTube& tube : branchTubes(model))
    exported.insert(exported.end(), tube.vertices.begin(), tube.vertices.end());
  size_t stray = 0, missing = 0;
  for (const Vec3& v : drawn) stray += !near(exported, v, 1e-4);
  for (const Vec3& v : leaves.vertices) missing += !near(drawn, v, 1e-4);
  EXPECT_EQ(stray, 0u);
  EXPECT_EQ(missing, 0u);

  TreeModel::listBuilder = saved;
  for (unsigned list : {model.treeList, model.leafShapeList})
    if (list) glDeleteLists(list, 1);
  resetSettingsToStartValues();
}
