#pragma once
// Point clouds filled field by field for the voxel tests, without the file readers.

#include <vector>

#include "pointcloud/point_cloud.h"

inline PointRecord makePoint(double x, double y, double z, int32_t tag = 0) {
  return {x, y, z, tag};
}

// A loaded cloud holding points (plus the readers' 100 spare records) with the given box and
// no key points.
inline PointCloud makeCloud(const std::vector<PointRecord>& points, const PointRecord& minCorner,
                            const PointRecord& maxCorner) {
  PointCloud cloud;
  cloud.points = points;
  cloud.points.resize(points.size() + 100);
  cloud.count = cloud.fileCount = static_cast<uint32_t>(points.size());
  cloud.minCorner = cloud.baseCorner = minCorner;
  cloud.maxCorner = maxCorner;
  cloud.loaded = true;
  return cloud;
}
