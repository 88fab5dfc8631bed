// Leaf placement: a worked example per arrangement, the ends of the random tilt ranges, the
// slots and random draws of each arrangement, and degenerate segments.

#include "foliage/leaf_placement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

const Vec3 kOrigin(0, 0, 0);

using PlaceFn = int (*)(TreeModel&, const Vec3&, const Vec3&, int, const LeafRandom&);

LeafRandom constant(double r) {
  return [r] { return r; };
}

// Column c of a row-by-row leaf matrix: 0, 1, 2 the images of the leaf's x, y, z axes, 3 its origin.
enum { kX, kY, kZ, kAt };
Vec3 column(const Mat4& m, int c) {
  return Vec3(m[c], m[4 + c], m[8 + c]);
}

bool near(const Vec3& a, const Vec3& b) {
  return std::max({std::fabs(a.x - b.x), std::fabs(a.y - b.y), std::fabs(a.z - b.z)}) <= 1e-4;
}

// Orthonormal axes of determinant det and a last row (0, 0, 0, 1).
void expectRigid(const Mat4& m, double det = 1.0) {
  Vec3 x = column(m, kX), y = column(m, kY), z = column(m, kZ);
  for (double residual :
       {length(x) - 1, length(y) - 1, length(z) - 1, dot(x, y), dot(y, z), dot(x, z), dot(x, cross(y, z)) - det})
    EXPECT_NEAR(residual, 0.0, 1e-9);
  EXPECT_TRUE(m[12] == 0.0 && m[13] == 0.0 && m[14] == 0.0 && m[15] == 1.0);
}

}  // namespace

// Every draw 0.5 on the unit segment up the y axis. Spiral leaf 1's side is
// (-0.6756, 0, -0.7373), so its x axis is side cos 45 + d sin 45.
TEST(LeafPlacement, WorkedExample) {
  const double c = std::sqrt(0.5);
  const struct {
    PlaceFn place;
    int count;
    std::vector<std::tuple<int, int, Vec3>> columns;  // slot, column, expected
  } examples[] = {
      // clang-format off
      {placeLeavesSpiral, 4, {{0, kAt, {0, 0, 0}}, {0, kX, {0, 0.7071, 0.7071}}, {0, kY, {0, 0.7071, -0.7071}},
                              {0, kZ, {-1, 0, 0}}, {1, kAt, {0, 1.0 / 3, 0}}, {1, kX, {-0.6756 * c, c, -0.7373 * c}},
                              {2, kAt, {0, 2.0 / 3, 0}}, {3, kAt, {0, 1, 0}}}},
      {placeLeavesDecussate, 4, {{0, kAt, {0, 0, 0}}, {1, kAt, {0, 0, 0}}, {2, kAt, {0, 1, 0}}, {3, kAt, {0, 1, 0}},
                                 {0, kY, {0, 0.8315, -0.5556}}, {1, kY, {0, 0.8315, 0.5556}},
                                 {2, kY, {-0.5556, 0.8315, 0}}, {3, kY, {0.5556, 0.8315, 0}}}},
      {placeLeavesAlternate, 2, {{0, kAt, {0, 0, 0}}, {0, kX, {0, 0.5, -0.866}}, {0, kY, {0, 0.866, 0.5}},
                                 {0, kZ, {1, 0, 0}}, {1, kAt, {0, 0, 0}}, {1, kX, {0.1305, 0.9914, 0}},
                                 {1, kY, {-0.9914, 0.1305, 0}}, {1, kZ, {0, 0, 1}}}},
      // clang-format on
  };
  for (const auto& e : examples) {
    TreeModel model;
    EXPECT_EQ(e.place(model, kOrigin, Vec3(0, 1, 0), e.count, constant(0.5)), e.count);
    for (const auto& [slot, c, expected] : e.columns)
      EXPECT_TRUE(near(column(model.leafFrames[slot], c), expected)) << e.count << " " << slot << " " << c;
  }
}

// Through the "Leaf phyllotaxis" dispatch (1 spiral, 2 alternate, anything else decussate):
// slots 0 ... count - 1 are written for 1 <= count <= 16 (2 <= count for alternate), none
// otherwise. Draws made, in their fixed order: none above 16 leaves, else 2 per spiral leaf,
// 3 per decussate leaf, and 3 for alternate (2 when it places nothing).
TEST(LeafPlacement, SlotsWrittenAndDrawsMade) {
  // phyllotaxis, smallest count, draws per leaf (0: alternate)
  const int arrangements[][3] = {{1, 1, 2}, {0, 1, 3}, {3, 1, 3}, {7, 1, 3}, {2, 2, 0}};
  for (const auto& a : arrangements) {
    for (int count = -1; count <= 18; ++count) {
      SCOPED_TRACE(testing::Message() << "phyllotaxis " << a[0] << " count " << count);
      TreeModel model;
      for (Mat4& m : model.leafFrames) std::fill(std::begin(m.m), std::end(m.m), 7.0);
      size_t used = 0;
      auto draws = [&used] { return ++used, 0.3; };
      const bool supported = count >= a[1] && count <= 16;
      EXPECT_EQ(placeLeaves(a[0], model, Vec3(0.3, 1, -0.2), Vec3(0.8, 1.7, 0.4), count, draws), supported ? count : 0);
      for (int s = 0; s < 16; ++s) EXPECT_EQ(model.leafFrames[s][15] == 1.0, supported && s < count) << s;
      const int expectedDraws = a[2] > 0 ? (supported ? a[2] * count : 0) : (count > 16 ? 0 : supported ? 3 : 2);
      EXPECT_EQ(used, size_t(expectedDraws));
    }
  }
}

// Draws 0 and 1 give the ends of each tilt range (degrees from the segment); the alternate end
// leaf dips by a quarter of the tilt times its own draw. Each frame stays rigid.
TEST(LeafPlacement, TiltRangeEnds) {
  const Vec3 start(0.2, 0.1, -0.4), end(0.9, 1.3, 0.3), d = normalised(difference(end, start));
  auto tilt = [&](const Mat4& m, int axis) { return angleBetween(d, column(m, axis)) * 180.0 / kPi; };
  const double cases[][4] = {{0.0, 47.5, 60.0, 52.5}, {1.0, 42.5, 7.5, 67.5}};  // r, spiral, decussate, alternate
  for (const auto& c : cases) {
    TreeModel s, dc, alt;
    placeLeavesSpiral(s, start, end, 3, constant(c[0]));
    placeLeavesDecussate(dc, start, end, 3, constant(c[0]));
    placeLeavesAlternate(alt, start, end, 4, constant(c[0]));
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(tilt(s.leafFrames[i], kY), c[1], 1e-6) << c[0];
      EXPECT_NEAR(tilt(dc.leafFrames[i], kY), c[2], 1e-6) << c[0];
      EXPECT_NEAR(tilt(alt.leafFrames[i], kX), c[3], 1e-6) << c[0];
      for (const TreeModel* m : {&s, &dc, &alt}) expectRigid(m->leafFrames[i]);
    }
    EXPECT_NEAR(tilt(alt.leafFrames[3], kX), c[3] * 0.25 * c[0], 1e-6);
  }
}

TEST(LeafPlacement, DegenerateCases) {
  // Regression: a lone spiral leaf's position i / (count - 1) is 0 / 0; it sits at the start node.
  TreeModel lone;
  ASSERT_EQ(placeLeavesSpiral(lone, Vec3(1, 2, 3), Vec3(1.5, 3, 3.2), 1, constant(0.5)), 1);
  EXPECT_TRUE(near(column(lone.leafFrames[0], kAt), Vec3(1, 2, 3)));
  // Regression: a zero-length or invalid segment gives finite frames at the start node.
  const Vec3 p(0.5, 1.5, -0.5);
  for (const Vec3& end : {p, Vec3(0.5, 2.0, -0.5, kVecFromZeroLength)}) {
    for (int a = 0; a < 3; ++a) {
      TreeModel model;
      placeLeaves(a + 1, model, p, end, 16, constant(0.2 + 0.3 * a));
      for (const Mat4& m : model.leafFrames)
        for (double v : m.m) EXPECT_TRUE(std::isfinite(v));
      EXPECT_TRUE(near(column(model.leafFrames[0], kAt), p));
    }
  }
  // d.x = 0 with d.y d.z > 0 turns side onto -X: the rotation about a zero axis is a point
  // reflection, so the leaf is mirrored but still carries X onto its tilted side.
  TreeModel model;
  placeLeavesSpiral(model, kOrigin, Vec3(0, 1, 1), 2, constant(0.5));
  expectRigid(model.leafFrames[0], -1.0);
  EXPECT_TRUE(near(column(model.leafFrames[0], kX), Vec3(-std::sqrt(0.5), 0.5, 0.5)));
}
