#include "pointcloud/point_cloud.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "pointcloud/reader_support.h"
#include "pointcloud/text_scanner.h"

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
  frame = ScanFrame();
  minCorner = PointRecord();
  baseCorner = PointRecord();
  maxCorner = PointRecord();
}

bool parseUpAxis(std::string_view text, UpAxis* up) {
  if (text == "y" || text == "Y") {
    *up = UpAxis::Y;
  } else if (text == "z" || text == "Z") {
    *up = UpAxis::Z;
  } else {
    return false;
  }
  return true;
}

bool PointCloud::load(const std::string& path, const LoadOptions& options) {
  reset();
  if (path.size() < 3) {
    std::printf("ERROR: point cloud path [%s] is too short to tell its format!\n", path.c_str());
    return false;
  }
  // The extension in lower case; empty when the last dot belongs to a folder name.
  const size_t dot = path.find_last_of("./");
  std::string extension;
  if (dot != std::string::npos && path[dot] == '.') {
    for (size_t i = dot + 1; i < path.size(); ++i) {
      const char c = path[i];
      extension += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
  }
  // Memory the system refuses while reading fails this file, not the program.
  try {
    if (extension == "ply") return readPly(path, options);
    if (extension == "las") return readLas(path, options);
    if (extension == "laz") {
      return reject(path,
                    "LAZ is compressed LAS, which is not read; decompress it to LAS first (for example "
                    "\"laszip -i in.laz -o out.las\" or \"pdal translate in.laz out.las\") and load the .las file");
    }
    if (extension == "pcd") return false;
    if (extension == "geo") return readGeoCloud(path);
    return readTextCloud(path, options);
  } catch (const std::bad_alloc&) {
    return reject(path, "not enough memory to read it");
  }
}

void PointCloud::computeBounds() {
  minCorner = maxCorner = points[0];
  for (uint32_t i = 1; i < count; ++i) updateBounds(minCorner, maxCorner, points[i]);
}

void PointCloud::normalise() {
  const double s = scale;
  const double centreX = (minCorner.x + maxCorner.x) / 2;
  const double centreZ = (minCorner.z + maxCorner.z) / 2;
  const double floorY = minCorner.y;
  frame.shift = Vec3(centreX, floorY, centreZ);
  frame.scale = s;
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

bool PointCloud::readCloudFile(const std::string& path, FileBytes* bytes) {
  if (bytes->open(path)) return true;
  std::printf("ERROR: unable to open point cloud [%s]!\n", path.c_str());
  reset();
  return false;
}

bool PointCloud::reject(const std::string& path, const std::string& problem) {
  std::printf("ERROR: point cloud [%s]: %s!\n", path.c_str(), problem.c_str());
  reset();
  return false;
}

bool PointCloud::acceptPointCount(const std::string& path, size_t n) {
  if (n == 0) return reject(path, "the file holds no points");
  if (n > kMaxPoints) return reject(path, "the file holds " + std::to_string(n) + " points, too many to load");
  return true;
}
