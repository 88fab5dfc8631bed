#include "tree/tree_model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <unordered_map>

#include "settings/settings.h"
#include "tree/branch_radii.h"

void (*TreeModel::listBuilder)(TreeModel&) = nullptr;

namespace {

bool isSegmentIndex(uint32_t index, const std::vector<TreeSegment>& segments) {
  return index < segments.size();
}

// Depth of every segment: 1 for a segment without a (valid) parent, parent's depth + 1 for the
// others. Memoised walk up the parent links, so a long chain costs linear time; a parent link
// that closes a cycle counts as the end of the chain.
std::vector<int32_t> segmentDepths(const std::vector<TreeSegment>& segments) {
  const int32_t kUnknown = 0, kVisiting = -1;
  std::vector<int32_t> depth(segments.size(), kUnknown);
  std::vector<size_t> path;
  for (size_t i = 0; i < segments.size(); ++i) {
    size_t cur = i;
    bool reachedKnown = false;
    while (depth[cur] == kUnknown) {
      depth[cur] = kVisiting;
      path.push_back(cur);
      int32_t parent = segments[cur].parent;
      if (parent < 0 || static_cast<size_t>(parent) >= segments.size()) break;
      cur = static_cast<size_t>(parent);
      reachedKnown = depth[cur] > 0;
    }
    int32_t base = reachedKnown ? depth[cur] : 0;
    while (!path.empty()) {
      depth[path.back()] = ++base;
      path.pop_back();
    }
  }
  return depth;
}

// True when one of the traced children of p has traced children of its own.
bool hasInnerChild(const TreeSegment& p, const std::vector<TreeSegment>& segments) {
  for (uint32_t k = 0; k < tracedChildCount(p); ++k) {
    uint32_t c = p.children[k];
    if (isSegmentIndex(c, segments) && segments[c].childCount != 0) return true;
  }
  return false;
}

// Detaches leaf segments from parents that also carry a segment with children of its own.
void removeLeafSpurs(std::vector<TreeSegment>& segments) {
  for (size_t i = 0; i < segments.size(); ++i) {
    const TreeSegment& leaf = segments[i];
    if (leaf.childCount != 0 || leaf.parent < 0 || static_cast<size_t>(leaf.parent) >= segments.size()) continue;
    TreeSegment& p = segments[static_cast<size_t>(leaf.parent)];
    if (p.childCount == 0 || !hasInnerChild(p, segments)) continue;
    uint32_t n = tracedChildCount(p);
    for (uint32_t k = 0; k < n; ++k) {
      if (p.children[k] != i) continue;
      p.children.erase(p.children.begin() + k);
      p.childCount = n - 1;
      break;
    }
  }
}

// Exact position of a branch's first node, for matching forks; -0 and +0 are the same key.
struct PositionKey {
  double x, y, z;
  bool operator==(const PositionKey& o) const { return x == o.x && y == o.y && z == o.z; }
};
struct PositionKeyHash {
  size_t operator()(const PositionKey& k) const {
    std::hash<double> h;
    size_t seed = h(k.x + 0.0);
    seed ^= h(k.y + 0.0) + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
    seed ^= h(k.z + 0.0) + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
    return seed;
  }
};
bool isComparable(const Vec3& v) {
  return v.x == v.x && v.y == v.y && v.z == v.z;
}

}  // namespace

TreeModel::TreeModel() {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  for (Mat4& frame : leafFrames) frame = Mat4::zero();
  maxOrder = 1;
}

void TreeModel::clear() {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  built = false;
  depths.clear();
  segments.clear();
  savedChildCounts.clear();
  branches.clear();
  pendingStarts.clear();
  currentBranch = nullptr;
}

void TreeModel::appendSegment(const TreeSegment& segment) {
  segments.push_back(segment);
  segments.back().childCount = static_cast<uint32_t>(segment.children.size());
  depths.push_back(-1);
}

void TreeModel::setChildRange(uint32_t index, int count, uint32_t base) {
  if (index >= segments.size()) return;
  TreeSegment& s = segments[index];
  if (count <= 0) {
    s.childCount = 0;
    return;
  }
  s.childCount = static_cast<uint32_t>(count);
  for (int k = 1; k <= count; ++k) s.children.push_back(base + static_cast<uint32_t>(k));
}

void TreeModel::indexLevels() {
  removeLeafSpurs(segments);
  savedChildCounts.clear();
  for (const TreeSegment& s : segments) savedChildCounts.push_back(s.childCount);
  g_nMaxLevel = 0;
  std::printf("nodes size=%zu\n", segments.size());
  depths = segmentDepths(segments);
  for (int32_t d : depths) g_nMaxLevel = std::max(g_nMaxLevel, d);
  g_level = g_nMaxLevel;
  std::printf("g_level=%d\n", static_cast<int>(g_level));
}

void TreeModel::finalise() {
  rebuild();
  buildDisplay();
}

void TreeModel::rebuild() {
  if (segments.empty()) return;
  computeRadii();
  traceBranches();
  assignOrders();
  pruneTwigs();
}

// The level step rebuilds once, from start/end and their radii. The display copies of those
// fields are not filled by any producer, so a second rebuild from them is not made.
void TreeModel::applyLevel() {
  if (segments.empty()) return;
  for (size_t i = 0; i < segments.size() && i < savedChildCounts.size(); ++i)
    segments[i].childCount = savedChildCounts[i];
  for (size_t i = 0; i < segments.size() && i < depths.size(); ++i)
    if (depths[i] >= g_level) segments[i].childCount = 0;
  rebuild();
  buildDisplay();
}

void TreeModel::buildDisplay() {
  if (listBuilder) listBuilder(*this);
}

void TreeModel::traceBranches() {
  branches.clear();
  pendingStarts.clear();
  currentBranch = nullptr;
  if (segments.empty()) return;

  // A segment is reached once only; on a well-formed tree this never skips anything, on a
  // malformed one (a child listed twice, a cycle) it keeps the walk finite.
  std::vector<char> reached(segments.size(), 0);
  std::vector<uint32_t> candidates;
  std::vector<double> angles;

  auto startBranch = [&](uint32_t s) {
    branches.push_back(std::make_unique<Branch>());
    currentBranch = branches.back().get();
    currentBranch->nodes.push_back(segments[s].start);
    currentBranch->radii.push_back(segments[s].startRadius);
  };

  uint32_t q = 0;
  reached[0] = 1;
  startBranch(0);
  while (true) {
    const TreeSegment& seg = segments[q];
    candidates.clear();
    for (uint32_t k = 0; k < tracedChildCount(seg); ++k) {
      uint32_t c = seg.children[k];
      if (isSegmentIndex(c, segments) && !reached[c]) {
        candidates.push_back(c);
        reached[c] = 1;
      }
    }
    if (!candidates.empty()) {
      Vec3 d = seg.end - seg.start;
      double maxAngle = 0.0, maxRadius = 0.0;
      angles.clear();
      for (uint32_t c : candidates) {
        double a = angleBetween(d, segments[c].end - segments[c].start);
        angles.push_back(a);
        maxAngle = std::max(maxAngle, a);
        maxRadius = std::max(maxRadius, segments[c].startRadius);
      }
      // Thickest and straightest child; the earlier child wins ties. Without any radius the
      // scores are undefined and the first child is taken. A fitted segment lists the child
      // that continues its branch first (the fit knows it from the points), so it is taken.
      size_t chosen = 0;
      if (maxRadius != 0.0 && !(seg.fittedRadius >= 0.0)) {
        double best = 0.0;
        for (size_t k = 0; k < candidates.size(); ++k) {
          double radiusTerm = segments[candidates[k]].startRadius / maxRadius;
          double score = maxAngle > 0.0 ? 0.7 * radiusTerm + 0.3 * (maxAngle - angles[k]) / maxAngle : radiusTerm;
          if (score > best) {
            best = score;
            chosen = k;
          }
        }
      }
      uint32_t next = candidates[chosen];
      currentBranch->nodes.push_back(segments[next].start);
      currentBranch->radii.push_back(segments[next].startRadius);
      for (size_t k = 0; k < candidates.size(); ++k)
        if (k != chosen) pendingStarts.push_back(candidates[k]);
      q = next;
      continue;
    }
    currentBranch->nodes.push_back(seg.end);
    currentBranch->radii.push_back(seg.endRadius);
    if (pendingStarts.empty()) break;
    q = pendingStarts.front();
    pendingStarts.pop_front();
    startBranch(q);
  }
  currentBranch = nullptr;
}

void TreeModel::assignOrders() {
  maxOrder = 1;
  for (size_t i = 0; i < branches.size(); ++i) branches[i]->order = i == 0 ? 1 : -1;
  if (!branches.empty() && g_bRefineTrunk != 0) refineTrunkRadii(*branches[0]);

  // Later branches waiting for an order, by the exact position of their first node, in list
  // order. Branch j hands order + 1 to every later waiting branch that starts on one of its
  // nodes, taking its nodes in order. Once a position has matched at branch j, no entry under
  // it can match again (the later ones got their order, the others are not later than any
  // following branch), so the position is dropped.
  std::unordered_map<PositionKey, std::vector<uint32_t>, PositionKeyHash> waiting;
  for (size_t i = 1; i < branches.size(); ++i) {
    const Branch& b = *branches[i];
    if (b.nodes.empty() || !isComparable(b.nodes[0])) continue;
    waiting[PositionKey{b.nodes[0].x, b.nodes[0].y, b.nodes[0].z}].push_back(static_cast<uint32_t>(i));
  }
  for (size_t j = 0; j < branches.size() && !waiting.empty(); ++j) {
    const Branch& bj = *branches[j];
    for (const Vec3& node : bj.nodes) {
      auto it = waiting.find(PositionKey{node.x, node.y, node.z});
      if (it == waiting.end()) continue;
      for (uint32_t i : it->second) {
        if (i <= j || branches[i]->order != -1) continue;
        branches[i]->order = bj.order + 1;
        maxOrder = std::max(maxOrder, branches[i]->order);
      }
      waiting.erase(it);
    }
  }
  built = true;
}

void TreeModel::pruneTwigs() {
  if (branches.empty()) return;
  // A model fitted to a scan keeps every branch its points support (the fit has already
  // dropped what lies on thicker wood); twig pruning by trunk length is for grown models.
  if (!segments.empty() && segments[0].fittedRadius >= 0.0) return;
  double trunkLength = polylineLength(branches[0]->nodes);
  double limit = g_dTwigRemoveRatio * trunkLength;
  for (auto& b : branches)
    if (!b->nodes.empty() && polylineLength(b->nodes) < limit) b->nodes.clear();
}
