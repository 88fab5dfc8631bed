#pragma once
// Tree measurements from a built tree and the points it was built from, in the scan file's
// units (metres for real scans) and its up axis (the model's Y). Only the file's points are
// used, never the key points the readers add after them.
//
//   base: the ground level at the stem. Around the trunk's first written node (horizontally,
//     within the larger of three drawn base radii and 0.5 units) the third-lowest point, so
//     that a stray point or two below the ground does not lower it, and a terrain sloping
//     away from the tree does not either. Its position is that node's, at that level.
//   height: the third-highest point above the base (the points, not the model).
//   stem diameter: at breastHeight (1.3) above the base. The stem there is the branch
//     crossing that level nearest the base (the trunk, unless it was traced along the
//     ground). The points of a slice 0.1 thick within the larger of three drawn radii and
//     0.3 units of its centreline are fitted with a circle: the start is the circle of least
//     median distance to the points among the algebraic fit and circles through random
//     triples (with few points well inside it), then a geometric (least-squares distance)
//     fit with points beyond three robust deviations trimmed, until the kept points settle.
//     Reported with the RMS distance of the kept points from the circle and their number,
//     or with the reason there is none: the tree is lower, the model does not reach that
//     height, another upright branch crosses it nearly as thick or reaching into the top
//     quarter of the tree (a second stem), too few points (10), no circle, or an RMS error
//     above a quarter of the radius.
//   crown base height: the lowest fork of a branch on the trunk (order 2) above the base,
//     leaving out branches that stay within 0.5 units of the base (roots, ground).
//   crown diameter and projected area: the convex hull, on the ground plane, of the points
//     at or above the crown base (all points above the base without a crown base); the
//     diameter is the mean of the hull's largest width and its width at right angles to it.
//   total branch length and wood volume: sums over treeCylinders (trunk included, root
//     segment not), pi r^2 L with the drawn radius.
//   branches by order: count and summed length of the written branches per order (order 1
//     is the trunk); the branch count is theirs summed.

#include <cstdint>
#include <string>
#include <vector>

#include "tree/fit_measure.h"
#include "tree/geometry.h"

class PointCloud;
class TreeModel;

struct StemDiameter {
  bool measured = false;
  double diameter = 0.0;
  double rmsError = 0.0;  // RMS distance of the kept points from the fitted circle
  int32_t points = 0;     // points the fit kept
  Vec3 centre;            // circle centre at the slice height, file coordinates
  std::string reason;     // why there is no diameter, when not measured
};

struct OrderSummary {
  int32_t order = 0;
  int32_t branches = 0;
  double length = 0.0;
};

struct TreeMeasurements {
  bool measured = false;  // false when there is no built tree or no file point
  std::string reason;     // why not, when not measured
  uint32_t pointCount = 0;
  Vec3 base;  // the stem at ground level, file coordinates
  double height = 0.0;
  double breastHeight = 1.3;
  StemDiameter stem;
  bool hasCrownBase = false;
  double crownBaseHeight = 0.0;
  double crownDiameter = 0.0;
  double crownArea = 0.0;
  double totalBranchLength = 0.0;
  double woodVolume = 0.0;
  int32_t branchCount = 0;           // exported branches, trunk included
  std::vector<OrderSummary> orders;  // ascending order
  FitFigures fit;                    // the model against the points; set by the caller (measureCloudFit)
};

TreeMeasurements measureTree(const TreeModel& model, const PointCloud& cloud, double breastHeight = 1.3);

// One JSON object (a file of its own per tree); treeName is written as given. Keys: tree,
// units, measured (false: reason and nothing else), point_count, base [x, y, z], height,
// stem_diameter {height_above_base, diameter, rms_error, points, centre, reason},
// crown_base_height, crown_diameter, crown_projected_area, total_branch_length,
// wood_volume, branch_count, branches_by_order [{order, branches, length}], fit {within_2cm,
// within_5cm, within_10cm (shares 0..1), median_distance, phantom (share of the centreline),
// centreline_length} or null. Values that are not measured are null, with the reason beside
// them.
std::string measurementsJson(const TreeMeasurements& m, const std::string& treeName);

// A run summary: one header line, then one line per tree (the same columns).
std::string measurementsCsvHeader();
std::string measurementsCsvRow(const TreeMeasurements& m, const std::string& treeName);

// Circle through 2-D points, for the stem fit (exposed for its tests).
struct CircleFit {
  bool ok = false;
  double cx = 0.0, cy = 0.0, r = 0.0;
  double rms = 0.0;
  std::vector<uint32_t> kept;  // indices of the points the fit kept
};
// The start is the circle of least median distance among the algebraic fit and circles
// through random triples of points, each with a radius and a centre distance from the origin
// of at most limit (aroundOrigin: and enclosing the origin); then geometric refinement with
// outliers trimmed, as described above. Not ok when no circle qualifies or too few points stay.
CircleFit fitCircleRobust(const std::vector<double>& xs, const std::vector<double>& ys, double limit,
                          bool aroundOrigin = false);
