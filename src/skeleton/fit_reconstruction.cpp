#include "skeleton/fit_reconstruction.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <limits>
#include <numeric>
#include <queue>
#include <unordered_map>

#include "pointcloud/point_cloud.h"
#include "skeleton/fit_scan.h"
#include "tree/tree_model.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

std::vector<Vec3> cloudFilePoints(const PointCloud& cloud) {
  std::vector<Vec3> points;
  const uint32_t n = std::min<uint32_t>(cloud.fileCount, static_cast<uint32_t>(cloud.points.size()));
  points.reserve(n);
  for (uint32_t i = 0; i < n; ++i) points.push_back(Vec3(cloud.points[i].x, cloud.points[i].y, cloud.points[i].z));
  return points;
}

FitFigures measureCloudFit(const TreeModel& model, const PointCloud& cloud) {
  return measureFit(model, cloudFilePoints(cloud), cloud.scale);
}

bool fitTreeToScan(const PointCloud& cloud, TreeModel& model, const FitOptions& options, FitStats* stats) {
  FitStats scratch;
  FitStats& st = stats ? *stats : scratch;
  st = FitStats();
  model.clear();
  const double scale = cloud.scale;
  if (!(scale > 0.0) || !std::isfinite(scale)) {
    std::printf("Fit to scan: the cloud has no valid scale, no tree fitted\n");
    return false;
  }

  auto t = Clock::now();
  std::vector<Vec3> points = cloudFilePoints(cloud);
  for (Vec3& p : points) p = Vec3(p.x / scale, p.y / scale, p.z / scale);
  st.points = points.size();
  if (points.size() < 10) {
    std::printf("Fit to scan: %zu points are too few to fit a tree\n", points.size());
    return false;
  }
  ScanFit fit(std::move(points), options);
  st.prepareSeconds = secondsSince(t);

  t = Clock::now();
  fit.removeGround();
  st.groundSeconds = secondsSince(t);

  t = Clock::now();
  fit.buildGraph();
  st.graphSeconds = secondsSince(t);

  t = Clock::now();
  const bool grown = fit.buildSkeleton();
  st.skeletonSeconds = secondsSince(t);
  if (!grown) {
    std::printf("Fit to scan: no wood could be traced from the trunk foot, no tree fitted\n");
    fit.fillStats(&st);
    return false;
  }

  t = Clock::now();
  fit.fitRadii();
  st.radiiSeconds = secondsSince(t);

  t = Clock::now();
  fit.handOver(model, scale);
  model.finalise();
  st.modelSeconds = secondsSince(t);
  fit.fillStats(&st);
  return true;
}
