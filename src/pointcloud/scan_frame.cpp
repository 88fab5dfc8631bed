#include "pointcloud/scan_frame.h"

namespace {

double& at(Vec3& v, int i) {
  return i == 0 ? v.x : (i == 1 ? v.y : v.z);
}
double at(const Vec3& v, int i) {
  return i == 0 ? v.x : (i == 1 ? v.y : v.z);
}

}  // namespace

Vec3 ScanFrame::toRead(const Vec3& file) const {
  Vec3 read;
  for (int i = 0; i < 3; ++i) at(read, i) = sign[i] * (at(file, axis[i]) - at(absolute, axis[i]));
  return read;
}

Vec3 ScanFrame::toScan(const Vec3& model) const {
  const Vec3 read = model / scale + shift;
  Vec3 file;
  for (int i = 0; i < 3; ++i) at(file, axis[i]) = sign[i] * at(read, i) + at(absolute, axis[i]);
  return file;
}
