// The view maths against an independent reference: the modelview and projection matrices
// built as GL builds them (glTranslate, glRotate x3, gluPerspective) and multiplied out.

#include "app/view_camera.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {

using Mat = std::array<double, 16>;  // column-major, as GL stores it

Mat multiply(const Mat& a, const Mat& b) {
  Mat r{};
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row)
      for (int k = 0; k < 4; ++k) r[c * 4 + row] += a[k * 4 + row] * b[c * 4 + k];
  return r;
}

// glRotate's matrix for a unit axis.
Mat rotation(double degrees, double x, double y, double z) {
  const double a = degrees * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
  Mat m{};
  m[15] = 1.0;
  m[0] = x * x * (1 - c) + c, m[4] = x * y * (1 - c) - z * s, m[8] = x * z * (1 - c) + y * s;
  m[1] = y * x * (1 - c) + z * s, m[5] = y * y * (1 - c) + c, m[9] = y * z * (1 - c) - x * s;
  m[2] = x * z * (1 - c) - y * s, m[6] = y * z * (1 - c) + x * s, m[10] = z * z * (1 - c) + c;
  return m;
}

Mat modelview(const ViewPose& p) {
  const Mat t{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, p.camX, p.camY, p.camZ, 1};  // glTranslate
  return multiply(multiply(multiply(t, rotation(p.rotX, 1, 0, 0)), rotation(p.rotY, 0, 1, 0)),
                  rotation(p.rotZ, 0, 0, 1));
}

std::array<double, 4> apply(const Mat& m, double x, double y, double z) {
  std::array<double, 4> r{};
  for (int row = 0; row < 4; ++row) r[row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
  return r;
}

// Window position (y down) and eye depth of a model point through GL's matrices.
struct Projected {
  double x, y, depth;
};
Projected reference(const ViewPose& pose, int w, int h, const ViewPoint& p) {
  const auto e = apply(modelview(pose), p.x, p.y, p.z);
  const double f = 1.0 / std::tan(kViewFieldOfViewY * M_PI / 360.0), aspect = double(w) / h;
  const double clipW = -e[2];
  return {0.5 * (f / aspect * e[0] / clipW + 1.0) * w, 0.5 * (1.0 - f * e[1] / clipW) * h, -e[2]};
}

struct Extent {
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300, nearest = 1e300, farthest = 0;
};
Extent projectedBox(const ViewPose& pose, int w, int h, const ViewBox& b) {
  Extent e;
  for (int i = 0; i < 8; ++i) {
    const ViewPoint c{(i & 1) ? b.max.x : b.min.x, (i & 2) ? b.max.y : b.min.y, (i & 4) ? b.max.z : b.min.z};
    const Projected p = reference(pose, w, h, c);
    e.x0 = std::min(e.x0, p.x), e.x1 = std::max(e.x1, p.x);
    e.y0 = std::min(e.y0, p.y), e.y1 = std::max(e.y1, p.y);
    e.nearest = std::min(e.nearest, p.depth), e.farthest = std::max(e.farthest, p.depth);
  }
  return e;
}

}  // namespace

TEST(ViewCamera, EyeAndWindowPositionsMatchTheGlMatrices) {
  const ViewPose p{23.0f, -140.0f, 7.5f, 1.5f, -3.0f, -30.0f};
  for (const ViewPoint q : {ViewPoint{0, 0, 0}, ViewPoint{2, 8, -1}, ViewPoint{-4, 3, 5}}) {
    double wx = 0, wy = 0;
    ASSERT_TRUE(projectToWindow(p, 1600, 900, q, &wx, &wy));
    const Projected r = reference(p, 1600, 900, q);
    EXPECT_NEAR(wx, r.x, 1e-6);
    EXPECT_NEAR(wy, r.y, 1e-6);
    EXPECT_NEAR(eyeOf(p, q).z, -r.depth, 1e-5);
  }
}

// Any box, rotation and window shape: the framed box lies inside the window, touches the
// fill margin on one axis (as large as fits) and sits in the middle.
TEST(ViewCamera, FramedBoxFillsTheViewportAndStaysInside) {
  const ViewBox boxes[] = {
      ViewBox{{-5, 0, -5}, {5, 16, 5}},                 // a bundled 16-unit model
      ViewBox{{-3.2, 0, -2.9}, {3.2, 24.7, 2.9}},       // a tall tree in metres
      ViewBox{{-40, 0, -35}, {40, 12, 35}},             // a wide stand
      ViewBox{{-1, 0, -1}, {1, 0, 1}},                  // flat
      ViewBox{{1000, 200, -3000}, {1004, 230, -2990}},  // far from the origin
  };
  const ViewPose poses[] = {{10, 0, 0}, {30, 45, 0}, {-20, 200, 15}, {85, 0, 0}};
  const int sizes[][2] = {{1600, 900}, {600, 900}, {1920, 1080}};
  for (const ViewBox& b : boxes)
    for (const ViewPose& start : poses)
      for (const auto& s : sizes) {
        SCOPED_TRACE(::testing::Message() << b.max.y << " " << start.rotX << "," << start.rotY << " " << s[0]);
        const ViewPose framed = framedPose(start, s[0], s[1], b, 0.9);
        EXPECT_TRUE(framed.rotX == start.rotX && framed.rotY == start.rotY && framed.rotZ == start.rotZ);
        const Extent e = projectedBox(framed, s[0], s[1], b);
        ASSERT_GT(e.nearest, kViewNear);
        const double tol = 0.5;  // pixels
        // Inside the 90 % margin on both axes...
        EXPECT_TRUE(e.x0 >= 0.05 * s[0] - tol && e.x1 <= 0.95 * s[0] + tol) << e.x0 << " " << e.x1;
        EXPECT_TRUE(e.y0 >= 0.05 * s[1] - tol && e.y1 <= 0.95 * s[1] + tol) << e.y0 << " " << e.y1;
        // ...touching it on one axis (the flat box may be held off by the near plane)...
        const double xShare = (e.x1 - e.x0) / s[0], yShare = (e.y1 - e.y0) / s[1];
        const bool tight = std::fabs(std::max(xShare, yShare) - 0.9) < 1e-3;
        EXPECT_TRUE(tight || b.max.y == b.min.y) << xShare << " " << yShare;
        // ...and centred along that axis.
        EXPECT_TRUE(!tight || std::fabs(xShare > yShare ? e.x0 + e.x1 - s[0] : e.y0 + e.y1 - s[1]) < 1.0);
        // The box report agrees with the reference.
        const BoxInView v = boxInView(framed, s[0], s[1], b);
        EXPECT_TRUE(v.inside && std::fabs(v.widthShare - xShare) < 1e-6 && std::fabs(v.heightShare - yShare) < 1e-6)
            << v.widthShare << " " << v.heightShare;
      }
}

// A 16-unit model at the start view fills about two thirds of the height: a load keeps
// that view. The same tree 5 units high, or moved off the view, is framed.
TEST(ViewCamera, StartViewShowsA16UnitModelButNotASmallOrDistantOne) {
  const ViewPose start;  // rotation 10, 0, 0; camera 0, -10, -20
  EXPECT_TRUE(poseShowsBox(start, 1600, 900, ViewBox{{-5, 0, -5}, {5, 16, 5}}));
  EXPECT_TRUE(poseShowsBox(start, 1600, 900, ViewBox{{-3, 0, -3}, {3, 16, 3}}));
  EXPECT_FALSE(poseShowsBox(start, 1600, 900, ViewBox{{-1.5, 0, -1.5}, {1.5, 5, 1.5}}));
  EXPECT_FALSE(poseShowsBox(start, 1600, 900, ViewBox{{-15, 0, -15}, {15, 40, 15}}));  // cut at the top
  EXPECT_FALSE(poseShowsBox(start, 1600, 900, ViewBox{{95, 0, -5}, {105, 16, 5}}));
  EXPECT_FALSE(poseShowsBox(start, 1600, 900, ViewBox{{1, 0, 0}, {0, 1, 1}}));  // no box
}

TEST(ViewCamera, FarPlaneMovesOutOnlyForBoxesBeyondIt) {
  const ViewPose start;
  EXPECT_EQ(farPlaneFor(start, ViewBox{{-5, 0, -5}, {5, 16, 5}}), kViewFar);
  const ViewBox stand = ViewBox{{-300, 0, -300}, {300, 40, 300}};
  const ViewPose framed = framedPose(start, 1600, 900, stand);
  const double farPlane = farPlaneFor(framed, stand);
  EXPECT_GT(farPlane, kViewFar);
  EXPECT_LT(projectedBox(framed, 1600, 900, stand).farthest, farPlane);
}

// Orbiting keeps the pivot where it is on screen and turns by the drag; pan moves the pivot
// with the pointer; a wheel step keeps the point under the pointer there and brings it
// closer by the zoom factor.
TEST(ViewCamera, OrbitPanAndZoomKeepTheirFixedPoints) {
  const int w = 1600, h = 900;
  const ViewPoint pivot{0.3, 8.0, -0.2};
  ViewPose p;
  const Projected before = reference(p, w, h, pivot);
  orbitView(p, pivot, 50.0, -20.0, 0.4);
  EXPECT_FLOAT_EQ(p.rotY, 20.0f);
  EXPECT_FLOAT_EQ(p.rotX, 2.0f);
  const Projected orbited = reference(p, w, h, pivot);
  EXPECT_NEAR(std::hypot(orbited.x - before.x, orbited.y - before.y, orbited.depth - before.depth), 0.0, 1e-3);

  panView(p, pivot, h, 120.0, -45.0);
  const Projected panned = reference(p, w, h, pivot);
  EXPECT_NEAR(panned.x - orbited.x, 120.0, 1e-2);
  EXPECT_NEAR(panned.y - orbited.y, -45.0, 1e-2);

  // The model point under the pointer at the pivot's depth.
  const double cx = 1300.0, cy = 200.0, depth = panned.depth;
  const double t = std::tan(kViewFieldOfViewY * M_PI / 360.0);
  const double ex = depth * (2.0 * cx / w - 1.0) * t * w / h, ey = depth * (1.0 - 2.0 * cy / h) * t;
  const Mat m = modelview(p);
  const double d[3] = {ex - m[12], ey - m[13], -depth - m[14]};
  const ViewPoint under{m[0] * d[0] + m[1] * d[1] + m[2] * d[2], m[4] * d[0] + m[5] * d[1] + m[6] * d[2],
                        m[8] * d[0] + m[9] * d[1] + m[10] * d[2]};
  const Projected check = reference(p, w, h, under);
  ASSERT_NEAR(check.x, cx, 1e-3);
  ASSERT_NEAR(check.y, cy, 1e-3);
  for (const double steps : {1.0, -2.0}) {
    ViewPose z = p;
    zoomView(z, pivot, w, h, cx, cy, steps, 1.15);
    const Projected after = reference(z, w, h, under);
    EXPECT_NEAR(after.x, cx, 1e-2) << steps;
    EXPECT_NEAR(after.y, cy, 1e-2) << steps;
    EXPECT_NEAR(after.depth, depth * std::pow(1.15, -steps), 1e-3 * depth) << steps;
  }
}
