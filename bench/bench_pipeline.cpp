// The whole pipeline per stage, as the batch command runs it, on every bundled model and on
// every real scan in ../shared/realdata/converted (when present): seconds per stage, total,
// graph vertices and branch count. The pipeline's own console output is muted.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/pipeline.h"
#include "app/globals.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> cloudsIn(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec))
    if (e.is_regular_file()) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// Runs f with standard output sent to /dev/null.
template <typename F>
auto muted(F f) {
  std::fflush(stdout);
  int saved = dup(STDOUT_FILENO);
  int null = open("/dev/null", O_WRONLY);
  dup2(null, STDOUT_FILENO);
  close(null);
  auto result = f();
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  return result;
}

}  // namespace

int main() {
  std::vector<std::string> files = cloudsIn(std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model");
  for (const std::string& f : cloudsIn(std::string(FRONDAREL_REALDATA) + "/converted")) files.push_back(f);
  std::string out = (fs::temp_directory_path() / "frondarel-bench-pipeline").string();
  std::printf("%-26s %6s %7s %7s %7s %7s %7s %7s %7s %8s\n", "cloud", "n", "load", "grid", "thin", "graph", "growth",
              "export", "total", "branches");
  for (const std::string& file : files) {
    // Best of three runs, to keep the figures stable on a shared machine.
    PipelineResult best;
    double bestTotal = 1e30;
    for (int run = 0; run < 3; ++run) {
      PipelineResult r = muted([&] { return runTreePipeline(file, out, {}); });
      const StageTimes& t = r.times;
      double total = t.load + t.voxelGrid + t.thinning + t.graph + t.growth + t.exportFile;
      if (total < bestTotal) bestTotal = total, best = r;
    }
    const StageTimes& t = best.times;
    std::printf("%-26s %6u %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f %8zu%s\n",
                fs::path(file).filename().string().c_str(), g_reconstructor.nVoxels, t.load, t.voxelGrid, t.thinning,
                t.graph, t.growth, t.exportFile, bestTotal, best.branches, best.ok ? "" : "  FAILED");
  }
  fs::remove_all(out);
  return 0;
}
