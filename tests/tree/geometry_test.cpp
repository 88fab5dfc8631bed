#include "tree/geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

const double kPi = std::acos(-1.0);

Vec3 randomVec(std::mt19937& rng, double extent = 10.0) {
  std::uniform_real_distribution<double> u(-extent, extent);
  return Vec3(u(rng), u(rng), u(rng));
}

// Reference product of two column-major matrices read as mathematical matrices.
void columnMajorProduct(const Mat4& L, const Mat4& R, double out[16]) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += L[4 * k + r] * R[4 * c + k];
      out[4 * c + r] = s;
    }
}

}  // namespace

TEST(Vec3Status, NormaliseChainsZeroLengthThenInvalid) {
  Vec3 v;
  EXPECT_EQ(v.status, kVecValid);
  normalise(v);
  EXPECT_EQ(v.status, kVecFromZeroLength);
  EXPECT_EQ(v.x, 0.0);
  normalise(v);
  EXPECT_EQ(v.status, kVecFromInvalid);
  EXPECT_EQ(v.x, 0.0);
  EXPECT_EQ(v.y, 0.0);
  EXPECT_EQ(v.z, 0.0);

  Vec3 w(3, 0, 4);
  normalise(w);
  EXPECT_EQ(w.status, kVecValid);
  EXPECT_DOUBLE_EQ(w.x, 0.6);
  EXPECT_DOUBLE_EQ(w.z, 0.8);
  // An invalid vector of non-zero length is still zeroed, not scaled.
  Vec3 bad(1, 2, 3, kVecFromZeroLength);
  normalise(bad);
  EXPECT_EQ(bad.status, kVecFromInvalid);
  EXPECT_EQ(bad.y, 0.0);
}

TEST(Vec3Status, DifferenceOrsStatusesAndCrossIgnoresThem) {
  Vec3 a(1, 2, 3, 1), b(0, 1, 1, 2);
  Vec3 d = difference(a, b);
  EXPECT_EQ(d.status, 3u);
  EXPECT_EQ(d.x, 1.0);
  EXPECT_EQ(d.z, 2.0);
  Vec3 c = cross(Vec3(1, 0, 0, 1), Vec3(0, 1, 0, 2));
  EXPECT_EQ(c.status, kVecValid);
  EXPECT_EQ(c.z, 1.0);
}

TEST(AngleBetween, ParallelOppositeZeroAndInvalid) {
  EXPECT_EQ(angleBetween(Vec3(1, 2, 3), Vec3(2, 4, 6)), 0.0);
  EXPECT_NEAR(angleBetween(Vec3(1, 2, 3), Vec3(-1, -2, -3)), kPi, 1e-12);
  EXPECT_EQ(angleBetween(Vec3(1, 2, 3), Vec3()), 0.0);
  EXPECT_EQ(angleBetween(Vec3(), Vec3(0, 1, 0)), 0.0);
  EXPECT_EQ(angleBetween(Vec3(1e-11, 0, 0), Vec3(0, 1, 0)), 0.0);
  EXPECT_EQ(angleBetween(Vec3(1, 0, 0, 1), Vec3(0, 1, 0)), 0.0);
  EXPECT_NEAR(angleBetween(Vec3(1, 0, 0), Vec3(0, 5, 0)), kPi / 2, 1e-12);
}

TEST(AngleBetween, MatchesLawOfCosinesOnRandomVectors) {
  std::mt19937 rng(42);
  for (int i = 0; i < 500; ++i) {
    Vec3 a = randomVec(rng), b = randomVec(rng);
    double la = length(a), lb = length(b), lc = length(difference(a, b));
    double expected = std::acos(std::clamp((la * la + lb * lb - lc * lc) / (2 * la * lb), -1.0, 1.0));
    double got = angleBetween(a, b);
    EXPECT_NEAR(got, expected, 1e-7);
    EXPECT_GE(got, 0.0);
    EXPECT_LE(got, kPi);
  }
}

TEST(Rotate, ZeroAngleKeepsMatrixAndQuarterTurnAboutY) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-3, 3);
  Mat4 m;
  for (double& v : m.m) v = u(rng);
  Mat4 same = m;
  rotate(same, 0.0, 0.3, 0.4, 0.5);
  for (int i = 0; i < 16; ++i) EXPECT_DOUBLE_EQ(same[i], m[i]);

  Mat4 r;
  rotate(r, kPi / 2, 0, 1, 0);
  EXPECT_NEAR(r[0], 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(r[2], -1.0);
  EXPECT_DOUBLE_EQ(r[8], 1.0);
  EXPECT_DOUBLE_EQ(r[5], 1.0);
  EXPECT_EQ(r[15], 1.0);
}

TEST(Rotate, LeftMultipliesAndComposesAboutOneAxis) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-2, 2);
  for (int trial = 0; trial < 50; ++trial) {
    Mat4 m;
    for (double& v : m.m) v = u(rng);
    Vec3 axis = randomVec(rng, 1.0);
    normalise(axis);
    double a = u(rng), b = u(rng);
    Mat4 r;
    rotate(r, a, axis.x, axis.y, axis.z);
    double expected[16];
    columnMajorProduct(r, m, expected);
    Mat4 got = m;
    rotate(got, a, axis.x, axis.y, axis.z);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(got[i], expected[i], 1e-12);
    // Two turns about one unit axis add up.
    Mat4 twice, once;
    rotate(twice, a, axis.x, axis.y, axis.z);
    rotate(twice, b, axis.x, axis.y, axis.z);
    rotate(once, a + b, axis.x, axis.y, axis.z);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(twice[i], once[i], 1e-12);
  }
}

TEST(Multiply, IsTheColumnMajorProductInReverse) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-2, 2);
  Mat4 a, b;
  for (double& v : a.m) v = u(rng);
  for (double& v : b.m) v = u(rng);
  Mat4 p = multiply(a, b);
  double expected[16];
  columnMajorProduct(b, a, expected);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(p[i], expected[i], 1e-12);
}

TEST(TransformPoint, IdentityZeroWAndProjection) {
  Vec3 p(1.5, -2, 3.25);
  Vec3 q = transformPoint(Mat4::identity(), p);
  EXPECT_EQ(q.x, 1.5);
  EXPECT_EQ(q.y, -2.0);
  EXPECT_EQ(q.z, 3.25);
  EXPECT_EQ(q.status, kVecValid);

  Mat4 m;
  m[15] = 0;
  Vec3 z = transformPoint(m, Vec3());
  EXPECT_EQ(z.status, kVecFromZeroLength);
  EXPECT_EQ(z.x, 0.0);

  // Row-by-row reading: translation in indices 3, 7, 11; w from row 12..15.
  Mat4 t;
  t[3] = 1;
  t[7] = 2;
  t[11] = 3;
  t[15] = 2;
  Vec3 r = transformPoint(t, Vec3(1, 1, 1));
  EXPECT_DOUBLE_EQ(r.x, 1.0);
  EXPECT_DOUBLE_EQ(r.y, 1.5);
  EXPECT_DOUBLE_EQ(r.z, 2.0);
}

TEST(CatmullRom, EndpointsAndMidpointOfEvenSpacing) {
  std::mt19937 rng(5);
  for (int i = 0; i < 20; ++i) {
    Vec3 p0 = randomVec(rng), p1 = randomVec(rng), p2 = randomVec(rng), p3 = randomVec(rng);
    p0.status = 1;
    Vec3 a = catmullRomPoint(p0, p1, p2, p3, 0.0);
    Vec3 b = catmullRomPoint(p0, p1, p2, p3, 1.0);
    EXPECT_NEAR(a.x, p1.x, 1e-12);
    EXPECT_NEAR(a.y, p1.y, 1e-12);
    EXPECT_NEAR(b.z, p2.z, 1e-12);
    EXPECT_EQ(a.status, kVecValid);
  }
  Vec3 s(1, 2, 3), step(0.5, -1, 2);
  auto at = [&](double k) { return Vec3(s.x + k * step.x, s.y + k * step.y, s.z + k * step.z); };
  Vec3 mid = catmullRomPoint(at(0), at(1), at(2), at(3), 0.5);
  EXPECT_NEAR(mid.x, at(1.5).x, 1e-12);
  EXPECT_NEAR(mid.y, at(1.5).y, 1e-12);
  EXPECT_NEAR(mid.z, at(1.5).z, 1e-12);
}
