#include "tree/geometry.h"

#include <algorithm>
#include <cmath>

double length(const Vec3& v) {
  return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

void normalise(Vec3& v) {
  if (v.status != kVecValid) {
    v = Vec3(0, 0, 0, kVecFromInvalid);
    return;
  }
  double len = length(v);
  if (len == 0.0) {
    v = Vec3(0, 0, 0, kVecFromZeroLength);
    return;
  }
  v /= len;
}

double dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 cross(const Vec3& a, const Vec3& b) {
  return Vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, kVecValid);
}

Vec3 crossOrZero(const Vec3& a, const Vec3& b) {
  if (!a.valid() || !b.valid()) return Vec3(0, 0, 0);
  return cross(a, b);
}

Vec3 perpendicularAtZero(const Vec3& v) {
  if (v.x == 0.0) return Vec3(0, -v.z, v.y);
  if (v.y != 0.0) return Vec3(-v.y, v.x, 0);
  return Vec3(v.z, 0, -v.x);
}

RingFrame carryFrame(const RingFrame& previous, const Vec3& direction) {
  Vec3 u = normalised(crossOrZero(previous.w, direction));
  return {u, normalised(crossOrZero(direction, u))};
}

double angleBetween(const Vec3& a, const Vec3& b) {
  if (a.status != kVecValid || b.status != kVecValid) return 0.0;
  if (length(a) < 1e-10 || length(b) < 1e-10) return 0.0;
  Vec3 ua = a, ub = b;
  normalise(ua);
  normalise(ub);
  return std::acos(std::clamp(dot(ua, ub), -1.0, 1.0));
}

Vec3 catmullRomPoint(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, double t) {
  double t2 = t * t, t3 = t2 * t;
  double h00 = 2 * t3 - 3 * t2 + 1, h10 = t3 - 2 * t2 + t, h01 = -2 * t3 + 3 * t2, h11 = t3 - t2;
  auto blend = [&](double a0, double a1, double a2, double a3) {
    double m1 = (a1 - a0) * 0.5 + (a2 - a1) * 0.5;
    double m2 = (a2 - a1) * 0.5 + (a3 - a2) * 0.5;
    return h00 * a1 + h10 * m1 + h01 * a2 + h11 * m2;
  };
  return Vec3(blend(p0.x, p1.x, p2.x, p3.x), blend(p0.y, p1.y, p2.y, p3.y), blend(p0.z, p1.z, p2.z, p3.z), kVecValid);
}

void rotate(Mat4& M, double angle, double ax, double ay, double az) {
  double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
  // One storage column (a column of R) per line.
  // clang-format off
  const Mat4 R = {{t * ax * ax + c,      t * ax * ay + s * az, t * ax * az - s * ay, 0,
                   t * ax * ay - s * az, t * ay * ay + c,      t * ay * az + s * ax, 0,
                   t * ax * az + s * ay, t * ay * az - s * ax, t * az * az + c,      0,
                   0,                    0,                    0,                    1}};
  // clang-format on
  M = multiply(M, R);  // R*M in column-major terms
}

Mat4 multiply(const Mat4& A, const Mat4& B) {
  Mat4 P = Mat4::zero();
  for (int g = 0; g < 4; ++g)
    for (int j = 0; j < 4; ++j) {
      double sum = 0.0;
      for (int i = 0; i < 4; ++i) sum += A[4 * g + i] * B[4 * i + j];
      P[4 * g + j] = sum;
    }
  return P;
}

Vec3 transformPoint(const Mat4& M, const Vec3& p) {
  double w = M[12] * p.x + M[13] * p.y + M[14] * p.z + M[15];
  if (w == 0.0) return Vec3(0, 0, 0, kVecFromZeroLength);
  return Vec3((M[0] * p.x + M[1] * p.y + M[2] * p.z + M[3]) / w, (M[4] * p.x + M[5] * p.y + M[6] * p.z + M[7]) / w,
              (M[8] * p.x + M[9] * p.y + M[10] * p.z + M[11]) / w, kVecValid);
}
