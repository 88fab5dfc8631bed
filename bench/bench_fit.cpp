// Classic and "Fit to scan" reconstructions side by side on the real scans in
// ../shared/realdata/converted (metric text clouds): the fit figures in metres, the branch
// count, seconds per stage as batch mode runs them (load with the voxel grid, reconstruct,
// measure, export; best of three runs, with the CPU seconds of that run) and the peak
// memory of the run. Each run is a child process, so its peak memory is its own. A second
// table fits the scaled PLY copies of the same scans: their figures, in metres, should match.
// Usage: bench_fit [cloud files...] (default: every converted text cloud).

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/pipeline.h"
#include "settings/settings.h"
#include "skeleton/fit_reconstruction.h"
#include "tree/fit_measure.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
  bool ok = false;
  size_t points = 0, branches = 0;
  FitFigures fit;
  double load = 0, reconstruct = 0, measure = 0, exportFile = 0;
  FitStats stats;  // fit mode only
};

double since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

// One pipeline run in this process, console muted.
Run runOnce(const std::string& file, bool fitMode, const std::string& out) {
  Run r;
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO), null = open("/dev/null", O_WRONLY);
  dup2(null, STDOUT_FILENO);
  close(null);
  resetSettingsToStartValues();
  auto t = Clock::now();
  const bool loaded = loadPointCloud(file, {}, nullptr);
  r.load = since(t);
  if (loaded) {
    t = Clock::now();
    if (fitMode) {
      r.ok = fitTreeToScan(g_pointCloud, g_reconstructor.model, FitOptions(), &r.stats);
    } else {
      r.ok = runReconstruction(nullptr) && g_reconstructor.model.isBuilt();
    }
    r.reconstruct = since(t);
    if (r.ok) {
      t = Clock::now();
      r.fit = measureCloudFit(g_reconstructor.model, g_pointCloud);
      r.measure = since(t);
      t = Clock::now();
      r.ok = exportBuiltTree(out + "/" + fs::path(file).filename().string());
      r.exportFile = since(t);
    }
    r.points = g_pointCloud.fileCount;
    r.branches = countDrawnBranches();
  }
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  return r;
}

// The run in a child process; its peak resident memory (MB) and CPU seconds come back too.
Run runChild(const std::string& file, bool fitMode, const std::string& out, double* peakMB, double* cpu) {
  int pipeEnds[2];
  Run r;
  if (pipe(pipeEnds) != 0) return r;
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    const Run mine = runOnce(file, fitMode, out);
    const ssize_t wrote = write(pipeEnds[1], &mine.ok, sizeof mine.ok);
    (void)wrote;
    for (const double* v : {&mine.load, &mine.reconstruct, &mine.measure, &mine.exportFile, &mine.fit.within2,
                            &mine.fit.within5, &mine.fit.within10, &mine.fit.medianDistance, &mine.fit.phantom,
                            &mine.fit.centreline, &mine.stats.spacing, &mine.stats.voxelSize})
      if (write(pipeEnds[1], v, sizeof *v) != sizeof *v) _exit(1);
    const size_t counts[] = {mine.points,      mine.branches,      mine.fit.points,         mine.stats.voxels,
                             mine.stats.nodes, mine.stats.bridges, mine.stats.groundPoints, mine.stats.stemRings};
    if (write(pipeEnds[1], counts, sizeof counts) != sizeof counts) _exit(1);
    _exit(0);
  }
  close(pipeEnds[1]);
  bool ok = false;
  bool readAll = read(pipeEnds[0], &ok, sizeof ok) == sizeof ok;
  for (double* v : {&r.load, &r.reconstruct, &r.measure, &r.exportFile, &r.fit.within2, &r.fit.within5, &r.fit.within10,
                    &r.fit.medianDistance, &r.fit.phantom, &r.fit.centreline, &r.stats.spacing, &r.stats.voxelSize})
    readAll = readAll && read(pipeEnds[0], v, sizeof *v) == sizeof *v;
  size_t counts[8] = {};
  readAll = readAll && read(pipeEnds[0], counts, sizeof counts) == sizeof counts;
  close(pipeEnds[0]);
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  r.ok = ok && readAll && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  r.points = counts[0], r.branches = counts[1], r.fit.points = counts[2], r.stats.voxels = counts[3];
  r.stats.nodes = counts[4], r.stats.bridges = counts[5], r.stats.groundPoints = counts[6],
  r.stats.stemRings = counts[7];
  *peakMB = usage.ru_maxrss / 1024.0;
  *cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec * 1e-6;
  return r;
}

// Best wall time of three runs, with that run's CPU time and the largest peak memory.
Run bestOfThree(const std::string& file, bool fitMode, const std::string& out, double* peakMB, double* cpu) {
  Run best;
  double bestTotal = 1e30;
  *peakMB = 0.0;
  for (int k = 0; k < 3; ++k) {
    double peak = 0.0, used = 0.0;
    const Run r = runChild(file, fitMode, out, &peak, &used);
    *peakMB = std::max(*peakMB, peak);
    const double total = r.load + r.reconstruct + r.measure + r.exportFile;
    if (total < bestTotal) bestTotal = total, best = r, *cpu = used;
  }
  return best;
}

std::vector<std::string> convertedClouds(const std::string& extension) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(std::string(FRONDAREL_REALDATA) + "/converted", ec))
    if (e.path().extension() == extension) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files(argv + 1, argv + argc);
  const bool defaults = files.empty();
  if (defaults) files = convertedClouds(".txt");
  if (files.empty()) {
    std::printf("No clouds: give files, or put the real scans in %s/converted\n", FRONDAREL_REALDATA);
    return 0;
  }
  const std::string out = (fs::temp_directory_path() / "frondarel-bench-fit").string();
  fs::create_directories(out);

  std::printf(
      "| scan | points | mode | within 2 / 5 / 10 cm | median | phantom | branches | load | reconstruct | "
      "measure | export | total (s) | CPU (s) | peak MB |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  std::vector<Run> fits;
  for (const std::string& file : files) {
    for (bool fitMode : {false, true}) {
      double peak = 0.0, cpu = 0.0;
      const Run r = bestOfThree(file, fitMode, out, &peak, &cpu);
      if (fitMode) fits.push_back(r);
      const double total = r.load + r.reconstruct + r.measure + r.exportFile;
      std::printf(
          "| %s | %zu | %s | %.1f / %.1f / %.1f %% | %.3f m | %.1f %% | %zu | %.3f | %.3f | %.3f | %.3f | %.3f | "
          "%.3f | %.0f |%s\n",
          fs::path(file).stem().c_str(), r.points, fitMode ? "fit" : "classic", 100 * r.fit.within2,
          100 * r.fit.within5, 100 * r.fit.within10, r.fit.medianDistance, 100 * r.fit.phantom, r.branches, r.load,
          r.reconstruct, r.measure, r.exportFile, total, cpu, peak, r.ok ? "" : " FAILED");
    }
  }
  std::printf("\nFit details: spacing and voxel (m), graph voxels, bridges, ground points, stem rings, nodes\n");
  for (size_t k = 0; k < files.size(); ++k) {
    const FitStats& s = fits[k].stats;
    std::printf("  %-16s %.4f %.4f %7zu %6zu %6zu %4zu %7zu\n", fs::path(files[k]).stem().c_str(), s.spacing,
                s.voxelSize, s.voxels, s.bridges, s.groundPoints, s.stemRings, s.nodes);
  }

  if (defaults) {
    std::printf("\nThe scaled PLY copies (16 units high), figures in metres:\n");
    for (const std::string& file : convertedClouds(".ply")) {
      for (bool fitMode : {false, true}) {
        double peak = 0.0, cpu = 0.0;
        const Run r = runChild(file, fitMode, out, &peak, &cpu);
        std::printf(
            "  %-14s %-7s within 2 / 5 / 10 cm %5.1f / %5.1f / %5.1f %%, median %.3f m, phantom %4.1f %% of %.1f m%s\n",
            fs::path(file).stem().c_str(), fitMode ? "fit" : "classic", 100 * r.fit.within2, 100 * r.fit.within5,
            100 * r.fit.within10, r.fit.medianDistance, 100 * r.fit.phantom, r.fit.centreline, r.ok ? "" : " FAILED");
      }
    }
  }
  fs::remove_all(out);
  return 0;
}
