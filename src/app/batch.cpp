#include "app/batch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "app/globals.h"
#include "app/model_folders.h"
#include "app/output_plan.h"
#include "app/pipeline.h"
#include "app/progress.h"
#include "settings/output_file.h"
#include "settings/settings.h"

namespace fs = std::filesystem;

namespace {

struct BatchOptions {
  std::string input;
  std::string outFolder = kTreeModelFolder;
  SettingOverrides settings;  // applied after each file's header
  bool fitToScan = true;      // --mode fit (the default) or classic
  LoadOptions load;           // --up
  std::vector<OutputKind> formats = allOutputKinds();
  bool help = false;
};

struct FileResult {
  std::string name;
  PipelineResult run;
  InputPlan plan;
};

// The run summary: one row of measurements per tree that was built; written whole.
void writeRunSummary(const std::string& path, const std::vector<FileResult>& results) {
  std::string text = measurementsCsvHeader();
  for (const FileResult& r : results) {
    if (r.run.ok) text += measurementsCsvRow(r.run.measurements, r.name);
  }
  std::string error;
  makeParentFolder(path);
  if (writeFileAtomically(path, text.data(), text.size(), &error)) {
    std::printf("Run summary -> %s\n", path.c_str());
  } else {
    std::printf("ERROR: the run summary could not be written: %s\n", error.c_str());
  }
}

std::string rangeText(double bound) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", bound);
  return text;
}

void printUsage() {
  std::printf(
      "Usage: frondarel                      open the window on ./data/point_model/\n"
      "       frondarel [cloud file ...]         open the window on the files given\n"
      "       frondarel --batch <cloud file or folder> [--out <folder>] [--mode fit|classic]\n"
      "                 [--up y|z] [--formats txt,ply,obj,csv,json|all] [--set key=value ...]\n"
      "       frondarel --help\n"
      "\n"
      "Batch mode builds trees without a window. For each cloud (a folder is processed in\n"
      "sorted name order) it loads the cloud with the program's start settings, then the\n"
      "file's settings header, then each --set, and reconstructs the tree: --mode fit (the\n"
      "default) fits it to the scan in the file's own units, --mode classic grows it by space\n"
      "colonisation over the thinned voxels. It prints the tree's fit to the scan and writes,\n"
      "as --formats chooses (all by default), into <folder> (default %s):\n"
      "  txt   <name>.txt, the branch skeleton (the cloud's name, last three characters replaced)\n"
      "  ply   <stem>_skeleton.ply, the skeleton graph (vertices with radius, edges)\n"
      "  obj   <stem>_mesh.obj, the branch tubes as drawn\n"
      "  csv   <stem>_cylinders.csv, one row per cylinder\n"
      "  json  <stem>_measurements.json, the tree's measurements and fit, and one row per tree\n"
      "        in frondarel_summary.csv\n"
      "All but the txt are in the scan's own coordinates, axes and units. --up y|z reads the\n"
      "clouds with that axis up (by default Z for scans, Y for the program's own PLY layouts).\n"
      "Outputs never replace an input or each other: where that name would, the output is\n"
      "named after the whole cloud name (tree.ply -> tree.ply.txt) and the summary says so.\n"
      "Files are written whole or not at all. A file that fails is reported and the next one\n"
      "is processed; one summary line per file ends the run. Exit status 0 only when every\n"
      "tree was built and written.\n"
      "\n"
      "--set names a setting by its header key or global name and gives a plain decimal\n"
      "value inside the setting's range, for example\n"
      "  --set resolution=0.15  --set g_dConstraintAngle=60  --set KNN=+5\n"
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
    } else if (arg == "--mode") {
      const char* v = next("fit or classic");
      if (!v) return false;
      if (std::strcmp(v, "fit") != 0 && std::strcmp(v, "classic") != 0) {
        std::printf("ERROR: --mode takes fit or classic, not '%s'\n", v);
        return false;
      }
      options->fitToScan = std::strcmp(v, "fit") == 0;
    } else if (arg == "--up") {
      const char* v = next("y or z");
      if (!v) return false;
      if (!parseUpAxis(v, &options->load.up)) {
        std::printf("ERROR: --up takes y or z, not '%s'\n", v);
        return false;
      }
    } else if (arg == "--formats") {
      const char* v = next("a list of formats");
      if (!v) return false;
      std::string error;
      if (!parseFormats(v, &options->formats, &error)) {
        std::printf("ERROR: %s\n", error.c_str());
        return false;
      }
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

// The clouds to process: a folder's regular files in sorted name order, or the one file
// named. Anything else named directly (a device, a pipe) is refused at once, as reading it
// would never end or never give a cloud.
bool collectInputs(const std::string& input, std::vector<std::string>* files) {
  std::error_code ec;
  const fs::file_status status = fs::status(input, ec);
  if (fs::is_directory(status)) {
    std::vector<std::string> names;
    std::string folder = input;
    if (folder.back() != '/') folder += '/';
    if (listFolder(folder, names)) {
      for (const std::string& n : names) files->push_back(folder + n);
    }
    if (files->empty()) std::printf("ERROR: no point cloud found at '%s'\n", input.c_str());
    return !files->empty();
  }
  if (!fs::exists(status)) {
    std::printf("ERROR: no point cloud found at '%s'\n", input.c_str());
    return false;
  }
  if (!fs::is_regular_file(status)) {
    std::printf("ERROR: '%s' is not a regular file, so it is not read as a point cloud\n", input.c_str());
    return false;
  }
  files->push_back(input);
  return true;
}

// One file through the pipeline; memory the system refuses part way fails this file only.
PipelineResult runOne(const InputPlan& plan, const BatchOptions& options) {
  // The mode goes first, so a --set of the same switch still has the last word.
  SettingOverrides settings{{"g_bFitToScan", options.fitToScan ? "1" : "0"}};
  settings.insert(settings.end(), options.settings.begin(), options.settings.end());
  try {
    return runTreePipeline(plan.input, plan.outputs, settings, options.load);
  } catch (const std::bad_alloc&) {
    PipelineResult failed;
    failed.detail = "the system refused memory part way; a larger voxel size needs less";
    return failed;
  }
}

// Names that differ from the usual ones, with the reason, for the per-file line and the summary.
// The first renamed output's reason (the others of one input share it), and how many more.
std::string renamedOutputs(const InputPlan& plan) {
  std::string first;
  size_t count = 0;
  for (const PlannedOutput& o : plan.outputs) {
    if (o.note.empty()) continue;
    if (count++ == 0) first = o.note;
  }
  if (count == 0) return {};
  const std::string more =
      count > 1 ? ", and " + std::to_string(count - 1) + (count == 2 ? " more output" : " more outputs") + " alike"
                : "";
  return " (renamed: " + first + more + ")";
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
  std::vector<std::string> files;
  if (!collectInputs(options.input, &files)) return 1;
  // Every output of every input is known before anything is written.
  const std::vector<InputPlan> plans = planOutputs(files, options.outFolder, options.formats);
  const bool summary =
      std::find(options.formats.begin(), options.formats.end(), OutputKind::MeasurementsJson) != options.formats.end();
  std::vector<FileResult> results;
  const auto runStart = std::chrono::steady_clock::now();
  for (const InputPlan& plan : plans) {
    std::printf("=== %s\n", plan.input.c_str());
    FileResult r;
    r.name = fs::path(plan.input).filename().string();
    r.plan = plan;
    if (!plan.refusal.empty()) {
      r.run.detail = "refused: " + plan.refusal;
      std::printf("ERROR: %s: %s\n", plan.input.c_str(), r.run.detail.c_str());
    } else {
      for (const PlannedOutput& o : plan.outputs) {
        if (!o.note.empty()) std::printf("Output: %s (renamed: %s)\n", o.path.c_str(), o.note.c_str());
      }
      std::fflush(stdout);
      r.run = runOne(plan, options);
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart).count();
      if (r.run.fit.valid()) std::printf("Fit: %s\n", formatFitFigures(r.run.fit).c_str());
      printStageTimes(r.run.times, runProgressText(results.size() + 1, plans.size(), elapsed));
      if (!r.run.ok) std::printf("ERROR: %s: %s\n", plan.input.c_str(), r.run.detail.c_str());
    }
    results.push_back(r);
    std::fflush(stdout);
  }
  if (summary) {
    const std::string path = summaryPath(files, options.outFolder);
    if (path.empty()) {
      std::printf("ERROR: the run summary is not written: frondarel_summary.csv is one of the inputs\n");
    } else {
      writeRunSummary(path, results);
    }
  }
  bool allOk = true;
  std::printf("Summary:\n");
  for (const FileResult& r : results) {
    if (r.run.ok) {
      const std::string more =
          r.run.outputsWritten > 1 ? " (+" + std::to_string(r.run.outputsWritten - 1) + " more)" : std::string();
      std::printf("  %s: OK, %zu branches -> %s%s%s\n", r.name.c_str(), r.run.branches, r.run.detail.c_str(),
                  more.c_str(), renamedOutputs(r.plan).c_str());
    } else {
      std::printf("  %s: FAILED, %s\n", r.name.c_str(), r.run.detail.c_str());
      allOk = false;
    }
  }
  return allOk ? 0 : 1;
}
