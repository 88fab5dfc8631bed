#include <GL/gl.h>

#include "voxel/voxel_volume.h"

void drawWireBox(const PointRecord& a, const PointRecord& b) {
  glBegin(GL_LINES);
  // Four edges along X, then four along Y, then four along Z.
  for (const double y : {a.y, b.y}) {
    for (const double z : {a.z, b.z}) {
      glVertex3d(a.x, y, z);
      glVertex3d(b.x, y, z);
    }
  }
  for (const double x : {a.x, b.x}) {
    for (const double z : {a.z, b.z}) {
      glVertex3d(x, a.y, z);
      glVertex3d(x, b.y, z);
    }
  }
  for (const double x : {a.x, b.x}) {
    for (const double y : {a.y, b.y}) {
      glVertex3d(x, y, a.z);
      glVertex3d(x, y, b.z);
    }
  }
  glEnd();
}

void VoxelVolume::draw() const {
  glDisable(GL_LIGHTING);
  glColor3f(0.3f, 0.3f, 0.3f);
  if (dimY == 0) return;
  const double s = voxelSize;
  const size_t layer = size_t(dimX) * size_t(dimZ);
  if (dimX <= 0 || dimZ <= 0 || dimY < 0 || labels.size() < layer * size_t(dimY)) return;
  for (int32_t iy = 0; iy < dimY; ++iy) {
    for (int32_t iz = 0; iz < dimZ; ++iz) {
      for (int32_t ix = 0; ix < dimX; ++ix) {
        if (labels[ix + size_t(dimX) * (iz + size_t(dimZ) * iy)] == 0) continue;
        PointRecord a, b;
        a.x = minCorner.x + ix * s;
        a.y = minCorner.y + iy * s;
        a.z = minCorner.z + iz * s;
        b.x = minCorner.x + (ix + 1) * s;
        b.y = minCorner.y + (iy + 1) * s;
        b.z = minCorner.z + (iz + 1) * s;
        drawWireBox(a, b);
      }
    }
  }
}
