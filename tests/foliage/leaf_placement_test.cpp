#include "foliage/leaf_placement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTol = 1e-4;
constexpr double kSentinel = 7.0;

// Draws from a fixed list, counting how many were made.
struct ListRandom {
  std::vector<double> values;
  size_t used = 0;
  double operator()() { return values.at(used++); }
};

LeafRandom constant(double r) {
  return [r] { return r; };
}

// Columns of a row-by-row leaf matrix: images of the leaf model's axes, and its origin.
Vec3 xAxis(const Mat4& m) {
  return Vec3(m[0], m[4], m[8]);
}
Vec3 yAxis(const Mat4& m) {
  return Vec3(m[1], m[5], m[9]);
}
Vec3 zAxis(const Mat4& m) {
  return Vec3(m[2], m[6], m[10]);
}
Vec3 origin(const Mat4& m) {
  return Vec3(m[3], m[7], m[11]);
}

Vec3 add(const Vec3& a, const Vec3& b) {
  return Vec3(a.x + b.x, a.y + b.y, a.z + b.z);
}
Vec3 scaled(const Vec3& a, double s) {
  return Vec3(a.x * s, a.y * s, a.z * s);
}
Vec3 unit(Vec3 v) {
  normalise(v);
  return v;
}
double det3(const Mat4& m) {
  return dot(xAxis(m), cross(yAxis(m), zAxis(m)));
}
double angleDeg(const Vec3& a, const Vec3& b) {
  return angleBetween(a, b) * 180.0 / kPi;
}

// Right-handed rotation of v by angle about the unit axis k (Rodrigues).
Vec3 rotated(const Vec3& v, const Vec3& k, double angle) {
  double c = std::cos(angle), s = std::sin(angle);
  return add(add(scaled(v, c), scaled(cross(k, v), s)), scaled(k, dot(k, v) * (1 - c)));
}

#define EXPECT_VEC_NEAR(actual, ex, ey, ez)   \
  do {                                        \
    Vec3 a_ = (actual);                       \
    EXPECT_NEAR(a_.x, (ex), kTol) << #actual; \
    EXPECT_NEAR(a_.y, (ey), kTol) << #actual; \
    EXPECT_NEAR(a_.z, (ez), kTol) << #actual; \
  } while (0)

void fillWithSentinel(TreeModel& model) {
  for (Mat4& m : model.leafFrames)
    for (double& v : m.m) v = kSentinel;
}

// Slots that differ from the sentinel, as a bit mask.
unsigned writtenSlots(const TreeModel& model) {
  unsigned mask = 0;
  for (int s = 0; s < 16; ++s)
    for (double v : model.leafFrames[s].m)
      if (v != kSentinel) mask |= 1u << s;
  return mask;
}

void expectRigid(const Mat4& m, bool mirrored = false) {
  Vec3 x = xAxis(m), y = yAxis(m), z = zAxis(m);
  EXPECT_NEAR(length(x), 1.0, 1e-9);
  EXPECT_NEAR(length(y), 1.0, 1e-9);
  EXPECT_NEAR(length(z), 1.0, 1e-9);
  EXPECT_NEAR(dot(x, y), 0.0, 1e-9);
  EXPECT_NEAR(dot(y, z), 0.0, 1e-9);
  EXPECT_NEAR(dot(x, z), 0.0, 1e-9);
  EXPECT_NEAR(det3(m), mirrored ? -1.0 : 1.0, 1e-9);
  EXPECT_EQ(m[12], 0.0);
  EXPECT_EQ(m[13], 0.0);
  EXPECT_EQ(m[14], 0.0);
  EXPECT_EQ(m[15], 1.0);
}

const Vec3 kOrigin(0, 0, 0);
const Vec3 kUp(0, 1, 0);

}  // namespace

TEST(LeafPlacementWorkedExample, SpiralOnVerticalSegment) {
  TreeModel model;
  EXPECT_EQ(placeLeavesSpiral(model, kOrigin, kUp, 4, constant(0.5)), 4);
  const Mat4& leaf0 = model.leafFrames[0];
  EXPECT_VEC_NEAR(origin(leaf0), 0, 0, 0);
  EXPECT_VEC_NEAR(xAxis(leaf0), 0, 0.7071, 0.7071);
  EXPECT_VEC_NEAR(yAxis(leaf0), 0, 0.7071, -0.7071);
  EXPECT_VEC_NEAR(zAxis(leaf0), -1, 0, 0);

  // Leaf 1's x axis is side*cos(45) + d*sin(45); recover its side.
  const Mat4& leaf1 = model.leafFrames[1];
  EXPECT_VEC_NEAR(origin(leaf1), 0, 1.0 / 3.0, 0);
  Vec3 side1 = scaled(add(xAxis(leaf1), scaled(kUp, -std::sin(kPi / 4))), 1.0 / std::cos(kPi / 4));
  EXPECT_VEC_NEAR(side1, -0.6756, 0, -0.7373);
  EXPECT_VEC_NEAR(origin(model.leafFrames[2]), 0, 2.0 / 3.0, 0);
  EXPECT_VEC_NEAR(origin(model.leafFrames[3]), 0, 1, 0);
}

TEST(LeafPlacementWorkedExample, DecussateOnVerticalSegment) {
  TreeModel model;
  EXPECT_EQ(placeLeavesDecussate(model, kOrigin, kUp, 4, constant(0.5)), 4);
  EXPECT_VEC_NEAR(origin(model.leafFrames[0]), 0, 0, 0);
  EXPECT_VEC_NEAR(origin(model.leafFrames[1]), 0, 0, 0);
  EXPECT_VEC_NEAR(origin(model.leafFrames[2]), 0, 1, 0);
  EXPECT_VEC_NEAR(origin(model.leafFrames[3]), 0, 1, 0);
  EXPECT_VEC_NEAR(yAxis(model.leafFrames[0]), 0, 0.8315, -0.5556);
  EXPECT_VEC_NEAR(yAxis(model.leafFrames[1]), 0, 0.8315, 0.5556);
  EXPECT_VEC_NEAR(yAxis(model.leafFrames[2]), -0.5556, 0.8315, 0);
  EXPECT_VEC_NEAR(yAxis(model.leafFrames[3]), 0.5556, 0.8315, 0);
  EXPECT_NEAR(angleDeg(kUp, yAxis(model.leafFrames[0])), 33.75, 1e-9);
}

TEST(LeafPlacementWorkedExample, AlternateOnVerticalSegment) {
  TreeModel model;
  EXPECT_EQ(placeLeavesAlternate(model, kOrigin, kUp, 2, constant(0.5)), 2);
  const Mat4& regular = model.leafFrames[0];
  EXPECT_VEC_NEAR(origin(regular), 0, 0, 0);
  EXPECT_VEC_NEAR(xAxis(regular), 0, 0.5, -0.866);
  EXPECT_VEC_NEAR(yAxis(regular), 0, 0.866, 0.5);
  EXPECT_VEC_NEAR(zAxis(regular), 1, 0, 0);
  const Mat4& extra = model.leafFrames[1];
  EXPECT_VEC_NEAR(origin(extra), 0, 0, 0);
  EXPECT_VEC_NEAR(xAxis(extra), 0.1305, 0.9914, 0);
  EXPECT_VEC_NEAR(yAxis(extra), -0.9914, 0.1305, 0);
  EXPECT_VEC_NEAR(zAxis(extra), 0, 0, 1);
}

TEST(LeafPlacementSlots, EachArrangementWritesExactlyItsSlots) {
  const Vec3 start(0.3, 1.0, -0.2), end(0.8, 1.7, 0.4);
  for (int count = -1; count <= 18; ++count) {
    SCOPED_TRACE(count);
    TreeModel model;
    const unsigned expectTurned = (count >= 1 && count <= 16) ? (1u << count) - 1 : 0;
    const unsigned expectAlternate = (count >= 2 && count <= 16) ? (1u << count) - 1 : 0;

    fillWithSentinel(model);
    EXPECT_EQ(placeLeavesSpiral(model, start, end, count, constant(0.3)), expectTurned ? count : 0);
    EXPECT_EQ(writtenSlots(model), expectTurned);

    fillWithSentinel(model);
    EXPECT_EQ(placeLeavesDecussate(model, start, end, count, constant(0.3)), expectTurned ? count : 0);
    EXPECT_EQ(writtenSlots(model), expectTurned);

    fillWithSentinel(model);
    EXPECT_EQ(placeLeavesAlternate(model, start, end, count, constant(0.3)), expectAlternate ? count : 0);
    EXPECT_EQ(writtenSlots(model), expectAlternate);
  }
}

TEST(LeafPlacementSlots, DrawsPerLeafAndDispatchByPhyllotaxis) {
  TreeModel model;
  ListRandom spiral{std::vector<double>(64, 0.5)};
  placeLeavesSpiral(model, kOrigin, kUp, 5, std::ref(spiral));
  EXPECT_EQ(spiral.used, 10u);
  ListRandom decussate{std::vector<double>(64, 0.5)};
  placeLeavesDecussate(model, kOrigin, kUp, 5, std::ref(decussate));
  EXPECT_EQ(decussate.used, 15u);
  ListRandom alternate{std::vector<double>(64, 0.5)};
  placeLeavesAlternate(model, kOrigin, kUp, 5, std::ref(alternate));
  EXPECT_EQ(alternate.used, 3u);
  ListRandom alternateSingle{std::vector<double>(64, 0.5)};
  EXPECT_EQ(placeLeavesAlternate(model, kOrigin, kUp, 1, std::ref(alternateSingle)), 0);
  EXPECT_EQ(alternateSingle.used, 2u);

  // 1 spiral, 2 alternate, anything else decussate: tell them apart by the draws made.
  const size_t expectedDraws[] = {12, 8, 3, 12, 12};
  const int phyllotaxis[] = {0, 1, 2, 3, 7};
  for (int k = 0; k < 5; ++k) {
    ListRandom r{std::vector<double>(64, 0.5)};
    placeLeaves(phyllotaxis[k], model, kOrigin, kUp, 4, std::ref(r));
    EXPECT_EQ(r.used, expectedDraws[k]) << phyllotaxis[k];
  }
}

// A lone spiral leaf would sit at 0/0 along the segment; it is placed at the start node.
TEST(LeafPlacementSlots, SingleSpiralLeafSitsAtStart) {
  TreeModel model;
  const Vec3 start(1, 2, 3), end(1.5, 3, 3.2);
  ASSERT_EQ(placeLeavesSpiral(model, start, end, 1, constant(0.5)), 1);
  EXPECT_VEC_NEAR(origin(model.leafFrames[0]), 1, 2, 3);
  expectRigid(model.leafFrames[0]);
}

TEST(LeafPlacementTilt, ExtremeDrawsGiveTheRangeEnds) {
  const Vec3 start(0.2, 0.1, -0.4), end(0.9, 1.3, 0.3);
  const Vec3 d = unit(difference(end, start));
  struct Case {
    double r, spiral, decussate, alternate;
  } cases[] = {{0.0, 47.5, 60.0, 52.5}, {1.0, 42.5, 7.5, 67.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.r);
    TreeModel model;
    placeLeavesSpiral(model, start, end, 3, constant(c.r));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(angleDeg(d, yAxis(model.leafFrames[i])), c.spiral, 1e-6);
    placeLeavesDecussate(model, start, end, 3, constant(c.r));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(angleDeg(d, yAxis(model.leafFrames[i])), c.decussate, 1e-6);
    placeLeavesAlternate(model, start, end, 4, constant(c.r));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(angleDeg(d, xAxis(model.leafFrames[i])), c.alternate, 1e-6);
    // The extra leaf dips by a quarter of the tilt times its own draw.
    EXPECT_NEAR(angleDeg(d, xAxis(model.leafFrames[3])), c.alternate * 0.25 * c.r, 1e-6);
  }
}

// Spiral and decussate on random oblique segments with random draws, against a direct
// construction: side starts horizontal at right angles to d, each leaf's x and y axes are
// side and d tilted by alpha, and side turns by -beta about d after each leaf.
TEST(LeafPlacementRandom, TurnedArrangementsMatchDirectConstruction) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> coord(-2.0, 2.0), unitDraw(0.0, 1.0);
  for (int trial = 0; trial < 200; ++trial) {
    const bool spiral = trial % 2 == 0;
    const int count = 2 + trial % 15;
    const Vec3 start(coord(rng), coord(rng), coord(rng));
    const Vec3 end(coord(rng), coord(rng), coord(rng));
    ListRandom draws;
    for (int k = 0; k < 3 * count; ++k) draws.values.push_back(unitDraw(rng));

    TreeModel model;
    ASSERT_EQ(spiral ? placeLeavesSpiral(model, start, end, count, std::ref(draws))
                     : placeLeavesDecussate(model, start, end, count, std::ref(draws)),
              count);

    const Vec3 d = unit(difference(end, start));
    Vec3 side = scaled(unit(Vec3(-d.z, 0, d.x)), d.y > 0 ? 1.0 : -1.0);
    size_t next = 0;
    for (int i = 0; i < count; ++i) {
      SCOPED_TRACE(testing::Message() << "trial " << trial << " leaf " << i);
      double alpha, t, beta;
      if (spiral) {
        alpha = kPi / 4 - (draws.values[next++] - 0.5) * kPi / 36;
        t = static_cast<double>(i) / (count - 1);
        beta = 2.399827721492203 + (draws.values[next++] - 0.5) * kPi / 36;
      } else {
        double r1 = draws.values[next++], r2 = draws.values[next++];
        alpha = kPi / 2 - (r1 + 2) * kPi / 8 - (r2 - 0.5) * kPi / 6;
        t = count > 2 ? static_cast<double>(i / 2) / ((count - 1) / 2) : 1.0;
        beta = (i % 2 == 0 ? kPi : kPi / 2) + (draws.values[next++] - 0.5) * kPi / 18;
      }
      const Mat4& m = model.leafFrames[i];
      Vec3 x = add(scaled(side, std::cos(alpha)), scaled(d, std::sin(alpha)));
      Vec3 y = add(scaled(d, std::cos(alpha)), scaled(side, -std::sin(alpha)));
      // When the first turn already brings the y axis within 0.001 of d, the second turns
      // about a fallback axis and may miss d by up to twice that.
      Vec3 y1 = rotated(Vec3(0, 1, 0), unit(cross(Vec3(1, 0, 0), side)), angleBetween(Vec3(1, 0, 0), side));
      const double tol = length(cross(d, y1)) < 0.001 ? 2e-3 : 1e-9;
      EXPECT_NEAR(length(difference(xAxis(m), x)), 0.0, tol);
      EXPECT_NEAR(length(difference(yAxis(m), y)), 0.0, tol);
      Vec3 p = add(start, scaled(difference(end, start), t));
      EXPECT_VEC_NEAR(origin(m), p.x, p.y, p.z);
      expectRigid(m);
      side = rotated(side, d, -beta);
    }
    EXPECT_EQ(draws.used, next);
  }
}

// Alternate on random oblique segments: regular leaves lean by the tilt from d, run from the
// start to the end node, and with no twist an even and an odd leaf mirror each other across
// the segment's vertical plane; the extra leaf sits at the end node, dips by kappa and stays
// in that plane.
TEST(LeafPlacementRandom, AlternateInvariants) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> coord(-2.0, 2.0), unitDraw(0.0, 1.0);
  for (int trial = 0; trial < 200; ++trial) {
    SCOPED_TRACE(trial);
    const int count = 3 + trial % 14;
    const Vec3 start(coord(rng), coord(rng), coord(rng));
    const Vec3 end(coord(rng), coord(rng), coord(rng));
    ListRandom draws{{unitDraw(rng), 0.5, unitDraw(rng)}};
    TreeModel model;
    ASSERT_EQ(placeLeavesAlternate(model, start, end, count, std::ref(draws)), count);
    const double tilt = kPi / 3 + (draws.values[0] - 0.5) * kPi / 12;
    const Vec3 d = unit(difference(end, start));
    const Vec3 planeNormal = unit(cross(Vec3(d.x, 0, d.z), d));
    for (int i = 0; i + 1 < count; ++i) {
      const Mat4& m = model.leafFrames[i];
      expectRigid(m);
      EXPECT_NEAR(angleBetween(d, xAxis(m)), tilt, 1e-9);
      Vec3 p = add(start, scaled(difference(end, start), static_cast<double>(i) / (count - 2)));
      EXPECT_VEC_NEAR(origin(m), p.x, p.y, p.z);
    }
    Vec3 even = xAxis(model.leafFrames[0]), odd = xAxis(model.leafFrames[1]);
    EXPECT_NEAR(length(cross(add(even, odd), d)), 0.0, 1e-9);
    Vec3 across = add(even, scaled(odd, -1));
    EXPECT_NEAR(dot(across, d), 0.0, 1e-9);
    EXPECT_NEAR(length(cross(across, planeNormal)), 0.0, 1e-9);

    const Mat4& extra = model.leafFrames[count - 1];
    expectRigid(extra);
    EXPECT_NEAR(angleBetween(d, xAxis(extra)), tilt * 0.25 * draws.values[2], 1e-9);
    EXPECT_NEAR(dot(xAxis(extra), planeNormal), 0.0, 1e-9);
    EXPECT_VEC_NEAR(origin(extra), end.x, end.y, end.z);
  }
}

TEST(LeafPlacementDegenerate, CollapsedSegmentsStayFinite) {
  const Vec3 p(0.5, 1.5, -0.5);
  const Vec3 invalid(0.5, 2.0, -0.5, kVecFromZeroLength);
  for (const Vec3& end : {p, invalid}) {
    TreeModel model;
    placeLeavesSpiral(model, p, end, 16, constant(0.2));
    for (const Mat4& m : model.leafFrames)
      for (double v : m.m) EXPECT_TRUE(std::isfinite(v));
    placeLeavesDecussate(model, p, end, 16, constant(0.7));
    placeLeavesAlternate(model, p, end, 16, constant(0.9));
    for (const Mat4& m : model.leafFrames)
      for (double v : m.m) EXPECT_TRUE(std::isfinite(v));
    EXPECT_VEC_NEAR(origin(model.leafFrames[0]), p.x, p.y, p.z);
  }
}

// d.x = 0 with d.y * d.z > 0 turns side onto -X: the rotation about a zero axis is a point
// reflection, so the leaf is mirrored but still carries X onto its tilted side.
TEST(LeafPlacementDegenerate, SideOnNegativeXMirrorsTheLeaf) {
  TreeModel model;
  const Vec3 end(0, 1, 1);
  placeLeavesSpiral(model, kOrigin, end, 2, constant(0.5));
  const Mat4& m = model.leafFrames[0];
  expectRigid(m, true);
  const Vec3 d = unit(end);
  Vec3 x = add(scaled(Vec3(-1, 0, 0), std::cos(kPi / 4)), scaled(d, std::sin(kPi / 4)));
  EXPECT_VEC_NEAR(xAxis(m), x.x, x.y, x.z);
}
