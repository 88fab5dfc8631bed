// The compiled leaf shape: records the stem and blade geometry of foliage/leaf_shape.h in
// the stem and leaf colours.

#include <GL/gl.h>

#include "foliage/leaf_shape.h"
#include "settings/settings.h"
#include "tree/tree_model.h"

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
  glEnable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glColor3f(static_cast<float>(stemColor.x), static_cast<float>(stemColor.y), static_cast<float>(stemColor.z));
  drawLeafStem();
  glColor3fv(color);

  const LeafBlade blade = leafBlade(*this, g_dLeafSize);
  const bool haveTexCoords = !blade.texCoords.empty();
  glBegin(GL_TRIANGLES);
  for (size_t t = 0; t < blade.normals.size(); ++t) {
    const Vec3& n = blade.normals[t];
    glNormal3f(static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z));
    for (size_t v = 3 * t; v < 3 * t + 3; ++v) {
      if (haveTexCoords) glTexCoord2d(blade.texCoords[2 * v], blade.texCoords[2 * v + 1]);
      const Vec3& p = blade.vertices[v];
      glVertex3d(p.x, p.y, p.z);
    }
  }
  glEnd();
}

void TreeModel::drawLeafStem() const {
  const LeafStem stem = leafStem(*this, g_dLeafSize);
  for (size_t k = 0; k < stem.stripCount(); ++k) {
    glBegin(GL_QUAD_STRIP);
    for (size_t v = k * LeafStem::kStripSize; v < (k + 1) * LeafStem::kStripSize; ++v) {
      glNormal3d(stem.normals[v].x, stem.normals[v].y, stem.normals[v].z);
      glVertex3d(stem.vertices[v].x, stem.vertices[v].y, stem.vertices[v].z);
    }
    glEnd();
  }
}
