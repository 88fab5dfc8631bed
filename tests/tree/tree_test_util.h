#pragma once
// Skeleton builders, checks and a shared fixture for the tree-model tests (includes the
// GoogleTest, test-support and standard headers they use).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "support/fresh_globals.h"
#include "support/test_support.h"
#include "tree/tree_model.h"

// Start values of every setting before and after each test; a fresh model.
class TreeTest : public FreshSettings {
 protected:
  TreeModel model;
};

// Same position (within tol) and same status.
inline void expectSame(const Vec3& a, const Vec3& b, double tol = 0.0) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
  EXPECT_EQ(a.status, b.status);
}

// A skeleton as a node tree: node 0 is the root, parent[i] the parent node (-1 for the root).
struct NodeTree {
  std::vector<Vec3> positions;
  std::vector<int> parent;
  int add(const Vec3& p, int parentNode) {
    positions.push_back(p);
    parent.push_back(parentNode);
    return static_cast<int>(positions.size()) - 1;
  }
};

// A node tree from {x, y, z, parent} rows.
inline NodeTree nodeTree(const std::vector<std::array<double, 4>>& rows) {
  NodeTree t;
  for (const auto& r : rows) t.add(Vec3(r[0], r[1], r[2]), int(r[3]));
  return t;
}

inline TreeSegment makeSegment(const Vec3& start, const Vec3& end, int parent, std::vector<uint32_t> children = {}) {
  TreeSegment s;
  s.start = start, s.end = end, s.parent = parent, s.children = std::move(children);
  return s;
}

inline TreeSegment rootSegment(const Vec3& root, std::vector<uint32_t> children = {}) {
  return makeSegment(Vec3(root.x, root.y - 0.2, root.z), root, -1, std::move(children));
}

enum HandOver { kSpaceColonisation, kBestFirst };

// Hands a node tree to the model as the growth passes do: the root segment from 0.2 below the
// root node, then one segment per node in breadth-first order. Space colonisation lists each
// segment's children up front; best first calls setChildRange before a segment's children
// are appended and ends with indexLevels (applyLevel is left to the test).
inline void loadSkeleton(TreeModel& model, const NodeTree& tree, HandOver how = kSpaceColonisation) {
  std::vector<std::vector<int>> kids(tree.parent.size());
  for (size_t i = 1; i < tree.parent.size(); ++i) kids[tree.parent[i]].push_back(static_cast<int>(i));
  std::vector<int> order{0};
  std::vector<uint32_t> segmentOf(tree.parent.size(), 0);
  for (size_t k = 0; k < order.size(); ++k)
    for (int c : kids[order[k]]) {
      segmentOf[c] = static_cast<uint32_t>(order.size());
      order.push_back(c);
    }
  model.clear();
  for (int node : order) {
    int p = tree.parent[node];
    std::vector<uint32_t> children;
    for (int c : kids[node])
      if (how == kSpaceColonisation) children.push_back(segmentOf[c]);
    if (how == kBestFirst && p >= 0 && node == kids[p][0])
      model.setChildRange(segmentOf[p], static_cast<int>(kids[p].size()), segmentOf[node] - 1);
    model.appendSegment(
        p < 0 ? rootSegment(tree.positions[0], children)
              : makeSegment(tree.positions[p], tree.positions[node], static_cast<int>(segmentOf[p]), children));
  }
  if (how == kBestFirst) model.indexLevels();
}

// A random node tree grown upwards, each new node hanging from one of the 8 latest nodes.
// With grid > 0 positions are snapped to that grid so that many coincide.
inline NodeTree randomNodeTree(std::mt19937& rng, int count, double grid = 0.0) {
  std::uniform_real_distribution<double> off(-0.3, 0.3), up(0.05, 0.4);
  auto snap = [grid](double v) { return grid > 0 ? std::round(v / grid) * grid : v; };
  NodeTree t{{Vec3(0, 0, 0)}, {-1}};
  for (int i = 1; i < count; ++i) {
    const int p = std::uniform_int_distribution<int>(std::max(0, i - 8), i - 1)(rng);
    const Vec3 q = t.positions[p];
    t.positions.push_back(Vec3(snap(q.x + off(rng)), snap(q.y + up(rng)), snap(q.z + off(rng))));
    t.parent.push_back(p);
  }
  return t;
}
