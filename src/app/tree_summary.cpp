#include "app/tree_summary.h"

#include <algorithm>
#include <cmath>

#include "tree/geometry.h"
#include "tree/tree_model.h"

namespace {

constexpr double kBreastHeight = 1.3;  // file units; metres for the metric formats
// Tubes are drawn with their surface at half the stored node radius.
constexpr double kDrawnRadiusShare = 0.5;

double distance(const Vec3& a, const Vec3& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

double radiusAt(const Branch& b, size_t k) {
  return k < b.radii.size() ? kDrawnRadiusShare * b.radii[k] : 0.0;
}

// Drawn diameter of the trunk where it first reaches height y (model units), or at its
// first node when it never does.
double trunkDiameterAt(const Branch& trunk, double y, bool* reached) {
  *reached = false;
  for (size_t k = 1; k < trunk.nodes.size(); ++k) {
    const double y0 = trunk.nodes[k - 1].y, y1 = trunk.nodes[k].y;
    if ((y0 - y) * (y1 - y) <= 0.0 && y0 != y1) {
      const double t = (y - y0) / (y1 - y0);
      *reached = true;
      return 2.0 * (radiusAt(trunk, k - 1) + t * (radiusAt(trunk, k) - radiusAt(trunk, k - 1)));
    }
  }
  return 2.0 * radiusAt(trunk, 0);
}

}  // namespace

TreeSummary summariseTree(const TreeModel& model, double scale) {
  TreeSummary s;
  if (!model.isBuilt() || !(scale > 0.0) || !std::isfinite(scale)) return s;
  double low = INFINITY, high = -INFINITY;
  for (const auto& b : model.branches) {
    if (b->nodes.size() < 2) continue;
    ++s.branches;
    for (size_t k = 0; k < b->nodes.size(); ++k) {
      low = std::min(low, b->nodes[k].y);
      high = std::max(high, b->nodes[k].y);
      if (k == 0) continue;
      const double h = distance(b->nodes[k - 1], b->nodes[k]);
      const double r0 = radiusAt(*b, k - 1), r1 = radiusAt(*b, k);
      s.branchLength += h;
      s.volume += kPi * h / 3.0 * (r0 * r0 + r0 * r1 + r1 * r1);
    }
  }
  if (s.branches == 0) return s;
  s.valid = true;
  s.height = (high - low) / scale;
  s.branchLength /= scale;
  s.volume /= scale * scale * scale;
  const Branch& trunk = *model.branches.front();
  if (trunk.nodes.size() >= 2) {
    bool reached = false;
    const double base = trunk.nodes.front().y;
    const double diameter = trunkDiameterAt(trunk, base + kBreastHeight * scale, &reached);
    s.hasStemDiameter = true;
    s.stemDiameter = diameter / scale;
    s.stemHeight = reached ? kBreastHeight : 0.0;
  }
  return s;
}

void addFitFigures(TreeSummary& summary, const FitFigures& fit) {
  summary.hasFit = summary.valid && fit.valid();
  if (!summary.hasFit) return;
  summary.within2cm = fit.within2;
  summary.within5cm = fit.within5;
  summary.within10cm = fit.within10;
  summary.phantom = fit.phantom;
}
