// Skeleton extraction cost: graph build, space-colonisation growth, best-first regrowth
// (key f) and the shortest-path tree (key p) with the edge store's own memory and the
// process's peak. Each run is a child process of its own, so its peak is its own.
//
//   bench_skeleton                      bundled models and real scans at 0.2 and 0.1, the
//                                       pine scan at 0.05 and 0.03, a generated large tree
//   bench_skeleton CLOUD SIZE [SIZE..]  one cloud at the given voxel sizes
//   --threads N (first)                 at most N threads (default one per core)
//
// The console output of the passes is muted.

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "pointcloud/point_cloud.h"
#include "settings/settings.h"
#include "skeleton/parallel.h"
#include "skeleton/tree_reconstructor.h"
#include "voxel/voxel_volume.h"

namespace {

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> out;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name[0] != '.') out.push_back(folder + "/" + name);
    }
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Points along a recursive tree of cylinders: trunk, then two to three children per branch.
void addBranch(std::vector<std::array<double, 3>>& pts, std::mt19937& rng, std::array<double, 3> base,
               std::array<double, 3> dir, double len, double radius, int depth) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const int rings = std::max(2, int(len / 0.002));
  // Two unit vectors across dir.
  std::array<double, 3> a = std::fabs(dir[1]) < 0.9 ? std::array<double, 3>{0, 1, 0} : std::array<double, 3>{1, 0, 0};
  std::array<double, 3> p{dir[1] * a[2] - dir[2] * a[1], dir[2] * a[0] - dir[0] * a[2], dir[0] * a[1] - dir[1] * a[0]};
  const double pl = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
  for (double& c : p) c /= pl;
  std::array<double, 3> q{dir[1] * p[2] - dir[2] * p[1], dir[2] * p[0] - dir[0] * p[2], dir[0] * p[1] - dir[1] * p[0]};
  for (int i = 0; i < rings; ++i) {
    const double t = len * i / rings, phi = 2 * 3.14159265358979 * u(rng), r = radius * (1 - 0.5 * i / rings);
    pts.push_back({base[0] + t * dir[0] + r * (std::cos(phi) * p[0] + std::sin(phi) * q[0]),
                   base[1] + t * dir[1] + r * (std::cos(phi) * p[1] + std::sin(phi) * q[1]),
                   base[2] + t * dir[2] + r * (std::cos(phi) * p[2] + std::sin(phi) * q[2])});
  }
  if (depth == 0) return;
  const int children = 2 + int(u(rng) * 2);
  for (int c = 0; c < children; ++c) {
    const double at = 0.5 + 0.5 * u(rng);
    std::array<double, 3> start{base[0] + at * len * dir[0], base[1] + at * len * dir[1], base[2] + at * len * dir[2]};
    const double tilt = 0.4 + 0.5 * u(rng), turn = 2 * 3.14159265358979 * u(rng);
    std::array<double, 3> d{dir[0] + std::sin(tilt) * std::cos(turn), dir[1] + 0.3,
                            dir[2] + std::sin(tilt) * std::sin(turn)};
    const double dl = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (double& x : d) x /= dl;
    addBranch(pts, rng, start, d, len * 0.6, radius * 0.6, depth - 1);
  }
}

std::string writeLargeTree() {
  std::mt19937 rng(1);
  std::vector<std::array<double, 3>> pts;
  addBranch(pts, rng, {0, 0, 0}, {0, 1, 0}, 8.0, 0.6, 6);
  const std::string path = "/tmp/bench_skeleton_large_tree.ply";
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return "";
  std::fprintf(
      f,
      "ply\nformat ascii 1.0\nelement vertex %zu\nproperty float x\nproperty float y\nproperty float z\nend_header\n",
      pts.size());
  for (const auto& p : pts) std::fprintf(f, "%.5f %.5f %.5f\n", p[0], p[1], p[2]);
  std::fclose(f);
  return path;
}

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

long peakMegabytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

// Mutes standard output between construction and destruction.
class Mute {
 public:
  Mute() {
    std::fflush(stdout);
    saved_ = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~Mute() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }

 private:
  int saved_ = -1;
};

void run(const std::string& path, double voxelSize) {
  resetSettingsToStartValues();
  g_dFieldBottomAngle = -30.0;
  auto cloud = std::make_unique<PointCloud>();
  auto volume = std::make_unique<VoxelVolume>();
  auto rec = std::make_unique<TreeReconstructor>();
  double graph = 0, growth = 0, refine = 0, pathTree = 0;
  size_t builtBytes = 0, grownBytes = 0;
  bool grown = false;
  {
    Mute mute;
    if (!cloud->load(path)) return;
    g_dVoxelSize = voxelSize;
    volume->build(*cloud, voxelSize);
    volume->thin();
    const auto t0 = std::chrono::steady_clock::now();
    rec->buildVoxelGraph(*volume);
    const auto t1 = std::chrono::steady_clock::now();
    builtBytes = rec->distances.memoryBytes();
    grown = rec->reconstruct();
    const auto t2 = std::chrono::steady_clock::now();
    if (grown) rec->refineTree();
    const auto t3 = std::chrono::steady_clock::now();
    grownBytes = rec->distances.memoryBytes();
    if (grown) rec->buildShortestPathTree();
    const auto t4 = std::chrono::steady_clock::now();
    graph = seconds(t0, t1);
    growth = seconds(t1, t2);
    refine = seconds(t2, t3);
    pathTree = seconds(t3, t4);
  }
  const std::string name = path.substr(path.rfind('/') + 1);
  std::printf("%-28s %5.3f %7u %8.3f %8.3f %8.3f %8.3f %9.2f %9.2f %8ld%s\n", name.c_str(), voxelSize, rec->nVoxels,
              graph, growth, refine, pathTree, builtBytes / 1048576.0, grownBytes / 1048576.0, peakMegabytes(),
              rec->hasGraph() ? "" : "  (no graph)");
  std::fflush(stdout);
}

// run() in a child process, so that the peak it reports is its own.
void runApart(const std::string& path, double voxelSize) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    run(path, voxelSize);
    std::fflush(stdout);
    _exit(0);
  }
  if (child > 0) waitpid(child, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--threads") {
    parallelThreadLimit = static_cast<size_t>(std::atoi(argv[2]));
    argv += 2;
    argc -= 2;
  }
  std::printf("%-28s %5s %7s %8s %8s %8s %8s %9s %9s %8s\n", "model", "voxel", "n", "graph s", "grow s", "key f s",
              "key p s", "graph MB", "after f", "peak MB");
  if (argc >= 3) {
    for (int a = 2; a < argc; ++a) runApart(argv[1], std::atof(argv[a]));
    return 0;
  }
  std::vector<std::string> files = filesIn(std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model");
  std::vector<std::string> scans;
  for (const std::string& f : filesIn(std::string(FRONDAREL_REALDATA) + "/converted"))
    if (f.size() > 4 && f.compare(f.size() - 4, 4, ".ply") == 0) scans.push_back(f);
  files.insert(files.end(), scans.begin(), scans.end());
  const std::string large = writeLargeTree();
  if (!large.empty()) files.push_back(large);
  for (double size : {0.2, 0.1})
    for (const std::string& f : files) runApart(f, size);
  for (const std::string& f : scans)
    if (f.find("TreeLS_pine") != std::string::npos)
      for (double size : {0.05, 0.03}) runApart(f, size);
  // Finer voxels on the generated tree: time and memory should grow about linearly in n.
  if (!large.empty())
    for (double size : {0.07, 0.05, 0.035}) runApart(large, size);
  if (!large.empty()) std::remove(large.c_str());
  return 0;
}
