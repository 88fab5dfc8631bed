// The compiled leaf shape: a stem tube of triangular cross-section and the blade triangles,
// both scaled by the leaf size.

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "settings/settings.h"
#include "tree/tree_model.h"

namespace {

constexpr int kStemSides = 3;

struct StemFrame {
  Vec3 u, b;
};

// First side vector at right angles to d, before normalising.
Vec3 firstSide(const Vec3& d) {
  const double dx = d.x, dy = d.y, dz = d.z;
  if (dx * dy * dz != 0.0) return Vec3(dy * dy + dz * dz, -dx * dy, -dx * dz);
  if (dx == 0.0) return Vec3(0, -dz, dy);
  if (dy != 0.0) return Vec3(-dy, dx, 0);
  return Vec3(dz, 0, -dx);
}

StemFrame firstFrame(const Vec3& p0, const Vec3& p1) {
  if (!p0.valid() || !p1.valid()) return {Vec3(0, 0, 0), Vec3(0, 0, 0)};
  Vec3 d = p1 - p0;
  Vec3 u = normalised(firstSide(d));
  return {u, normalised(crossOrZero(d, u))};
}

// Frame at a point, carried on from the previous frame about the local direction n.
StemFrame nextFrame(const StemFrame& previous, const Vec3& n) {
  Vec3 u = normalised(crossOrZero(previous.b, n));
  return {u, normalised(crossOrZero(n, u))};
}

struct StemRing {
  Vec3 normals[kStemSides];
  Vec3 vertices[kStemSides];
};

StemRing stemRing(const Vec3& p, const StemFrame& frame, double width, double leafSize) {
  StemRing ring;
  for (int i = 0; i < kStemSides; ++i) {
    double theta = i * 2 * kPi / kStemSides;
    double c = std::cos(theta), s = std::sin(theta);
    Vec3 n = frame.u * c + frame.b * s;
    ring.normals[i] = n;
    ring.vertices[i] = (p + n * 0.5 * width) * leafSize;
  }
  return ring;
}

// Three quads as one strip of 8 vertices, closed on the first side.
void emitStemSegment(const StemRing& start, const StemRing& end) {
  glBegin(GL_QUAD_STRIP);
  for (int k = 0; k <= kStemSides; ++k) {
    int i = k % kStemSides;
    glNormal3d(end.normals[i].x, end.normals[i].y, end.normals[i].z);
    glVertex3d(end.vertices[i].x, end.vertices[i].y, end.vertices[i].z);
    glNormal3d(start.normals[i].x, start.normals[i].y, start.normals[i].z);
    glVertex3d(start.vertices[i].x, start.vertices[i].y, start.vertices[i].z);
  }
  glEnd();
}

}  // namespace

void TreeModel::compileLeafShape() {
  if (leafShapeList != 0) {
    glDeleteLists(leafShapeList, 1);
    leafShapeList = 0;
  }
  leafShapeList = glGenLists(1);
  glNewList(leafShapeList, GL_COMPILE);
  drawLeafShape(g_fLeafColor);
  glEndList();
}

void TreeModel::drawLeafShape(const float color[3]) const {
  const double leafSize = g_dLeafSize;
  glEnable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glColor3f(static_cast<float>(stemColor.x), static_cast<float>(stemColor.y), static_cast<float>(stemColor.z));
  drawLeafStem();
  glColor3fv(color);

  // The loader guarantees indices inside the vertex block; a model filled by hand is
  // checked here too, so a bad index skips its triangle instead of reading past the list.
  const size_t vertexCount = leafVertices.size();
  const bool haveTexCoords = leafTexCoords.size() >= 2 * vertexCount;
  const size_t triangles = std::min(leafTriangles.size() / 3, leafNormals.size());
  glBegin(GL_TRIANGLES);
  for (size_t t = 0; t < triangles; ++t) {
    const int* index = &leafTriangles[3 * t];
    bool inside = true;
    for (int k = 0; k < 3; ++k) inside = inside && index[k] >= 0 && static_cast<size_t>(index[k]) < vertexCount;
    if (!inside) continue;
    const Vec3& n = leafNormals[t];
    glNormal3f(static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z));
    for (int k = 0; k < 3; ++k) {
      const size_t v = static_cast<size_t>(index[k]);
      if (haveTexCoords) glTexCoord2d(leafTexCoords[2 * v], leafTexCoords[2 * v + 1]);
      const Vec3& p = leafVertices[v];
      const Vec3 q = p * leafSize;
      glVertex3d(q.x, q.y, q.z);
    }
  }
  glEnd();
}

void TreeModel::drawLeafStem() const {
  const size_t count = std::min(stemPoints.size(), stemWidths.size());
  if (count < 2) return;
  const double leafSize = g_dLeafSize;
  StemFrame frame = firstFrame(stemPoints[0], stemPoints[1]);
  StemRing start = stemRing(stemPoints[0], frame, stemWidths[0], leafSize);
  for (size_t k = 0; k + 1 < count; ++k) {
    const bool lastPoint = k + 2 == count;
    Vec3 n = lastPoint ? stemPoints[k + 1] - stemPoints[k] : stemPoints[k + 2] - stemPoints[k + 1];
    frame = nextFrame(frame, n);
    StemRing end = stemRing(stemPoints[k + 1], frame, stemWidths[k + 1], leafSize);
    emitStemSegment(start, end);
    start = end;
  }
}
