// Leaf placement cost of a tree-list build, without GL: a synthetic tree of a few thousand
// branches is dressed with leaves in each arrangement at densities 4 and 16 by the tree
// display's forEachTreeLeafFrame. The GL list compile itself needs a
// context and is timed in the program.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "foliage/tree_display.h"
#include "settings/settings.h"
#include "tree/tree_model.h"

namespace {

// Branches of 4 ... 12 nodes, each a random walk upwards from a random base.
void makeSyntheticBranches(TreeModel& model, int branchCount, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> base(-3.0, 3.0), step(-0.15, 0.15);
  std::uniform_int_distribution<int> nodes(4, 12);
  for (int b = 0; b < branchCount; ++b) {
    auto branch = std::make_unique<Branch>();
    Vec3 p(base(rng), 5.0 + base(rng), base(rng));
    int n = nodes(rng);
    for (int k = 0; k < n; ++k) {
      branch->nodes.push_back(p);
      branch->radii.push_back(0.04);
      p = Vec3(p.x + step(rng), p.y + 0.2 + step(rng), p.z + step(rng));
    }
    model.branches.push_back(std::move(branch));
  }
}

// Places the leaves of every branch as the tree list does; returns the leaves it would draw
// and accumulates a checksum so the work is not optimised away.
long placeTreeLeaves(TreeModel& model, int phyllotaxis, int density, int influence, double& checksum) {
  g_nLeafPhyllotaxis = phyllotaxis;
  g_nLeafDensity = density;
  g_nLeafInfluence = influence;
  long leaves = 0;
  forEachTreeLeafFrame(model, [&](const Mat4& m) {
    checksum += m[12];
    ++leaves;
  });
  return leaves;
}

}  // namespace

int main() {
  const int kBranches = 4000;
  const int kInfluence = 10;
  const int kRepeats = 5;
  TreeModel model;
  makeSyntheticBranches(model, kBranches, 12345);
  std::srand(0);

  std::printf("leaf placement for %d synthetic branches, influence %d (best of %d runs)\n", kBranches, kInfluence,
              kRepeats);
  const char* names[] = {"", "spiral", "alternate", "decussate"};
  for (int phyllotaxis = 1; phyllotaxis <= 3; ++phyllotaxis) {
    for (int density : {4, 16}) {
      double best = 1e30, checksum = 0.0;
      long leaves = 0;
      for (int r = 0; r < kRepeats; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        leaves = placeTreeLeaves(model, phyllotaxis, density, kInfluence, checksum);
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
      }
      std::printf("%-9s density %2d: %7ld leaves, %8.2f ms, %6.1f ns/leaf (checksum %.3g)\n", names[phyllotaxis],
                  density, leaves, best, best * 1e6 / static_cast<double>(leaves), checksum);
    }
  }
  return 0;
}
