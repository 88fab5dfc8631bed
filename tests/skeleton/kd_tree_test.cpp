// KdTree against brute force on seeded clouds on a coarse integer lattice (many duplicates
// and equal distances), and the edges of its contract.

#include "skeleton/kd_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <set>

#include "support/test_support.h"

namespace {

using P3 = std::array<double, 3>;

double dist(const double a[3], const double q[3]) {
  const double dx = a[0] - q[0], dy = a[1] - q[1], dz = a[2] - q[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The nearest walk read recursively over a std::multimap (equal keys in insertion order).
void nearestReference(const KdTree& t, uint32_t at, const double q[3], size_t K, std::multimap<double, uint32_t>& S) {
  while (at != KdTree::kNoNode) {
    const KdTreeNode& n = t.node(at);
    S.emplace(dist(n.point, q), n.payload);
    if (S.size() > K) S.erase(std::prev(S.end()));
    const int a = int(n.depth % 3);
    const bool lowFirst = n.point[a] > q[a];
    nearestReference(t, lowFirst ? n.lowChild : n.highChild, q, K, S);
    if (S.size() == K && std::prev(S.end())->first <= std::fabs(n.point[a] - q[a])) return;
    at = lowFirst ? n.highChild : n.lowChild;
  }
}

TEST(KdTree, RadiusAndNearestMatchBruteForceOnLatticeClouds) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(0, 5);
  std::uniform_real_distribution<double> u(-1.0, 6.0);
  NearestSet set;
  for (int round = 0; round < 6; ++round) {
    KdTree t;
    std::vector<P3> pts(300);
    std::map<P3, uint32_t> distinct;  // each distinct point with its last payload
    for (uint32_t i = 0; i < pts.size(); ++i) {
      pts[i] = {double(coord(rng)), double(coord(rng)), double(coord(rng))};
      t.insert(pts[i].data(), i);
      distinct[pts[i]] = i;
    }
    ASSERT_EQ(t.nodeCount, distinct.size()) << "a duplicate keeps one node";
    for (int qi = 0; qi < 60; ++qi) {
      // Lattice queries with integer radii put many points exactly on the sphere.
      double q[3] = {std::round(u(rng)), std::round(u(rng)), u(rng)};
      if (qi % 2) q[2] = std::round(q[2]);
      const double r = qi % 3 == 0 ? 2.0 : (qi % 3 == 1 ? 1.0 : 1.7);
      const size_t count = t.radiusSearch(q, r);
      ASSERT_EQ(t.lastDistances.size(), count);
      std::set<uint32_t> want;
      for (const auto& [p, payload] : distinct)
        if (dist(p.data(), q) <= r) want.insert(payload);
      EXPECT_EQ(std::set<uint32_t>(t.lastIndices.begin(), t.lastIndices.end()), want);
      EXPECT_EQ(count, want.size()) << "a node reported twice";
      for (size_t h = 0; h < count; ++h) EXPECT_EQ(t.lastDistances[h], dist(pts[t.lastIndices[h]].data(), q));

      const size_t K = 1 + qi % 17;
      ASSERT_EQ(t.nearestSearch(q, K, set), std::min(K, distinct.size()));
      std::vector<double> all;
      for (const auto& e : distinct) all.push_back(dist(e.first.data(), q));
      std::sort(all.begin(), all.end());
      all.resize(std::min(K, all.size()));
      EXPECT_EQ(t.lastDistances, all);
      // Payloads ascending by distance, equal distances in the walk's visit order.
      std::multimap<double, uint32_t> S;
      nearestReference(t, t.root, q, K, S);
      std::vector<uint32_t> order;
      for (const auto& e : S) order.push_back(e.second);
      EXPECT_EQ(t.lastIndices, order);
    }
  }
}

TEST(KdTree, EmptyTreeExactRadiusKBeyondTheCountAndNaN) {
  KdTree t;
  NearestSet set;
  const double q[3] = {0, 0, 0};
  EXPECT_EQ(t.radiusSearch(q, 100.0), 0u);
  EXPECT_EQ(t.nearestSearch(q, 5, set), 0u);
  const double pts[5][3] = {{3, 0, 0}, {1, 0, 0}, {0, 3, 4}, {1, 0, 0}, {0, 3, 4.000001}};
  for (uint32_t i = 0; i < 5; ++i) t.insert(pts[i], i);
  ASSERT_EQ(t.nodeCount, 4u);
  ASSERT_EQ(t.radiusSearch(q, 5.0), 3u);  // (0, 3, 4) lies exactly at the radius
  EXPECT_EQ(std::set<uint32_t>(t.lastIndices.begin(), t.lastIndices.end()), (std::set<uint32_t>{0, 2, 3}));
  ASSERT_EQ(t.nearestSearch(q, 10, set), 4u);
  EXPECT_EQ(t.lastIndices, (std::vector<uint32_t>{3, 0, 2, 4}));
  const double bad[3] = {std::numeric_limits<double>::quiet_NaN(), 1, 1};
  StdoutCapture out;
  t.insert(bad, 9);
  EXPECT_EQ(out.text(), "Error inserting elements into binary tree\n");
  EXPECT_EQ(t.nodeCount, 4u);
}

}  // namespace
