// The space-colonisation growth on shapes with a known answer and at its strict boundaries, the
// mended faults of an undefined root pair, and the best-first regrowth on a hand-made graph.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "volume_fixture.h"

namespace {

using Growth = SkeletonTest;

size_t forks(const TreeReconstructor& r) {
  return size_t(std::count_if(r.skeletonNodes.begin(), r.skeletonNodes.end(),
                              [](const SkeletonNode& s) { return s.childNodes.size() >= 2; }));
}

uint32_t visitedCount(const TreeReconstructor& r) {
  return uint32_t(std::count(r.visited.begin(), r.visited.end(), 1));
}

// One segment per skeleton node, the root one rising 0.2 to the root.
void expectSkeletonHandOver(const TreeReconstructor& r) {
  expectHandOver(r.model);
  ASSERT_EQ(r.model.segments.size(), r.skeletonNodes.size());
  EXPECT_EQ(r.model.segments[0].start.y, r.skeletonNodes[0].position.y - 0.2);
}

// A Y shape (a trunk of 16 cells, two arms of 11 rising diagonally in +x and -x) forks once;
// key f is refused before the growth and runs after it.
TEST_F(Growth, YShapeForksOnce) {
  auto cells = cellBox(12, 0, 4, 1, 16, 1);
  for (int k = 1; k <= 11; ++k) cells.push_back({12 + k, 15 + k, 4}), cells.push_back({12 - k, 15 + k, 4});
  VoxelVolume y;
  makeVolume(y, 25, 30, 9, 0.2, cells);
  buildGraph(r, y);
  {
    StdoutCapture silent;
    EXPECT_FALSE(r.refineTree());
    EXPECT_EQ(silent.text(), "");
  }
  growTree(r, y);
  EXPECT_EQ(forks(r), 1u);
  EXPECT_GE(visitedCount(r), uint32_t(0.995 * r.nVoxels));
  expectSkeletonHandOver(r);
  StdoutCapture out;
  ASSERT_TRUE(r.refineTree());
  EXPECT_NE(out.text().find("points have been visited!\n"), std::string::npos);
  EXPECT_GT(r.model.segments.size(), 10u);
}

TEST_F(Growth, InfluenceKillAndConeBoundariesAreStrictAndIdleGrowthEndsAtTheIterationLimit) {
  // (x, y, skeleton nodes (0: more than one), vertices visited) of a point beside the root at
  // (1, 0, 1); influence radius 2.0, kill distance 0.4, constraint angle 90 degrees.
  const std::tuple<double, double, size_t, uint32_t> cases[] = {
      {1.0, 2.0, 1, 1},     // exactly at the influence radius: no pull
      {1.0, 1.999, 0, 2},   // just inside: grows until it kills the point
      {1.0, -0.4, 1, 1},    // exactly at the kill distance (below, so no pull): survives
      {1.0, -0.399, 1, 2},  // just inside: killed at once
      {2.0, 0.0, 1, 1},     // exactly at the constraint angle: no pull
      {2.0, 0.001, 0, 2},   // just above the horizontal: pulls
  };
  for (const auto& [x, y, wantNodes, wantVisited] : cases) {
    SCOPED_TRACE(testing::Message() << x << "," << y);
    TreeReconstructor fresh;
    VoxelVolume v;
    makeVolume(v, 10, 10, 10, 0.2, {CellSpec{5, 0, 5, 1.0, 0.0, 1.0}, CellSpec{5, 5, 5, x, y, 1.0}});
    const std::string text = growTree(fresh, v);
    const size_t nodes = fresh.skeletonNodes.size();
    EXPECT_TRUE((wantNodes ? nodes == wantNodes : nodes > 1) && visitedCount(fresh) == wantVisited) << nodes;
    // When nothing ever grows the loop ends at its iteration limit, not by coverage.
    EXPECT_EQ(wantVisited == 1, text.find("Size of skeleton nodes = 1, over\n50.0%(1/2) points have been visited!\n") !=
                                    std::string::npos);
  }
}

// A column grows one chain straight up to near its top. Fault pinned: a missing root or a
// root without neighbours overwrote skeleton and tree.
TEST_F(Growth, ColumnGrowsOneChainAndAnUndefinedRootPairLeavesSkeletonAndTreeAsTheyWere) {
  VoxelVolume v, lifted;
  makeVolume(v, 9, 20, 9, 0.2, cellBox(4, 0, 4, 1, 20, 1));
  makeVolume(lifted, 9, 20, 9, 0.2, cellBox(4, 1, 4, 1, 19, 1));
  EXPECT_NE(growTree(r, v).find("100.0%(20/20) points have been visited!\n"), std::string::npos);
  const size_t nodes = r.skeletonNodes.size(), segments = r.model.segments.size();
  EXPECT_EQ(forks(r), 0u);
  ASSERT_GE(nodes, 15u);
  for (size_t k = 1; k < nodes; ++k) {
    EXPECT_NEAR(r.skeletonNodes[k].position.x, r.positions[0].x, 1e-9);
    EXPECT_GT(r.skeletonNodes[k].position.y, r.skeletonNodes[k - 1].position.y);
  }
  EXPECT_GT(r.skeletonNodes.back().position.y, r.positions.back().y - 0.4);
  expectSkeletonHandOver(r);
  bool ran = true;
  EXPECT_EQ(growTree(r, lifted, &ran),
            "81\nNo vertex in the lowest voxel layer: the skeleton and the tree are left as they were\n");
  EXPECT_TRUE(!ran && r.skeletonNodes.size() == nodes && r.model.segments.size() == segments);
  g_nKNN = 0;  // a search radius below the spacing and no nearest-neighbour edges: the root is alone
  g_dSearchRadius = 0.1;
  EXPECT_EQ(growTree(r, v, &ran),
            "81\ns1=0 \nRoot vertex 0 has no neighbour: the skeleton and the tree are left as they were\n");
  EXPECT_TRUE(!ran && r.skeletonNodes.size() == nodes && r.model.segments.size() == segments);
}

TEST_F(Growth, BestFirstCandidatesBeyondOnePointTwoVoxelSizesTheStraightestKeptFarSuppressedReleased) {
  // A hand-made graph grown best-first from edge (0, 1), every direction +y of length 1:
  // 2 straight on but 1.1 voxel sizes away (never a candidate); 3 straight on; 4 within 30
  // degrees of 3 and beyond 1.5 times its length (released); 5 within 30 degrees and 1.5
  // times (kept visited, no branch); 6 at 40 degrees (a branch).
  g_dVoxelSize = 0.2;
  VoxelVolume v;
  makeVolume(v, 4, 4, 4, 0.2, {});
  r.volume = &v;
  r.positions = {Vec3(0, 0, 0),
                 Vec3(0, 1, 0),
                 Vec3(0, 1.22, 0),
                 Vec3(0, 1.5, 0),
                 Vec3(0.1, 2.0, 0),
                 Vec3(0, 1.6, 0.1),
                 Vec3(std::sin(0.7), 1 + std::cos(0.7), 0)};
  r.nVoxels = uint32_t(r.positions.size());
  r.directions.assign(r.nVoxels, Vec3(0, 1, 0));
  r.voxelIndex.resize(r.nVoxels);
  r.visited.assign(r.nVoxels, 0);
  ASSERT_TRUE(r.distances.reset(r.nVoxels));
  for (uint32_t k = 2; k < r.nVoxels; ++k) r.distances.setEdge(1, k, length(r.positions[k] - r.positions[1]));
  r.distances.setEdge(0, 1, 1.0);
  {
    StdoutCapture quiet;  // the level indexing reports its progress
    r.growEdges(0, 1);
  }
  ASSERT_EQ(r.model.segments.size(), 3u);
  EXPECT_EQ(r.model.segments[1].end.y, 1.5);
  EXPECT_EQ(r.model.segments[2].end.x, std::sin(0.7));
  EXPECT_EQ(r.model.segments[2].parent, 0);
  EXPECT_EQ(r.visited, (std::vector<uint8_t>{1, 1, 0, 1, 0, 1, 1}));
}

}  // namespace
