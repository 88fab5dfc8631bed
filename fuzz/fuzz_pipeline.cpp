// The whole pipeline from a cloud in memory (PLY when the input starts with "ply", else the
// text format): load, voxel grid, thinning, graph and growth, with the invariants of each
// stage's result. Grids beyond a few million cells are skipped: the memory check refuses the
// truly large ones, and exploring them would only make each run slow.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "app/globals.h"
#include "app/pipeline.h"
#include "fuzz_support.h"

namespace {

constexpr double kMaxCells = 4e6;

double cellsAt(const PointCloud& c, double size) {
  auto along = [&](double lo, double hi) { return std::ceil((hi - lo) / size); };
  return along(c.minCorner.x, c.maxCorner.x) * along(c.minCorner.y, c.maxCorner.y) *
         along(c.minCorner.z, c.maxCorner.z);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  silenceStdout();
  resetSettingsToStartValues();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool ply = size >= 3 && std::memcmp(data, "ply", 3) == 0;
  const bool loaded = ply ? g_pointCloud.parsePly("fuzz.ply", text) : g_pointCloud.parseTextCloud("fuzz.txt", text);
  checkCloud(g_pointCloud, loaded);
  checkSettingsInRange();
  g_voxelVolume.reset();
  g_reconstructor.clear();
  g_reconstructor.model.clear();
  if (!loaded || !(cellsAt(g_pointCloud, g_dVoxelSize) <= kMaxCells)) return 0;

  g_voxelVolume.build(g_pointCloud, g_dVoxelSize);
  std::srand(0);
  const VoxelVolume& v = g_voxelVolume;
  if (v.cellCount == 0) return 0;
  FUZZ_CHECK(uint64_t(v.dimX) * uint64_t(v.dimY) * uint64_t(v.dimZ) == v.cellCount);
  FUZZ_CHECK(v.labels.size() == v.cellCount && v.centres.size() == v.cellCount);
  FUZZ_CHECK(v.seedCount <= VoxelVolume::kMaxTrunkSeeds);
  for (int32_t k = 0; k < v.seedCount; ++k) FUZZ_CHECK(uint32_t(v.trunkSeeds[k]) < v.cellCount);
  runReconstruction();
  for (const auto& node : g_reconstructor.skeletonNodes) {
    FUZZ_CHECK(std::isfinite(node.position.x) && std::isfinite(node.position.y) && std::isfinite(node.position.z));
  }
  return 0;
}
