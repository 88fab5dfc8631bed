#include "voxel/voxel_volume.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "settings/memory_limit.h"
#include "settings/settings.h"

namespace {

// Cells along one axis for the box [lo, hi]: ceil((hi - lo)/size), 0 for an empty or inverted
// extent. Returns false when the count is not a number or does not fit an int32.
bool cellsAlongAxis(double lo, double hi, double size, int32_t* cells) {
  const double n = std::ceil((hi - lo) / size);
  if (std::isnan(n) || n > std::numeric_limits<int32_t>::max()) return false;
  *cells = n >= 1.0 ? static_cast<int32_t>(n) : 0;
  return true;
}

// A grid needs one label byte, one centre record and one point counter per cell while it is
// built.
constexpr uint64_t kBytesPerCell = sizeof(uint8_t) + sizeof(PointRecord) + sizeof(uint32_t);

// Cells of the grid over [lo, hi] at size; UINT64_MAX when an axis does not fit.
uint64_t gridCells(const PointRecord& lo, const PointRecord& hi, double size) {
  int32_t nx = 0, ny = 0, nz = 0;
  if (!cellsAlongAxis(lo.x, hi.x, size, &nx) || !cellsAlongAxis(lo.z, hi.z, size, &nz) ||
      !cellsAlongAxis(lo.y, hi.y, size, &ny)) {
    return UINT64_MAX;
  }
  return static_cast<uint64_t>(nx) * static_cast<uint64_t>(nz) * static_cast<uint64_t>(ny);
}

// A voxel size of two significant digits, rounded up, whose grid over [lo, hi] fits both
// usable bytes and the 32-bit cell count; 0 when none is found.
double fittingVoxelSize(const PointRecord& lo, const PointRecord& hi, double size, uint64_t cells, uint64_t usable) {
  const uint64_t limit = std::min<uint64_t>(usable / kBytesPerCell, std::numeric_limits<uint32_t>::max());
  if (limit == 0) return 0.0;
  double candidate = size * std::cbrt(static_cast<double>(cells) / static_cast<double>(limit));
  for (int attempt = 0; attempt < 64 && std::isfinite(candidate); ++attempt) {
    const double unit = std::pow(10.0, std::floor(std::log10(candidate)) - 1);
    const double rounded = std::ceil(candidate / unit - 1e-9) * unit;
    if (gridCells(lo, hi, rounded) <= limit) return rounded;
    candidate = rounded * 1.02;
  }
  return 0.0;
}

// Says why a grid of cells cells cannot be allocated and which voxel size would do.
void reportGridTooLarge(const PointRecord& lo, const PointRecord& hi, double size, uint64_t cells, uint64_t usable) {
  const bool countFits = cells <= std::numeric_limits<uint32_t>::max();
  const uint64_t bytes = cells <= UINT64_MAX / kBytesPerCell ? cells * kBytesPerCell : UINT64_MAX;
  const std::string limit =
      countFits ? "the " + formatBytes(usable) + " this process may use" : "the 4294967295 cells a grid can index";
  std::printf("ERROR: the voxel grid needs %s (%s cells), more than %s", formatBytes(bytes).c_str(),
              formatCount(cells).c_str(), limit.c_str());
  const double larger = fittingVoxelSize(lo, hi, size, cells, usable);
  const double largest = findSetting("resolution")->max;
  if (larger > 0.0 && larger <= largest) {
    std::printf("; use a larger voxel size, e.g. --set resolution=%g", larger);
  } else {
    std::printf("; no voxel size up to %g fits", largest);
  }
  std::printf("\n");
}

// Zeroed arrays of cellCount entries; false when the allocator refuses them.
bool allocateCells(uint32_t cellCount, std::vector<uint8_t>* labels, std::vector<PointRecord>* centres,
                   std::vector<uint32_t>* counts) {
  try {
    labels->assign(cellCount, 0);
    centres->assign(cellCount, PointRecord());
    counts->assign(cellCount, 0);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

// Index along one axis; anything not in [0, dim) (negative, too large, not a number) folds
// into the last cell.
uint32_t axisCell(double coordinate, double lo, double size, int32_t dim) {
  const double q = std::floor((coordinate - lo) / size);
  if (q >= 0.0 && q < static_cast<double>(dim)) return static_cast<uint32_t>(q);
  return static_cast<uint32_t>(dim - 1);
}

// A grid needs cells along every axis: a cloud flat along one of them (a single point, a
// planar slice) gets a message naming the axis instead of an allocation failure.
void reportFlatAxis(int32_t nx, int32_t ny) {
  const char* axis = nx == 0 ? "X" : ny == 0 ? "Y (the height)" : "Z";
  std::printf("ERROR: the point cloud has no extent along %s, so no voxel grid can be built!\n", axis);
}

int32_t clampToInt32(int64_t value) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

void VoxelVolume::reset() {
  seedCount = 0;
  baseSeedCount = 0;
  dimX = dimY = dimZ = 0;
  cellCount = 0;
  voxelSize = 0.0;
  std::fill(std::begin(trunkSeeds), std::end(trunkSeeds), 0);
  std::vector<uint8_t>().swap(labels);
  std::vector<PointRecord>().swap(centres);
}

uint32_t VoxelVolume::cellIndex(const PointRecord& p) const {
  if (dimX <= 0 || dimY <= 0 || dimZ <= 0) return 0;
  const uint32_t ix = axisCell(p.x, minCorner.x, voxelSize, dimX);
  const uint32_t iz = axisCell(p.z, minCorner.z, voxelSize, dimZ);
  const uint32_t iy = axisCell(p.y, minCorner.y, voxelSize, dimY);
  return ix + static_cast<uint32_t>(dimX) * (iz + static_cast<uint32_t>(dimZ) * iy);
}

void VoxelVolume::build(const PointCloud& cloud, double size) {
  if (!cloud.loaded) return;
  if (!std::isfinite(size) || size <= 0.0) {
    std::printf("Invalid voxel size %g\n", size);
    reset();
    return;
  }
  minCorner = cloud.minCorner;
  maxCorner = cloud.maxCorner;
  baseCorner = cloud.baseCorner;
  voxelSize = size;

  int32_t nx = 0, ny = 0, nz = 0;
  const bool dimsFit = cellsAlongAxis(minCorner.x, maxCorner.x, size, &nx) &&
                       cellsAlongAxis(minCorner.z, maxCorner.z, size, &nz) &&
                       cellsAlongAxis(minCorner.y, maxCorner.y, size, &ny);
  if (dimsFit) std::printf("volume length=%ld, width=%ld, height=%ld\n", long(nx), long(nz), long(ny));
  const uint64_t cells = static_cast<uint64_t>(nx) * static_cast<uint64_t>(nz) * static_cast<uint64_t>(ny);
  if (dimsFit && cells == 0) {
    reportFlatAxis(nx, ny);
    reset();
    return;
  }
  std::vector<uint32_t> counts;
  const uint64_t usable = usableMemoryBytes();
  if (!dimsFit || cells > std::numeric_limits<uint32_t>::max() || cells > usable / kBytesPerCell) {
    std::printf("Allocation volume memory failed!\n");
    if (dimsFit) {
      reportGridTooLarge(minCorner, maxCorner, size, cells, usable);
    } else {
      std::printf(
          "ERROR: the point cloud spans %g by %g by %g (length, height, width), more than 2147483647 "
          "voxels of %g along an axis\n",
          maxCorner.x - minCorner.x, maxCorner.y - minCorner.y, maxCorner.z - minCorner.z, size);
    }
    reset();
    return;
  }
  if (!allocateCells(static_cast<uint32_t>(cells), &labels, &centres, &counts)) {
    std::printf("Allocation volume memory failed!\n");
    std::printf("ERROR: the system refused the %s the voxel grid needs (%s cells); use a larger voxel size\n",
                formatBytes(cells * kBytesPerCell).c_str(), formatCount(cells).c_str());
    reset();
    return;
  }
  dimX = nx;
  dimY = ny;
  dimZ = nz;
  cellCount = static_cast<uint32_t>(cells);

  // Key points [rootIndex, keyEnd) give the trunk seeds; the counts never claim more entries
  // than were stored (at most kMaxTrunkSeeds, only indices of existing points).
  const int64_t pointCount = std::min<int64_t>(cloud.count, static_cast<int64_t>(cloud.points.size()));
  std::fill(std::begin(trunkSeeds), std::end(trunkSeeds), 0);
  int32_t stored = 0;
  if (cloud.rootIndex >= 0) {
    const int64_t seedEnd = std::min<int64_t>(cloud.keyEnd, pointCount);
    for (int64_t i = cloud.rootIndex; i < seedEnd && stored < kMaxTrunkSeeds; ++i) {
      trunkSeeds[stored++] = static_cast<int32_t>(cellIndex(cloud.points[i]));
    }
  }
  seedCount = clampToInt32(std::min<int64_t>(int64_t(cloud.keyEnd) - cloud.rootIndex, stored));
  baseSeedCount =
      clampToInt32(std::min<int64_t>(int64_t(cloud.keyBegin) - cloud.rootIndex - 1, std::max(seedCount, 0)));

  for (int64_t i = 0; i < pointCount; ++i) {
    const PointRecord& p = cloud.points[i];
    const uint32_t c = cellIndex(p);
    labels[c] = 1;
    ++counts[c];
    PointRecord& sum = centres[c];
    sum.x += p.x;
    sum.y += p.y;
    sum.z += p.z;
    sum.tag |= p.tag;
  }
  for (uint32_t c = 0; c < cellCount; ++c) {
    if (labels[c] == 0) continue;
    const double n = counts[c];
    centres[c].x /= n;
    centres[c].y /= n;
    centres[c].z /= n;
  }
}
