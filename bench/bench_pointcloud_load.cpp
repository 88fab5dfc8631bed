// Load times of the point-cloud readers: a generated 1,000,000-point ASCII PLY with 7
// properties, a generated 1,000,000-point five-column text cloud, a generated 10,000,000-point
// LAS (1.2, point format 1) and a 10,000,000-point binary little-endian PLY (float x y z and
// an empty face element), all deterministic and in a temporary folder, then the converted
// and third-party real scans when they are present.

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "pointcloud/point_cloud.h"
#include "pointcloud/reader_support.h"

namespace {

constexpr int kPoints = 1000000;
constexpr int kBigPoints = 10000000;

// Points of a tree-sized cloud: a 10 m column of radius 2 m around (x0, y0), Z up.
struct TreePoints {
  std::mt19937 rng{3};
  std::uniform_real_distribution<double> across{-2.0, 2.0}, height{0.0, 10.0};
  void next(double x0, double y0, double* p) {
    p[0] = x0 + across(rng);
    p[1] = y0 + across(rng);
    p[2] = height(rng);
  }
};

template <typename T>
void put(std::string& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// LAS 1.2, point format 1 (28-byte records), scale 1 mm, UTM-like offsets (little-endian host).
bool writeLas(const std::string& path) {
  const double offset[3] = {500000.0, 5400000.0, 250.0};
  std::string header(227, '\0');
  header.replace(0, 4, "LASF");
  header[24] = 1, header[25] = 2;
  auto at = [&](size_t offsetInHeader, auto value) { std::memcpy(&header[offsetInHeader], &value, sizeof value); };
  at(94, uint16_t{227});
  at(96, uint32_t{227});
  header[104] = 1;
  at(105, uint16_t{28});
  at(107, uint32_t{kBigPoints});
  for (int a = 0; a < 3; ++a) at(131 + 8 * a, 0.001), at(155 + 8 * a, offset[a]);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fwrite(header.data(), 1, header.size(), f);
  TreePoints tree;
  std::string chunk;
  for (int i = 0; i < kBigPoints; ++i) {
    double p[3];
    tree.next(0.0, 0.0, p);
    for (double v : p) put(chunk, static_cast<int32_t>(std::lround(v * 1000)));
    put(chunk, uint16_t{100});      // intensity
    chunk.append(4, '\0');          // returns, classification, angle, user data
    put(chunk, uint16_t{1});        // point source
    put(chunk, 1000.0 + i * 1e-3);  // GPS time
    if (chunk.size() > (1 << 20)) std::fwrite(chunk.data(), 1, chunk.size(), f), chunk.clear();
  }
  std::fwrite(chunk.data(), 1, chunk.size(), f);
  return std::fclose(f) == 0;
}

bool writeBinaryPly(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f,
               "ply\nformat binary_little_endian 1.0\ncomment generated\nelement vertex %d\nproperty float x\n"
               "property float y\nproperty float z\nelement face 0\nproperty list uchar int vertex_indices\n"
               "end_header\n",
               kBigPoints);
  TreePoints tree;
  std::string chunk;
  for (int i = 0; i < kBigPoints; ++i) {
    double p[3];
    tree.next(500000.0, 5400000.0, p);
    for (int a = 0; a < 3; ++a) put(chunk, static_cast<float>(a < 2 ? p[a] - (a ? 5400000.0 : 500000.0) : p[a]));
    if (chunk.size() > (1 << 20)) std::fwrite(chunk.data(), 1, chunk.size(), f), chunk.clear();
  }
  std::fwrite(chunk.data(), 1, chunk.size(), f);
  return std::fclose(f) == 0;
}

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

// What the loads above are measured against: mapping the file and reading every byte of it.
void timeBytes(const std::string& label, const std::string& path) {
  double best = 1e300;
  uint64_t sum = 0;
  size_t size = 0;
  for (int run = 0; run < 3; ++run) {
    const auto start = std::chrono::steady_clock::now();
    FileBytes bytes;
    if (!bytes.open(path)) return;
    const std::string_view view = bytes.view();
    for (size_t i = 0; i + 8 <= view.size(); i += 8) {
      uint64_t word;
      std::memcpy(&word, view.data() + i, 8);
      sum += word;
    }
    size = view.size();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::printf("%-28s %zu bytes read in %7.3f s (checksum %llu)\n", label.c_str(), size, best,
              static_cast<unsigned long long>(sum % 1000));
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
  const std::string las = std::string(folder) + "/generated.las";
  const std::string binaryPly = std::string(folder) + "/generated_binary.ply";
  if (!writeLas(las) || !writeBinaryPly(binaryPly)) {
    std::printf("cannot write the generated binary clouds\n");
    return 1;
  }
  timeBytes("  the LAS file's bytes", las);
  timeLoad("generated LAS (10M, format 1)", las);
  timeBytes("  the PLY file's bytes", binaryPly);
  timeLoad("generated binary PLY (10M)", binaryPly);
  std::remove(las.c_str());
  std::remove(binaryPly.c_str());
  rmdir(folder);

  for (const char* sub : {"converted", "thirdparty"}) {
    const std::string real = std::string(FRONDAREL_REALDATA) + "/" + sub;
    if (DIR* dir = opendir(real.c_str())) {
      std::vector<std::string> names;
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 &&
            (name.compare(name.size() - 4, 4, ".ply") == 0 || name.compare(name.size() - 4, 4, ".txt") == 0 ||
             name.compare(name.size() - 4, 4, ".las") == 0)) {
          names.push_back(name);
        }
      }
      closedir(dir);
      std::sort(names.begin(), names.end());
      for (const std::string& name : names) timeLoad(name, real + "/" + name);
    } else {
      std::printf("no real scans at %s\n", real.c_str());
    }
  }
  return 0;
}
