#include "skeleton/edge_store.h"

#include <atomic>

#include "skeleton/radius_edge_store.h"

namespace {
uint64_t nextRevision() {
  static std::atomic<uint64_t> counter{0};
  return ++counter;
}
}  // namespace

NeighbourGraph::NeighbourGraph() : store_(std::make_unique<RadiusEdgeStore>()), revision_(nextRevision()) {}

NeighbourGraph::NeighbourGraph(std::unique_ptr<EdgeStore> store)
    : store_(std::move(store)), revision_(nextRevision()) {}

NeighbourGraph::NeighbourGraph(const NeighbourGraph& other)
    : store_(other.store_->clone()), revision_(nextRevision()) {}

NeighbourGraph& NeighbourGraph::operator=(const NeighbourGraph& other) {
  if (this != &other) {
    store_ = other.store_->clone();
    touch();
  }
  return *this;
}

NeighbourGraph::~NeighbourGraph() = default;

void NeighbourGraph::useStore(std::unique_ptr<EdgeStore> store) {
  store_ = std::move(store);
  touch();
}

void NeighbourGraph::touch() {
  revision_ = nextRevision();
}
