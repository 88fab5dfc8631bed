#include "skeleton/tree_reconstructor.h"

#include <cstdio>

TreeReconstructor::~TreeReconstructor() {
  clear();
  skeletonNodes.clear();
}

void TreeReconstructor::clear() {
  nVoxels = 0;
  std::vector<uint32_t>().swap(voxelIndex);
  std::vector<Vec3>().swap(positions);
  std::vector<Vec3>().swap(directions);
  distances.release();
  volume = nullptr;
  rootVoxel = -1;
  secondVoxel = -1;
  markerSize = 0.3;
  notGrown = true;
  maxRadius = 0.0;
}

bool TreeReconstructor::loadLeafModel(const std::string& path) {
  std::string reason;
  if (!model.loadLeafModel(path, &reason)) {
    // The reason (which file, what was wrong) follows the fixed text on the same line.
    std::printf("Failed to load leaf model%s%s\n", reason.empty() ? "" : ": ", reason.c_str());
    return false;
  }
  if (model.isBuilt()) model.buildDisplay();
  return true;
}
