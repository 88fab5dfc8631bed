#pragma once
// The program's edge store: the radius graph as a rule over the vertex positions plus the
// entries written since (the K-nearest links, the trunk-seed links, marks). Nothing of size
// n^2 or n*K is kept: a row is found when asked for, through a grid over the positions.
//
// After the shortest-path pass the rule is dropped and the written entries (the tree) are
// all there is. Memory: about a hundred bytes per vertex plus 16 per written entry.

#include <cstdint>
#include <memory>
#include <vector>

#include "skeleton/edge_store.h"
#include "skeleton/radius_grid.h"

class RadiusEdgeStore : public EdgeStore {
 public:
  std::unique_ptr<EdgeStore> clone() const override { return std::make_unique<RadiusEdgeStore>(*this); }
  bool buildRadius(const RadiusGraphRequest& request, std::vector<uint32_t>& hits) override;
  bool reset(uint32_t n) override;
  void release() override;
  uint32_t size() const override { return n_; }

  double length(uint32_t i, uint32_t j) const override;
  void setLength(uint32_t i, uint32_t j, double d) override;
  uint8_t mark(uint32_t i, uint32_t j) const override;
  void setMark(uint32_t i, uint32_t j, uint8_t m) override;
  void clearMarks() override;

  void row(uint32_t i, const std::vector<uint8_t>* skip, std::vector<EdgeEntry>& out) const override;
  void removeVertex(uint32_t s) override;
  bool assignTree(uint32_t n, const std::vector<TreeEdge>& edges) override;
  size_t memoryBytes() const override;

 private:
  // An entry written since the build; it overrides the rule for its pair.
  struct Written {
    uint32_t vertex = 0;
    uint8_t mark = 0;
    double length = -1.0;
  };
  // The rule's length of the pair i != j: the distance when j lies within the radius of i (or
  // i of j) and one of them is an index node, else -1.
  double ruleLength(uint32_t i, uint32_t j) const;
  const Written* find(uint32_t i, uint32_t j) const;
  // The written entry of (i, j), created with the pair's current length when missing.
  Written& entry(uint32_t i, uint32_t j);

  uint32_t n_ = 0;
  bool rule_ = false;
  std::vector<Point3> position_;
  std::vector<uint8_t> indexed_;  // the vertex is an index node (a later equal position hides it)
  std::vector<double> diagonal_;
  RadiusGrid grid_;
  std::vector<std::vector<Written>> written_;  // per row, ascending vertex
};
