// KdTree against brute force and against a recursive reading of the walk orders, on seeded
// clouds on a coarse integer lattice (many duplicates and equal distances).

#include "skeleton/kd_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <set>

#include "support/test_support.h"

namespace {

using P3 = std::array<double, 3>;

double dist(const P3& a, const double q[3]) {
  const double dx = a[0] - q[0], dy = a[1] - q[1], dz = a[2] - q[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

std::vector<P3> latticeCloud(std::mt19937& rng, int count, int extent) {
  std::uniform_int_distribution<int> c(0, extent);
  std::vector<P3> pts;
  for (int i = 0; i < count; ++i) pts.push_back({double(c(rng)), double(c(rng)), double(c(rng))});
  return pts;
}

// Distinct points with the payload of their last insertion.
std::map<P3, uint32_t> lastPayloads(const std::vector<P3>& pts) {
  std::map<P3, uint32_t> m;
  for (uint32_t i = 0; i < pts.size(); ++i) m[pts[i]] = i;
  return m;
}

void fill(KdTree& t, const std::vector<P3>& pts) {
  for (uint32_t i = 0; i < pts.size(); ++i) t.insert(pts[i].data(), i);
}

// The radius walk read recursively: near side, the node (unless the split gap exceeds r), far side.
void radiusReference(const KdTree& t, uint32_t at, const double q[3], double r, std::vector<uint32_t>& out) {
  if (at == KdTree::kNoNode) return;
  const KdTreeNode& n = t.node(at);
  const int a = int(n.depth % 3);
  const bool lowFirst = n.point[a] > q[a];
  radiusReference(t, lowFirst ? n.lowChild : n.highChild, q, r, out);
  if ((lowFirst ? n.point[a] - q[a] : q[a] - n.point[a]) > r) return;
  P3 p{n.point[0], n.point[1], n.point[2]};
  if (dist(p, q) <= r) out.push_back(n.payload);
  radiusReference(t, lowFirst ? n.highChild : n.lowChild, q, r, out);
}

// The nearest walk read recursively over a std::multimap (equal keys in insertion order).
void nearestReference(const KdTree& t, uint32_t at, const double q[3], size_t K, std::multimap<double, uint32_t>& S) {
  while (at != KdTree::kNoNode) {
    const KdTreeNode& n = t.node(at);
    P3 p{n.point[0], n.point[1], n.point[2]};
    S.emplace(dist(p, q), n.payload);
    if (S.size() > K) S.erase(std::prev(S.end()));
    const int a = int(n.depth % 3);
    const bool lowFirst = n.point[a] > q[a];
    nearestReference(t, lowFirst ? n.lowChild : n.highChild, q, K, S);
    if (S.size() == K && std::prev(S.end())->first <= std::fabs(n.point[a] - q[a])) return;
    at = lowFirst ? n.highChild : n.lowChild;
  }
}

TEST(KdTree, DuplicatesKeepOneNodeWithTheLastPayload) {
  std::mt19937 rng(42);
  const auto pts = latticeCloud(rng, 400, 5);
  KdTree t;
  fill(t, pts);
  const auto expected = lastPayloads(pts);
  EXPECT_EQ(t.nodeCount, expected.size());
  // Every distinct point answers with its last payload at distance 0.
  for (const auto& [p, payload] : expected) {
    ASSERT_EQ(t.radiusSearch(p.data(), 0.0), 1u);
    EXPECT_EQ(t.lastIndices[0], payload);
    EXPECT_EQ(t.lastDistances[0], 0.0);
  }
}

TEST(KdTree, RadiusSearchMatchesBruteForceAndTheWalkOrder) {
  std::mt19937 rng(7);
  for (int round = 0; round < 4; ++round) {
    const auto pts = latticeCloud(rng, 300, 6);
    KdTree t;
    fill(t, pts);
    const auto distinct = lastPayloads(pts);
    std::uniform_real_distribution<double> u(-1.0, 7.0);
    for (int qi = 0; qi < 60; ++qi) {
      // Lattice queries with integer radii put many points exactly on the sphere.
      double q[3];
      if (qi % 2 == 0) {
        q[0] = std::round(u(rng)), q[1] = std::round(u(rng)), q[2] = std::round(u(rng));
      } else {
        q[0] = u(rng), q[1] = u(rng), q[2] = u(rng);
      }
      const double r = qi % 3 == 0 ? 2.0 : (qi % 3 == 1 ? 1.0 : 1.7);
      const size_t count = t.radiusSearch(q, r);
      ASSERT_EQ(count, t.lastIndices.size());
      ASSERT_EQ(count, t.lastDistances.size());
      std::set<uint32_t> got(t.lastIndices.begin(), t.lastIndices.end());
      std::set<uint32_t> want;
      for (const auto& [p, payload] : distinct)
        if (dist(p, q) <= r) want.insert(payload);
      EXPECT_EQ(got, want);
      EXPECT_EQ(got.size(), count) << "a node reported twice";
      for (size_t h = 0; h < count; ++h) EXPECT_EQ(t.lastDistances[h], dist(pts[t.lastIndices[h]], q));
      std::vector<uint32_t> order;
      radiusReference(t, t.root, q, r, order);
      EXPECT_EQ(t.lastIndices, order);
    }
  }
}

TEST(KdTree, PointExactlyAtTheRadiusIsReturned) {
  KdTree t;
  const double a[3] = {0, 0, 0}, b[3] = {0, 3, 4}, c[3] = {0, 3, 4.000001};
  t.insert(a, 0);
  t.insert(b, 1);
  t.insert(c, 2);
  const double q[3] = {0, 0, 0};
  ASSERT_EQ(t.radiusSearch(q, 5.0), 2u);
  EXPECT_EQ(std::set<uint32_t>(t.lastIndices.begin(), t.lastIndices.end()), (std::set<uint32_t>{0, 1}));
}

TEST(KdTree, NearestSearchAscendingWithEqualDistancesInVisitOrder) {
  std::mt19937 rng(11);
  NearestSet set;
  for (int round = 0; round < 4; ++round) {
    const auto pts = latticeCloud(rng, 250, 5);
    KdTree t;
    fill(t, pts);
    const auto distinct = lastPayloads(pts);
    std::uniform_real_distribution<double> u(-1.0, 6.0);
    for (int qi = 0; qi < 60; ++qi) {
      double q[3] = {std::round(u(rng)), std::round(u(rng)), u(rng)};
      if (qi % 2) q[2] = std::round(q[2]);
      const size_t K = 1 + qi % 17;
      const size_t count = t.nearestSearch(q, K, set);
      ASSERT_EQ(count, std::min(K, distinct.size()));
      // Distances are the K smallest of the brute force, ascending.
      std::vector<double> all;
      for (const auto& e : distinct) all.push_back(dist(e.first, q));
      std::sort(all.begin(), all.end());
      all.resize(count);
      EXPECT_EQ(t.lastDistances, all);
      // Payloads follow the walk with ties in visit order.
      std::multimap<double, uint32_t> S;
      nearestReference(t, t.root, q, K, S);
      std::vector<uint32_t> want;
      for (const auto& e : S) want.push_back(e.second);
      EXPECT_EQ(t.lastIndices, want);
    }
  }
}

TEST(KdTree, NearestWithKBeyondTheCountReturnsAllNearestFirst) {
  KdTree t;
  const double pts[4][3] = {{3, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 0, 0}};
  for (uint32_t i = 0; i < 4; ++i) t.insert(pts[i], i);
  EXPECT_EQ(t.nodeCount, 3u);
  NearestSet set;
  const double q[3] = {0, 0, 0};
  ASSERT_EQ(t.nearestSearch(q, 10, set), 3u);
  EXPECT_EQ(t.lastIndices, (std::vector<uint32_t>{3, 2, 0}));
  EXPECT_EQ(t.lastDistances, (std::vector<double>{1, 2, 3}));
}

TEST(KdTree, EmptyTreeAndNaNInsert) {
  KdTree t;
  NearestSet set;
  const double q[3] = {0, 0, 0};
  EXPECT_EQ(t.radiusSearch(q, 100.0), 0u);
  EXPECT_EQ(t.nearestSearch(q, 5, set), 0u);
  t.insert(q, 0);
  const double bad[3] = {std::numeric_limits<double>::quiet_NaN(), 1, 1};
  StdoutCapture out;
  t.insert(bad, 1);
  EXPECT_EQ(out.text(), "Error inserting elements into binary tree\n");
  EXPECT_EQ(t.nodeCount, 1u);
}

}  // namespace
