// The space-colonisation growth on shapes with a known answer, its boundaries and stop
// rules, and the best-first edge growth with its queue.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "app/settings.h"
#include "skeleton/tree_reconstructor.h"
#include "support/test_support.h"
#include "volume_fixture.h"

namespace {

class Growth : public ::testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override { resetSettingsToStartValues(); }

  // Builds the graph and reconstructs; returns the console text of the reconstruction.
  std::string grow(const VoxelVolume& v, bool* ran = nullptr) {
    {
      StdoutCapture build;
      r.buildVoxelGraph(v);
    }
    StdoutCapture out;
    const bool ok = r.reconstruct();
    if (ran) *ran = ok;
    return out.text();
  }

  size_t forks() const {
    return size_t(std::count_if(r.skeletonNodes.begin(), r.skeletonNodes.end(),
                                [](const SkeletonNode& s) { return s.childNodes.size() >= 2; }));
  }

  uint32_t visitedCount() const { return uint32_t(std::count(r.visited.begin(), r.visited.end(), 1)); }

  TreeReconstructor r;
};

std::vector<CellSpec> column(int x, int z, int height) {
  std::vector<CellSpec> cells;
  for (int y = 0; y < height; ++y) cells.push_back(cellAt(x, y, z));
  return cells;
}

// A trunk of trunkHeight cells with two arms rising diagonally in +x and -x.
std::vector<CellSpec> yShape(int trunkHeight, int armLength) {
  auto cells = column(12, 4, trunkHeight);
  for (int k = 1; k <= armLength; ++k) {
    cells.push_back(cellAt(12 + k, trunkHeight - 1 + k, 4));
    cells.push_back(cellAt(12 - k, trunkHeight - 1 + k, 4));
  }
  return cells;
}

TEST_F(Growth, VerticalColumnGrowsOneChain) {
  VoxelVolume v;
  makeVolume(v, 9, 40, 9, 0.2, column(4, 4, 40));
  const std::string text = grow(v);
  EXPECT_EQ(text.substr(0, 26), "81\ns1=0 s2=1\nprocessing...");
  EXPECT_NE(text.find("100.0%(40/40) points have been visited!\n"), std::string::npos) << text;
  EXPECT_EQ(forks(), 0u);
  ASSERT_GE(r.skeletonNodes.size(), 30u);
  // The chain runs straight up from the root to near the top vertex.
  for (size_t k = 1; k < r.skeletonNodes.size(); ++k) {
    EXPECT_NEAR(r.skeletonNodes[k].position.x, r.positions[0].x, 1e-9);
    EXPECT_GT(r.skeletonNodes[k].position.y, r.skeletonNodes[k - 1].position.y);
  }
  EXPECT_GT(r.skeletonNodes.back().position.y, r.positions.back().y - 0.4);
  // Handed over as a chain of segments under a root segment starting 0.2 below the root.
  const auto& seg = r.model.segments;
  ASSERT_EQ(seg.size(), r.skeletonNodes.size());
  EXPECT_DOUBLE_EQ(seg[0].start.y, r.positions[0].y - 0.2);
  EXPECT_EQ(seg[0].parent, -1);
  for (size_t s = 1; s < seg.size(); ++s) {
    EXPECT_EQ(seg[s].parent, int32_t(s - 1));
    EXPECT_EQ(seg[s - 1].children, std::vector<uint32_t>{uint32_t(s)});
  }
  EXPECT_FALSE(r.notGrown);
  EXPECT_EQ(r.rootVoxel, 0);
  EXPECT_EQ(r.secondVoxel, 1);
}

TEST_F(Growth, YShapeForksOnceAndHandsOverBreadthFirst) {
  VoxelVolume v;
  makeVolume(v, 25, 30, 9, 0.2, yShape(16, 11));
  grow(v);
  EXPECT_EQ(forks(), 1u);
  EXPECT_GE(visitedCount(), uint32_t(0.995 * r.nVoxels));
  // Breadth-first hand-over: segment k ends at the k-th node in breadth-first order, and
  // children lists name consecutive later segments.
  const auto& seg = r.model.segments;
  ASSERT_EQ(seg.size(), r.skeletonNodes.size());
  uint32_t next = 1;
  for (size_t s = 0; s < seg.size(); ++s) {
    for (uint32_t c : seg[s].children) {
      EXPECT_EQ(c, next++);
      EXPECT_EQ(seg[c].parent, int32_t(s));
      EXPECT_EQ(seg[c].start.x, seg[s].end.x);
      EXPECT_EQ(seg[c].start.y, seg[s].end.y);
    }
  }
  EXPECT_EQ(next, seg.size());
}

// A root, a cluster of `cluster` vertices within the kill distance above it, and one vertex
// 1.5 above the root that only a few more growth steps can reach.
VoxelVolume clusterVolume(int cluster) {
  VoxelVolume v;
  std::vector<CellSpec> cells{cellWithCentre(10, 0, 10, 1.0, 0.0, 1.0)};
  int added = 0;
  for (int y = 1; y < 20 && added < cluster; ++y)
    for (int z = 0; z < 20 && added < cluster; ++z)
      for (int x = 0; x < 20 && added < cluster; ++x) {
        const double cx = 0.5 + 0.05 * x, cy = 0.02 * y, cz = 0.5 + 0.05 * z;
        if (std::hypot(cx - 1.0, cy, cz - 1.0) >= 0.35) continue;
        cells.push_back(cellWithCentre(x, y, z, cx, cy, cz));
        ++added;
      }
  cells.push_back(cellWithCentre(0, 25, 0, 1.0, 1.5, 1.0));
  makeVolume(v, 20, 30, 20, 0.1, cells);
  return v;
}

TEST_F(Growth, StopsAtNinetyNinePointFivePercentCoverage) {
  // 200 vertices: after the first iteration one is left, 1/200 = 0.005, and the growth stops.
  const std::string stopped = grow(clusterVolume(198));
  EXPECT_NE(stopped.find("Size of skeleton nodes = 2, over\n"), std::string::npos) << stopped;
  EXPECT_NE(stopped.find("99.5%(199/200) points have been visited!\n"), std::string::npos) << stopped;
  // 199 vertices: 1/199 > 0.005, so the growth goes on and reaches the last vertex.
  TreeReconstructor other;
  std::swap(r.skeletonNodes, other.skeletonNodes);
  VoxelVolume v = clusterVolume(197);
  {
    StdoutCapture b;
    r.buildVoxelGraph(v);
  }
  StdoutCapture out;
  ASSERT_TRUE(r.reconstruct());
  const std::string going = out.text();
  EXPECT_GT(r.skeletonNodes.size(), 4u);
  EXPECT_NE(going.find("100.0%(199/199) points have been visited!\n"), std::string::npos) << going;
}

// Two vertices: the root at (1, 0, 1) in the lowest layer and one more at p.
VoxelVolume pairVolume(double px, double py, double pz) {
  VoxelVolume v;
  makeVolume(v, 10, 10, 10, 0.2, {cellWithCentre(5, 0, 5, 1.0, 0.0, 1.0), cellWithCentre(5, 5, 5, px, py, pz)});
  return v;
}

TEST_F(Growth, NothingToGrowRunsToTheIterationLimit) {
  // Below the root's horizontal plane: outside the 90 degree cone, never attracts.
  const std::string text = grow(pairVolume(1.0, -0.6, 1.0));
  EXPECT_NE(text.find("Size of skeleton nodes = 1, over\n50.0%(1/2) points have been visited!\n"), std::string::npos)
      << text;
  ASSERT_EQ(r.model.segments.size(), 1u);
}

TEST_F(Growth, InfluenceRadiusKillDistanceAndConstraintAngleAreStrict) {
  struct Case {
    double x, y, z;
    size_t nodes;
    uint32_t visited;
  };
  // Influence radius 2.0, kill distance 0.4, constraint angle 90 degrees.
  const Case cases[] = {
      {1.0, 2.0, 1.0, 1, 1},     // exactly at the influence radius: no pull
      {1.0, 1.999, 1.0, 0, 2},   // just inside: grows until it kills the point
      {1.0, -0.4, 1.0, 1, 1},    // exactly at the kill distance (below, so no pull): survives
      {1.0, -0.399, 1.0, 1, 2},  // just inside: killed at once
      {2.0, 0.0, 1.0, 1, 1},     // exactly at the constraint angle: no pull
      {2.0, 0.001, 1.0, 0, 2},   // just above the horizontal: pulls
  };
  for (const Case& c : cases) {
    TreeReconstructor fresh;
    VoxelVolume v = pairVolume(c.x, c.y, c.z);
    {
      StdoutCapture b;
      fresh.buildVoxelGraph(v);
    }
    StdoutCapture out;
    ASSERT_TRUE(fresh.reconstruct());
    out.text();
    if (c.nodes) {
      EXPECT_EQ(fresh.skeletonNodes.size(), c.nodes) << c.x << "," << c.y;
    } else {
      EXPECT_GT(fresh.skeletonNodes.size(), 1u) << c.x << "," << c.y;
    }
    EXPECT_EQ(std::count(fresh.visited.begin(), fresh.visited.end(), 1), c.visited) << c.x << "," << c.y;
  }
}

TEST_F(Growth, SpeedupReachesTheSameCoverage) {
  VoxelVolume v;
  // A trunk with three arms of different slopes in different directions.
  auto cells = column(12, 12, 14);
  for (int k = 1; k <= 10; ++k) cells.push_back(cellAt(12 + k, 13 + k, 12));
  for (int k = 1; k <= 6; ++k) {
    cells.push_back(cellAt(12, 13 + 2 * k - 1, 12 - k));
    cells.push_back(cellAt(12, 13 + 2 * k, 12 - k));
  }
  for (int k = 1; k <= 7; ++k) cells.push_back(cellAt(12 - k, 16 + k, 12 + k));
  makeVolume(v, 25, 30, 25, 0.2, cells);
  g_bSpeedup = true;
  grow(v);
  const uint32_t fast = visitedCount();
  g_bSpeedup = false;
  TreeReconstructor slow;
  {
    StdoutCapture b;
    slow.buildVoxelGraph(v);
  }
  StdoutCapture out;
  ASSERT_TRUE(slow.reconstruct());
  out.text();
  EXPECT_EQ(uint32_t(std::count(slow.visited.begin(), slow.visited.end(), 1)), fast);
  EXPECT_EQ(fast, r.nVoxels);
  EXPECT_EQ(forks(), 2u);
}

TEST_F(Growth, OneVertexHandsOverOnlyTheRootSegment) {
  VoxelVolume v;
  makeVolume(v, 3, 3, 3, 0.2, {cellAt(1, 0, 1)});
  {
    StdoutCapture b;
    r.buildVoxelGraph(v);
  }
  StdoutCapture out;
  r.growSkeleton(0);
  EXPECT_EQ(out.text(), "processing...\nSize of skeleton nodes = 1, over\n");
  ASSERT_EQ(r.model.segments.size(), 1u);
  EXPECT_DOUBLE_EQ(r.model.segments[0].start.y, 0.1 - 0.2);
  EXPECT_DOUBLE_EQ(r.model.segments[0].end.y, 0.1);
}

TEST_F(Growth, UndefinedRootPairLeavesSkeletonAndTreeAsTheyWere) {
  VoxelVolume v;
  makeVolume(v, 9, 20, 9, 0.2, column(4, 4, 20));
  grow(v);
  const size_t nodes = r.skeletonNodes.size(), segments = r.model.segments.size();
  const auto visited = r.visited;
  ASSERT_GT(nodes, 1u);

  // No vertex in the lowest layer.
  VoxelVolume lifted;
  auto cells = column(4, 4, 20);
  cells.erase(cells.begin());
  makeVolume(lifted, 9, 20, 9, 0.2, cells);
  bool ran = true;
  std::string text = grow(lifted, &ran);
  EXPECT_FALSE(ran);
  EXPECT_EQ(text, "81\nNo vertex in the lowest voxel layer: the skeleton and the tree are left as they were\n");
  EXPECT_EQ(r.skeletonNodes.size(), nodes);
  EXPECT_EQ(r.model.segments.size(), segments);

  // A root without neighbours (search radius below the spacing, no nearest-neighbour edges).
  g_nKNN = 0;
  g_dSearchRadius = 0.1;
  text = grow(v, &ran);
  EXPECT_FALSE(ran);
  EXPECT_EQ(text, "81\ns1=0 \nRoot vertex 0 has no neighbour: the skeleton and the tree are left as they were\n");
  EXPECT_EQ(r.skeletonNodes.size(), nodes);
  EXPECT_EQ(r.model.segments.size(), segments);
  EXPECT_EQ(r.rootVoxel, 0);
}

TEST(EdgeQueue, PushAndPopFollowTheArrayHeap) {
  // The standard library's heap uses the same sift rules, ties included.
  std::mt19937 rng(9);
  std::uniform_int_distribution<int> pr(0, 6);
  EdgeQueue q;
  std::vector<EdgeCandidate> ref;
  auto less = [](const EdgeCandidate& a, const EdgeCandidate& b) { return a.priority < b.priority; };
  for (int step = 0; step < 2000; ++step) {
    if (ref.empty() || step % 3 != 2) {
      EdgeCandidate e;
      e.from = step;
      e.priority = pr(rng) / 6.0;
      q.push(e);
      ref.push_back(e);
      std::push_heap(ref.begin(), ref.end(), less);
    } else {
      const EdgeCandidate got = q.pop();
      std::pop_heap(ref.begin(), ref.end(), less);
      EXPECT_EQ(got.from, ref.back().from);
      ref.pop_back();
    }
    ASSERT_EQ(q.size(), ref.size());
    for (size_t k = 0; k < ref.size(); ++k) ASSERT_EQ(q.entries()[k].from, ref[k].from);
  }
}

class BestFirst : public Growth {
 protected:
  // A hand-made graph: every vertex's direction is +y with length 1, edges as listed.
  void makeGraph(const std::vector<Vec3>& points, const std::vector<std::array<int, 2>>& edges) {
    makeVolume(volume, 4, 4, 4, 0.2, {});
    r.volume = &volume;
    r.nVoxels = uint32_t(points.size());
    r.positions = points;
    r.directions.assign(points.size(), Vec3(0, 1, 0));
    r.voxelIndex.resize(points.size());
    r.visited.assign(points.size(), 0);
    ASSERT_TRUE(r.distances.allocate(r.nVoxels, -1.0));
    for (auto e : edges) r.distances.setEdge(e[0], e[1], length(difference(points[e[0]], points[e[1]])));
  }
  VoxelVolume volume;
};

TEST_F(BestFirst, NeighbourCloserThanOnePointTwoVoxelSizesIsNeverACandidate) {
  g_dVoxelSize = 0.2;
  makeGraph({Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 1.2, 0), Vec3(0, 1.5, 0)}, {{0, 1}, {1, 2}, {1, 3}});
  StdoutCapture out;
  r.growEdges(0, 1);
  out.text();
  ASSERT_EQ(r.model.segments.size(), 2u);
  EXPECT_EQ(r.model.segments[1].end.y, 1.5);
  EXPECT_EQ(r.model.segments[1].parent, 0);
  EXPECT_EQ(r.visited, (std::vector<uint8_t>{1, 1, 0, 1}));
  EXPECT_EQ(r.distances.mark(1, 3), 1);
  EXPECT_EQ(r.distances.mark(3, 1), 1);
  EXPECT_EQ(r.distances.mark(1, 2), 0);
}

TEST_F(BestFirst, WideConeEdgeWhoseBestCandidateDeviatesBeyondSixtyDegreesEndsAndReleases) {
  const double pi = std::acos(-1.0);
  auto at = [&](double deg) { return Vec3(std::sin(deg * pi / 180), 1 + std::cos(deg * pi / 180), 0); };
  // Cone A1 = 70: a candidate at 65 degrees is accepted, then released since 65 > 60.
  makeGraph({Vec3(0, 0, 0), Vec3(0, 1, 0), at(65)}, {{0, 1}, {1, 2}});
  r.directions[2] = Vec3(1, 1, 0);
  StdoutCapture out;
  r.growEdges(0, 1);
  out.text();
  EXPECT_EQ(r.model.segments.size(), 1u);
  EXPECT_EQ(r.visited[2], 0);
  // At 55 degrees the same edge takes it.
  TreeReconstructor other;
  std::swap(r.skeletonNodes, other.skeletonNodes);
  makeGraph({Vec3(0, 0, 0), Vec3(0, 1, 0), at(55)}, {{0, 1}, {1, 2}});
  r.directions[2] = Vec3(1, 1, 0);
  StdoutCapture out2;
  r.growEdges(0, 1);
  out2.text();
  EXPECT_EQ(r.model.segments.size(), 2u);
  EXPECT_EQ(r.visited[2], 1);
}

TEST_F(BestFirst, SelectionKeepsTheStraightestAndReleasesFarSuppressedCandidates) {
  // From the edge (0 -> 1): vertex 2 straight on, 3 beside it within 30 degrees and farther
  // than 1.5 times (released), 4 beside it within 1.5 times (kept visited, no branch), 5 at 40 degrees.
  makeGraph({Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 1.5, 0), Vec3(0.1, 2.0, 0), Vec3(0, 1.6, 0.1),
             Vec3(std::sin(0.7), 1 + std::cos(0.7), 0)},
            {{0, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}});
  StdoutCapture out;
  r.growEdges(0, 1);
  out.text();
  ASSERT_GE(r.model.segments.size(), 3u);
  EXPECT_EQ(r.model.segments[1].end.y, 1.5);
  EXPECT_EQ(r.model.segments[2].end.x, std::sin(0.7));
  EXPECT_EQ(r.visited[3], 0);
  EXPECT_EQ(r.visited[4], 1);
}

TEST_F(Growth, RefineTreeRefusesBeforeReconstructAndRunsAfter) {
  VoxelVolume v;
  makeVolume(v, 25, 30, 9, 0.2, yShape(16, 11));
  {
    StdoutCapture b;
    r.buildVoxelGraph(v);
  }
  StdoutCapture quiet;
  EXPECT_FALSE(r.refineTree());
  EXPECT_EQ(quiet.text(), "");
  grow(v);
  StdoutCapture out;
  ASSERT_TRUE(r.refineTree());
  const std::string text = out.text();
  EXPECT_NE(text.find("points have been visited!\n"), std::string::npos);
  EXPECT_GT(r.model.segments.size(), 10u);
  EXPECT_EQ(r.model.segments[0].parent, -1);
}

}  // namespace
