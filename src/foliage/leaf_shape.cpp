#include "foliage/leaf_shape.h"

#include <algorithm>
#include <cmath>

namespace {

// First side vector at right angles to d, before normalising.
Vec3 firstSide(const Vec3& d) {
  const double dx = d.x, dy = d.y, dz = d.z;
  if (dx * dy * dz != 0.0) return Vec3(dy * dy + dz * dz, -dx * dy, -dx * dz);
  return perpendicularAtZero(d);
}

RingFrame firstFrame(const Vec3& p0, const Vec3& p1) {
  if (!p0.valid() || !p1.valid()) return {Vec3(0, 0, 0), Vec3(0, 0, 0)};
  Vec3 d = p1 - p0;
  Vec3 u = normalised(firstSide(d));
  return {u, normalised(crossOrZero(d, u))};
}

struct StemRing {
  Vec3 normals[kLeafStemSides];
  Vec3 vertices[kLeafStemSides];
};

StemRing stemRing(const Vec3& p, const RingFrame& frame, double width, double leafSize) {
  StemRing ring;
  for (int i = 0; i < kLeafStemSides; ++i) {
    double theta = i * 2 * kPi / kLeafStemSides;
    double c = std::cos(theta), s = std::sin(theta);
    Vec3 n = frame.u * c + frame.w * s;
    ring.normals[i] = n;
    ring.vertices[i] = (p + n * 0.5 * width) * leafSize;
  }
  return ring;
}

// Three quads as one strip of 8 vertices, closed on the first side.
void addStemStrip(const StemRing& start, const StemRing& end, LeafStem& stem) {
  for (int k = 0; k <= kLeafStemSides; ++k) {
    int i = k % kLeafStemSides;
    stem.normals.push_back(end.normals[i]);
    stem.vertices.push_back(end.vertices[i]);
    stem.normals.push_back(start.normals[i]);
    stem.vertices.push_back(start.vertices[i]);
  }
}

}  // namespace

LeafStem leafStem(const TreeModel& model, double leafSize) {
  LeafStem stem;
  const std::vector<Vec3>& points = model.stemPoints;
  const std::vector<double>& widths = model.stemWidths;
  const size_t count = std::min(points.size(), widths.size());
  if (count < 2) return stem;
  stem.normals.reserve((count - 1) * LeafStem::kStripSize);
  stem.vertices.reserve((count - 1) * LeafStem::kStripSize);
  RingFrame frame = firstFrame(points[0], points[1]);
  StemRing start = stemRing(points[0], frame, widths[0], leafSize);
  for (size_t k = 0; k + 1 < count; ++k) {
    const bool lastPoint = k + 2 == count;
    frame = carryFrame(frame, lastPoint ? points[k + 1] - points[k] : points[k + 2] - points[k + 1]);
    StemRing end = stemRing(points[k + 1], frame, widths[k + 1], leafSize);
    addStemStrip(start, end, stem);
    start = end;
  }
  return stem;
}

// The loader guarantees indices inside the vertex block; a model filled by hand is checked
// here too, so a bad index skips its triangle instead of reading past the list.
LeafBlade leafBlade(const TreeModel& model, double leafSize) {
  LeafBlade blade;
  const size_t vertexCount = model.leafVertices.size();
  const bool haveTexCoords = model.leafTexCoords.size() >= 2 * vertexCount;
  const size_t triangles = std::min(model.leafTriangles.size() / 3, model.leafNormals.size());
  for (size_t t = 0; t < triangles; ++t) {
    const int* index = &model.leafTriangles[3 * t];
    bool inside = true;
    for (int k = 0; k < 3; ++k) inside = inside && index[k] >= 0 && static_cast<size_t>(index[k]) < vertexCount;
    if (!inside) continue;
    blade.normals.push_back(model.leafNormals[t]);
    for (int k = 0; k < 3; ++k) {
      const size_t v = static_cast<size_t>(index[k]);
      if (haveTexCoords) {
        blade.texCoords.push_back(model.leafTexCoords[2 * v]);
        blade.texCoords.push_back(model.leafTexCoords[2 * v + 1]);
      }
      blade.vertices.push_back(model.leafVertices[v] * leafSize);
    }
  }
  return blade;
}
