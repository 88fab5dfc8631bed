#pragma once
// A uniform grid over vertex positions that answers "which vertices lie within the radius of
// vertex i" with the same floating-point test as the kd-tree radius query, so both find the
// same pairs. A pair is within the radius when dx*dx + dy*dy + dz*dz (in that order) is at
// most the largest square whose square root does not exceed the radius: that is exactly
// sqrt(...) <= radius, since the square root is correctly rounded and monotonic.
//
// Cells are about half the radius across. Each cell keeps the bounding box of its vertices;
// a cell whose box lies wholly inside or outside the radius is taken or skipped without
// testing its vertices (the box test is exact: rounding is monotonic, so no vertex of the
// box can test differently from the box's far or near corner).

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

using Point3 = std::array<double, 3>;

// The largest s with sqrt(s) <= radius; negative when no s qualifies.
double squaredRadiusLimit(double radius);

// dx*dx + dy*dy + dz*dz of a - b, the order the kd tree and the graph distance use.
inline double squaredDistance(const Point3& a, const Point3& b) {
  const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return dx * dx + dy * dy + dz * dz;
}

class RadiusGrid {
 public:
  // Files every vertex with finite coordinates; indexed[i] != 0 marks the vertices that count
  // as query results (see countIndexed).
  void build(const std::vector<Point3>& positions, const std::vector<uint8_t>& indexed, double radius);
  void release();

  // Indexed vertices within the radius of at.
  uint32_t countIndexed(const Point3& at) const;
  // Appends the vertices j != i within the radius of at, leaving out those with
  // (*skip)[j] != 0 and, unless anyVertex, those not indexed. Unordered.
  void collect(uint32_t i, const Point3& at, bool anyVertex, const std::vector<uint8_t>* skip,
               std::vector<uint32_t>& out) const;
  // Forgets vertex s and renumbers the later ones down by one.
  void removeVertex(uint32_t s);

  double limit() const { return limit_; }
  size_t memoryBytes() const;

 private:
  enum class Cover { None, Some, All };
  // Calls visit(cell, cover) for each non-empty cell that may hold a vertex within the radius.
  template <typename Visit>
  void forCells(const Point3& at, Visit visit) const;
  int cellAlong(int axis, double coordinate) const;

  double radius_ = 0.0;
  double limit_ = -1.0;
  double size_ = 1.0;
  Point3 origin_{};
  int dims_[3] = {0, 0, 0};
  std::vector<uint32_t> cellStart_;  // cells + 1 offsets into the slot arrays
  std::vector<uint32_t> indexedInCell_;
  std::vector<Point3> boxLow_, boxHigh_;
  // Slots, cell by cell, vertices ascending within a cell.
  std::vector<uint32_t> vertex_;
  std::vector<Point3> point_;
  std::vector<uint8_t> indexed_;
};
