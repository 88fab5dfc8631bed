#include "skeleton/kd_tree.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

double pointDistance(const double a[3], const double b[3]) {
  const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Joins (d, node) after every pair with an equal distance and keeps at most K pairs,
// dropping the largest (the last one) when over.
void offer(NearestSet& set, size_t K, double d, uint32_t node) {
  auto at = std::upper_bound(set.begin(), set.end(), d,
                             [](double key, const std::pair<double, uint32_t>& e) { return key < e.first; });
  set.insert(at, std::make_pair(d, node));
  if (set.size() > K) set.pop_back();
}

}  // namespace

uint32_t KdTree::newNode(const double p[3], uint32_t payload, uint64_t depth) {
  KdTreeNode n;
  n.point[0] = p[0];
  n.point[1] = p[1];
  n.point[2] = p[2];
  n.payload = payload;
  n.depth = depth;
  n.highChild = kNoNode;
  n.lowChild = kNoNode;
  nodes_.push_back(n);
  ++nodeCount;
  return static_cast<uint32_t>(nodes_.size() - 1);
}

void KdTree::insert(const double p[3], uint32_t payload) {
  if (root == kNoNode) {
    if (std::isnan(p[0]) || std::isnan(p[1]) || std::isnan(p[2])) {
      std::printf("Error inserting elements into binary tree\n");
      return;
    }
    root = newNode(p, payload, 0);
    return;
  }
  uint32_t at = root;
  uint64_t steps = 0;
  for (;;) {
    KdTreeNode& n = nodes_[at];
    if (p[0] == n.point[0] && p[1] == n.point[1] && p[2] == n.point[2]) {
      n.payload = payload;
      return;
    }
    const int a = static_cast<int>(n.depth % 3);
    uint32_t* child = nullptr;
    if (p[a] < n.point[a]) {
      child = &n.lowChild;
    } else if (p[a] >= n.point[a]) {
      child = &n.highChild;
    } else {
      std::printf("Error inserting elements into binary tree\n");
      return;
    }
    ++steps;
    if (*child == kNoNode) {
      // newNode may move the store; write the link through an index afterwards.
      const bool low = (child == &n.lowChild);
      const uint32_t created = newNode(p, payload, steps);
      if (low) {
        nodes_[at].lowChild = created;
      } else {
        nodes_[at].highChild = created;
      }
      return;
    }
    at = *child;
  }
}

size_t KdTree::radiusSearch(const double q[3], double r) {
  return radiusSearch(q, r, lastIndices, lastDistances);
}

size_t KdTree::radiusSearch(const double q[3], double r, std::vector<uint32_t>& indices,
                            std::vector<double>& distances) const {
  indices.clear();
  distances.clear();
  // Explicit stack in place of recursion: the tree is not balanced and may be as deep as it
  // has nodes. Phase 0 = enter the node (near side first), phase 1 = back from the near side.
  struct Frame {
    uint32_t node;
    int phase;
  };
  std::vector<Frame> stack;
  if (root != kNoNode) stack.push_back({root, 0});
  while (!stack.empty()) {
    const Frame f = stack.back();
    stack.pop_back();
    const KdTreeNode& n = nodes_[f.node];
    const int a = static_cast<int>(n.depth % 3);
    const bool nearIsLow = n.point[a] > q[a];
    const uint32_t nearSide = nearIsLow ? n.lowChild : n.highChild;
    const uint32_t farSide = nearIsLow ? n.highChild : n.lowChild;
    if (f.phase == 0) {
      stack.push_back({f.node, 1});
      if (nearSide != kNoNode) stack.push_back({nearSide, 0});
      continue;
    }
    const double gap = nearIsLow ? n.point[a] - q[a] : q[a] - n.point[a];
    if (gap > r) continue;
    const double d = pointDistance(n.point, q);
    if (d <= r) {
      indices.push_back(n.payload);
      distances.push_back(d);
    }
    if (farSide != kNoNode) stack.push_back({farSide, 0});
  }
  return indices.size();
}

size_t KdTree::nearestSearch(const double q[3], size_t K, NearestSet& set) {
  return nearestSearch(q, K, set, lastIndices, lastDistances);
}

size_t KdTree::nearestSearch(const double q[3], size_t K, NearestSet& set, std::vector<uint32_t>& indices,
                             std::vector<double>& distances) const {
  set.clear();
  indices.clear();
  distances.clear();
  if (K == 0) return 0;
  // Each frame is a loop level waiting for its near-side search to return: far is where the
  // loop continues, gap the split-axis distance that decides whether it does.
  struct Frame {
    uint32_t far;
    double gap;
  };
  std::vector<Frame> stack;
  uint32_t cur = root;
  for (;;) {
    while (cur != kNoNode) {
      const KdTreeNode& n = nodes_[cur];
      offer(set, K, pointDistance(n.point, q), cur);
      const int a = static_cast<int>(n.depth % 3);
      const bool nearIsLow = n.point[a] > q[a];
      stack.push_back({nearIsLow ? n.highChild : n.lowChild, std::fabs(n.point[a] - q[a])});
      cur = nearIsLow ? n.lowChild : n.highChild;
    }
    if (stack.empty()) break;
    const Frame f = stack.back();
    stack.pop_back();
    if (set.size() == K && !(set.back().first > f.gap)) continue;  // this level's loop stops
    cur = f.far;
  }
  distances.reserve(set.size());
  indices.reserve(set.size());
  for (const auto& e : set) {
    distances.push_back(e.first);
    indices.push_back(nodes_[e.second].payload);
  }
  return set.size();
}
