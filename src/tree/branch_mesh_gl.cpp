#include <GL/gl.h>

#include "settings/settings.h"
#include "tree/branch_mesh.h"
#include "tree/tree_model.h"

namespace {

// One quad strip between the ring at node i (lower) and at node i + 1 (upper), closed with
// the first pair again; t runs along the tube in node steps.
void emitStrip(const TubeRing& lower, const TubeRing& upper, size_t i, size_t count, int sides) {
  const double tLower = static_cast<double>(i) / static_cast<double>(count - 1);
  const double tUpper = static_cast<double>(i + 1) / static_cast<double>(count - 1);
  auto vertex = [](const TubeRing& ring, int j, double s, double t) {
    const Vec3& n = ring.normals[j];
    const Vec3& v = ring.vertices[j];
    glNormal3d(n.x, n.y, n.z);
    glTexCoord2d(s, t);
    glVertex3d(v.x, v.y, v.z);
  };
  glBegin(GL_QUAD_STRIP);
  for (int j = 0; j < sides; ++j) {
    double s = static_cast<double>(j) / sides;
    vertex(upper, j, s, tUpper);
    vertex(lower, j, s, tLower);
  }
  vertex(upper, 0, 1.0, tUpper);
  vertex(lower, 0, 1.0, tLower);
  glEnd();
}

}  // namespace

void drawTube(const std::vector<Vec3>& nodes, const std::vector<double>& radii, int sides) {
  std::vector<TubeRing> rings = tubeRings(nodes, radii, sides);
  for (size_t i = 0; i + 1 < rings.size(); ++i) emitStrip(rings[i], rings[i + 1], i, rings.size(), sides);
}

void drawBranches(const TreeModel& model) {
  glEnable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glColor3fv(g_fBranchColor);
  for (size_t b = 0; b < model.branches.size(); ++b) {
    std::vector<Vec3> nodes = model.branches[b]->nodes;
    std::vector<double> radii = model.branches[b]->radii;
    if (nodes.size() < 2 || radii.size() != nodes.size()) continue;
    subdivideBranch(nodes, radii);
    drawTube(nodes, radii, b == 0 ? 12 : 8);
  }
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
