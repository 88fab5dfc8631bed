#include "tree/geometry.h"

#include "tree_test_util.h"

namespace {


Vec3 randomVec(std::mt19937& rng, double extent = 10.0) {
  std::uniform_real_distribution<double> u(-extent, extent);
  return Vec3(u(rng), u(rng), u(rng));
}

Mat4 randomMat(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-2, 2);
  Mat4 m;
  for (double& v : m.m) v = u(rng);
  return m;
}

// Reference product of two column-major matrices read as mathematical matrices.
Mat4 columnMajorProduct(const Mat4& L, const Mat4& R) {
  Mat4 out = Mat4::zero();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      for (int k = 0; k < 4; ++k) out[4 * c + r] += L[4 * k + r] * R[4 * c + k];
  return out;
}

void expectMatNear(const Mat4& a, const Mat4& b) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], 1e-12) << i;
}

}  // namespace

TEST(Vec3Status, NormaliseChainsAndDifferenceOrsStatuses) {
  Vec3 v = normalised(Vec3());
  expectSame(v, Vec3(0, 0, 0, kVecFromZeroLength));
  expectSame(normalised(v), Vec3(0, 0, 0, kVecFromInvalid));
  expectSame(normalised(Vec3(3, 0, 4)), Vec3(0.6, 0, 0.8), 1e-15);
  // An invalid vector of non-zero length is zeroed, not scaled.
  expectSame(normalised(Vec3(1, 2, 3, kVecFromZeroLength)), Vec3(0, 0, 0, kVecFromInvalid));
  EXPECT_EQ(difference(Vec3(1, 2, 3, 1), Vec3(0, 1, 1, 2)).status, 3u);
}

TEST(AngleBetween, WorkedValuesAndLawOfCosines) {
  EXPECT_EQ(angleBetween(Vec3(1, 2, 3), Vec3(2, 4, 6)), 0.0);
  EXPECT_NEAR(angleBetween(Vec3(1, 2, 3), Vec3(-1, -2, -3)), kPi, 1e-12);
  EXPECT_EQ(angleBetween(Vec3(1, 2, 3), Vec3()), 0.0);
  EXPECT_EQ(angleBetween(Vec3(1e-11, 0, 0), Vec3(0, 1, 0)), 0.0);
  EXPECT_EQ(angleBetween(Vec3(1, 0, 0, 1), Vec3(0, 1, 0)), 0.0);
  std::mt19937 rng(42);
  for (int i = 0; i < 500; ++i) {
    Vec3 a = randomVec(rng), b = randomVec(rng);
    double la = length(a), lb = length(b), lc = length(difference(a, b));
    double cosine = std::clamp((la * la + lb * lb - lc * lc) / (2 * la * lb), -1.0, 1.0);
    EXPECT_NEAR(angleBetween(a, b), std::acos(cosine), 1e-7);
    EXPECT_NEAR(angleBetween(a, Vec3(-3 * a.x, -3 * a.y, -3 * a.z)), kPi, 1e-7);  // rounding past -1
  }
}

TEST(Rotate, QuarterTurnAboutYAndLeftMultiplication) {
  Mat4 r;
  rotate(r, kPi / 2, 0, 1, 0);
  expectMatNear(r, Mat4{{0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1}});
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-2, 2);
  for (int trial = 0; trial < 50; ++trial) {
    Mat4 m = randomMat(rng), turn, got = m, twice, once;
    Vec3 axis = normalised(randomVec(rng, 1.0));
    double a = u(rng), b = u(rng);
    rotate(turn, a, axis.x, axis.y, axis.z);
    rotate(got, a, axis.x, axis.y, axis.z);
    expectMatNear(got, columnMajorProduct(turn, m));
    // Two turns about one unit axis add up.
    rotate(twice, a, axis.x, axis.y, axis.z);
    rotate(twice, b, axis.x, axis.y, axis.z);
    rotate(once, a + b, axis.x, axis.y, axis.z);
    expectMatNear(twice, once);
  }
}

TEST(Multiply, IsTheColumnMajorProductInReverse) {
  std::mt19937 rng(3);
  Mat4 a = randomMat(rng), b = randomMat(rng);
  expectMatNear(multiply(a, b), columnMajorProduct(b, a));
}

TEST(TransformPoint, IdentityZeroWAndRowByRowProjection) {
  expectSame(transformPoint(Mat4::identity(), Vec3(1.5, -2, 3.25)), Vec3(1.5, -2, 3.25));
  Mat4 noW = Mat4::identity();
  noW[15] = 0;
  expectSame(transformPoint(noW, Vec3(1, 1, 1)), Vec3(0, 0, 0, kVecFromZeroLength));
  // Translation in indices 3, 7, 11; w from indices 12..15.
  Mat4 t{{1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3, 0, 0, 0, 2}};
  expectSame(transformPoint(t, Vec3(1, 1, 1)), Vec3(1, 1.5, 2), 1e-15);
}

TEST(CatmullRom, EndpointsAndMidpointOfEvenSpacing) {
  Vec3 p0(1, 2, 3, 1), p1(-4, 0.5, 2), p2(3, 7, -1), p3(0, 1, 9);
  expectSame(catmullRomPoint(p0, p1, p2, p3, 0.0), p1, 1e-12);
  expectSame(catmullRomPoint(p0, p1, p2, p3, 1.0), p2, 1e-12);
  auto at = [](double k) { return Vec3(1 + 0.5 * k, 2 - k, 3 + 2 * k); };
  expectSame(catmullRomPoint(at(0), at(1), at(2), at(3), 0.5), at(1.5), 1e-12);
}
