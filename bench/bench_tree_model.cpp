// Rebuild cost of the tree model (radii, tracing, orders, pruning) on random skeletons handed
// over breadth-first, and on a deep chain; prints milliseconds per rebuild.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <random>
#include <vector>

#include "settings/settings.h"
#include "tree/tree_model.h"

namespace {

// A random upward-growing skeleton of count nodes, handed over as the growth does.
void loadRandomSkeleton(TreeModel& model, int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> off(-0.15, 0.15), up(0.1, 0.2);
  std::vector<Vec3> pos{Vec3(0, 0, 0)};
  std::vector<std::vector<int>> kids(1);
  for (int i = 1; i < count; ++i) {
    std::uniform_int_distribution<int> pick(std::max(0, i - 12), i - 1);
    int p = pick(rng);
    pos.push_back(Vec3(pos[p].x + off(rng), pos[p].y + up(rng), pos[p].z + off(rng)));
    kids[p].push_back(i);
    kids.emplace_back();
  }
  model.clear();
  uint32_t a = 0;
  auto segment = [&](const Vec3& s, const Vec3& e, int parent, int node) {
    TreeSegment seg;
    seg.start = s;
    seg.end = e;
    seg.parent = parent;
    for (size_t k = 0; k < kids[node].size(); ++k) seg.children.push_back(++a);
    model.appendSegment(seg);
  };
  segment(Vec3(0, -0.2, 0), pos[0], -1, 0);
  std::vector<int> segOf(count, 0);
  std::deque<int> queue{0};
  int next = 1;
  while (!queue.empty()) {
    int p = queue.front();
    queue.pop_front();
    for (int c : kids[p]) {
      segOf[c] = next++;
      segment(pos[p], pos[c], segOf[p], c);
      queue.push_back(c);
    }
  }
}

double millisecondsPerRebuild(TreeModel& model, int repeats) {
  auto t0 = std::chrono::steady_clock::now();
  for (int r = 0; r < repeats; ++r) model.rebuild();
  auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::milli>(t1 - t0).count() / repeats;
}

}  // namespace

int main() {
  TreeModel model;
  for (int count : {2000, 5000, 20000, 100000}) {
    loadRandomSkeleton(model, count, 42);
    double ms = millisecondsPerRebuild(model, count <= 5000 ? 50 : 5);
    std::printf("random skeleton %6d segments: %8.3f ms per rebuild, %zu branches, max order %d\n", count, ms,
                model.branches.size(), model.maxOrder);
  }
  model.clear();
  const uint32_t chain = 100000;
  for (uint32_t i = 0; i < chain; ++i) {
    TreeSegment s;
    s.start = Vec3(0, 0.2 * i - 0.2, 0);
    s.end = Vec3(0, 0.2 * i, 0);
    s.parent = static_cast<int32_t>(i) - 1;
    if (i + 1 < chain) s.children.push_back(i + 1);
    model.appendSegment(s);
  }
  std::printf("chain %u segments: %8.3f ms per rebuild\n", chain, millisecondsPerRebuild(model, 5));
  return 0;
}
