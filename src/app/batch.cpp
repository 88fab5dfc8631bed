#include "app/batch.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/globals.h"
#include "app/model_folders.h"
#include "app/settings.h"

namespace fs = std::filesystem;

namespace {

struct BatchOptions {
  std::string input;
  std::string outFolder = kTreeModelFolder;
  std::vector<std::pair<std::string, std::string>> settings;  // applied after each file's header
  bool help = false;
};

struct FileResult {
  std::string name;
  bool ok = false;
  std::string detail;  // output path or failure reason
  size_t branches = 0;
};

void printUsage() {
  std::printf(
      "Usage: frondarel                      open the window on ./data/point_model/\n"
      "       frondarel --batch <cloud file or folder> [--out <folder>] [--set key=value ...]\n"
      "       frondarel --help\n"
      "\n"
      "Batch mode builds trees without a window. For each cloud (a folder is processed in\n"
      "sorted name order) it runs load, voxel grid, thinning, voxel graph, skeleton growth\n"
      "and tree building with the program's start settings, then the file's settings header,\n"
      "then each --set, and writes the branch skeleton to <folder>/<name>.txt (default\n"
      "%s). A file that fails is reported and the next one is processed; one summary\n"
      "line per file ends the run. Exit status 0 only when every tree was built and written.\n"
      "\n"
      "--set names a setting by its header key or global name, for example\n"
      "  --set resolution=0.15  --set g_dConstraintAngle=60\n"
      "Settings:",
      kTreeModelFolder);
  for (const std::string& name : settingNames()) std::printf(" %s", name.c_str());
  std::printf("\n");
}

// Returns false with a message on a malformed command line.
bool parseOptions(int argc, char** argv, BatchOptions* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto next = [&](const char* what) -> const char* {
      if (i + 1 >= argc) {
        std::printf("ERROR: %s needs %s\n", arg.c_str(), what);
        return nullptr;
      }
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else if (arg == "--batch") {
      const char* v = next("a cloud file or folder");
      if (!v) return false;
      options->input = v;
    } else if (arg == "--out") {
      const char* v = next("a folder");
      if (!v) return false;
      options->outFolder = v;
    } else if (arg == "--set") {
      const char* v = next("key=value");
      if (!v) return false;
      std::string kv = v;
      size_t eq = kv.find('=');
      if (eq == std::string::npos || eq == 0) {
        std::printf("ERROR: --set expects key=value, got '%s'\n", v);
        return false;
      }
      options->settings.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
    } else {
      std::printf("ERROR: unknown argument '%s' (see --help)\n", arg.c_str());
      return false;
    }
  }
  if (!options->help && options->input.empty()) {
    std::printf("ERROR: --batch needs a cloud file or folder (see --help)\n");
    return false;
  }
  return true;
}

// Checks every --set once before any file is processed, so a typo stops the run early.
bool validateSettings(const BatchOptions& options) {
  for (const auto& [key, value] : options.settings) {
    std::string error;
    if (!setSettingByName(key, value, &error)) {
      std::printf("ERROR: %s\n", error.c_str());
      return false;
    }
  }
  resetSettingsToStartValues();
  return true;
}

std::vector<std::string> collectInputs(const std::string& input) {
  std::vector<std::string> files;
  std::error_code ec;
  if (fs::is_directory(input, ec)) {
    std::vector<std::string> names;
    std::string folder = input;
    if (folder.back() != '/') folder += '/';
    if (listFolder(folder, names)) {
      for (const std::string& n : names) files.push_back(folder + n);
    }
  } else {
    files.push_back(input);
  }
  return files;
}

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

size_t countDrawnBranches(const TreeModel& model) {
  size_t n = 0;
  for (const auto& b : model.branches) n += b->nodes.size() >= 2;
  return n;
}

FileResult processFile(const std::string& path, const BatchOptions& options) {
  FileResult result;
  result.name = fs::path(path).filename().string();
  using clock = std::chrono::steady_clock;
  double tLoad = 0, tGrid = 0, tThin = 0, tGraph = 0, tGrowth = 0, tExport = 0;

  resetSettingsToStartValues();
  auto t0 = clock::now();
  bool loaded = g_pointCloud.load(path);
  tLoad = secondsSince(t0);
  g_voxelVolume.reset();
  g_reconstructor.clear();
  g_reconstructor.model.clear();
  std::srand(0);
  if (!loaded) {
    result.detail = "cannot read the point cloud";
    return result;
  }
  for (const auto& [key, value] : options.settings) setSettingByName(key, value, nullptr);

  t0 = clock::now();
  g_voxelVolume.build(g_pointCloud, g_dVoxelSize);
  tGrid = secondsSince(t0);
  if (g_voxelVolume.cellCount == 0) {
    result.detail = "no voxel grid could be built";
    return result;
  }
  t0 = clock::now();
  g_voxelVolume.thin();
  tThin = secondsSince(t0);
  t0 = clock::now();
  g_reconstructor.buildVoxelGraph(g_voxelVolume);
  tGraph = secondsSince(t0);
  t0 = clock::now();
  bool grown = g_reconstructor.reconstruct();
  tGrowth = secondsSince(t0);
  const TreeModel& model = g_reconstructor.model;
  if (!grown || !model.isBuilt() || g_reconstructor.skeletonNodes.size() < 2) {
    result.detail = "the growth produced no tree";
    return result;
  }
  t0 = clock::now();
  std::string outFolder = options.outFolder;
  if (!outFolder.empty() && outFolder.back() != '/') outFolder += '/';
  std::string outPath = outFolder + result.name;
  bool written = g_reconstructor.model.exportTree(outPath, g_pointCloud.scale);
  tExport = secondsSince(t0);
  std::printf("Stage times (s): load %.3f, voxel grid %.3f, thinning %.3f, graph %.3f, growth %.3f, export %.3f\n",
              tLoad, tGrid, tThin, tGraph, tGrowth, tExport);
  if (!written) {
    result.detail = "the tree file could not be written";
    return result;
  }
  result.ok = true;
  result.branches = countDrawnBranches(model);
  result.detail = outPath.size() >= 3 ? outPath.substr(0, outPath.size() - 3) + "txt" : outPath;
  return result;
}

}  // namespace

int runBatch(int argc, char** argv) {
  BatchOptions options;
  if (!parseOptions(argc, argv, &options)) return 2;
  if (options.help) {
    printUsage();
    return 0;
  }
  if (!validateSettings(options)) return 2;
  std::vector<std::string> files = collectInputs(options.input);
  if (files.empty()) {
    std::printf("ERROR: no point cloud found at '%s'\n", options.input.c_str());
    return 1;
  }
  std::vector<FileResult> results;
  for (const std::string& file : files) {
    std::printf("=== %s\n", file.c_str());
    std::fflush(stdout);
    results.push_back(processFile(file, options));
    if (!results.back().ok) std::printf("ERROR: %s: %s\n", file.c_str(), results.back().detail.c_str());
    std::fflush(stdout);
  }
  bool allOk = true;
  std::printf("Summary:\n");
  for (const FileResult& r : results) {
    if (r.ok) {
      std::printf("  %s: OK, %zu branches -> %s\n", r.name.c_str(), r.branches, r.detail.c_str());
    } else {
      std::printf("  %s: FAILED, %s\n", r.name.c_str(), r.detail.c_str());
      allOk = false;
    }
  }
  return allOk ? 0 : 1;
}
