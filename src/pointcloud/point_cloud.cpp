#include "pointcloud/point_cloud.h"

#include "pointcloud/text_scanner.h"

#include <cmath>
#include <cstdio>
#include <new>

namespace {

bool isFinite(const PointRecord& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

}  // namespace

void updateBounds(PointRecord& min, PointRecord& max, const PointRecord& p) {
  if (p.x < min.x) min.x = p.x;
  if (p.y < min.y) min.y = p.y;
  if (p.z < min.z) min.z = p.z;
  if (p.x > max.x) max.x = p.x;
  if (p.y > max.y) max.y = p.y;
  if (p.z > max.z) max.z = p.z;
}

void PointCloud::clear() {
  // Swapping with empty vectors gives the memory back, unlike clear().
  std::vector<PointRecord>().swap(points);
  std::vector<PointRecord>().swap(colours);
  std::vector<PointRecord>().swap(groundPoints);
  loaded = false;
}

void PointCloud::reset() {
  clear();
  count = 0;
  fileCount = 0;
  scale = 1.0;
  rootIndex = keyBegin = keyEnd = -1;
  minCorner = PointRecord();
  baseCorner = PointRecord();
  maxCorner = PointRecord();
}

bool PointCloud::load(const std::string& path) {
  reset();
  if (path.size() < 3) {
    std::printf("ERROR: point cloud path [%s] is too short to tell its format!\n", path.c_str());
    return false;
  }
  const std::string ending = path.substr(path.size() - 3);
  // Memory the system refuses while reading fails this file, not the program.
  try {
    if (ending == "ply") return readPly(path);
    if (ending == "pcd") return false;
    if (ending == "geo") return readGeoCloud(path);
    return readTextCloud(path);
  } catch (const std::bad_alloc&) {
    return reject(path, "not enough memory to read it");
  }
}

void PointCloud::normalise() {
  const double s = scale;
  const double centreX = (minCorner.x + maxCorner.x) / 2;
  const double centreZ = (minCorner.z + maxCorner.z) / 2;
  const double floorY = minCorner.y;
  auto place = [&](PointRecord& p) {
    p.x = (p.x - centreX) * s;
    p.y = (p.y - floorY) * s;
    p.z = (p.z - centreZ) * s;
  };
  for (uint32_t i = 0; i < count && i < points.size(); ++i) place(points[i]);
  for (uint32_t i = 0; i < fileCount && i < groundPoints.size(); ++i) place(groundPoints[i]);

  PointRecord newMin, newMax;
  newMin.x = (minCorner.x - maxCorner.x) / 2 * s;
  newMin.y = 0.0;
  newMin.z = (minCorner.z - maxCorner.z) / 2 * s;
  newMax.x = (maxCorner.x - minCorner.x) / 2 * s;
  newMax.y = (maxCorner.y - minCorner.y) * s;
  newMax.z = (maxCorner.z - minCorner.z) / 2 * s;
  baseCorner.x = newMin.x;
  baseCorner.y = (baseCorner.y - floorY) * s;
  baseCorner.z = newMin.z;
  minCorner = newMin;
  maxCorner = newMax;
}

bool PointCloud::finishLoad(const std::string& path) {
  if (!std::isfinite(scale) || !isFinite(minCorner) || !isFinite(maxCorner) ||
      !std::isfinite(maxCorner.x - minCorner.x) || !std::isfinite(maxCorner.y - minCorner.y) ||
      !std::isfinite(maxCorner.z - minCorner.z)) {
    std::printf("ERROR: point cloud [%s]: coordinates too large to normalise!\n", path.c_str());
    reset();
    return false;
  }
  normalise();
  if (!isFinite(minCorner) || !isFinite(maxCorner) || !isFinite(baseCorner)) {
    std::printf("ERROR: point cloud [%s]: coordinates too large to normalise!\n", path.c_str());
    reset();
    return false;
  }
  // The box may be finite while a centre (min + max) or a key point built from sums is not.
  for (uint32_t i = 0; i < count && i < points.size(); ++i) {
    if (isFinite(points[i])) continue;
    const PointRecord& p = points[i];
    const char* axis = !std::isfinite(p.x) ? "x" : !std::isfinite(p.y) ? "y" : "z";
    std::printf("ERROR: point cloud [%s]: %s %u is out of range: its %s coordinate is not finite once normalised!\n",
                path.c_str(), i < fileCount ? "point" : "key point", i < fileCount ? i + 1 : i - fileCount + 1, axis);
    reset();
    return false;
  }
  loaded = true;
  return true;
}

bool PointCloud::readCloudFile(const std::string& path, std::string* text) {
  if (readWholeFile(path, text)) return true;
  std::printf("ERROR: unable to open point cloud [%s]!\n", path.c_str());
  reset();
  return false;
}

bool PointCloud::reject(const std::string& path, const std::string& problem) {
  std::printf("ERROR: point cloud [%s]: %s!\n", path.c_str(), problem.c_str());
  reset();
  return false;
}
