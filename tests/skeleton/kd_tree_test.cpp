// KdTree against brute force on seeded clouds on a coarse integer lattice (many duplicates and
// points exactly at the query radius), and the edges of its contract.

#include "skeleton/kd_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <set>

#include "support/test_support.h"

namespace {

double dist(const std::array<double, 3>& a, const double q[3]) {
  return std::sqrt((a[0] - q[0]) * (a[0] - q[0]) + (a[1] - q[1]) * (a[1] - q[1]) + (a[2] - q[2]) * (a[2] - q[2]));
}

TEST(KdTree, RadiusAndNearestMatchBruteForceOnLatticeClouds) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(0, 5);
  std::uniform_real_distribution<double> u(-1.0, 6.0);
  NearestSet set;
  for (int round = 0; round < 6; ++round) {
    KdTree t;
    std::map<std::array<double, 3>, uint32_t> latest;  // a duplicate keeps one node, with the later payload
    for (uint32_t i = 0; i < 300; ++i) {
      const std::array<double, 3> p = {double(coord(rng)), double(coord(rng)), double(coord(rng))};
      t.insert(p.data(), i);
      latest[p] = i;
      if (i % 100 == 50) {  // a point with a NaN coordinate is reported and not stored
        const double bad[3] = {NAN, 1.0, 1.0};
        StdoutCapture out;
        t.insert(bad, 999);
        EXPECT_EQ(out.text(), "Error inserting elements into binary tree\n");
      }
    }
    ASSERT_EQ(t.nodeCount, latest.size());
    std::map<uint32_t, std::array<double, 3>> at;
    for (const auto& [p, payload] : latest) at[payload] = p;
    for (int qi = 0; qi < 60; ++qi) {
      // Lattice queries with integer radii put many points exactly on the sphere.
      double q[3] = {std::round(u(rng)), std::round(u(rng)), u(rng)};
      if (qi % 2) q[2] = std::round(q[2]);
      const double r = qi % 3 == 0 ? 2.0 : (qi % 3 == 1 ? 1.0 : 1.7);
      const size_t count = t.radiusSearch(q, r);
      std::multiset<uint32_t> want, got(t.lastIndices.begin(), t.lastIndices.end());
      for (const auto& [payload, p] : at)
        if (dist(p, q) <= r) want.insert(payload);
      EXPECT_EQ(got, want);
      ASSERT_TRUE(count == t.lastIndices.size() && count == t.lastDistances.size());
      for (size_t h = 0; h < count; ++h) EXPECT_EQ(t.lastDistances[h], dist(at[t.lastIndices[h]], q));

      // The K nearest: the K smallest distances in ascending order, each of the point reported.
      const size_t K = 1 + qi % 17;
      ASSERT_EQ(t.nearestSearch(q, K, set), std::min(K, at.size()));
      std::vector<double> all;
      for (const auto& [payload, p] : at) all.push_back(dist(p, q));
      std::sort(all.begin(), all.end());
      all.resize(std::min(K, all.size()));
      EXPECT_EQ(t.lastDistances, all);
      for (size_t h = 0; h < t.lastIndices.size(); ++h) EXPECT_EQ(t.lastDistances[h], dist(at[t.lastIndices[h]], q));
      EXPECT_EQ(std::set<uint32_t>(t.lastIndices.begin(), t.lastIndices.end()).size(), t.lastIndices.size());
    }
  }
}

}  // namespace
