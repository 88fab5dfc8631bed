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
#include "app/pipeline.h"
#include "app/progress.h"
#include "settings/settings.h"

namespace fs = std::filesystem;

namespace {

struct BatchOptions {
  std::string input;
  std::string outFolder = kTreeModelFolder;
  SettingOverrides settings;  // applied after each file's header
  bool help = false;
};

struct FileResult {
  std::string name;
  PipelineResult run;
};

std::string rangeText(double bound) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", bound);
  return text;
}

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
      "\n"
      "Settings (header key, global name, start value, range, unit: what it does):\n",
      kTreeModelFolder);
  for (const SettingInfo& s : settingTable()) {
    if (!s.userSet) continue;
    const std::string unit = *s.unit ? std::string(" ") + s.unit : "";
    std::printf("  %-12s %-24s %-6s %s..%s%s: %s\n", s.headerKey ? s.headerKey : "-", s.name, startValueText(s).c_str(),
                rangeText(s.min).c_str(), rangeText(s.max).c_str(), unit.c_str(), s.help);
  }
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

// The file's stage times, then its place in the run with the time left.
void printStageTimes(const StageTimes& t, const std::string& runPlace) {
  std::printf("Stage times (s): load %.3f, voxel grid %.3f, thinning %.3f, graph %.3f, growth %.3f, export %.3f; %s\n",
              t.load, t.voxelGrid, t.thinning, t.graph, t.growth, t.exportFile, runPlace.c_str());
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
  const auto runStart = std::chrono::steady_clock::now();
  for (const std::string& file : files) {
    std::printf("=== %s\n", file.c_str());
    std::fflush(stdout);
    FileResult r{fs::path(file).filename().string(), runTreePipeline(file, options.outFolder, options.settings)};
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart).count();
    printStageTimes(r.run.times, runProgressText(results.size() + 1, files.size(), elapsed));
    if (!r.run.ok) std::printf("ERROR: %s: %s\n", file.c_str(), r.run.detail.c_str());
    results.push_back(r);
    std::fflush(stdout);
  }
  bool allOk = true;
  std::printf("Summary:\n");
  for (const FileResult& r : results) {
    if (r.run.ok) {
      std::printf("  %s: OK, %zu branches -> %s\n", r.name.c_str(), r.run.branches, r.run.detail.c_str());
    } else {
      std::printf("  %s: FAILED, %s\n", r.name.c_str(), r.run.detail.c_str());
      allOk = false;
    }
  }
  return allOk ? 0 : 1;
}
