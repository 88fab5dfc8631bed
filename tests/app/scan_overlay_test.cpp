// The exports of trees the pipeline builds lie on the scans they came from: read from the
// written text, the model's box lies within the box of the scan's points as published (the
// original text files, read here on their own), whatever layout the program loaded, up to a
// growth step (the skeleton may overshoot the points by that) and for the tubes their radius.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "app/globals.h"
#include "app/pipeline.h"
#include "settings/settings.h"
#include "support/fresh_globals.h"
#include "support/test_support.h"
#include "synthetic_scan.h"
#include "tree/measurements.h"
#include "tree/scan_exports.h"

namespace {

struct Box {
  double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
  void add(double x, double y, double z) {
    const double p[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], p[i]), hi[i] = std::max(hi[i], p[i]);
  }
};

// The first three numbers of the first `lines` lines that start with prefix and then three numbers.
Box boxOf(const std::string& text, const std::string& prefix = "", size_t lines = SIZE_MAX) {
  Box box;
  std::istringstream in(text);
  for (std::string line; lines > 0 && std::getline(in, line);) {
    std::istringstream words(line);
    words.ignore(prefix.size());
    double x, y, z;
    if (line.rfind(prefix, 0) == 0 && words >> x >> y >> z) box.add(x, y, z), --lines;
  }
  return box;
}

// The vertices of the written skeleton graph: as many lines after its header as it says.
Box graphBox(const std::string& ply) {
  const size_t count = ply.find("element vertex "), body = ply.find("end_header\n");
  return boxOf(ply.substr(body + 11), "", std::stoul(ply.substr(count + 15)));
}

// The last tree built lies on the scan whose box is given, with axis `up` up: its skeleton
// within the box up to a growth step (by which it may overshoot the points), its tubes up to
// that and their radius, spanning most of the scan's height and the trunk not reaching below.
void expectOnTheScan(const Box& scan, int up) {
  const TreeModel& model = g_reconstructor.model;
  const ScanFrame& frame = g_pointCloud.frame;
  const Box graph = graphBox(skeletonGraphPly(model, frame));
  const Box mesh = boxOf(branchMeshObj(model, frame), "v ");
  double widest = 0.0, trunkFoot = INFINITY;  // the widest tube; the lowest point of the trunk's centreline
  for (const Cylinder& c : treeCylinders(model, frame)) {
    widest = std::max(widest, c.radius);
    const double start = up == 2 ? c.start.z : c.start.y, along = up == 2 ? c.axis.z : c.axis.y;
    if (c.branch == 0) trunkFoot = std::min({trunkFoot, start, start + c.length * along});
  }
  const double step = frame.lengthToScan(g_dStepSize);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(graph.lo[i] >= scan.lo[i] - step && graph.hi[i] <= scan.hi[i] + step) << "axis " << i;
    EXPECT_TRUE(mesh.lo[i] >= scan.lo[i] - step - widest && mesh.hi[i] <= scan.hi[i] + step + widest) << "axis " << i;
  }
  EXPECT_GT(graph.hi[up] - graph.lo[up], 0.8 * (scan.hi[up] - scan.lo[up]));
  EXPECT_GE(trunkFoot, scan.lo[up]);
}

PipelineResult quietPipeline(const std::string& path, const std::string& outFolder) {
  StdoutCapture console;
  return runTreePipeline(path, outFolder);
}

using ScanOverlay = FreshGlobals;

}  // namespace

TEST_F(ScanOverlay, ExportsOfRealScansLieWithinTheScan) {
  const std::string root = FRONDAREL_REALDATA;
  if (!std::filesystem::exists(root + "/original")) GTEST_SKIP() << "no shared real data";
  // The file the program loads, the published original with the same points, and whether
  // the loaded file holds them as (-x, z, y) (the program's own PLY layout).
  const struct {
    const char *loaded, *original;
    bool ownLayout;
  } scans[] = {
      {"original/rTwig_cloud.txt", "original/rTwig_cloud.txt", false},
      {"thirdparty/AdTree_tree1_binary.ply", "original/AdTree_tree1.xyz", false},
      {"converted/AdTree_tree1.ply", "original/AdTree_tree1.xyz", true},
      {"thirdparty/TreeLS_pine.las", "original/TreeLS_pine.xyz", false},
      {"converted/AdTree_tree7.ply", "original/AdTree_tree7.xyz", true},
      {"original/AdTree_tree33.xyz", "original/AdTree_tree33.xyz", false},
  };
  TempDir out;
  for (const auto& s : scans) {
    SCOPED_TRACE(s.loaded);
    const PipelineResult result = quietPipeline(root + "/" + s.loaded, out.path());
    ASSERT_TRUE(result.ok) << result.detail;
    Box scan = boxOf(readFile(root + "/" + s.original));
    if (s.ownLayout) {
      Box mapped;
      mapped.add(-scan.hi[0], scan.lo[2], scan.lo[1]);
      mapped.add(-scan.lo[0], scan.hi[2], scan.hi[1]);
      scan = mapped;
    }
    expectOnTheScan(scan, s.ownLayout ? 1 : 2);
  }
}

// Generated trees with known stems, scanned, written as a projected text file (UTM-sized
// positions, Z up) and taken through the whole pipeline: the stem diameter at 1.3 m and the
// height come within 5 % of the truth, the base at the ground, and the tree lies on the scan.
TEST_F(ScanOverlay, GeneratedTreesMeasuredThroughThePipeline) {
  TempDir dir;
  const V3 offset{431000.0, 5400000.0, 120.0};
  for (uint32_t seed : {21u, 22u, 23u, 24u}) {
    SCOPED_TRACE(seed);
    PortableRng rng(seed);
    TreeParams params;
    params.height = 8.0 + seed % 3 * 3.0, params.trunkRadius = 0.1 + 0.05 * (seed % 4);
    const TreeShape shape = growTree(params, rng);
    ScanParams scanParams;
    scanParams.groundFraction = seed % 2 ? 0.1 : 0.0, scanParams.groundRadius = 3.0;
    std::string text;
    char line[128];
    for (const ScanPoint& p : scanTree(shape, scanParams, rng))
      text.append(line, std::snprintf(line, sizeof line, "%.4f %.4f %.4f\n", p.p.x + offset.x, p.p.y + offset.y,
                                      p.p.z + offset.z));
    const Box scan = boxOf(text);
    double trueDiameter = 0.0, trueHeight = 0.0;
    for (const Cone& c : shape.cones) {
      trueHeight = std::max({trueHeight, c.a.z, c.b.z});
      if (c.order == 0 && c.a.z <= 1.3 && c.b.z > 1.3)
        trueDiameter = 2.0 * (c.ra + (c.rb - c.ra) * (1.3 - c.a.z) / (c.b.z - c.a.z));
    }
    const PipelineResult result = quietPipeline(dir.write("tree.xyz", text), dir.path());
    ASSERT_TRUE(result.ok) << result.detail;
    const TreeMeasurements m = measureTree(g_reconstructor.model, g_pointCloud);
    ASSERT_TRUE(m.stem.measured) << m.stem.reason;
    EXPECT_NEAR(m.stem.diameter, trueDiameter, 0.05 * trueDiameter);
    EXPECT_NEAR(m.height, trueHeight, 0.05 * trueHeight);
    EXPECT_NEAR(m.base.z, offset.z, 0.03);
    expectOnTheScan(scan, 2);
  }
}
