// The exports of trees the pipeline builds lie on the scans they came from: read from the
// written text, the model's box lies within the box of the scan's points as published (the
// original text files, read here on their own), whatever layout the program loaded, up to a
// growth step (the skeleton may overshoot the points by that) and for the tubes their radius.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/globals.h"
#include "app/pipeline.h"
#include "settings/settings.h"
#include "support/test_support.h"
#include "synthetic_scan.h"
#include "tree/measurements.h"
#include "tree/scan_exports.h"

namespace {

struct Box {
  double lo[3] = {INFINITY, INFINITY, INFINITY};
  double hi[3] = {-INFINITY, -INFINITY, -INFINITY};
  void add(double x, double y, double z) {
    const double p[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) {
      lo[i] = std::min(lo[i], p[i]);
      hi[i] = std::max(hi[i], p[i]);
    }
  }
};

// The first three numbers of every line that starts with one.
Box textBox(const std::string& path) {
  Box box;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    double x, y, z;
    if (words >> x >> y >> z) box.add(x, y, z);
  }
  return box;
}

// The vertices of the written skeleton graph (x y z of the lines after end_header, as many
// as its header says) or the "v" lines of the mesh.
Box graphBox(const std::string& text) {
  Box box;
  std::istringstream in(text);
  size_t vertices = 0;
  for (std::string line; std::getline(in, line) && line != "end_header";)
    if (line.rfind("element vertex ", 0) == 0) vertices = std::stoul(line.substr(15));
  for (size_t i = 0; i < vertices; ++i) {
    double x, y, z, r;
    in >> x >> y >> z >> r;
    box.add(x, y, z);
  }
  return box;
}
Box meshBox(const std::string& text) {
  Box box;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("v ", 0) != 0) continue;
    std::istringstream words(line.substr(2));
    double x, y, z;
    words >> x >> y >> z;
    box.add(x, y, z);
  }
  return box;
}

// The lowest written point of the trunk's centreline along the up axis.
double trunkFoot(const TreeModel& model, const ScanFrame& frame, int up) {
  double lowest = INFINITY;
  for (const Cylinder& c : treeCylinders(model, frame)) {
    if (c.branch != 0) continue;
    const double ends[2] = {c.start.z, c.start.z + c.length * c.axis.z};
    const double endsY[2] = {c.start.y, c.start.y + c.length * c.axis.y};
    for (int k = 0; k < 2; ++k) lowest = std::min(lowest, up == 2 ? ends[k] : endsY[k]);
  }
  return lowest;
}

// How far the skeleton may stand out of the points: one growth step, in file units.
double growthStep() {
  return g_pointCloud.frame.lengthToScan(g_dStepSize);
}

class ScanOverlay : public ::testing::Test {
 protected:
  void TearDown() override {
    g_pointCloud.clear();
    g_voxelVolume.reset();
    g_reconstructor.clear();
    g_reconstructor.model.clear();
    resetSettingsToStartValues();
  }
};

}  // namespace

TEST_F(ScanOverlay, ExportsOfRealScansLieWithinTheScan) {
  const std::string root = FRONDAREL_REALDATA;
  if (!std::filesystem::exists(root + "/original")) GTEST_SKIP() << "no shared real data";
  // The file the program loads, the published original with the same points, and whether
  // the loaded file holds them as (-x, z, y) (the program's own PLY layout).
  struct Scan {
    const char* loaded;
    const char* original;
    bool ownLayout;
  };
  const Scan scans[] = {
      {"original/rTwig_cloud.txt", "original/rTwig_cloud.txt", false},
      {"thirdparty/AdTree_tree1_binary.ply", "original/AdTree_tree1.xyz", false},
      {"converted/AdTree_tree1.ply", "original/AdTree_tree1.xyz", true},
      {"thirdparty/TreeLS_pine.las", "original/TreeLS_pine.xyz", false},
      {"converted/AdTree_tree7.ply", "original/AdTree_tree7.xyz", true},
      {"original/AdTree_tree33.xyz", "original/AdTree_tree33.xyz", false},
  };
  TempDir out;
  for (const Scan& s : scans) {
    SCOPED_TRACE(s.loaded);
    StdoutCapture console;
    const PipelineResult result = runTreePipeline(root + "/" + s.loaded, out.path());
    console.text();
    ASSERT_TRUE(result.ok) << result.detail;
    const TreeModel& model = g_reconstructor.model;
    const ScanFrame& frame = g_pointCloud.frame;
    Box scan = textBox(root + "/" + s.original);
    if (s.ownLayout) {
      Box mapped;
      mapped.add(-scan.hi[0], scan.lo[2], scan.lo[1]);
      mapped.add(-scan.lo[0], scan.hi[2], scan.hi[1]);
      scan = mapped;
    }
    const Box graph = graphBox(skeletonGraphPly(model, frame));
    const Box mesh = meshBox(branchMeshObj(model, frame));
    double widest = 0.0;  // the drawn radius by which a tube may stand out of the points
    for (const Cylinder& c : treeCylinders(model, frame)) widest = std::max(widest, c.radius);
    const double step = growthStep();
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      EXPECT_GE(graph.lo[i], scan.lo[i] - step);
      EXPECT_LE(graph.hi[i], scan.hi[i] + step);
      EXPECT_GE(mesh.lo[i], scan.lo[i] - step - widest);
      EXPECT_LE(mesh.hi[i], scan.hi[i] + step + widest);
    }
    // On the scan, not a speck somewhere inside its box; the trunk not reaching below it.
    const int up = s.ownLayout ? 1 : 2;
    EXPECT_GT(graph.hi[up] - graph.lo[up], 0.8 * (scan.hi[up] - scan.lo[up]));
    EXPECT_GE(trunkFoot(model, frame, up), scan.lo[up]);
  }
}

// Generated trees with known stems, scanned, written as a projected text file (UTM-sized
// positions, Z up) and taken through the whole pipeline: the stem diameter at 1.3 m and the
// height come within 5 % of the truth, the base at the ground, and the skeleton lies on
// the scan.
TEST_F(ScanOverlay, GeneratedTreesMeasuredThroughThePipeline) {
  TempDir dir;
  const V3 offset{431000.0, 5400000.0, 120.0};
  for (uint32_t seed : {21u, 22u, 23u, 24u}) {
    SCOPED_TRACE(seed);
    PortableRng rng(seed);
    TreeParams params;
    params.height = 8.0 + seed % 3 * 3.0;
    params.trunkRadius = 0.1 + 0.05 * (seed % 4);
    const TreeShape shape = growTree(params, rng);
    ScanParams scanParams;
    scanParams.groundFraction = seed % 2 ? 0.1 : 0.0;
    scanParams.groundRadius = 3.0;
    std::string text;
    Box scan;
    for (const ScanPoint& p : scanTree(shape, scanParams, rng)) {
      char line[128];
      std::snprintf(line, sizeof line, "%.4f %.4f %.4f\n", p.p.x + offset.x, p.p.y + offset.y, p.p.z + offset.z);
      text += line;
      scan.add(p.p.x + offset.x, p.p.y + offset.y, p.p.z + offset.z);
    }
    double trueDiameter = 0.0, trueHeight = 0.0;
    for (const Cone& c : shape.cones) {
      trueHeight = std::max({trueHeight, c.a.z, c.b.z});
      if (c.order == 0 && c.a.z <= 1.3 && c.b.z > 1.3)
        trueDiameter = 2.0 * (c.ra + (c.rb - c.ra) * (1.3 - c.a.z) / (c.b.z - c.a.z));
    }
    StdoutCapture console;
    const PipelineResult result = runTreePipeline(dir.write("tree.xyz", text), dir.path());
    console.text();
    ASSERT_TRUE(result.ok) << result.detail;
    const TreeMeasurements m = measureTree(g_reconstructor.model, g_pointCloud);
    ASSERT_TRUE(m.stem.measured) << m.stem.reason;
    EXPECT_NEAR(m.stem.diameter, trueDiameter, 0.05 * trueDiameter);
    EXPECT_NEAR(m.height, trueHeight, 0.05 * trueHeight);
    EXPECT_NEAR(m.base.z, offset.z, 0.03);
    const Box graph = graphBox(skeletonGraphPly(g_reconstructor.model, g_pointCloud.frame));
    for (int i = 0; i < 3; ++i) {
      EXPECT_GE(graph.lo[i], scan.lo[i] - growthStep()) << i;
      EXPECT_LE(graph.hi[i], scan.hi[i] + growthStep()) << i;
    }
    EXPECT_GE(trunkFoot(g_reconstructor.model, g_pointCloud.frame, 2), scan.lo[2]);
  }
}
