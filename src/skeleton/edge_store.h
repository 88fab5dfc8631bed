#pragma once
// The edge store of the voxel graph. Every pair (i, j) of vertices has a length (-1 when the
// pair is no edge; an edge is a pair of length > 0, a pair at distance 0 keeps 0) and a mark
// byte; the diagonal holds what the graph build wrote there. The passes see the store
// through NeighbourGraph; EdgeStore is the interface an implementation fills in (the radius
// store of radius_edge_store.h in the program, a dense matrix in the tests as reference).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tree/geometry.h"

class KdTree;

// One entry of a row: the other vertex and the pair's length.
struct EdgeEntry {
  uint32_t vertex = 0;
  double length = 0.0;
};

// An edge of the shortest-path tree, written in both directions.
struct TreeEdge {
  uint32_t a = 0, b = 0;
  double length = 0.0;
};

// What a graph build hands to the store.
struct RadiusGraphRequest {
  const std::vector<Vec3>* positions = nullptr;
  // Holds every vertex, inserted in vertex order: a vertex whose position repeats a later
  // one's is no node of it (the later one took its place).
  const KdTree* index = nullptr;
  double radius = 0.0;
  double diagonal = -1.0;  // written on the diagonal of a vertex whose own query finds it
};

class EdgeStore {
 public:
  virtual ~EdgeStore() = default;
  virtual std::unique_ptr<EdgeStore> clone() const = 0;

  // The radius graph of request, as one radius query of the index per vertex writes it: every
  // node j within the radius of i's position (distance as the index computes it) gives the
  // pair (i, j) and (j, i) that distance, i's own node gives the diagonal request.diagonal;
  // all else -1, marks 0. hits[i] counts i's query results other than i itself. Returns
  // false, leaving the store empty, when memory is short.
  virtual bool buildRadius(const RadiusGraphRequest& request, std::vector<uint32_t>& hits) = 0;
  // n vertices, every entry -1, marks 0. False (store empty) when memory is short.
  virtual bool reset(uint32_t n) = 0;
  virtual void release() = 0;
  virtual uint32_t size() const = 0;

  virtual double length(uint32_t i, uint32_t j) const = 0;
  virtual void setLength(uint32_t i, uint32_t j, double d) = 0;
  virtual uint8_t mark(uint32_t i, uint32_t j) const = 0;
  virtual void setMark(uint32_t i, uint32_t j, uint8_t m) = 0;
  virtual void clearMarks() = 0;

  // Row i without the diagonal and without entries of length -1, in ascending vertex
  // order; vertices j with (*skip)[j] != 0 are left out when skip is given.
  virtual void row(uint32_t i, const std::vector<uint8_t>* skip, std::vector<EdgeEntry>& out) const = 0;
  // Drops vertex s; later vertices move down by one, keeping their entries.
  virtual void removeVertex(uint32_t s) = 0;
  // n vertices whose only entries are the given edges (both directions); all else -1, the
  // diagonal too, marks 0. False (store empty) when memory is short.
  virtual bool assignTree(uint32_t n, const std::vector<TreeEdge>& edges) = 0;

  // Bytes the store holds.
  virtual size_t memoryBytes() const = 0;
};

// The reconstructor's edge store: a value that forwards to its implementation and counts
// changes of the lengths (revision(), unique in the process, for caches of the edges).
class NeighbourGraph {
 public:
  NeighbourGraph();  // the radius store
  explicit NeighbourGraph(std::unique_ptr<EdgeStore> store);
  NeighbourGraph(const NeighbourGraph& other);
  NeighbourGraph& operator=(const NeighbourGraph& other);
  ~NeighbourGraph();

  // Replaces the implementation (empty); the tests install the dense reference here.
  void useStore(std::unique_ptr<EdgeStore> store);

  bool buildRadius(const RadiusGraphRequest& request, std::vector<uint32_t>& hits) {
    touch();
    return store_->buildRadius(request, hits);
  }
  bool reset(uint32_t n) {
    touch();
    return store_->reset(n);
  }
  void release() {
    touch();
    store_->release();
  }
  bool empty() const { return store_->size() == 0; }
  uint32_t size() const { return store_->size(); }

  double length(uint32_t i, uint32_t j) const { return store_->length(i, j); }
  void setLength(uint32_t i, uint32_t j, double d) {
    touch();
    store_->setLength(i, j, d);
  }
  // Writes both (i, j) and (j, i).
  void setEdge(uint32_t i, uint32_t j, double d) {
    touch();
    store_->setLength(i, j, d);
    store_->setLength(j, i, d);
  }
  uint8_t mark(uint32_t i, uint32_t j) const { return store_->mark(i, j); }
  void setMark(uint32_t i, uint32_t j, uint8_t m) { store_->setMark(i, j, m); }
  void clearMarks() { store_->clearMarks(); }

  void row(uint32_t i, const std::vector<uint8_t>* skip, std::vector<EdgeEntry>& out) const {
    store_->row(i, skip, out);
  }
  void removeVertex(uint32_t s) {
    touch();
    store_->removeVertex(s);
  }
  bool assignTree(uint32_t n, const std::vector<TreeEdge>& edges) {
    touch();
    return store_->assignTree(n, edges);
  }

  size_t memoryBytes() const { return store_->memoryBytes(); }
  uint64_t revision() const { return revision_; }

 private:
  void touch();
  std::unique_ptr<EdgeStore> store_;
  uint64_t revision_ = 0;
};
