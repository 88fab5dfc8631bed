#pragma once
// How closely a tree model follows the cloud it was built from, in the cloud file's units
// (metres for real scans): for every cloud point the distance to the drawn tube surface
// (distance to the nearest centreline point minus the tube radius drawn there, absolute),
// and for the centreline, sampled every centimetre, the share whose nearest point lies more
// than 10 cm beyond the tube surface ("phantom" wood that no point supports). The model is
// measured as it is drawn: the branches with nodes, subdivided like the tube mesh, with the
// surface at half the stored radius.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tree/geometry.h"

class TreeModel;

// The layout of a balanced kd-tree over points, kept in arrays: the range [lo, hi) of a node
// holds its median (the splitting point) at lo + (hi - lo) / 2, split on the widest axis of
// the range, with ranges of at most kKdLeafSize points as leaves. order[i] is the original
// index of the point at position i, axis[i] the split axis of the node whose median is i,
// xyz the coordinates in position order, three per point. Equal points split by index.
constexpr uint32_t kKdLeafSize = 8;
void buildKdLayout(const std::vector<Vec3>& points, std::vector<uint32_t>* order, std::vector<uint8_t>* axis,
                   std::vector<double>* xyz);

// A static kd-tree over points for nearest and radius queries (median splits on the widest
// axis, small leaves). Deterministic: equal input gives equal answers.
class PointIndex {
 public:
  PointIndex() = default;
  explicit PointIndex(std::vector<Vec3> points) { build(std::move(points)); }
  void build(std::vector<Vec3> points);
  size_t size() const { return order_.size(); }
  bool empty() const { return order_.empty(); }

  // Index (into the points given to build) of the nearest point, its distance in *distance;
  // SIZE_MAX and an infinite distance when the index is empty.
  size_t nearest(const Vec3& q, double* distance) const;
  // Appends the indices of every point within r of q (a point at exactly r included) to out.
  void within(const Vec3& q, double r, std::vector<uint32_t>* out) const;
  // The k nearest points of q as (squared distance, index) pairs in ascending order (equal
  // distances by index); fewer when the index holds fewer points.
  void nearestK(const Vec3& q, size_t k, std::vector<std::pair<double, uint32_t>>* out) const;

 private:
  void split(uint32_t lo, uint32_t hi);
  void nearestIn(uint32_t lo, uint32_t hi, const double q[3], double* best2, uint32_t* best) const;
  void withinIn(uint32_t lo, uint32_t hi, const double q[3], double r2, std::vector<uint32_t>* out) const;
  void nearestKIn(uint32_t lo, uint32_t hi, const double q[3], size_t k,
                  std::vector<std::pair<double, uint32_t>>* out) const;

  std::vector<double> xyz_;      // point coordinates in tree order, three per point
  std::vector<uint32_t> order_;  // original index of each point in tree order
  std::vector<uint8_t> axis_;    // split axis of the node whose point sits at that position
};

// One drawn piece of tube in the cloud file's units: the centreline from a to b, the drawn
// (surface) radius going linearly from ra to rb.
struct TubePiece {
  Vec3 a, b;
  double ra = 0.0, rb = 0.0;
};

// Every tube piece the model draws: each branch with at least two nodes and one radius per
// node, subdivided as drawn, coordinates divided by scale, radii halved and divided by scale.
std::vector<TubePiece> drawnTubePieces(const TreeModel& model, double scale);

struct FitFigures {
  size_t points = 0;            // cloud points measured
  double within2 = 0.0;         // share (0..1) of the points within 2 cm of the tube surface
  double within5 = 0.0;         // ... within 5 cm
  double within10 = 0.0;        // ... within 10 cm
  double medianDistance = 0.0;  // median point-to-surface distance
  double centreline = 0.0;      // drawn centreline length
  double phantom = 0.0;         // share of the centreline farther than 10 cm beyond the surface from every point
  bool valid() const { return points > 0 && centreline > 0.0; }
};

// The fit of the drawn model to points given in model coordinates; scale is the cloud's
// (model units per file unit). A model without drawn branches or an empty cloud gives
// figures that are not valid (all zero but the counts).
FitFigures measureFit(const TreeModel& model, const std::vector<Vec3>& points, double scale);
// The same on tube pieces and points already in the file's units.
FitFigures measureFit(const std::vector<TubePiece>& pieces, const std::vector<Vec3>& points);

// "within 2/5/10 cm 81.2 / 95.0 / 99.1 %, median 0.012 m, phantom 0.4 % of 123.4 m"
std::string formatFitFigures(const FitFigures& f);
