#include "foliage/leaf_mesh.h"

#include "foliage/leaf_shape.h"
#include "foliage/tree_display.h"
#include "settings/settings.h"

namespace {

// A column-major leaf matrix applied to a point (w = 1) or, without the translation, to a
// normal (leaf matrices are rotations and translations only).
Vec3 transform(const Mat4& m, const Vec3& p, double w) {
  return Vec3(m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12] * w, m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13] * w,
              m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14] * w);
}

}  // namespace

MeshTriangles treeLeafTriangles(TreeModel& model) {
  MeshTriangles mesh;
  if (!treeLeavesShown()) return mesh;
  const LeafStem stem = leafStem(model, g_dLeafSize);
  const LeafBlade blade = leafBlade(model, g_dLeafSize);
  forEachTreeLeafFrame(model, [&](const Mat4& frame) {
    auto add = [&](size_t v, const std::vector<Vec3>& vertices, const Vec3& normal) {
      mesh.vertices.push_back(transform(frame, vertices[v], 1.0));
      mesh.normals.push_back(transform(frame, normal, 0.0));
    };
    // Quad strip: vertex 2i on the upper ring, 2i + 1 on the lower; the quad (2i, 2i + 1,
    // 2i + 3, 2i + 2) faces outwards in that order, as the branch tubes do.
    for (size_t k = 0; k < stem.stripCount(); ++k) {
      const size_t base = k * LeafStem::kStripSize;
      for (size_t i = 0; i + 1 < LeafStem::kStripSize / 2; ++i) {
        const size_t q[4] = {base + 2 * i, base + 2 * i + 1, base + 2 * i + 3, base + 2 * i + 2};
        for (size_t v : {q[0], q[1], q[2], q[0], q[2], q[3]}) add(v, stem.vertices, stem.normals[v]);
      }
    }
    for (size_t v = 0; v < blade.vertices.size(); ++v) add(v, blade.vertices, blade.normals[v / 3]);
  });
  return mesh;
}
