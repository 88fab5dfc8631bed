// The two growth passes over the voxel graph: the space-colonisation growth of
// "Reconstruct tree" and the best-first regrowth along the graph edges of key f. Both hand
// their result to the tree model as segments.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <deque>

#include "settings/settings.h"
#include "skeleton/parallel.h"
#include "skeleton/tree_reconstructor.h"

namespace {

constexpr int kMaxIterations = 800;
// The growth stops once no more than this share of the vertices is left unvisited.
constexpr double kStopShare = 0.005;
// Vertex-node distance evaluations below which a growth loop stays on one thread.
constexpr uint64_t kParallelWork = 1u << 18;

// The grain for parallelFor over n vertices with `perVertex` evaluations each: n (one
// thread) when the loop is too small to gain from more.
size_t grainFor(uint32_t n, size_t perVertex) {
  return static_cast<uint64_t>(n) * perVertex < kParallelWork ? std::max<size_t>(n, 1) : 512;
}

float unvisitedShare(int64_t remaining, uint32_t n) {
  return static_cast<float>(remaining) / static_cast<float>(n);
}

uint32_t countVisited(const std::vector<uint8_t>& visited) {
  return static_cast<uint32_t>(std::count_if(visited.begin(), visited.end(), [](uint8_t v) { return v != 0; }));
}

// Angle in degrees between the node's growth direction and v, or a negative value when it
// cannot be measured (direction invalid or either vector shorter than 1e-10).
double growthAngleDegrees(const Vec3& direction, const Vec3& v, double lengthV) {
  const double lengthD = length(direction);
  if (direction.status != kVecValid || lengthD < 1e-10 || lengthV < 1e-10) return -1.0;
  const double c = dot(direction, v) / (lengthD * lengthV);
  return std::acos(std::clamp(c, -1.0, 1.0)) * 180.0 / kPi;
}

// One attraction point p acting on its nearest node.
void attract(SkeletonNode& node, const Vec3& p, double constraintAngle) {
  if (p.status != kVecValid || node.position.status != kVecValid) {
    if (constraintAngle > 0.0) {
      node.attractionCount += 1;
      node.pull.status |= kVecFromInvalid;
    }
    return;
  }
  const Vec3 v = p - node.position;
  const double lengthV = length(v);
  const double theta = growthAngleDegrees(node.direction, v, lengthV);
  const bool accepted = theta >= 0.0 ? constraintAngle > theta : constraintAngle > 0.0;
  if (!accepted) return;
  node.attractionCount += 1;
  if (lengthV == 0.0) {
    node.pull.status |= kVecFromZeroLength;
    return;
  }
  node.pull += v / lengthV;  // v is valid here, so the pull keeps its status
}

// Angle between the horizontal projections of a and b, statuses ignored; 0 when either
// projection is shorter than 1e-10.
double horizontalAngle(const Vec3& a, const Vec3& b) {
  const double la = std::sqrt(a.x * a.x + a.z * a.z), lb = std::sqrt(b.x * b.x + b.z * b.z);
  if (la < 1e-10 || lb < 1e-10) return 0.0;
  const double c = (a.x * b.x + a.z * b.z) / (la * lb);
  return std::acos(std::clamp(c, -1.0, 1.0));
}

TreeSegment makeSegment(const Vec3& start, const Vec3& end, int32_t parent) {
  TreeSegment s;
  s.start = start;
  s.end = end;
  s.parent = parent;
  return s;
}

}  // namespace

ColonisationParams ColonisationParams::fromSettings() {
  ColonisationParams p;
  p.influenceRadius = g_dInfluenceRadius;
  p.killDistance = g_dKillDistance;
  p.stepSize = g_dStepSize;
  p.constraintAngle = g_dConstraintAngle;
  p.speedup = g_bSpeedup;
  return p;
}

EdgeGrowthParams EdgeGrowthParams::fromSettings() {
  EdgeGrowthParams p;
  p.wideCone = g_dAngle1 * kRadiansPerDegree;
  p.fieldLimit = g_dAngle2 * kRadiansPerDegree;
  p.spread = g_dAngle3 * kRadiansPerDegree;
  p.horizontalLimit = g_dAngle4 * kRadiansPerDegree;
  p.minLength = 1.2 * g_dVoxelSize;
  p.searchRadius = g_dSearchRadius;
  return p;
}

// ---- EdgeQueue ----

void EdgeQueue::siftUp(size_t hole, const EdgeCandidate& e) {
  while (hole > 0) {
    const size_t parent = (hole - 1) / 2;
    if (!(e.priority > heap_[parent].priority)) break;
    heap_[hole] = heap_[parent];
    hole = parent;
  }
  heap_[hole] = e;
}

void EdgeQueue::push(const EdgeCandidate& e) {
  heap_.push_back(e);
  siftUp(heap_.size() - 1, e);
}

EdgeCandidate EdgeQueue::pop() {
  const EdgeCandidate top = heap_.front();
  const EdgeCandidate last = heap_.back();
  heap_.pop_back();
  const size_t len = heap_.size();
  if (len == 0) return top;
  size_t hole = 0;
  while (2 * hole + 2 < len) {
    size_t child = 2 * hole + 2;
    if (heap_[child].priority < heap_[child - 1].priority) --child;
    heap_[hole] = heap_[child];
    hole = child;
  }
  if (2 * hole + 2 == len) {
    heap_[hole] = heap_[2 * hole + 1];
    hole = 2 * hole + 1;
  }
  siftUp(hole, last);
  return top;
}

// ---- Space colonisation ----

bool TreeReconstructor::reconstruct() {
  const uint32_t n = nVoxels;
  if (!hasGraph() || visited.size() != n) return false;

  const uint64_t layer =
      static_cast<uint64_t>(std::max(volume->dimX, 0)) * static_cast<uint64_t>(std::max(volume->dimZ, 0));
  std::printf("%ld\n", static_cast<long>(layer));

  std::vector<uint32_t> base;
  Vec3 mean;
  for (uint32_t i = 0; i < n; ++i) {
    if (voxelIndex[i] >= layer) continue;
    base.push_back(i);
    mean += positions[i];
  }
  if (base.empty()) {
    std::printf("No vertex in the lowest voxel layer: the skeleton and the tree are left as they were\n");
    return false;
  }
  mean /= static_cast<double>(base.size());

  uint32_t root = base[0];
  if (base.size() >= 3) {
    double best = graphDistance(positions[root], mean);
    for (uint32_t i : base) {
      const double d = graphDistance(positions[i], mean);
      if (d < best) {
        best = d;
        root = i;
      }
    }
  }
  std::printf("s1=%ld ", static_cast<long>(root));

  // The second vertex is the only use of the graph here: one row of it.
  std::vector<uint32_t> neighbours;
  std::vector<EdgeEntry> row;
  distances.row(root, nullptr, row);
  for (const EdgeEntry& e : row) {
    if (e.length > 0.0) neighbours.push_back(e.vertex);
  }
  if (neighbours.empty()) {
    std::printf("\nRoot vertex %ld has no neighbour: the skeleton and the tree are left as they were\n",
                static_cast<long>(root));
    return false;
  }
  uint32_t second = neighbours[0];
  if (neighbours.size() >= 3) {
    auto angleToUp = [&](uint32_t i) {
      Vec3 offset = positions[i] - positions[root];
      normalise(offset);
      return offset.status != kVecValid ? 0.0 : std::acos(std::clamp(offset.y, -1.0, 1.0));
    };
    double best = angleToUp(second);
    for (uint32_t i : neighbours) {
      const double a = angleToUp(i);
      if (a < best - 1e-5) {
        best = a;
        second = i;
      }
    }
  }
  std::printf("s2=%ld\n", static_cast<long>(second));

  distances.clearMarks();
  std::fill(visited.begin(), visited.end(), 0);
  rootVoxel = refineRoot = static_cast<int>(root);
  secondVoxel = refineSecond = static_cast<int>(second);
  growSkeleton(rootVoxel);

  const uint32_t v = countVisited(visited);
  const float share = 100.0f * static_cast<float>(v) / static_cast<float>(n);
  std::printf("%2.1f%%(%ld/%ld) points have been visited!\n", share, static_cast<long>(v), static_cast<long>(n));
  notGrown = false;
  return true;
}

void TreeReconstructor::growSkeleton(int root) {
  const ColonisationParams params = ColonisationParams::fromSettings();
  const uint32_t n = nVoxels;
  if (positions.size() != n || visited.size() != n || !isVertex(root)) return;
  std::vector<double> nearestDistance(n, 1000000.0);
  std::vector<uint32_t> nearestNode(n, 0);

  std::printf("processing...\n");
  visited[root] = 1;
  skeletonNodes.clear();
  SkeletonNode first;
  first.position = positions[root];
  first.pull = Vec3(0, 1, 0);
  first.direction = Vec3(0, 1, 0);
  skeletonNodes.push_back(first);

  int64_t remaining = static_cast<int64_t>(n) - 1;
  // nearStart: first node the nearest-node search examines; growStart: first node that may
  // grow and kill; lag1, lag2: history of the speed-up rotation.
  size_t nearStart = 0, growStart = 0, lag1 = 0, lag2 = 0;
  if (unvisitedShare(remaining, n) > kStopShare) {
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
      const size_t C = skeletonNodes.size();
      for (SkeletonNode& node : skeletonNodes) {
        node.attractionCount = 0;
        node.pull = Vec3();
      }

      // Attraction: each vertex keeps its nearest node, so only nodes from nearStart on are
      // new. The nearest nodes are found in parallel; the pulls, sums whose order shows in
      // the last bits, are added in vertex order.
      parallelFor(
          n,
          [&](size_t i) {
            if (visited[i] != 0) return;
            uint32_t k = nearestNode[i];
            double d = nearestDistance[i];
            for (size_t c = nearStart; c < C; ++c) {
              const double dc = graphDistance(positions[i], skeletonNodes[c].position);
              if (dc < d) {
                d = dc;
                k = static_cast<uint32_t>(c);
              }
            }
            nearestNode[i] = k;
            nearestDistance[i] = d;
          },
          grainFor(n, C - nearStart));
      for (uint32_t i = 0; i < n; ++i) {
        if (visited[i] == 0 && nearestDistance[i] < params.influenceRadius) {
          attract(skeletonNodes[nearestNode[i]], positions[i], params.constraintAngle);
        }
      }

      // Growth: one new node per attracted node, a step along its mean pull.
      size_t created = 0;
      for (size_t k = growStart; k < C; ++k) {
        if (skeletonNodes[k].attractionCount <= 0) continue;
        normalise(skeletonNodes[k].pull);
        const Vec3 unit = skeletonNodes[k].pull;
        const Vec3 from = skeletonNodes[k].position;
        skeletonNodes[k].childNodes.push_back(static_cast<uint32_t>(C + created));
        SkeletonNode grown;
        grown.position = from + params.stepSize * unit;
        grown.pull = unit;
        grown.direction = unit;
        skeletonNodes.push_back(grown);
        ++created;
      }

      if (created > 0 && params.speedup) {
        growStart = lag1;
        lag1 = lag2;
        lag2 = nearStart;
        nearStart = C;
      }

      // Kill: vertices close to a recent node are consumed.
      const size_t N = skeletonNodes.size();
      if (growStart < N) {
        std::atomic<int64_t> killed{0};
        parallelFor(
            n,
            [&](size_t j) {
              if (visited[j] != 0) return;
              for (size_t k = growStart; k < N; ++k) {
                if (graphDistance(positions[j], skeletonNodes[k].position) < params.killDistance) {
                  visited[j] = 1;
                  ++killed;
                  return;
                }
              }
            },
            grainFor(n, N - growStart));
        remaining -= killed;
      }
      if (!(unvisitedShare(remaining, n) > kStopShare)) break;
    }
  }
  std::printf("Size of skeleton nodes = %d, over\n", static_cast<int>(skeletonNodes.size()));

  // Hand-over, breadth-first: the segment ending at a node has the node's breadth-first place.
  model.clear();
  const SkeletonNode& rootNode = skeletonNodes[0];
  TreeSegment rootSegment = makeSegment(rootNode.position - Vec3(0.0, 0.2, 0.0), rootNode.position, -1);
  uint32_t assigned = 0;
  for (size_t c = 0; c < rootNode.childNodes.size(); ++c) rootSegment.children.push_back(++assigned);
  rootSegment.childCount = static_cast<uint32_t>(rootSegment.children.size());
  model.appendSegment(rootSegment);

  std::vector<int32_t> segmentOf(skeletonNodes.size(), 0);
  std::deque<uint32_t> queue{0};
  int32_t nextSegment = 1;
  while (!queue.empty()) {
    const uint32_t p = queue.front();
    queue.pop_front();
    for (uint32_t c : skeletonNodes[p].childNodes) {
      TreeSegment s = makeSegment(skeletonNodes[p].position, skeletonNodes[c].position, segmentOf[p]);
      for (size_t g = 0; g < skeletonNodes[c].childNodes.size(); ++g) s.children.push_back(++assigned);
      s.childCount = static_cast<uint32_t>(s.children.size());
      model.appendSegment(s);
      segmentOf[c] = nextSegment++;
      queue.push_back(c);
    }
  }
  model.finalise();
}

// ---- Best-first edge growth ----

bool TreeReconstructor::refineTree() {
  const uint32_t n = nVoxels;
  if (!hasGraph() || notGrown || visited.size() != n) return false;
  if (!isVertex(refineRoot) || !isVertex(refineSecond)) {
    std::printf("Refine: root pair %d, %d is not in the current graph of %u vertices; reconstruct the tree first\n",
                refineRoot, refineSecond, n);
    return false;
  }
  if (g_nKNN != g_nKNNUsed && !buildNeighbourGraph(GraphParams::fromSettings())) return false;
  linkTrunkSeeds();
  distances.clearMarks();
  std::fill(visited.begin(), visited.end(), 0);
  growEdges(static_cast<uint32_t>(refineRoot), static_cast<uint32_t>(refineSecond));

  const uint32_t v = countVisited(visited);
  std::printf("%2.1f%%(%ld/%ld) points have been visited!\n", 100.0 * v / n, static_cast<long>(v),
              static_cast<long>(n));
  return true;
}

void TreeReconstructor::growEdges(uint32_t r, uint32_t s) {
  const uint32_t n = nVoxels;
  if (r >= n || s >= n || !hasGraph() || visited.size() != n) return;
  const EdgeGrowthParams params = EdgeGrowthParams::fromSettings();
  const double narrowCone = 60.0 * kRadiansPerDegree;

  distances.setMark(r, s, 1);
  distances.setMark(s, r, 1);
  visited[r] = visited[s] = 1;
  EdgeQueue queue;
  EdgeCandidate first;
  first.from = static_cast<int>(r);
  first.to = static_cast<int>(s);
  first.segment = 0;
  first.priority = 1.0;
  first.wideCone = 1;
  queue.push(first);

  model.clear();
  model.appendSegment(makeSegment(positions[r], positions[s], -1));
  int last = 0;

  std::vector<ChildCandidate> candidates;
  std::vector<size_t> selected;
  std::vector<EdgeEntry> row;
  while (!queue.empty()) {
    const EdgeCandidate E = queue.pop();
    const uint32_t t = static_cast<uint32_t>(E.to);
    const Vec3 e = positions[t] - positions[E.from];
    const double cone = E.wideCone ? params.wideCone : narrowCone;

    candidates.clear();
    double hmin = 0.0;
    // The unvisited part of row t; a candidate becomes visited below, but no vertex comes
    // twice in a row, so leaving visited vertices out first changes nothing.
    distances.row(t, &visited, row);
    for (const EdgeEntry& entry : row) {
      if (!(entry.length > params.minLength)) continue;
      const uint32_t i = entry.vertex;
      const Vec3 c = positions[i] - positions[t];
      const double h = angleBetween(c, e);
      const double l = angleBetween(directions[i], c);
      double g = horizontalAngle(directions[i], c);
      if ((directions[i].status != kVecValid || length(directions[i]) < 0.3) && g >= kPi / 2.0) g = kPi - g;
      if (!(h <= cone && l <= params.fieldLimit && g <= params.horizontalLimit)) continue;
      ChildCandidate cand;
      cand.offset = c;
      cand.vertex = static_cast<int>(i);
      cand.deviation = h;
      cand.length = entry.length;
      cand.sine = std::sin(h);
      candidates.push_back(cand);
      visited[i] = 1;
      hmin = candidates.size() == 1 ? h : std::min(hmin, h);
    }
    if (candidates.empty()) continue;
    if (hmin > narrowCone) {
      for (const ChildCandidate& c : candidates) visited[c.vertex] = 0;
      continue;
    }

    // Equal sine and length keep the vertex order.
    std::stable_sort(candidates.begin(), candidates.end(), [](const ChildCandidate& a, const ChildCandidate& b) {
      return a.sine < b.sine || (a.sine == b.sine && a.length < b.length);
    });

    // Selection: a candidate suppresses every later one within A3 of it; far suppressed ones
    // (beyond 1.5 times its length) are released for other edges.
    selected.clear();
    for (size_t p = 0; p < candidates.size(); ++p) {
      if (candidates[p].done) continue;
      for (size_t q = p + 1; q < candidates.size(); ++q) {
        if (candidates[q].done) continue;
        if (angleBetween(candidates[p].offset, candidates[q].offset) < params.spread) {
          candidates[q].done = 1;
          if (candidates[q].length > 1.5 * candidates[p].length) visited[candidates[q].vertex] = 0;
        }
      }
      candidates[p].done = 1;
      selected.push_back(p);
    }

    const bool narrowing = selected.size() > 2 && E.wideCone;
    for (size_t p : selected) {
      candidates[p].wideCone = narrowing ? (candidates[p].length >= params.searchRadius ? 1 : 0) : 1;
    }

    model.setChildRange(static_cast<uint32_t>(E.segment), static_cast<int>(selected.size()),
                        static_cast<uint32_t>(last));
    for (size_t p : selected) {
      const ChildCandidate& q = candidates[p];
      ++last;
      EdgeCandidate next;
      next.from = static_cast<int>(t);
      next.to = q.vertex;
      next.segment = last;
      next.priority = 1.0 - q.sine;
      next.wideCone = q.wideCone;
      queue.push(next);
      distances.setMark(t, static_cast<uint32_t>(q.vertex), 1);
      distances.setMark(static_cast<uint32_t>(q.vertex), t, 1);
      model.appendSegment(makeSegment(positions[t], positions[q.vertex], E.segment));
    }
  }
  model.indexLevels();
  model.applyLevel();
}
