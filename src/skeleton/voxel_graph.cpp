// The voxel graph: vertices from the occupied voxels, the direction field, the dense
// radius-plus-K-nearest neighbour matrix, and the edits of the graph (Delete, key p, the
// trunk-seed links of key f).

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "settings/memory_limit.h"
#include "settings/settings.h"
#include "skeleton/kd_tree.h"
#include "skeleton/tree_reconstructor.h"

namespace {

// Stands for "no edge" in the shortest-path pass: the diagonal and unreachable vertices.
constexpr double kUnreachable = 2147483647.0;

uint32_t knnSetting() {
  return g_nKNN > 0 ? static_cast<uint32_t>(g_nKNN) : 0u;
}

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
Vec3 fieldDirection(const Vec3& p, double cx, double cz, double depthRatio, double rho) {
  Vec3 d(p.x - cx, 0.0, p.z - cz, p.status);
  normalise(d);
  const double L = std::pow(depthRatio, 1.8 - g_dFieldHeightExponent + 0.4);
  const double M = std::pow(rho, g_dFieldRadialExponent);
  const double T = g_dFieldTopAngle * kPi / 180.0;
  const double B = g_dFieldBottomAngle * kPi / 180.0;
  const double e = M * (L * (B - T) + T - kPi / 2.0) + kPi / 2.0;
  Vec3 dir(d.x, d.y + std::tan(e), d.z, d.status);
  normalise(dir);
  return Vec3(dir.x * rho, dir.y * rho, dir.z * rho, dir.status);
}

}  // namespace

void TreeReconstructor::buildVoxelGraph(const VoxelVolume& vol) {
  const uint32_t K = knnSetting();
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
  computeDirectionField();
  buildNeighbourGraph(K);
}

void TreeReconstructor::computeDirectionField() {
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
    if (depth > H || (g_bRefineTrunk == 2 && rho < 0.2)) {
      directions[i] = Vec3(0.0, rho, 0.0);
    } else {
      const double depthRatio = H > 0.0 ? depth / H : 0.0;
      directions[i] = fieldDirection(p, cx, cz, depthRatio, rho);
    }
  }
}

bool TreeReconstructor::buildNeighbourGraph(uint32_t K) {
  const uint32_t n = nVoxels;
  if (volume == nullptr || positions.size() != n) return false;
  if (!distances.allocate(n, -1.0)) {
    std::printf("Memory allocation error!\n");
    std::string why;
    if (n <= NeighbourMatrix::kMaxVertices &&
        !fitsInUsableMemory(NeighbourMatrix::bytesFor(n), "the neighbour graph", formatCount(n) + " vertices", &why)) {
      std::printf("ERROR: %s; use a larger voxel size\n", why.c_str());
    }
    return false;
  }
  const VoxelVolume& v = *volume;
  const double dims = static_cast<double>(v.dimX) * v.dimX + static_cast<double>(v.dimY) * v.dimY +
                      static_cast<double>(v.dimZ) * v.dimZ;
  const double D = v.voxelSize * std::sqrt(dims);

  KdTree index;
  double p[3];
  for (uint32_t i = 0; i < n; ++i) {
    toArray(positions[i], p);
    index.insert(p, i);
  }

  std::vector<uint32_t> neighbourCount(n, 0);
  uint64_t neighbourSum = 0;
  for (uint32_t i = 0; i < n; ++i) {
    toArray(positions[i], p);
    const size_t hits = index.radiusSearch(p, g_dSearchRadius);
    for (size_t h = 0; h < hits; ++h) {
      const uint32_t j = index.lastIndices[h];
      if (j == i) {
        distances.setLength(i, i, -D);
      } else {
        ++neighbourCount[i];
        distances.setEdge(i, j, index.lastDistances[h]);
      }
    }
    neighbourSum += neighbourCount[i];
  }
  // An empty graph has no average; it prints 0.
  const unsigned average = n == 0 ? 0u : static_cast<unsigned>(neighbourSum / n);
  std::printf("Average Number of Neighbor Points:  %u\n", average);

  const auto baseSeeds = seedRange(v, 0, v.baseSeedCount);
  NearestSet nearest;
  for (uint32_t i = 0; i < n; ++i) {
    if (neighbourCount[i] >= K) continue;
    if (voxelInSeeds(v, baseSeeds, voxelIndex[i])) continue;
    toArray(positions[i], p);
    const size_t hits = index.nearestSearch(p, static_cast<size_t>(K) + 1, nearest);
    for (size_t h = 0; h < hits; ++h) {
      const uint32_t j = index.lastIndices[h];
      if (j != i) distances.setEdge(i, j, index.lastDistances[h]);
    }
  }
  return true;
}

void TreeReconstructor::linkTrunkSeeds() {
  const uint32_t n = nVoxels;
  if (!hasGraph() || visited.size() != n) return;
  const VoxelVolume& v = *volume;
  const auto trunkSeeds = seedRange(v, v.baseSeedCount, v.seedCount);
  const size_t K = knnSetting();
  std::vector<std::pair<double, uint32_t>> candidates;
  for (uint32_t i = 0; i < n; ++i) {
    if (visited[i] == 0 || !voxelInSeeds(v, trunkSeeds, voxelIndex[i])) continue;
    candidates.clear();
    for (uint32_t j = 0; j < n; ++j) {
      if (j != i && visited[j] != 1) candidates.emplace_back(std::fabs(distances.length(i, j)), j);
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
  for (uint32_t i = 0; i < n; ++i) {
    for (uint32_t j = 0; j < n; ++j) {
      distances.setLength(i, j, i == j ? kUnreachable : graphDistance(positions[i], positions[j]));
    }
  }
  distances.clearMarks();

  // Dijkstra over the complete graph. Each vertex's path from a is its predecessor's path
  // plus the vertex itself, so a predecessor per vertex holds the same paths as a table of
  // successor chains, in n entries instead of n^2.
  std::vector<double> tentative(n);
  std::vector<uint8_t> settled(n, 0);
  std::vector<int64_t> predecessor(n, -1);
  const double* rowA = distances.row(a);
  for (uint32_t j = 0; j < n; ++j) {
    tentative[j] = rowA[j];
    if (j != a && rowA[j] < kUnreachable) predecessor[j] = a;
  }
  tentative[a] = 0.0;
  settled[a] = 1;
  for (uint32_t k = 1; k < n; ++k) {
    int64_t d = -1;
    for (uint32_t j = 0; j < n; ++j) {
      if (!settled[j] && tentative[j] < kUnreachable && (d < 0 || tentative[j] < tentative[d])) d = j;
    }
    if (d < 0) {
      std::printf("\b\b\b\b\b\b\b100.0%%");
      break;
    }
    settled[d] = 1;
    const double* rowD = distances.row(static_cast<uint32_t>(d));
    for (uint32_t j = 0; j < n; ++j) {
      if (settled[j] || !(rowD[j] < kUnreachable)) continue;
      if (tentative[j] > tentative[d] + rowD[j]) {
        tentative[j] = tentative[d] + rowD[j];
        predecessor[j] = d;
      }
    }
    std::printf("\b\b\b\b\b\b\b%4.1f%%", 100.0 * k / (n - 1));
    std::fflush(stdout);  // the counter is rewritten in place, so it has no line end to flush it
  }

  for (uint32_t j = 0; j < n; ++j) {
    if (j == a || predecessor[j] < 0) continue;
    const uint32_t p = static_cast<uint32_t>(predecessor[j]);
    distances.setMark(p, j, 1);
    distances.setMark(j, p, 1);
  }
  for (uint32_t i = 0; i < n; ++i) {
    for (uint32_t j = 0; j < n; ++j) {
      if (distances.mark(i, j) == 0) {
        distances.setLength(i, j, -1.0);
      } else {
        distances.setMark(i, j, 0);
      }
    }
  }
  return true;
}
