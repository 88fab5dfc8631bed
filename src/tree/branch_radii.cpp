#include <algorithm>
#include <cmath>
#include <utility>

#include "settings/settings.h"
#include "tree/branch_radii.h"
#include "tree/tree_model.h"

double segmentLength(const Vec3& a, const Vec3& b) {
  if (!a.valid() || !b.valid()) return 0.0;
  return length(b - a);
}

double polylineLength(const std::vector<Vec3>& nodes) {
  double sum = 0.0;
  for (size_t k = 1; k < nodes.size(); ++k) sum += segmentLength(nodes[k - 1], nodes[k]);
  return sum;
}

void refineTrunkRadii(Branch& trunk) {
  size_t n = trunk.radii.size() / 2;
  if (n <= 1 || trunk.nodes.size() <= n) return;
  const double r0 = trunk.radii[0];
  const double rn = trunk.radii[n - 1];
  double total = 0.0;
  for (size_t k = 1; k <= n; ++k) total += segmentLength(trunk.nodes[k - 1], trunk.nodes[k]);
  // A lower trunk of degenerate nodes has no length to spread the taper over.
  if (total == 0.0) return;
  double covered = 0.0;
  for (size_t k = 1; k < n; ++k) {
    covered += segmentLength(trunk.nodes[k - 1], trunk.nodes[k]);
    trunk.radii[k] = r0 - std::pow(covered / total, 1.3) * (r0 - rn);
  }
}

namespace {

// No traced child starts thicker than its parent: a walk from the root segment, each
// segment reached once.
void capChildRadii(std::vector<TreeSegment>& segments) {
  std::vector<char> reached(segments.size(), 0);
  std::vector<uint32_t> stack{0u};
  reached[0] = 1;
  while (!stack.empty()) {
    const TreeSegment& seg = segments[stack.back()];
    stack.pop_back();
    for (uint32_t k = 0; k < tracedChildCount(seg); ++k) {
      const uint32_t c = seg.children[k];
      if (c >= segments.size() || reached[c]) continue;
      reached[c] = 1;
      TreeSegment& child = segments[c];
      child.startRadius = std::min(child.startRadius, seg.startRadius);
      child.endRadius = child.startRadius;
      stack.push_back(c);
    }
  }
}

}  // namespace

// Pipe model over the segments that hang from the root through their traced children: a tip
// starts with g_dBranchThickness, any other segment gets (sum of child radius^ratio)^(1/ratio)
// at both ends. Post-order with an explicit stack, so skeleton depth is not bounded by the
// call stack. A child met again while it is still open (a cycle) is left out of the sum.
void TreeModel::computeRadii() {
  if (segments.empty()) return;
  const double thickness = g_dBranchThickness;
  const double ratio = g_dBranchRatio;
  bool anyFitted = false;
  enum : char { kUnvisited = 0, kOpen = 1, kDone = 2 };
  std::vector<char> state(segments.size(), kUnvisited);
  std::vector<std::pair<uint32_t, uint32_t>> stack;  // segment, next child entry to visit
  stack.emplace_back(0u, 0u);
  state[0] = kOpen;
  while (!stack.empty()) {
    auto& [s, next] = stack.back();
    TreeSegment& seg = segments[s];
    const uint32_t count = tracedChildCount(seg);
    if (next < count) {
      uint32_t c = seg.children[next++];
      if (c < segments.size() && state[c] == kUnvisited) {
        state[c] = kOpen;
        stack.emplace_back(c, 0u);
      }
      continue;
    }
    bool hasChild = false;
    double sum = 0.0;
    for (uint32_t k = 0; k < count; ++k) {
      uint32_t c = seg.children[k];
      if (c >= segments.size()) continue;
      hasChild = true;
      if (state[c] == kDone) sum += std::pow(segments[c].startRadius, ratio);
    }
    if (seg.fittedRadius >= 0.0) {
      seg.startRadius = seg.endRadius = seg.fittedRadius;
      anyFitted = true;
    } else if (hasChild) {
      seg.startRadius = seg.endRadius = std::pow(sum, 1.0 / ratio);
    } else {
      seg.startRadius = thickness;
    }
    state[s] = kDone;
    stack.pop_back();
  }
  // Fitted and pipe-model radii mixed: caps from the root down, parents before children
  // (the pipe model alone never makes a child thicker, so it is left exactly as it was).
  if (anyFitted) capChildRadii(segments);

  // Each segment tapers to its thickest traced child; a tip keeps its start radius.
  for (TreeSegment& seg : segments) {
    bool hasChild = false;
    double widest = 0.0;
    for (uint32_t k = 0; k < tracedChildCount(seg); ++k) {
      uint32_t c = seg.children[k];
      if (c >= segments.size()) continue;
      hasChild = true;
      widest = std::max(widest, segments[c].startRadius);
    }
    seg.endRadius = hasChild ? widest : seg.startRadius;
  }
}
