#pragma once
// Skeleton builders for the tree-model tests: the same hand-over the growth passes make.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <random>
#include <vector>

#include "tree/tree_model.h"

// A skeleton as a node tree: node 0 is the root, parent[i] the parent node (-1 for the root).
struct NodeTree {
  std::vector<Vec3> positions;
  std::vector<int> parent;

  int add(const Vec3& p, int parentNode) {
    positions.push_back(p);
    parent.push_back(parentNode);
    return static_cast<int>(positions.size()) - 1;
  }
  std::vector<std::vector<int>> childLists() const {
    std::vector<std::vector<int>> kids(positions.size());
    for (size_t i = 0; i < parent.size(); ++i)
      if (parent[i] >= 0) kids[parent[i]].push_back(static_cast<int>(i));
    return kids;
  }
};

inline TreeSegment makeSegment(const Vec3& start, const Vec3& end, int parent, std::vector<uint32_t> children = {}) {
  TreeSegment s;
  s.start = start;
  s.end = end;
  s.parent = parent;
  s.children = std::move(children);
  s.childCount = static_cast<uint32_t>(s.children.size());
  return s;
}

// The space-colonisation hand-over: root segment from 0.2 below the root node, then the
// other nodes breadth-first, each segment's children given as index ranges. Returns, per node,
// the index of the segment that ends at it.
inline std::vector<uint32_t> loadSpaceColonisation(TreeModel& model, const NodeTree& tree) {
  auto kids = tree.childLists();
  std::vector<uint32_t> segmentOf(tree.positions.size(), 0);
  model.clear();
  Vec3 root = tree.positions[0];
  uint32_t a = 0;
  auto childRange = [&](int node) {
    std::vector<uint32_t> c;
    for (size_t k = 0; k < kids[node].size(); ++k) c.push_back(++a);
    return c;
  };
  model.appendSegment(makeSegment(Vec3(root.x, root.y - 0.2, root.z), root, -1, childRange(0)));
  std::deque<int> queue{0};
  uint32_t next = 1;
  while (!queue.empty()) {
    int p = queue.front();
    queue.pop_front();
    for (int c : kids[p]) {
      segmentOf[c] = next++;
      model.appendSegment(
          makeSegment(tree.positions[p], tree.positions[c], static_cast<int>(segmentOf[p]), childRange(c)));
      queue.push_back(c);
    }
  }
  return segmentOf;
}

// The best-first hand-over: root segment, then per expanded segment setChildRange followed by
// its children; ends with indexLevels (applyLevel is left to the test).
inline void loadBestFirst(TreeModel& model, const NodeTree& tree) {
  auto kids = tree.childLists();
  model.clear();
  Vec3 root = tree.positions[0];
  model.appendSegment(makeSegment(Vec3(root.x, root.y - 0.2, root.z), root, -1));
  std::deque<std::pair<int, uint32_t>> queue{{0, 0u}};
  uint32_t last = 0;
  while (!queue.empty()) {
    auto [node, seg] = queue.front();
    queue.pop_front();
    if (kids[node].empty()) continue;
    model.setChildRange(seg, static_cast<int>(kids[node].size()), last);
    for (int c : kids[node]) {
      model.appendSegment(makeSegment(tree.positions[node], tree.positions[c], static_cast<int>(seg)));
      queue.emplace_back(c, ++last);
    }
  }
  model.indexLevels();
}

// A random node tree grown upwards: each new node hangs from a random earlier node. With
// grid > 0 positions are snapped to that grid so that many coincide.
inline NodeTree randomNodeTree(std::mt19937& rng, int count, double grid = 0.0) {
  std::uniform_real_distribution<double> off(-0.3, 0.3), up(0.05, 0.4);
  NodeTree t;
  t.add(Vec3(0, 0, 0), -1);
  for (int i = 1; i < count; ++i) {
    // Favour recent nodes so the tree gets depth as well as breadth.
    std::uniform_int_distribution<int> pick(std::max(0, i - 8), i - 1);
    int p = pick(rng);
    Vec3 q = t.positions[p];
    Vec3 pos(q.x + off(rng), q.y + up(rng), q.z + off(rng));
    if (grid > 0) {
      pos.x = std::round(pos.x / grid) * grid;
      pos.y = std::round(pos.y / grid) * grid;
      pos.z = std::round(pos.z / grid) * grid;
    }
    t.add(pos, p);
  }
  return t;
}
