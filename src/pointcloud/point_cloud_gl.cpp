// Drawing of the point cloud: the points with their colours and the ground points, and the
// reference frame of box, bottom as read and axes. Immediate mode, lighting off.

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "pointcloud/point_cloud.h"
#include "settings/settings.h"
#include "tree/geometry.h"

namespace {

// Arrowheads: rim radius, rim steps around the axis, and how far the axes reach past the box.
constexpr double kArrowRadius = 0.25;
constexpr int kArrowSteps = 8;
constexpr double kAxisReach = 1.2;

void vertex(double x, double y, double z) {
  glVertex3d(x, y, z);
}

// One GL_LINES segment; call between glBegin(GL_LINES) and glEnd.
void segment(double x1, double y1, double z1, double x2, double y2, double z2) {
  glVertex3d(x1, y1, z1);
  glVertex3d(x2, y2, z2);
}

void boxEdges(const PointRecord& lo, const PointRecord& hi) {
  glBegin(GL_LINES);
  // Bottom and top rectangles, then the four vertical edges.
  for (double y : {lo.y, hi.y}) {
    segment(lo.x, y, lo.z, hi.x, y, lo.z);
    segment(hi.x, y, lo.z, hi.x, y, hi.z);
    segment(hi.x, y, hi.z, lo.x, y, hi.z);
    segment(lo.x, y, hi.z, lo.x, y, lo.z);
  }
  for (double x : {lo.x, hi.x}) {
    for (double z : {lo.z, hi.z}) segment(x, lo.y, z, x, hi.y, z);
  }
  glEnd();
}

// The rectangle at height base.y through (base.x, base.z), (base.x, max.z), (max.x, max.z), (max.x, base.z).
void baseRectangle(const PointRecord& base, const PointRecord& hi) {
  const double y = base.y;
  glBegin(GL_LINES);
  segment(base.x, y, base.z, base.x, y, hi.z);
  segment(base.x, y, hi.z, hi.x, y, hi.z);
  segment(hi.x, y, hi.z, hi.x, y, base.z);
  segment(hi.x, y, base.z, base.x, y, base.z);
  glEnd();
}

// A cone as a triangle fan: the apex, then rim(cos, sin) for 9 angles k * 2pi / 8, k = 0 .. 8.
template <typename Rim>
void arrowhead(double apexX, double apexY, double apexZ, Rim rim) {
  glBegin(GL_TRIANGLE_FAN);
  vertex(apexX, apexY, apexZ);
  for (int k = 0; k <= kArrowSteps; ++k) {
    const double theta = k * 2 * kPi / kArrowSteps;
    rim(kArrowRadius * std::cos(theta), kArrowRadius * std::sin(theta));
  }
  glEnd();
}

}  // namespace

void PointCloud::drawPoints() const {
  glDisable(GL_LIGHTING);
  glPointSize(2.0f);
  glColor3d(0.0, 0.0, 0.0);
  const bool coloured = !colours.empty();
  const size_t shown = std::min<size_t>(count, points.size());
  glBegin(GL_POINTS);
  for (size_t i = 0; i < shown; ++i) {
    if (coloured && i < colours.size()) glColor3d(colours[i].x, colours[i].y, colours[i].z);
    vertex(points[i].x, points[i].y, points[i].z);
  }
  glEnd();

  glColor3d(0.5, 0.5, 0.5);
  glBegin(GL_POINTS);
  if (g_bShowGroundPoints && !groundPoints.empty()) {
    const size_t grounds = std::min<size_t>(fileCount, groundPoints.size());
    for (size_t i = 0; i < grounds; ++i) vertex(groundPoints[i].x, groundPoints[i].y, groundPoints[i].z);
  }
  glEnd();
  glPointSize(1.0f);
}

void PointCloud::drawFrame() const {
  const PointRecord& lo = minCorner;
  const PointRecord& hi = maxCorner;
  const PointRecord& base = baseCorner;
  glDisable(GL_LIGHTING);
  glColor3d(0.0, 0.0, 0.0);
  glLineWidth(2.0f);
  boxEdges(lo, hi);

  if (lo.y != base.y) {
    glColor3d(0.8, 0.0, 0.0);
    baseRectangle(base, hi);
  }

  glColor3d(0.0, 0.0, 0.5);
  const double reachX = kAxisReach * hi.x, reachY = kAxisReach * hi.y, reachZ = kAxisReach * hi.z;
  glBegin(GL_LINES);
  segment(0, lo.y, 0, reachX, lo.y, 0);
  segment(0, lo.y, 0, 0, reachY, 0);
  segment(0, lo.y, 0, 0, lo.y, reachZ);
  glEnd();

  arrowhead(0, reachY + 1, 0, [&](double c, double s) { vertex(c, reachY, s); });
  arrowhead(reachX + 1, lo.y, 0, [&](double c, double s) { vertex(reachX, lo.y + c, s); });
  arrowhead(0, lo.y, reachZ + 1, [&](double c, double s) { vertex(c, lo.y + s, reachZ); });
  glLineWidth(1.0f);
}
