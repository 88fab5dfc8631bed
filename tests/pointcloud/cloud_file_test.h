#pragma once
// Shared by the reader tests: clouds loaded from real files in a temporary folder with the
// console captured, the checks of a rejected file, and the settings a model file's header writes.

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "pointcloud/point_cloud.h"
#include "support/fresh_globals.h"
#include "support/test_support.h"

// Every settings line of a text or PLY header, each value unlike its start value.
inline const std::string kFullSettings =
    "resolution=0.25\nradius=1.5\nKNN=24\nangle1=61\nangle2=62\nangle3=33\nangle4=74\n"
    "branchThick=0.05\nleafSize=0.3\nrefineTrunk=1\n";

// The settings a header may write, in header order.
inline std::vector<double> headerSettings() {
  return {g_dVoxelSize, g_dSearchRadius, double(g_nKNN),     g_dAngle1,   g_dAngle2,
          g_dAngle3,    g_dAngle4,       g_dBranchThickness, g_dLeafSize, double(g_bRefineTrunk)};
}

inline bool near3(const PointRecord& p, double x, double y, double z, double tol = 1e-9) {
  return std::fabs(p.x - x) <= tol && std::fabs(p.y - y) <= tol && std::fabs(p.z - z) <= tol;
}

// The same number of points, each within tol of the other cloud's on every axis.
inline void expectSamePoints(const PointCloud& a, const PointCloud& b, double tol = 0.0) {
  ASSERT_EQ(a.count, b.count);
  double worst = 0;
  for (uint32_t i = 0; i < a.count; ++i) {
    const PointRecord &p = a.points[i], &q = b.points[i];
    const double d = std::max({std::fabs(p.x - q.x), std::fabs(p.y - q.y), std::fabs(p.z - q.z)});
    if (!(d <= worst)) worst = d;
  }
  EXPECT_LE(worst, tol);
}

// An ASCII PLY header declaring the first `properties` of x, y, z, red, green, blue, alpha.
inline std::string plyHeader(long vertices, int properties, const std::string& comment = "comment test") {
  std::ostringstream out;
  out << "ply\nformat ascii 1.0\n" << comment << "\nelement vertex " << vertices << "\n";
  const char* names[] = {"x", "y", "z", "red", "green", "blue", "alpha"};
  for (int i = 0; i < properties; ++i) out << "property float " << names[i] << "\n";
  out << "element face 0\nproperty list uchar int vertex_indices\nend_header\n";
  return out.str();
}

class CloudFileTest : public FreshSettings {
 protected:
  // Loads the file and returns what was printed.
  std::string load(const std::string& path, const LoadOptions& options = {}) {
    StdoutCapture capture;
    loadedOk = cloud.load(path, options);
    return capture.text();
  }
  std::string loadFile(const std::string& name, const std::string& content) { return load(dir.write(name, content)); }

  // A rejected file leaves the cloud reset and not loaded.
  void expectEmpty() const {
    EXPECT_TRUE(!loadedOk && !cloud.loaded && cloud.count == 0 && cloud.points.empty() && cloud.groundPoints.empty() &&
                cloud.rootIndex == -1);
  }
  // Expects an error line naming the file and beginning with the problem, and an empty cloud.
  void expectRejected(const std::string& name, const std::string& content, const std::string& problem) {
    const std::string path = dir.write(name, content), out = load(path);
    EXPECT_NE(out.find("ERROR: point cloud [" + path + "]: " + problem), std::string::npos) << name << ": " << out;
    expectEmpty();
  }

  TempDir dir;
  PointCloud cloud;
  bool loadedOk = false;
};
