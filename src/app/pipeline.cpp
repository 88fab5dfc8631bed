#include "app/pipeline.h"

#include <chrono>
#include <cmath>
#include <cstdlib>

#include "app/globals.h"
#include "settings/settings.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs work and adds its duration in seconds to *seconds when given.
template <typename Work>
auto timed(double* seconds, Work work) {
  const auto begin = Clock::now();
  auto result = work();
  if (seconds) *seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  return result;
}

StageTimes* orScratch(StageTimes* times, StageTimes& scratch) {
  return times ? times : &scratch;
}

// Every node position and radius of the drawn and exported branches is a number.
bool treeIsFinite(const TreeModel& model) {
  for (const auto& b : model.branches) {
    for (const Vec3& p : b->nodes) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
    }
    for (double r : b->radii) {
      if (!std::isfinite(r)) return false;
    }
  }
  return true;
}

}  // namespace

void showPointLayerOnly() {
  g_bShowPoints = true;
  g_bShowAxis = false;
  g_bShowVoxel = false;
  g_bShowTree = false;
  g_bShowGraph = false;
}

bool loadPointCloud(const std::string& path, const SettingOverrides& overrides, StageTimes* times) {
  StageTimes scratch;
  StageTimes* t = orScratch(times, scratch);
  const bool loaded = timed(&t->load, [&] { return g_pointCloud.load(path); });
  if (loaded) {
    for (const auto& [name, value] : overrides) setSettingByName(name, value, nullptr);
  }
  timed(&t->voxelGrid, [] {
    g_voxelVolume.reset();
    g_voxelVolume.build(g_pointCloud, g_dVoxelSize);
    return true;
  });
  showPointLayerOnly();
  g_reconstructor.clear();
  g_reconstructor.model.clear();
  std::srand(0);
  return loaded;
}

bool runReconstruction(StageTimes* times) {
  StageTimes scratch;
  StageTimes* t = orScratch(times, scratch);
  timed(&t->thinning, [] {
    g_voxelVolume.thin();
    return true;
  });
  timed(&t->graph, [] {
    g_reconstructor.buildVoxelGraph(g_voxelVolume);
    return true;
  });
  return timed(&t->growth, [] { return g_reconstructor.reconstruct(); });
}

bool runRegrowth(double* seconds) {
  return timed(seconds, [] { return g_reconstructor.refineTree(); });
}

bool exportBuiltTree(const std::string& modelPath) {
  TreeModel& model = g_reconstructor.model;
  if (!model.isBuilt()) return false;
  model.buildDisplay();
  return model.exportTree(modelPath, g_pointCloud.scale);
}

size_t countDrawnBranches() {
  size_t n = 0;
  for (const auto& b : g_reconstructor.model.branches) n += b->nodes.size() >= 2;
  return n;
}

PipelineResult runTreePipeline(const std::string& path, const std::vector<PlannedOutput>& outputs,
                               const SettingOverrides& overrides) {
  PipelineResult result;
  StageTimes& t = result.times;
  resetSettingsToStartValues();
  if (!loadPointCloud(path, overrides, &t)) {
    result.detail = "cannot read the point cloud";
    return result;
  }
  if (g_voxelVolume.cellCount == 0) {
    result.detail = "no voxel grid could be built";
    return result;
  }
  const bool grown = runReconstruction(&t);
  if (!grown || !g_reconstructor.model.isBuilt() || g_reconstructor.skeletonNodes.size() < 2) {
    result.detail = "the growth produced no tree";
    return result;
  }
  if (!treeIsFinite(g_reconstructor.model)) {
    result.detail = "the tree has non-finite radii or positions";
    return result;
  }
  // The planned tree path ends in "txt", so the export's name rule keeps it as it is.
  const std::string treePath = outputPath(outputs, OutputKind::TreeText);
  if (!timed(&t.exportFile, [&] { return exportBuiltTree(treePath); })) {
    result.detail = "the tree file could not be written";
    return result;
  }
  result.ok = true;
  result.branches = countDrawnBranches();
  result.detail = treePath;
  return result;
}

PipelineResult runTreePipeline(const std::string& path, const std::string& outFolder,
                               const SettingOverrides& overrides) {
  return runTreePipeline(path, planOutputs({path}, outFolder)[0].outputs, overrides);
}
