#pragma once
// Shared by the reader tests: a cloud loaded from real files in a temporary folder with the
// console captured, the checks of a rejected file, and the settings a model file's header writes.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "pointcloud/point_cloud.h"
#include "support/test_support.h"

// Every settings line of a text or PLY header, each value unlike its start value.
inline const std::string kFullSettings =
    "resolution=0.25\nradius=1.5\nKNN=24\nangle1=61\nangle2=62\nangle3=33\nangle4=74\n"
    "branchThick=0.05\nleafSize=0.3\nrefineTrunk=1\n";
inline const std::vector<double> kFullSettingsValues = {0.25, 1.5, 24, 61, 62, 33, 74, 0.05, 0.3, 1};

// The settings a header may write, in header order.
inline std::vector<double> headerSettings() {
  return {g_dVoxelSize, g_dSearchRadius, double(g_nKNN),     g_dAngle1,   g_dAngle2,
          g_dAngle3,    g_dAngle4,       g_dBranchThickness, g_dLeafSize, double(g_bRefineTrunk)};
}

inline bool near3(const PointRecord& p, double x, double y, double z, double tol = 1e-9) {
  return std::fabs(p.x - x) <= tol && std::fabs(p.y - y) <= tol && std::fabs(p.z - z) <= tol;
}

// An ASCII PLY header declaring the vertices with the first `properties` of x, y, z, red,
// green, blue, alpha, and an empty face element.
inline std::string plyHeader(long vertices, int properties, const std::string& comment = "comment test") {
  std::ostringstream out;
  out << "ply\nformat ascii 1.0\n" << comment << "\nelement vertex " << vertices << "\n";
  const char* names[] = {"x", "y", "z", "red", "green", "blue", "alpha"};
  for (int i = 0; i < properties; ++i) out << "property float " << names[i] << "\n";
  out << "element face 0\nproperty list uchar int vertex_indices\nend_header\n";
  return out.str();
}

class CloudFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSettingsToStartValues();
    startSettings = headerSettings();
  }
  void TearDown() override { resetSettingsToStartValues(); }

  // Loads the file and returns what was printed.
  std::string load(const std::string& path) {
    StdoutCapture capture;
    loadedOk = cloud.load(path);
    return capture.text();
  }
  std::string loadFile(const std::string& name, const std::string& content) { return load(dir.write(name, content)); }

  // A rejected file leaves the cloud reset and not loaded.
  void expectEmpty() const {
    EXPECT_FALSE(loadedOk);
    EXPECT_FALSE(cloud.loaded);
    EXPECT_EQ(cloud.count, 0u);
    EXPECT_EQ(cloud.fileCount, 0u);
    EXPECT_TRUE(cloud.points.empty() && cloud.colours.empty() && cloud.groundPoints.empty());
    EXPECT_EQ(cloud.rootIndex, -1);
    EXPECT_EQ(cloud.scale, 1.0);
  }

  // Loads the file; expects an error line naming it and beginning with the problem, and an empty cloud.
  void expectRejected(const std::string& name, const std::string& content, const std::string& problem) {
    const std::string path = dir.write(name, content);
    const std::string out = load(path);
    EXPECT_NE(out.find("ERROR: point cloud [" + path + "]: " + problem), std::string::npos) << name << ": " << out;
    expectEmpty();
  }

  TempDir dir;
  PointCloud cloud;
  bool loadedOk = false;
  std::vector<double> startSettings;
};
