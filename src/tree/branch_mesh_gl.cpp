#include <GL/gl.h>

#include "settings/settings.h"
#include "tree/branch_mesh.h"
#include "tree/tree_model.h"

namespace {

void recordTube(const BranchTube& tube) {
  const size_t stripSize = tube.stripSize();
  for (size_t k = 0; k < tube.stripCount(); ++k) {
    glBegin(GL_QUAD_STRIP);
    for (size_t v = k * stripSize; v < (k + 1) * stripSize; ++v) {
      const Vec3& n = tube.normals[v];
      const Vec3& p = tube.vertices[v];
      glNormal3d(n.x, n.y, n.z);
      glTexCoord2d(tube.texCoords[2 * v], tube.texCoords[2 * v + 1]);
      glVertex3d(p.x, p.y, p.z);
    }
    glEnd();
  }
}

}  // namespace

void drawTube(const std::vector<Vec3>& nodes, const std::vector<double>& radii, int sides) {
  recordTube(tubeStrips(nodes, radii, sides));
}

void drawBranches(const TreeModel& model) {
  glEnable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glColor3fv(g_fBranchColor);
  for (const BranchTube& tube : branchTubes(model)) recordTube(tube);
  glDisable(GL_LIGHTING);
}

void drawSkeletonLines(const TreeModel& model) {
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  glLineWidth(3.0f);
  glBegin(GL_LINES);
  for (const SkeletonLine& line : skeletonLines(model)) {
    const TreeSegment& seg = model.segments[line.segment];
    glColor3ubv(depthColour(line.colourIndex));
    glVertex3d(seg.start.x, seg.start.y, seg.start.z);
    glVertex3d(seg.end.x, seg.end.y, seg.end.z);
  }
  glEnd();
  glLineWidth(1.0f);
}
