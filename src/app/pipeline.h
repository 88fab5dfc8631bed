#pragma once
// The road of one reconstruction over the global objects (g_pointCloud, g_voxelVolume,
// g_reconstructor and its tree model): load a cloud, reconstruct, regrow, export. The
// window's commands, the model switch, batch mode, the benchmarks and the tests all go
// through these stages, so the sequence is spelled out here only. GL-free.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "app/output_plan.h"
#include "pointcloud/point_cloud.h"
#include "tree/fit_measure.h"
#include "tree/measurements.h"

// Seconds spent in each stage of one pipeline run.
struct StageTimes {
  double load = 0, voxelGrid = 0, thinning = 0, graph = 0, growth = 0, exportFile = 0;
  double total() const { return load + voxelGrid + thinning + graph + growth + exportFile; }
};

// Settings given by name (header key or global name) and value, applied in order.
using SettingOverrides = std::vector<std::pair<std::string, std::string>>;

// What a fresh load shows: the point layer alone.
void showPointLayerOnly();

// Load stage. Reads path (its settings header may change settings); when it loaded, the
// cloud replaces g_pointCloud, overrides are applied, g_voxelVolume is reset and rebuilt at
// g_dVoxelSize, the point layer alone is shown, the reconstructor and its tree model are
// cleared and the random sequence restarts from seed 0. When it did not load, the reader has
// said why and everything stays as it was: the previous cloud, grid, skeleton, tree and
// settings. Writes times->load and times->voxelGrid when times is given.
bool loadPointCloud(const std::string& path, const SettingOverrides& overrides = {}, StageTimes* times = nullptr,
                    const LoadOptions& options = {});

// The load options the window uses: the up axis chosen in the panel (g_nUpAxis).
LoadOptions windowLoadOptions();

// "Reconstruct tree": with g_bFitToScan off, thins the voxels, builds the voxel graph and
// grows the skeleton by space colonisation into the tree model; with it on, fits the tree to
// the scan (g_dFit* settings, 0 derived from the scan). Returns whether a tree was grown.
// Writes times->thinning, ->graph and ->growth (for a fit: its graph and its skeleton).
// Afterwards the tree's fit to the cloud is measured (lastTreeFit).
bool runReconstruction(StageTimes* times = nullptr);

// The fit measure of the tree of the last reconstruction against its cloud, in the file's
// units; not valid before a reconstruction or when it grew nothing.
const FitFigures& lastTreeFit();

// Key f: the best-first regrowth along the graph edges. Returns whether it ran; *seconds
// is its duration.
bool runRegrowth(double* seconds = nullptr);

// Writes the built tree for the cloud file modelPath as modelPath with its last three
// characters replaced by "txt", coordinates divided by the cloud's scale. The tree display
// is rebuilt first (the export is one of its triggers). False when no tree is built or the
// file cannot be written (with a message).
bool exportBuiltTree(const std::string& modelPath);

// The file exportBuiltTree writes for modelPath: its last three characters replaced by "txt".
std::string exportPathFor(const std::string& modelPath);

// Number of loadPointCloud calls so far, so the window can tell that a new cloud came in.
unsigned pointCloudLoadCount();

// Branches that are drawn and exported: those with at least two nodes.
size_t countDrawnBranches();

// Writes the built tree's outputs in the scan's own coordinates (each written whole or not
// at all): the skeleton graph, the branch mesh (with the leaves as their own group when
// withLeaves and a leaf model is loaded), the cylinder table and the measurements of the
// tree named treeName, which must be measured already. The tree text is exportBuiltTree's.
// False with the failed path and the reason in *failure.
bool writeScanOutputs(const std::vector<PlannedOutput>& outputs, const TreeMeasurements& measurements,
                      const std::string& treeName, bool withLeaves, std::string* failure);

// Measurements of the built tree against g_pointCloud, with its fit (lastTreeFit).
TreeMeasurements measureBuiltTree();

struct PipelineResult {
  bool ok = false;
  std::string detail;   // the written tree file, or why the run failed
  size_t branches = 0;  // branches with at least two nodes
  StageTimes times;
  FitFigures fit;  // the tree against its cloud
  TreeMeasurements measurements;
  size_t outputsWritten = 0;
};

// One cloud through every stage, as batch mode runs it: start settings, the file's header,
// then overrides; the tree is written to the planned outputs. A tree whose node positions or
// radii are not finite is a failure and nothing is written.
PipelineResult runTreePipeline(const std::string& path, const std::vector<PlannedOutput>& outputs,
                               const SettingOverrides& overrides = {}, const LoadOptions& options = {});
// The same for one cloud alone, its outputs planned into outFolder.
PipelineResult runTreePipeline(const std::string& path, const std::string& outFolder,
                               const SettingOverrides& overrides = {});
