// placeholder until the geo reader lands
#include <cstdio>

#include "pointcloud/point_cloud.h"

bool PointCloud::readGeoCloud(const std::string& path) {
  (void)path;
  return false;
}
