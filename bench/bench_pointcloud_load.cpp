// Load times of the point-cloud readers: a generated 1,000,000-point ASCII PLY with 7
// properties and a generated 1,000,000-point five-column text cloud (deterministic, in a
// temporary folder), then the converted real scans when they are present.

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "pointcloud/point_cloud.h"

namespace {

constexpr int kPoints = 1000000;

bool writePly(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  std::fprintf(f,
               "ply\nformat ascii 1.0\ncomment generated\nelement vertex %d\nproperty float x\nproperty float y\n"
               "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
               "property uchar alpha\nend_header\n",
               kPoints);
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> across(-4.0, 4.0), height(0.0, 12.0);
  for (int i = 0; i < kPoints; ++i) {
    std::fprintf(f, "%.6f %.6f %.6f %u %u %u 255\n", across(rng), height(rng), across(rng),
                 static_cast<unsigned>(rng() % 256), static_cast<unsigned>(rng() % 256),
                 static_cast<unsigned>(rng() % 256));
  }
  return std::fclose(f) == 0;
}

bool writeText(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  std::mt19937 rng(2);
  std::uniform_real_distribution<double> across(-4.0, 4.0), height(0.0, 12.0), ground(-0.1, 0.1);
  for (int i = 0; i < kPoints; ++i) {
    std::fprintf(f, "%.6f %.6f %.6f 0 %.4f\n", across(rng), across(rng), height(rng), ground(rng));
  }
  return std::fclose(f) == 0;
}

// Loads the file three times, with the readers' console lines silenced, and prints the best
// wall-clock time and the processor time of that run (other work on the machine inflates the
// wall clock, not the processor time).
void timeLoad(const std::string& label, const std::string& path) {
  double bestWall = 1e300, bestCpu = 0;
  uint32_t points = 0;
  bool ok = true;
  for (int run = 0; run < 3; ++run) {
    PointCloud cloud;
    std::fflush(stdout);
    FILE* saved = stdout;
    FILE* devNull = std::fopen("/dev/null", "w");
    stdout = devNull;
    const std::clock_t cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    ok = cloud.load(path) && ok;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::fflush(stdout);
    stdout = saved;
    std::fclose(devNull);
    points = cloud.fileCount;
    if (wall < bestWall) bestWall = wall, bestCpu = cpu;
  }
  std::printf("%-28s %s %8u points  %7.3f s  (cpu %7.3f s)  %12.0f points/s\n", label.c_str(), ok ? "loaded" : "FAILED",
              points, bestWall, bestCpu, points / bestWall);
}

}  // namespace

int main() {
  std::printf("Point-cloud load times, best of 3 runs\n");
  char folder[] = "/tmp/frondarel-bench-XXXXXX";
  if (!mkdtemp(folder)) {
    std::printf("cannot create a temporary folder\n");
    return 1;
  }
  const std::string ply = std::string(folder) + "/generated.ply";
  const std::string text = std::string(folder) + "/generated.txt";
  if (!writePly(ply) || !writeText(text)) {
    std::printf("cannot write the generated clouds\n");
    return 1;
  }
  timeLoad("generated PLY (7 properties)", ply);
  timeLoad("generated text (5 columns)", text);
  std::remove(ply.c_str());
  std::remove(text.c_str());
  rmdir(folder);

  const std::string real = std::string(FRONDAREL_REALDATA) + "/converted";
  if (DIR* dir = opendir(real.c_str())) {
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 &&
          (name.compare(name.size() - 4, 4, ".ply") == 0 || name.compare(name.size() - 4, 4, ".txt") == 0)) {
        names.push_back(name);
      }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) timeLoad(name, real + "/" + name);
  } else {
    std::printf("no real scans at %s\n", real.c_str());
  }
  return 0;
}
