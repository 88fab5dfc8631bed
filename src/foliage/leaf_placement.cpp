#include "foliage/leaf_placement.h"

#include <cmath>
#include <cstdlib>

namespace {

// A length or an angle below this counts as zero.
constexpr double kNearZero = 0.001;
constexpr double kGoldenAngle = 2.399827721492203;

const Vec3 kAxisX(1, 0, 0);
const Vec3 kAxisY(0, 1, 0);
const Vec3 kAxisZ(0, 0, 1);
// Added to a vector whose cross product with the segment direction degenerates.
const Vec3 kNudge(0.01, 0, 0);

// Right-handed rotation by angle (radians) about axis, in the row-by-row leaf convention.
// rotate() builds its matrix for column-major storage; read row by row, the rotation by
// -angle is the rotation by angle.
Mat4 rotation(double angle, const Vec3& axis) {
  Mat4 m = Mat4::identity();
  rotate(m, -angle, axis.x, axis.y, axis.z);
  return m;
}

Mat4 translation(const Vec3& p) {
  Mat4 m = Mat4::identity();
  m[3] = p.x;
  m[7] = p.y;
  m[11] = p.z;
  return m;
}

// Unit direction of the segment, zero with a status when it has none.
Vec3 segmentDirection(const Vec3& start, const Vec3& end) {
  return normalised(end - start);
}

// Horizontal part of d, not normalised; (1, 0, 0) for a vertical segment.
Vec3 horizontalHeading(const Vec3& d) {
  Vec3 h(d.x, 0, d.z, d.status);
  if (length(h) < kNearZero) h = kAxisX;
  return h;
}

// The per-arrangement values of the shared spiral/decussate procedure.
struct TurnedArrangement {
  double (*tilt)(const LeafRandom& random);
  double (*position)(int i, int count);
  double (*step)(int i, const LeafRandom& random);
};

double spiralTilt(const LeafRandom& random) {
  return kPi / 4 - (random() - 0.5) * kPi / 36;
}

// A single spiral leaf sits at the start node (i / (count - 1) would divide zero by zero).
double spiralPosition(int i, int count) {
  return count > 1 ? static_cast<double>(i) / (count - 1) : 0.0;
}

double spiralStep(int, const LeafRandom& random) {
  return kGoldenAngle + (random() - 0.5) * kPi / 36;
}

double wideTilt(const LeafRandom& random) {
  double r1 = random();
  double r2 = random();
  return kPi / 2 - (r1 + 2) * kPi / 8 - (r2 - 0.5) * kPi / 6;
}

// Pairs spaced equally from start to end; with two leaves or fewer both sit at the end.
double decussatePosition(int i, int count) {
  if (count <= 2) return 1.0;
  return static_cast<double>(i / 2) / static_cast<double>((count - 1) / 2);
}

double decussateStep(int i, const LeafRandom& random) {
  double base = (i % 2 == 0) ? kPi : kPi / 2;
  return base + (random() - 0.5) * kPi / 18;
}

const TurnedArrangement kSpiral = {spiralTilt, spiralPosition, spiralStep};
const TurnedArrangement kDecussate = {wideTilt, decussatePosition, decussateStep};

// Matrix that carries the leaf model's x axis onto side and its y axis onto d, tilted by
// alpha away from the segment.
Mat4 turnedLeafFrame(const Vec3& side, const Vec3& d, double alpha) {
  double angleToSide = angleBetween(kAxisX, side);
  Vec3 a1 = angleToSide < kNearZero ? kAxisY : normalised(crossOrZero(kAxisX, side));
  Mat4 r1 = rotation(angleToSide, a1);

  Vec3 y1 = transformPoint(r1, kAxisY);
  double angleToSegment = angleBetween(d, y1);
  Vec3 a2 = length(crossOrZero(d, y1)) < kNearZero ? crossOrZero(kAxisZ, d) : crossOrZero(y1, d);
  Mat4 r2 = rotation(angleToSegment, normalised(a2));

  Mat4 r3 = rotation(alpha, normalised(crossOrZero(side, d)));
  return multiply(r3, multiply(r2, r1));
}

int placeTurnedLeaves(TreeModel& model, const Vec3& start, const Vec3& end, int count, const LeafRandom& random,
                      const TurnedArrangement& arrangement) {
  if (count > kMaxLeavesPerSegment) return 0;
  Vec3 d = segmentDirection(start, end);
  Vec3 h = horizontalHeading(d);
  Vec3 side = crossOrZero(h, d);
  if (length(side) < kNearZero) side = crossOrZero(h, kAxisY);
  normalise(side);
  if (count < 1) return 0;

  for (int i = 0; i < count; ++i) model.leafFrames[i] = Mat4::identity();
  for (int i = 0; i < count; ++i) {
    Mat4 frame = turnedLeafFrame(side, d, arrangement.tilt(random));
    Vec3 p = start + (end - start) * arrangement.position(i, count);
    model.leafFrames[i] = multiply(translation(p), frame);
    double step = arrangement.step(i, random);
    side = normalised(transformPoint(rotation(-step, d), side));
  }
  return count;
}

}  // namespace

double cLibraryLeafRandom() {
  return (std::rand() & 0x7FFF) / 32767.0;
}

int placeLeavesSpiral(TreeModel& model, const Vec3& start, const Vec3& end, int count, const LeafRandom& random) {
  return placeTurnedLeaves(model, start, end, count, random, kSpiral);
}

int placeLeavesDecussate(TreeModel& model, const Vec3& start, const Vec3& end, int count, const LeafRandom& random) {
  return placeTurnedLeaves(model, start, end, count, random, kDecussate);
}

int placeLeavesAlternate(TreeModel& model, const Vec3& start, const Vec3& end, int count, const LeafRandom& random) {
  // More leaves than the table has slots: nothing is written, rather than writing past it.
  if (count > kMaxLeavesPerSegment) return 0;
  const double tilt = kPi / 3 + (random() - 0.5) * kPi / 12;
  const double twist = (random() - 0.5) * kPi / 12;
  if (count <= 1) return 0;

  const Vec3 d = segmentDirection(start, end);
  const Vec3 h = horizontalHeading(d);

  // D turns X about the vertical onto the heading; F then raises it onto d.
  const double heading = angleBetween(kAxisX, h);
  Vec3 a1 = crossOrZero(kAxisX, h);
  if (!h.valid() || length(a1) < kNearZero) a1 = kAxisY;
  const Mat4 turnToHeading = rotation(heading, normalised(a1));

  const double elevation = angleBetween(h, d);
  Vec3 a2 = crossOrZero(h, d);
  if (length(a2) < kNearZero) a2 = crossOrZero(h + kNudge, d);
  normalise(a2);
  const Mat4 alongSegment = multiply(rotation(elevation, a2), turnToHeading);

  Vec3 a3 = crossOrZero(a2, d);
  if (length(a3) < kNearZero) a3 = crossOrZero(a2 + kNudge, d);
  normalise(a3);

  const int last = count - 2;
  for (int i = 0; i <= last; ++i) {
    const double sign = (i % 2 == 0) ? 1.0 : -1.0;
    Mat4 leaf = multiply(rotation(sign * elevation, d), alongSegment);
    leaf = multiply(rotation(sign * tilt, a3), leaf);
    leaf = multiply(rotation(sign * twist, d), leaf);
    const Vec3 p = count == 2 ? start : start + (end - start) * (static_cast<double>(i) / (count - 2));
    model.leafFrames[i] = multiply(translation(p), leaf);
    if (i == last) {
      // The extra end leaf: along the segment, dipped by a quarter of the tilt at most.
      Mat4 extra = multiply(rotation(kPi / 2, d), alongSegment);
      extra = multiply(rotation(tilt * 0.25 * random(), a3), extra);
      extra = multiply(rotation(-kPi / 2, d), extra);
      model.leafFrames[i + 1] = multiply(translation(p), extra);
    }
  }
  return count;
}

int placeLeaves(int phyllotaxis, TreeModel& model, const Vec3& start, const Vec3& end, int count,
                const LeafRandom& random) {
  if (phyllotaxis == 1) return placeLeavesSpiral(model, start, end, count, random);
  if (phyllotaxis == 2) return placeLeavesAlternate(model, start, end, count, random);
  return placeLeavesDecussate(model, start, end, count, random);
}
