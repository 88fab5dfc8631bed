#include "app/view_camera.h"

#include <algorithm>
#include <cmath>

#include "tree/geometry.h"

namespace {

double tanHalfFov() {
  return std::tan(kViewFieldOfViewY * kPi / 360.0);
}

double aspectOf(int width, int height) {
  return double(width) / double(height > 0 ? height : 1);
}

// Rx(rotX) * Ry(rotY) * Rz(rotZ) applied to p, as glRotate composes them.
ViewPoint rotate(const ViewPose& pose, const ViewPoint& p) {
  const double rz = pose.rotZ * kPi / 180.0, ry = pose.rotY * kPi / 180.0, rx = pose.rotX * kPi / 180.0;
  ViewPoint a{p.x * std::cos(rz) - p.y * std::sin(rz), p.x * std::sin(rz) + p.y * std::cos(rz), p.z};
  ViewPoint b{a.x * std::cos(ry) + a.z * std::sin(ry), a.y, -a.x * std::sin(ry) + a.z * std::cos(ry)};
  return {b.x, b.y * std::cos(rx) - b.z * std::sin(rx), b.y * std::sin(rx) + b.z * std::cos(rx)};
}

void corners(const ViewBox& box, ViewPoint out[8]) {
  for (int i = 0; i < 8; ++i) {
    out[i] = {(i & 1) ? box.max.x : box.min.x, (i & 2) ? box.max.y : box.min.y, (i & 4) ? box.max.z : box.min.z};
  }
}

// Depth in front of the eye of the pivot, kept off the near plane so speeds never vanish.
double pivotDepth(const ViewPose& pose, const ViewPoint& pivot) {
  return std::max(-eyeOf(pose, pivot).z, 4.0 * kViewNear);
}

}  // namespace

ViewPoint ViewBox::centre() const {
  return {0.5 * (min.x + max.x), 0.5 * (min.y + max.y), 0.5 * (min.z + max.z)};
}

bool ViewBox::valid() const {
  const double v[] = {min.x, min.y, min.z, max.x, max.y, max.z};
  for (double d : v)
    if (!std::isfinite(d)) return false;
  return min.x <= max.x && min.y <= max.y && min.z <= max.z;
}

ViewPoint eyeOf(const ViewPose& pose, const ViewPoint& p) {
  const ViewPoint r = rotate(pose, p);
  return {r.x + pose.camX, r.y + pose.camY, r.z + pose.camZ};
}

bool projectToWindow(const ViewPose& pose, int width, int height, const ViewPoint& p, double* wx, double* wy) {
  const ViewPoint e = eyeOf(pose, p);
  if (-e.z < kViewNear) return false;
  const double t = tanHalfFov();
  const double ndcX = e.x / (-e.z * t * aspectOf(width, height));
  const double ndcY = e.y / (-e.z * t);
  *wx = 0.5 * (ndcX + 1.0) * width;
  *wy = 0.5 * (1.0 - ndcY) * height;
  return true;
}

BoxInView boxInView(const ViewPose& pose, int width, int height, const ViewBox& box) {
  BoxInView r;
  if (!box.valid() || width <= 0 || height <= 0) return r;
  ViewPoint c[8];
  corners(box, c);
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  bool inside = true;
  for (const ViewPoint& p : c) {
    double wx = 0.0, wy = 0.0;
    if (!projectToWindow(pose, width, height, p, &wx, &wy) || -eyeOf(pose, p).z > kViewFar) return r;
    inside = inside && wx >= 0.0 && wx <= width && wy >= 0.0 && wy <= height;
    x0 = std::min(x0, wx), x1 = std::max(x1, wx), y0 = std::min(y0, wy), y1 = std::max(y1, wy);
  }
  r.inside = inside;
  r.widthShare = (x1 - x0) / width;
  r.heightShare = (y1 - y0) / height;
  return r;
}

// Each corner e (rotated, before the camera) must satisfy |e.x + camX| <= ax * depth and
// |e.y + camY| <= ay * depth with depth = -(e.z + camZ). Per axis the two bounds give
// camX + ax camZ <= A and -camX + ax camZ <= B; the largest camZ (closest camera) that meets
// both is (A + B) / (2 ax) at camX = (A - B) / 2, and the smaller camZ of the two axes holds
// for both with each axis centred.
ViewPose framedPose(const ViewPose& pose, int width, int height, const ViewBox& box, double fill) {
  if (!box.valid() || width <= 0 || height <= 0) return pose;
  const double ay = tanHalfFov() * fill, ax = ay * aspectOf(width, height);
  ViewPoint c[8];
  corners(box, c);
  double a = 1e300, b = 1e300, cc = 1e300, d = 1e300, front = 1e300;
  for (const ViewPoint& p : c) {
    const ViewPoint e = rotate(pose, p);
    a = std::min(a, -e.x - ax * e.z);
    b = std::min(b, e.x - ax * e.z);
    cc = std::min(cc, -e.y - ay * e.z);
    d = std::min(d, e.y - ay * e.z);
    front = std::min(front, -e.z);
  }
  ViewPose out = pose;
  double camZ = std::min((a + b) / (2.0 * ax), (cc + d) / (2.0 * ay));
  // A flat or point-like box would put the camera into it: keep every corner off the near plane.
  camZ = std::min(camZ, front - 4.0 * kViewNear);
  out.camX = float((a - b) / 2.0);
  out.camY = float((cc - d) / 2.0);
  out.camZ = float(camZ);
  return out;
}

bool poseShowsBox(const ViewPose& pose, int width, int height, const ViewBox& box, double minShare) {
  if (!box.valid() || width <= 0 || height <= 0) return false;
  const ViewPoint c = box.centre();
  const ViewPoint ends[] = {{c.x, box.min.y, c.z}, {c.x, box.max.y, c.z}, {box.min.x, c.y, c.z},
                            {box.max.x, c.y, c.z}, {c.x, c.y, box.min.z}, {c.x, c.y, box.max.z}};
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  for (const ViewPoint& p : ends) {
    double wx = 0.0, wy = 0.0;
    if (!projectToWindow(pose, width, height, p, &wx, &wy) || -eyeOf(pose, p).z > kViewFar) return false;
    if (wx < 0.0 || wx > width || wy < 0.0 || wy > height) return false;
    x0 = std::min(x0, wx), x1 = std::max(x1, wx), y0 = std::min(y0, wy), y1 = std::max(y1, wy);
  }
  return std::max((x1 - x0) / width, (y1 - y0) / height) >= minShare;
}

double farPlaneFor(const ViewPose& pose, const ViewBox& box) {
  if (!box.valid()) return kViewFar;
  ViewPoint c[8];
  corners(box, c);
  double deepest = 0.0;
  for (const ViewPoint& p : c) deepest = std::max(deepest, -eyeOf(pose, p).z);
  // A margin past the deepest corner, so the far side is never cut at the plane itself.
  return std::max(kViewFar, 1.25 * deepest);
}

void orbitView(ViewPose& pose, const ViewPoint& pivot, double dxPixels, double dyPixels, double degreesPerPixel) {
  const ViewPoint before = eyeOf(pose, pivot);
  pose.rotY = float(std::remainder(pose.rotY + dxPixels * degreesPerPixel, 360.0));
  pose.rotX = float(std::remainder(pose.rotX + dyPixels * degreesPerPixel, 360.0));
  const ViewPoint after = eyeOf(pose, pivot);
  pose.camX += float(before.x - after.x);
  pose.camY += float(before.y - after.y);
  pose.camZ += float(before.z - after.z);
}

void panView(ViewPose& pose, const ViewPoint& pivot, int height, double dxPixels, double dyPixels) {
  const double perPixel = 2.0 * pivotDepth(pose, pivot) * tanHalfFov() / double(height > 0 ? height : 1);
  pose.camX += float(dxPixels * perPixel);
  pose.camY -= float(dyPixels * perPixel);
}

void zoomView(ViewPose& pose, const ViewPoint& pivot, int width, int height, double x, double y, double steps,
              double factor) {
  if (width <= 0 || height <= 0 || factor <= 1.0) return;
  const double depth = pivotDepth(pose, pivot);
  const double t = tanHalfFov();
  const double ndcX = 2.0 * x / width - 1.0, ndcY = 1.0 - 2.0 * y / height;
  // The point at the pivot's depth under the pointer, in eye coordinates; moving the eye
  // towards it by (1 - 1/k) of the way keeps it under the pointer and scales its distance by 1/k.
  const ViewPoint target{depth * ndcX * t * aspectOf(width, height), depth * ndcY * t, -depth};
  const double share = 1.0 - std::pow(factor, -steps);
  pose.camX -= float(target.x * share);
  pose.camY -= float(target.y * share);
  pose.camZ -= float(target.z * share);
}
