// The graph layer of the scene: vertex markers coloured by growth state, the graph edges or
// the skeleton, and the direction field as arrows.

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

#include "settings/settings.h"
#include "skeleton/tree_reconstructor.h"

namespace {

constexpr double kArrowLength = 0.4;
// 0.1 * cos 30 and 0.1 * sin 30 degrees as evaluated in double precision.
constexpr double kConeAxial = 0.08660254037844388;
constexpr double kConeRadial = 0.049999999999999996;

// The marker sphere's display list, compiled once and kept for the run.
GLuint g_sphereList = 0;
bool g_sphereBuilt = false;

// The edges drawn last, as vertex pairs (i < j), and the edge store revision they come from:
// finding every row is far dearer than drawing it, so it is redone only when the edges change.
struct DrawnEdges {
  uint64_t revision = 0;
  std::vector<uint32_t> ends;
} g_drawnEdges;

const std::vector<uint32_t>& edgeEnds(const NeighbourGraph& graph, uint32_t n) {
  if (g_drawnEdges.revision == graph.revision()) return g_drawnEdges.ends;
  g_drawnEdges.ends.clear();
  std::vector<EdgeEntry> row;
  for (uint32_t i = 0; i < n; ++i) {
    graph.row(i, nullptr, row);
    for (const EdgeEntry& e : row) {
      if (e.vertex > i && e.length > 0.0) {
        g_drawnEdges.ends.push_back(i);
        g_drawnEdges.ends.push_back(e.vertex);
      }
    }
  }
  g_drawnEdges.revision = graph.revision();
  return g_drawnEdges.ends;
}

void vertex(const Vec3& p) {
  glVertex3d(p.x, p.y, p.z);
}

// A solid sphere about the origin with its poles on the z axis, as quad strips with unit
// normals. Drawn with glBegin/glEnd rather than gluSphere, whose compiled lists crash
// Mesa's software rasteriser when replayed in feedback mode.
void solidSphere(double radius, int slices, int stacks) {
  for (int i = 0; i < stacks; ++i) {
    const double t0 = kPi * i / stacks, t1 = kPi * (i + 1) / stacks;
    glBegin(GL_QUAD_STRIP);
    for (int j = 0; j <= slices; ++j) {
      const double phi = 2.0 * kPi * j / slices;
      const double c = std::cos(phi), s = std::sin(phi);
      for (double t : {t0, t1}) {
        const double nx = std::sin(t) * c, ny = std::sin(t) * s, nz = std::cos(t);
        glNormal3d(nx, ny, nz);
        glVertex3d(radius * nx, radius * ny, radius * nz);
      }
    }
    glEnd();
  }
}

void marker(const Vec3& p, double scale, double radius) {
  glPushMatrix();
  glTranslated(p.x, p.y, p.z);
  glScaled(scale, scale, scale);
  TreeReconstructor::drawMarkerSphere(radius, 8, 8);
  glPopMatrix();
}

}  // namespace

void TreeReconstructor::drawMarkerSphere(double radius, int slices, int stacks) {
  if (g_sphereBuilt) {
    glCallList(g_sphereList);
    return;
  }
  g_sphereList = glGenLists(1);
  glNewList(g_sphereList, GL_COMPILE);
  solidSphere(radius, slices, stacks);
  glEndList();
  g_sphereBuilt = true;
}

void TreeReconstructor::drawGraph() {
  const uint32_t n = nVoxels;
  if (!hasGraph() || visited.size() != n || directions.size() != n) return;
  const double radius = volume->voxelSize;

  glEnable(GL_LIGHTING);
  const int root = rootVoxel, second = secondVoxel;
  auto isRootPair = [&](uint32_t i) { return static_cast<int>(i) == root || static_cast<int>(i) == second; };
  glColor3d(0.05, 0.7, 0.2);
  for (uint32_t i = 0; i < n; ++i) {
    if (!isRootPair(i) && visited[i] == 0) marker(positions[i], markerSize, radius);
  }
  glColor3d(0.9, 0.5, 0.1);
  for (uint32_t i = 0; i < n; ++i) {
    if (!isRootPair(i) && visited[i] != 0) marker(positions[i], markerSize, radius);
  }
  // A root pair left from a larger graph (voxel size changed since) is not drawn.
  glColor3d(0.8, 0.0, 0.0);
  if (isVertex(root)) marker(positions[root], markerSize, radius);
  if (isVertex(second)) marker(positions[second], markerSize, radius);

  glDisable(GL_LIGHTING);
  glLineWidth(1.0f);
  if (g_bShowPathTree) {
    drawSkeleton();
  } else {
    glColor3d(0.15, 0.1, 0.7);
    glBegin(GL_LINES);
    for (uint32_t end : edgeEnds(distances, n)) vertex(positions[end]);
    glEnd();
  }
  if (g_bShowDirections) drawDirectionField();
  glLineWidth(1.0f);
}

void TreeReconstructor::drawSkeleton() const {
  glPointSize(4.0f);
  glColor3d(0.0, 0.0, 0.8);
  glBegin(GL_POINTS);
  for (const SkeletonNode& node : skeletonNodes) vertex(node.position);
  glEnd();
  glPointSize(1.0f);

  glColor3d(0.8, 0.0, 0.0);
  if (skeletonNodes.empty()) return;
  glBegin(GL_LINES);
  std::deque<uint32_t> queue{0};
  while (!queue.empty()) {
    const uint32_t p = queue.front();
    queue.pop_front();
    for (uint32_t c : skeletonNodes[p].childNodes) {
      if (c >= skeletonNodes.size()) continue;
      vertex(skeletonNodes[p].position);
      vertex(skeletonNodes[c].position);
      queue.push_back(c);
    }
  }
  glEnd();
}

void TreeReconstructor::drawDirectionField() {
  const uint32_t n = nVoxels;
  std::vector<Vec3> units(n);
  for (uint32_t i = 0; i < n; ++i) {
    Vec3& d = directions[i];
    const double len = length(d);
    if (d.status != kVecValid) {
      d.status = kVecFromInvalid;
    } else if (len == 0.0) {
      d.status = kVecFromZeroLength;
    } else {
      units[i] = d / len;
    }
  }
  auto tipOf = [&](uint32_t i) { return positions[i] + kArrowLength * units[i]; };

  glDisable(GL_LIGHTING);
  glLineWidth(1.0f);
  glColor3d(1.0, 0.0, 0.0);
  glBegin(GL_LINES);
  for (uint32_t i = 0; i < n; ++i) {
    vertex(positions[i]);
    vertex(tipOf(i));
  }
  glEnd();
  glColor3d(1.0, 0.0, 0.0);
  for (uint32_t i = 0; i < n; ++i) drawArrowHead(tipOf(i), units[i]);
}

void TreeReconstructor::drawArrowHead(const Vec3& tip, const Vec3& d) {
  const double ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
  Vec3 axis(1, 0, 0);
  if (std::min(ax, ay) > az) {
    axis = Vec3(0, 0, 1);
  } else if (ax > ay) {
    axis = Vec3(0, 1, 0);
  }
  const Vec3 P = cross(d, axis);
  const Vec3 Q = cross(P, d);
  glBegin(GL_TRIANGLE_FAN);
  vertex(tip);
  for (int k = 0; k <= 16; ++k) {
    const double phi = k * 2.0 * kPi / 16.0;
    const double c = std::cos(phi), s = std::sin(phi);
    vertex(tip - kConeAxial * d + kConeRadial * (c * P + s * Q));
  }
  glEnd();
}
