// Voxel grid build and thinning: cells, occupied cells before and after thinning, and seconds
// per stage at voxel sizes 0.2, 0.1 and 0.05, on a generated 1,000,000-point tree of
// cylinders and on the bundled point models and real scans when they are present.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pointcloud/point_cloud.h"
#include "voxel/voxel_volume.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Points on the surfaces of a trunk and 60 branches (fixed seed), box from the points, Y up
// from 0, about 16 units high.
PointCloud cylinderTree(uint32_t pointCount) {
  struct Cylinder {
    double x0, y0, z0, dx, dy, dz, length, radius;
  };
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<Cylinder> cylinders = {{0, 0, 0, 0, 1, 0, 9.0, 0.45}};
  for (int b = 0; b < 60; ++b) {
    const double height = 3.0 + 6.0 * unit(rng), angle = 6.2831853 * unit(rng), rise = 0.2 + 0.9 * unit(rng);
    const double n = std::sqrt(1.0 + rise * rise);
    cylinders.push_back({0, height, 0, std::cos(angle) / n, rise / n, std::sin(angle) / n, 2.0 + 4.0 * unit(rng),
                         0.05 + 0.15 * unit(rng)});
  }
  PointCloud cloud;
  cloud.points.resize(pointCount + 100);
  for (uint32_t i = 0; i < pointCount; ++i) {
    const Cylinder& c = cylinders[i % cylinders.size()];
    // Two unit vectors across the axis.
    double ux = -c.dz, uy = 0, uz = c.dx;
    if (std::hypot(ux, uz) < 1e-9) ux = 1, uz = 0;
    const double ul = std::sqrt(ux * ux + uz * uz);
    ux /= ul, uz /= ul;
    const double vx = c.dy * uz - c.dz * uy, vy = c.dz * ux - c.dx * uz, vz = c.dx * uy - c.dy * ux;
    const double t = c.length * unit(rng), a = 6.2831853 * unit(rng);
    const double ca = c.radius * std::cos(a), sa = c.radius * std::sin(a);
    PointRecord& p = cloud.points[i];
    p.x = c.x0 + t * c.dx + ca * ux + sa * vx;
    p.y = c.y0 + t * c.dy + ca * uy + sa * vy;
    p.z = c.z0 + t * c.dz + ca * uz + sa * vz;
    if (i == 0) cloud.minCorner = cloud.maxCorner = p;
    updateBounds(cloud.minCorner, cloud.maxCorner, p);
  }
  cloud.count = cloud.fileCount = pointCount;
  cloud.baseCorner = cloud.minCorner;
  cloud.loaded = true;
  return cloud;
}

// Wall-clock and processor seconds of one stage (the machine may be shared).
struct StageTime {
  double wall = 0, cpu = 0;
};

template <typename F>
StageTime timeStage(F&& stage) {
  const auto wallStart = std::chrono::steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  stage();
  return {secondsSince(wallStart), double(std::clock() - cpuStart) / CLOCKS_PER_SEC};
}

size_t occupiedCells(const VoxelVolume& volume) {
  size_t n = 0;
  for (uint8_t label : volume.labels) n += label != 0;
  return n;
}

void benchCloud(const std::string& name, const PointCloud& cloud) {
  for (const double size : {0.2, 0.1, 0.05}) {
    VoxelVolume volume;
    const StageTime build = timeStage([&] { volume.build(cloud, size); });
    // A second build reuses the cell arrays: this is the pass over the points and cells alone.
    const StageTime rebuild = timeStage([&] { volume.build(cloud, size); });
    const size_t occupied = occupiedCells(volume);
    const StageTime thin = timeStage([&] { volume.thin(); });
    std::printf(
        "RESULT %-24s size %.2f points %8u cells %9u occupied %7zu thinned %6zu | build %.3f s (cpu %.3f) rebuild "
        "%.3f s (cpu %.3f, %.1f Mpt/s) | thin %.3f s (cpu %.3f)\n",
        name.c_str(), size, cloud.count, volume.cellCount, occupied, occupiedCells(volume), build.wall, build.cpu,
        rebuild.wall, rebuild.cpu, cloud.count / std::max(rebuild.cpu, 1e-6) / 1e6, thin.wall, thin.cpu);
  }
}

void benchFolder(const std::string& folder, const std::string& extension) {
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    std::printf("(%s absent, skipped)\n", folder.c_str());
    return;
  }
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string path = entry.path().string();
    if (extension.empty() || entry.path().extension() == extension) paths.push_back(path);
  }
  std::sort(paths.begin(), paths.end());
  for (const std::string& path : paths) {
    PointCloud cloud;
    if (!cloud.load(path)) continue;
    benchCloud(std::filesystem::path(path).filename().string(), cloud);
  }
}

}  // namespace

int main() {
  const auto start = std::chrono::steady_clock::now();
  const PointCloud tree = cylinderTree(1000000);
  std::printf("generated 1,000,000 points on 61 cylinders in %.3f s\n", secondsSince(start));
  benchCloud("cylinders (1M points)", tree);
  benchFolder(std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model", "");
  benchFolder(std::string(FRONDAREL_REALDATA) + "/converted", ".ply");
  return 0;
}
