#include "app/pipeline.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "app/globals.h"
#include "app/progress.h"
#include "foliage/leaf_mesh.h"
#include "settings/output_file.h"
#include "settings/settings.h"
#include "skeleton/fit_reconstruction.h"
#include "tree/scan_exports.h"

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

unsigned g_pointCloudLoads = 0;

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

std::string exportPathFor(const std::string& modelPath) {
  return modelPath.size() >= 3 ? modelPath.substr(0, modelPath.size() - 3) + "txt" : modelPath;
}

unsigned pointCloudLoadCount() {
  return g_pointCloudLoads;
}

void showPointLayerOnly() {
  g_bShowPoints = true;
  g_bShowAxis = false;
  g_bShowVoxel = false;
  g_bShowTree = false;
  g_bShowGraph = false;
}

LoadOptions windowLoadOptions() {
  LoadOptions options;
  options.up = g_nUpAxis == 1 ? UpAxis::Y : g_nUpAxis == 2 ? UpAxis::Z : UpAxis::FromFormat;
  return options;
}

bool loadPointCloud(const std::string& path, const SettingOverrides& overrides, StageTimes* times,
                    const LoadOptions& options) {
  StageTimes scratch;
  StageTimes* t = orScratch(times, scratch);
  reportProgress("Reading the point cloud", 0.0);
  const SettingsSnapshot before = takeSettingsSnapshot();
  PointCloud fresh;
  if (!timed(&t->load, [&] { return fresh.load(path, options); })) {
    restoreSettings(before);
    return false;
  }
  g_pointCloud = std::move(fresh);
  for (const auto& [name, value] : overrides) setSettingByName(name, value, nullptr);
  reportProgress("Building the voxel grid", 0.5);
  timed(&t->voxelGrid, [] {
    g_voxelVolume.reset();
    g_voxelVolume.build(g_pointCloud, g_dVoxelSize);
    return true;
  });
  showPointLayerOnly();
  g_reconstructor.clear();
  g_reconstructor.model.clear();
  std::srand(0);
  ++g_pointCloudLoads;
  return true;
}

namespace {

FitFigures g_lastTreeFit;

FitOptions fitOptionsFromSettings() {
  FitOptions o;
  o.voxelSize = g_dFitVoxelSize;
  o.step = g_dFitStep;
  o.killDistance = g_dFitKillDistance;
  o.influenceRadius = g_dFitInfluenceRadius;
  return o;
}

bool fitReconstruction(StageTimes* t) {
  reportProgress("Fitting the tree to the scan", -1.0);
  FitStats stats;
  const bool fitted = fitTreeToScan(g_pointCloud, g_reconstructor.model, fitOptionsFromSettings(), &stats);
  t->thinning = 0.0;
  t->graph = stats.prepareSeconds + stats.groundSeconds + stats.graphSeconds;
  t->growth = stats.skeletonSeconds + stats.radiiSeconds + stats.modelSeconds;
  return fitted && g_reconstructor.model.isBuilt();
}

bool classicReconstruction(StageTimes* t) {
  reportProgress("Thinning the voxels", 0.0);
  timed(&t->thinning, [] {
    g_voxelVolume.thin();
    return true;
  });
  reportProgress("Building the voxel graph", 1.0 / 3.0);
  timed(&t->graph, [] {
    g_reconstructor.buildVoxelGraph(g_voxelVolume);
    return true;
  });
  reportProgress("Growing the skeleton", 2.0 / 3.0);
  const bool grown = timed(&t->growth, [] { return g_reconstructor.reconstruct(); });
  return grown && g_reconstructor.model.isBuilt() && g_reconstructor.skeletonNodes.size() >= 2;
}

}  // namespace

bool runReconstruction(StageTimes* times) {
  StageTimes scratch;
  StageTimes* t = orScratch(times, scratch);
  const bool grown = g_bFitToScan ? fitReconstruction(t) : classicReconstruction(t);
  g_lastTreeFit = grown ? measureCloudFit(g_reconstructor.model, g_pointCloud) : FitFigures();
  return grown;
}

const FitFigures& lastTreeFit() {
  return g_lastTreeFit;
}

bool runRegrowth(double* seconds) {
  reportProgress("Regrowing the tree", -1.0);
  return timed(seconds, [] { return g_reconstructor.refineTree(); });
}

TreeMeasurements measureBuiltTree() {
  TreeMeasurements m = measureTree(g_reconstructor.model, g_pointCloud);
  m.fit = lastTreeFit();
  return m;
}

namespace {

std::string scanOutputText(OutputKind kind, const TreeMeasurements& measurements, const std::string& treeName,
                           bool withLeaves) {
  const TreeModel& model = g_reconstructor.model;
  const ScanFrame& frame = g_pointCloud.frame;
  switch (kind) {
    case OutputKind::SkeletonPly:
      return skeletonGraphPly(model, frame);
    case OutputKind::MeshObj: {
      if (!withLeaves || g_reconstructor.model.leafVertices.empty()) return branchMeshObj(model, frame);
      const MeshTriangles leaves = treeLeafTriangles(g_reconstructor.model);
      return branchMeshObj(model, frame, &leaves);
    }
    case OutputKind::CylinderCsv:
      return cylinderTableCsv(treeCylinders(model, frame));
    case OutputKind::MeasurementsJson:
      return measurementsJson(measurements, treeName);
    case OutputKind::TreeText:
      break;
  }
  return "";
}

}  // namespace

bool writeScanOutputs(const std::vector<PlannedOutput>& outputs, const TreeMeasurements& measurements,
                      const std::string& treeName, bool withLeaves, std::string* failure) {
  for (const PlannedOutput& o : outputs) {
    if (o.kind == OutputKind::TreeText) continue;
    const std::string text = scanOutputText(o.kind, measurements, treeName, withLeaves);
    makeParentFolder(o.path);
    std::string error;
    if (!writeFileAtomically(o.path, text.data(), text.size(), &error)) {
      *failure = "the file " + o.path + " could not be written: " + error;
      return false;
    }
  }
  return true;
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
                               const SettingOverrides& overrides, const LoadOptions& options) {
  PipelineResult result;
  StageTimes& t = result.times;
  resetSettingsToStartValues();
  if (!loadPointCloud(path, overrides, &t, options)) {
    result.detail = "cannot read the point cloud";
    return result;
  }
  if (!g_bFitToScan && g_voxelVolume.cellCount == 0) {
    result.detail = "no voxel grid could be built";
    return result;
  }
  if (!runReconstruction(&t)) {
    result.detail = "the growth produced no tree";
    return result;
  }
  if (!treeIsFinite(g_reconstructor.model)) {
    result.detail = "the tree has non-finite radii or positions";
    return result;
  }
  result.fit = lastTreeFit();
  result.measurements = measureBuiltTree();
  // The planned tree path ends in "txt", so the export's name rule keeps it as it is.
  const std::string treePath = outputPath(outputs, OutputKind::TreeText);
  if (!treePath.empty() && !timed(&t.exportFile, [&] { return exportBuiltTree(treePath); })) {
    result.detail = "the tree file could not be written";
    return result;
  }
  std::string failure;
  double scanSeconds = 0.0;
  const std::string treeName = std::filesystem::path(path).filename().string();
  if (!timed(&scanSeconds, [&] { return writeScanOutputs(outputs, result.measurements, treeName, false, &failure); })) {
    result.detail = failure;
    return result;
  }
  t.exportFile += scanSeconds;
  result.ok = true;
  result.branches = countDrawnBranches();
  result.outputsWritten = outputs.size();
  result.detail = treePath.empty() && !outputs.empty() ? outputs[0].path : treePath;
  return result;
}

PipelineResult runTreePipeline(const std::string& path, const std::string& outFolder,
                               const SettingOverrides& overrides) {
  return runTreePipeline(path, planOutputs({path}, outFolder)[0].outputs, overrides);
}
