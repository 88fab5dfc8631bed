#pragma once
// The headless batch command:
//   frondarel --batch <cloud file or folder> [--out <folder>] [--set key=value ...]
// runs load, voxel grid, thinning, graph, growth and tree building with the same code and
// settings as the window and writes each tree's export. Returns the process status:
// 0 only when every tree was built and written.

#include <string>
#include <utility>
#include <vector>

int runBatch(int argc, char** argv);

// Seconds spent in each stage of one pipeline run.
struct StageTimes {
  double load = 0, voxelGrid = 0, thinning = 0, graph = 0, growth = 0, exportFile = 0;
};

struct PipelineResult {
  bool ok = false;
  std::string detail;   // the written file, or why the run failed
  size_t branches = 0;  // branches with at least two nodes
  StageTimes times;
};

// One cloud through the whole pipeline on the global objects: start settings, the file's
// header, then settings (name, value) in order; the tree is written into outFolder.
PipelineResult runTreePipeline(const std::string& path, const std::string& outFolder,
                               const std::vector<std::pair<std::string, std::string>>& settings);
