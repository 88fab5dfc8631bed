// The voxel graph: vertices from the occupied voxels, the direction field, the
// radius-plus-K-nearest neighbour graph, and the edits of the graph (Delete, key p, the
// trunk-seed links of key f).

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <utility>

#include "settings/settings.h"
#include "skeleton/kd_tree.h"
#include "skeleton/parallel.h"
#include "skeleton/shortest_path.h"
#include "skeleton/tree_reconstructor.h"

namespace {

// Vertices whose K-nearest queries run in one parallel round: bounds the held results.
constexpr size_t kNearestBlock = 4096;

// The trunk-seed entries [from, to) clamped to the array and to the valid count.
std::pair<int, int> seedRange(const VoxelVolume& v, int32_t from, int32_t to) {
  const int32_t limit = std::clamp(v.seedCount, 0, 100);
  return {std::clamp(from, 0, limit), std::clamp(to, 0, limit)};
}

bool voxelInSeeds(const VoxelVolume& v, std::pair<int, int> range, uint32_t voxel) {
  for (int k = range.first; k < range.second; ++k) {
    if (v.trunkSeeds[k] >= 0 && static_cast<uint32_t>(v.trunkSeeds[k]) == voxel) return true;
  }
  return false;
}

void toArray(const Vec3& v, double out[3]) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = v.z;
}

// The direction of a vertex at relative radius rho away from the axis: outwards, tilted
// from the top angle at the crown's top to the bottom angle at its base, of length rho.
Vec3 fieldDirection(const Vec3& p, double cx, double cz, double depthRatio, double rho, const GraphParams& params) {
  Vec3 d(p.x - cx, 0.0, p.z - cz, p.status);
  normalise(d);
  const double L = std::pow(depthRatio, 1.8 - params.fieldHeightExponent + 0.4);
  const double M = std::pow(rho, params.fieldRadialExponent);
  const double T = params.fieldTopAngle * kPi / 180.0;
  const double B = params.fieldBottomAngle * kPi / 180.0;
  const double e = M * (L * (B - T) + T - kPi / 2.0) + kPi / 2.0;
  Vec3 dir(d.x, d.y + std::tan(e), d.z, d.status);
  normalise(dir);
  return dir * rho;
}

}  // namespace

GraphParams GraphParams::fromSettings() {
  GraphParams p;
  p.searchRadius = g_dSearchRadius;
  p.knn = g_nKNN > 0 ? static_cast<uint32_t>(g_nKNN) : 0u;
  p.refineTrunk = g_bRefineTrunk;
  p.fieldRadialExponent = g_dFieldRadialExponent;
  p.fieldHeightExponent = g_dFieldHeightExponent;
  p.fieldTopAngle = g_dFieldTopAngle;
  p.fieldBottomAngle = g_dFieldBottomAngle;
  return p;
}

void TreeReconstructor::buildVoxelGraph(const VoxelVolume& vol) {
  const GraphParams params = GraphParams::fromSettings();
  volume = &vol;
  if (vol.labels.empty()) return;

  const size_t cells = std::min<size_t>({vol.cellCount, vol.labels.size(), vol.centres.size()});
  std::vector<uint32_t> occupied;
  for (size_t c = 0; c < cells; ++c) {
    if (vol.labels[c] != 0) occupied.push_back(static_cast<uint32_t>(c));
  }
  const uint32_t n = static_cast<uint32_t>(occupied.size());
  std::printf("Number of valid voxels:%ld\n", static_cast<long>(n));

  nVoxels = n;
  voxelIndex = std::move(occupied);
  positions.assign(n, Vec3());
  directions.assign(n, Vec3());
  visited.assign(n, 0);
  for (uint32_t i = 0; i < n; ++i) {
    const PointRecord& c = vol.centres[voxelIndex[i]];
    positions[i] = Vec3(c.x, c.y, c.z, static_cast<uint32_t>(c.tag));
  }
  computeDirectionField(params);
  buildNeighbourGraph(params);
}

void TreeReconstructor::computeDirectionField(const GraphParams& params) {
  const uint32_t n = nVoxels;
  if (n == 0 || volume == nullptr || positions.size() != n || directions.size() != n) return;
  const VoxelVolume& v = *volume;
  const double cx = 0.5 * v.maxCorner.x + 0.5 * v.baseCorner.x + 0.5 * v.voxelSize;
  const double cz = 0.5 * v.maxCorner.z + 0.5 * v.baseCorner.z + 0.5 * v.voxelSize;

  std::vector<double> radius(n);
  for (uint32_t i = 0; i < n; ++i) {
    const double dx = positions[i].x - cx, dz = positions[i].z - cz;
    radius[i] = std::sqrt(dx * dx + dz * dz);
    maxRadius = std::max(maxRadius, radius[i]);
  }

  const double H = v.maxCorner.y - v.baseCorner.y;
  for (uint32_t i = 0; i < n; ++i) {
    const Vec3& p = positions[i];
    const double depth = v.maxCorner.y - p.y;
    // All vertices on the axis (maxRadius 0) or a flat cloud (H 0) would divide by zero.
    const double rho = maxRadius > 0.0 ? radius[i] / maxRadius : 0.0;
    if (depth > H || (params.refineTrunk == 2 && rho < 0.2)) {
      directions[i] = Vec3(0.0, rho, 0.0);
    } else {
      const double depthRatio = H > 0.0 ? depth / H : 0.0;
      directions[i] = fieldDirection(p, cx, cz, depthRatio, rho, params);
    }
  }
}

bool TreeReconstructor::buildNeighbourGraph(const GraphParams& params) {
  const uint32_t n = nVoxels;
  if (volume == nullptr || positions.size() != n) return false;
  const VoxelVolume& v = *volume;
  const double dims = static_cast<double>(v.dimX) * v.dimX + static_cast<double>(v.dimY) * v.dimY +
                      static_cast<double>(v.dimZ) * v.dimZ;
  const double D = v.voxelSize * std::sqrt(dims);
  const uint32_t K = params.knn;

  // The graph is refused only when what it really needs cannot be had.
  auto refuse = [&] {
    distances.release();
    std::printf("Memory allocation error!\n");
    return false;
  };
  KdTree index;
  std::vector<uint32_t> neighbourCount;
  bool built = false;
  try {
    double p[3];
    for (uint32_t i = 0; i < n; ++i) {
      toArray(positions[i], p);
      index.insert(p, i);
    }
    RadiusGraphRequest request;
    request.positions = &positions;
    request.index = &index;
    request.radius = params.searchRadius;
    request.diagonal = -D;
    built = distances.buildRadius(request, neighbourCount);
  } catch (const std::bad_alloc&) {
    built = false;
  }
  if (!built) return refuse();
  uint64_t neighbourSum = 0;
  for (uint32_t c : neighbourCount) neighbourSum += c;
  // An empty graph has no average; it prints 0.
  const unsigned average = n == 0 ? 0u : static_cast<unsigned>(neighbourSum / n);
  std::printf("Average Number of Neighbor Points:  %u\n", average);

  // Vertices with fewer than K radius neighbours (base seeds excepted) are linked to their K
  // nearest as well. The queries run in parallel, block by block; the links are written in
  // vertex order.
  const auto baseSeeds = seedRange(v, 0, v.baseSeedCount);
  std::vector<uint32_t> sparse;
  for (uint32_t i = 0; i < n; ++i) {
    if (neighbourCount[i] < K && !voxelInSeeds(v, baseSeeds, voxelIndex[i])) sparse.push_back(i);
  }
  const size_t wanted = static_cast<size_t>(K) + 1;
  struct Nearest {
    std::vector<uint32_t> indices;
    std::vector<double> distances;
  };
  std::vector<Nearest> found;
  try {
    for (size_t from = 0; from < sparse.size(); from += kNearestBlock) {
      const size_t count = std::min(kNearestBlock, sparse.size() - from);
      found.resize(count);
      parallelFor(
          count,
          [&](size_t k) {
            thread_local NearestSet set;
            double q[3];
            toArray(positions[sparse[from + k]], q);
            index.nearestSearch(q, wanted, set, found[k].indices, found[k].distances);
          },
          16);
      for (size_t k = 0; k < count; ++k) {
        const uint32_t i = sparse[from + k];
        for (size_t h = 0; h < found[k].indices.size(); ++h) {
          const uint32_t j = found[k].indices[h];
          if (j != i) distances.setEdge(i, j, found[k].distances[h]);
        }
      }
    }
  } catch (const std::bad_alloc&) {
    return refuse();
  }
  return true;
}

void TreeReconstructor::linkTrunkSeeds() {
  const uint32_t n = nVoxels;
  if (!hasGraph() || visited.size() != n) return;
  const VoxelVolume& v = *volume;
  const auto trunkSeeds = seedRange(v, v.baseSeedCount, v.seedCount);
  const size_t K = GraphParams::fromSettings().knn;
  std::vector<std::pair<double, uint32_t>> candidates;
  std::vector<EdgeEntry> row;
  for (uint32_t i = 0; i < n; ++i) {
    if (visited[i] == 0 || !voxelInSeeds(v, trunkSeeds, voxelIndex[i])) continue;
    // Every free vertex is a candidate; one without an entry in the row has length -1.
    distances.row(i, nullptr, row);
    candidates.clear();
    size_t e = 0;
    for (uint32_t j = 0; j < n; ++j) {
      while (e < row.size() && row[e].vertex < j) ++e;
      const double len = e < row.size() && row[e].vertex == j ? row[e].length : -1.0;
      if (j != i && visited[j] != 1) candidates.emplace_back(std::fabs(len), j);
    }
    // Equal keys keep the vertex order.
    const size_t keep = std::min(K, candidates.size());
    std::partial_sort(candidates.begin(), candidates.begin() + keep, candidates.end());
    for (size_t c = 0; c < keep; ++c) distances.setEdge(i, candidates[c].second, candidates[c].first);
  }
}

void TreeReconstructor::deleteSelectedVoxel() {
  if (!hasGraph() || rootVoxel == -1) return;
  if (!isVertex(rootVoxel) || visited.size() != nVoxels) {
    std::printf("Delete: vertex %d is not in the current graph of %u vertices; nothing deleted\n", rootVoxel, nVoxels);
    return;
  }
  const size_t s = static_cast<size_t>(rootVoxel);
  voxelIndex.erase(voxelIndex.begin() + s);
  positions.erase(positions.begin() + s);
  directions.erase(directions.begin() + s);
  visited.erase(visited.begin() + s);
  distances.removeVertex(static_cast<uint32_t>(s));
  --nVoxels;
  rootVoxel = -1;
}

bool TreeReconstructor::buildShortestPathTree() {
  if (!hasGraph() || rootVoxel == -1) return false;
  if (!isVertex(rootVoxel)) {
    std::printf("Shortest path tree: root vertex %d is not in the current graph of %u vertices\n", rootVoxel, nVoxels);
    return false;
  }
  const uint32_t n = nVoxels;
  const uint32_t a = static_cast<uint32_t>(rootVoxel);
  const std::vector<int64_t> predecessor = shortestPathTree(positions, a);

  // Only the tree's edges stay, at their lengths; every other entry becomes -1, marks 0.
  std::vector<TreeEdge> tree;
  for (uint32_t j = 0; j < n; ++j) {
    if (j == a || predecessor[j] < 0) continue;
    const uint32_t p = static_cast<uint32_t>(predecessor[j]);
    tree.push_back({p, j, graphDistance(positions[p], positions[j])});
  }
  if (!distances.assignTree(n, tree)) {
    std::printf("Memory allocation error!\n");
    return false;
  }
  return true;
}
