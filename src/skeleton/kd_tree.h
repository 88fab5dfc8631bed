#pragma once
// A three-dimensional search index over points with a 32-bit payload. Splits on x, y and z
// in turn by depth, is never rebalanced, and answers radius queries (results in the order
// the walk finds them) and K-nearest queries (ascending distance, equal distances in visit
// order). One index serves one graph build: fill it, query it, drop it.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

struct KdTreeNode {
  double point[3] = {0.0, 0.0, 0.0};
  uint32_t payload = 0;
  uint64_t depth = 0;  // edges from the root; the split axis is depth % 3 (0 = x, 1 = y, 2 = z)
  // Children are indices into the tree's node store; kNoNode when absent.
  uint32_t highChild = 0;  // coordinate on the split axis >= the node's
  uint32_t lowChild = 0;   // coordinate on the split axis < the node's
};

// (distance, node index) pairs in ascending distance; a pair joins after every pair with an
// equal distance, so among equal keys the insertion order holds, as in an ordered multiset.
using NearestSet = std::vector<std::pair<double, uint32_t>>;

class KdTree {
 public:
  static constexpr uint32_t kNoNode = 0xFFFFFFFFu;

  uint32_t root = kNoNode;
  std::vector<double> lastDistances;  // distances delivered by the last query
  std::vector<uint32_t> lastIndices;  // payloads delivered by the last query
  uint64_t nodeCount = 0;

  // A point equal in all three coordinates to a stored one replaces that node's payload.
  // A NaN coordinate prints "Error inserting elements into binary tree" and inserts nothing.
  void insert(const double p[3], uint32_t payload);

  // Every stored point within distance r of q (a point at exactly r included). Returns the
  // count; payloads and distances are in lastIndices / lastDistances until the next query.
  size_t radiusSearch(const double q[3], double r);
  // The same into the caller's arrays (cleared first), so that threads can query at once.
  size_t radiusSearch(const double q[3], double r, std::vector<uint32_t>& indices,
                      std::vector<double>& distances) const;

  // The K nearest stored points of q collected into set (cleared first), then copied into
  // lastIndices / lastDistances in ascending distance. Returns the count (min(K, nodeCount)).
  size_t nearestSearch(const double q[3], size_t K, NearestSet& set);
  // The same into the caller's arrays (cleared first).
  size_t nearestSearch(const double q[3], size_t K, NearestSet& set, std::vector<uint32_t>& indices,
                       std::vector<double>& distances) const;

  const KdTreeNode& node(uint32_t index) const { return nodes_[index]; }

 private:
  uint32_t newNode(const double p[3], uint32_t payload, uint64_t depth);
  std::vector<KdTreeNode> nodes_;
};
