#include "foliage/tree_display.h"

#include <algorithm>

#include "foliage/leaf_placement.h"
#include "settings/settings.h"

namespace {

// Leaf slots shown on a segment other than the tip one: at the largest density this leaves
// out the last slot, the leaf at the end node that the next segment's first leaf repeats.
constexpr int kInnerSegmentSlots = 15;

// The row-by-row leaf matrix in column-major order.
Mat4 columnMajor(const Mat4& rowMajor) {
  Mat4 m;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m[4 * c + r] = rowMajor[4 * r + c];
  return m;
}

void visitBranchLeaves(TreeModel& model, const Branch& branch, const std::function<void(const Mat4&)>& visit) {
  const int n = static_cast<int>(branch.nodes.size());
  if (n < 2 || g_nLeafInfluence < 2) return;
  // The table has 16 slots; a density outside the panel's range must not index past it.
  const int density = std::min(g_nLeafDensity, kMaxLeavesPerSegment);
  for (int j = 2; j <= n && j <= g_nLeafInfluence; ++j) {
    const Vec3& start = branch.nodes[n - j];
    const Vec3& end = branch.nodes[n - j + 1];
    const int written = placeLeaves(g_nLeafPhyllotaxis, model, start, end, density);
    const int slots = j == 2 ? density : std::min(density, kInnerSegmentSlots);
    // Only slots written for this segment are shown, never those left from another one.
    for (int s = 0; s < std::min(slots, written); ++s) visit(columnMajor(model.leafFrames[s]));
  }
}

}  // namespace

void applyTreeParameters(TreeModel& model) {
  model.rebuild();
  model.buildDisplay();
}

void rebuildTreeDisplay(TreeModel& model) {
  if (model.isBuilt()) model.buildDisplay();
}

bool treeLeavesShown() {
  return g_dLeafSize != 0.0 && g_bShowLeaves && !g_bLevelLines;
}

void forEachTreeLeafFrame(TreeModel& model, const std::function<void(const Mat4&)>& visit) {
  if (!treeLeavesShown()) return;
  for (const auto& branch : model.branches)
    if (branch) visitBranchLeaves(model, *branch, visit);
}

std::vector<Mat4> treeLeafFrames(TreeModel& model) {
  std::vector<Mat4> frames;
  forEachTreeLeafFrame(model, [&frames](const Mat4& frame) { frames.push_back(frame); });
  return frames;
}
