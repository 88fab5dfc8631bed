#pragma once
// Double-precision vectors and 4x4 matrices shared by the skeleton, the tree model, the
// branch mesh and the leaf placement. Degenerate geometry is carried in a status word
// instead of producing not-a-number values.

#include <cstdint>

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadiansPerDegree = kPi / 180.0;

// Status values of a Vec3.
enum : uint32_t {
  kVecValid = 0,
  kVecFromZeroLength = 1,  // result of normalising a vector of length zero
  kVecFromInvalid = 2,     // result of normalising a vector that was already not valid
};

struct Vec3 {
  double x = 0.0, y = 0.0, z = 0.0;
  uint32_t status = kVecValid;  // any non-zero value means "not valid"

  Vec3() = default;
  Vec3(double x_, double y_, double z_, uint32_t status_ = kVecValid) : x(x_), y(y_), z(z_), status(status_) {}
  bool valid() const { return status == kVecValid; }
};

// Component-wise arithmetic. Sums and differences carry the bitwise OR of both statuses,
// scaling keeps the vector's status, so an invalid operand stays visible in the result.
// Each coordinate is computed exactly as the spelled-out expression would be.
inline Vec3 operator+(const Vec3& a, const Vec3& b) {
  return Vec3(a.x + b.x, a.y + b.y, a.z + b.z, a.status | b.status);
}
inline Vec3 operator-(const Vec3& a, const Vec3& b) {
  return Vec3(a.x - b.x, a.y - b.y, a.z - b.z, a.status | b.status);
}
inline Vec3 operator-(const Vec3& v) {
  return Vec3(-v.x, -v.y, -v.z, v.status);
}
inline Vec3 operator*(const Vec3& v, double s) {
  return Vec3(v.x * s, v.y * s, v.z * s, v.status);
}
inline Vec3 operator*(double s, const Vec3& v) {
  return Vec3(s * v.x, s * v.y, s * v.z, v.status);
}
inline Vec3 operator/(const Vec3& v, double s) {
  return Vec3(v.x / s, v.y / s, v.z / s, v.status);
}
inline Vec3& operator+=(Vec3& a, const Vec3& b) {
  return a = a + b;
}
inline Vec3& operator-=(Vec3& a, const Vec3& b) {
  return a = a - b;
}
inline Vec3& operator*=(Vec3& v, double s) {
  return v = v * s;
}
inline Vec3& operator/=(Vec3& v, double s) {
  return v = v / s;
}

// a - b under its older name, for callers that still spell it so.
inline Vec3 difference(const Vec3& a, const Vec3& b) {
  return a - b;
}
// Euclidean length; the status is not consulted.
double length(const Vec3& v);
// In place. Invalid input gives (0,0,0) status 2; zero length gives (0,0,0) status 1.
void normalise(Vec3& v);
double dot(const Vec3& a, const Vec3& b);
// Cross product with status 0; callers that must respect invalid operands test them first.
Vec3 cross(const Vec3& a, const Vec3& b);
// Cross product that treats an invalid operand as the zero vector (status 0).
Vec3 crossOrZero(const Vec3& a, const Vec3& b);
// A normalised copy of v (status rules of normalise).
inline Vec3 normalised(Vec3 v) {
  normalise(v);
  return v;
}
// A vector at right angles to v, for a v with a zero component, chosen by which components
// vanish: (0, -z, y) when x is zero, else (-y, x, 0) when y is not, else (z, 0, -x). Not
// normalised; status 0.
Vec3 perpendicularAtZero(const Vec3& v);

// Two unit vectors at right angles to a polyline's direction and to each other, spanning the
// rings around it (branch tubes, leaf stems).
struct RingFrame {
  Vec3 u, w;
};
// The frame carried on to where the polyline runs along direction: u' = w x direction,
// w' = direction x u', each normalised and an invalid operand taken as zero, so the frame
// turns with the polyline instead of being chosen afresh, and a degenerate frame stays so.
RingFrame carryFrame(const RingFrame& previous, const Vec3& direction);

// Angle in radians in [0, pi]; 0 if either status is set or either length is below 1e-10.
double angleBetween(const Vec3& a, const Vec3& b);
// Point at parameter t on the cubic Catmull-Rom segment between p1 and p2; status 0.
Vec3 catmullRomPoint(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, double t);

// 16 doubles in column-major order as OpenGL takes them: row r, column c at index 4c + r.
struct Mat4 {
  double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  double& operator[](int i) { return m[i]; }
  double operator[](int i) const { return m[i]; }
  static Mat4 identity() { return Mat4(); }
  static Mat4 zero() {
    Mat4 z;
    for (double& v : z.m) v = 0.0;
    return z;
  }
};

// Replaces M by R*M, R the rotation by angle (radians) about the axis (ax, ay, az),
// which is not normalised first.
void rotate(Mat4& M, double angle, double ax, double ay, double az);
// P[4g + j] = sum_i A[4g + i] * B[4i + j] over storage indices (B*A in column-major terms,
// A*B when the storage is read row by row).
Mat4 multiply(const Mat4& A, const Mat4& B);
// Reads the storage row by row: projects p by M; a zero w gives (0,0,0) with status 1.
Vec3 transformPoint(const Mat4& M, const Vec3& p);
