#include "tree/measurements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "pointcloud/point_cloud.h"
#include "support/test_support.h"
#include "synthetic_scan.h"
#include "tree/tree_model.h"

namespace {

// Where generated scans are placed: file coordinates far from the origin (as projected
// scans are), read Z up with X mirrored, shifted and scaled, so that every measurement has
// to come back through the frame.
ScanFrame testFrame() {
  ScanFrame f = ScanFrame::zUp();
  f.sign[0] = -1.0;
  f.absolute = Vec3(350000.0, 5800000.0, 100.0);
  f.shift = Vec3(0.3, -0.1, 0.2);
  f.scale = 1.7;
  return f;
}

const V3 kOrigin{350000.0, 5800000.0, 100.0};  // the tree's foot in file coordinates

Vec3 fileOf(const V3& generated) {
  return Vec3(generated.x + kOrigin.x, generated.y + kOrigin.y, generated.z + kOrigin.z);
}

// A generated tree, its scan as a loaded cloud and a model built from the true cones: the
// trunk and every limb as a branch (stored radii twice the true ones, as the model keeps
// them). Limbs start where they were grown, not on their parent's nodes.
struct GeneratedTree {
  TreeShape shape;
  PointCloud cloud;
  TreeModel model;
  double trueDiameter = 0.0;  // trunk at 1.3 m
  double trueHeight = 0.0;
  double trueLength = 0.0;  // all cones
  double trueVolume = 0.0;
};

void buildModel(GeneratedTree& t, const ScanFrame& frame) {
  Branch* current = nullptr;
  V3 lastEnd{NAN, NAN, NAN};
  for (const Cone& c : t.shape.cones) {
    const bool continues =
        current && c.order + 1 == current->order && c.a.x == lastEnd.x && c.a.y == lastEnd.y && c.a.z == lastEnd.z;
    if (!continues) {
      t.model.branches.push_back(std::make_unique<Branch>());
      current = t.model.branches.back().get();
      current->order = c.order + 1;
      current->nodes.push_back(frame.toModel(fileOf(c.a)));
      current->radii.push_back(2.0 * c.ra * frame.scale);
    }
    current->nodes.push_back(frame.toModel(fileOf(c.b)));
    current->radii.push_back(2.0 * c.rb * frame.scale);
    lastEnd = c.b;
  }
  t.model.built = true;
}

void generate(GeneratedTree& t, uint32_t seed, const TreeParams& params, const ScanParams& scan,
              double groundSlope = 0.0) {
  PortableRng rng(seed);
  t.shape = growTree(params, rng);
  std::vector<ScanPoint> points = scanTree(t.shape, scan, rng);
  const ScanFrame frame = testFrame();
  PointCloud& cloud = t.cloud;
  cloud.frame = frame;
  for (ScanPoint& p : points) {
    // Terrain rising away from the tree on one side; flat at the trunk.
    if (p.kind == SurfaceKind::kGround) p.p.z += groundSlope * std::max(0.0, p.p.x - 0.5);
    const Vec3 m = frame.toModel(fileOf(p.p));
    cloud.points.push_back(PointRecord{m.x, m.y, m.z, 0});
  }
  cloud.fileCount = static_cast<uint32_t>(cloud.points.size());
  // Key points as the readers add them, here deliberately far below and above the tree:
  // measurements must not see them.
  cloud.points.push_back(PointRecord{0.0, -100.0, 0.0, 0});
  cloud.points.push_back(PointRecord{0.0, 100.0, 0.0, 0});
  cloud.count = static_cast<uint32_t>(cloud.points.size());
  cloud.scale = frame.scale;
  cloud.loaded = true;
  buildModel(t, frame);

  for (const Cone& c : t.shape.cones) {
    const double length = std::hypot(c.b.x - c.a.x, c.b.y - c.a.y, c.b.z - c.a.z);
    t.trueLength += length;
    t.trueVolume += kPi * length * (c.ra * c.ra + c.ra * c.rb + c.rb * c.rb) / 3.0;
    t.trueHeight = std::max({t.trueHeight, c.a.z, c.b.z});
    if (c.order == 0 && c.a.z <= 1.3 && c.b.z > 1.3)
      t.trueDiameter = 2.0 * (c.ra + (c.rb - c.ra) * (1.3 - c.a.z) / (c.b.z - c.a.z));
  }
}

struct MeasureCase {
  const char* name;
  uint32_t seed;
  double height, trunkRadius;
  int pointCount;
  double groundFraction, leafFraction, groundSlope;
};

}  // namespace

// Known trees, scanned with the generator's range noise (about 1.3 cm at 15 m), some on a
// ground disc that rises steeply away from the trunk, some with leaf clumps: the stem
// diameter at 1.3 m and the height come within 5 % of the truth, the base at the foot of
// the stem, length and wood volume those of the cones, all in the file's coordinates.
TEST(Measurements, StemDiameterAndHeightOfGeneratedTreesWithinFivePercent) {
  const MeasureCase cases[] = {
      {"plain", 11, 12.0, 0.2, 40000, 0.0, 0.0, 0.0},
      {"ground disc on a slope", 12, 9.0, 0.15, 40000, 0.15, 0.0, 0.6},
      {"leaves", 13, 15.0, 0.3, 60000, 0.05, 0.15, 0.0},
      {"thin", 14, 6.0, 0.07, 30000, 0.1, 0.0, 0.3},
  };
  for (const MeasureCase& c : cases) {
    SCOPED_TRACE(c.name);
    TreeParams params;
    params.height = c.height;
    params.trunkRadius = c.trunkRadius;
    ScanParams scan;
    scan.pointCount = c.pointCount;
    scan.groundFraction = c.groundFraction;
    scan.leafFraction = c.leafFraction;
    scan.groundRadius = 4.0;
    GeneratedTree t;
    generate(t, c.seed, params, scan, c.groundSlope);
    const TreeMeasurements m = measureTree(t.model, t.cloud);
    ASSERT_TRUE(m.measured) << m.reason;
    ASSERT_TRUE(m.stem.measured) << m.stem.reason;
    EXPECT_NEAR(m.stem.diameter, t.trueDiameter, 0.05 * t.trueDiameter);
    EXPECT_NEAR(m.height, t.trueHeight, 0.05 * t.trueHeight);
    EXPECT_EQ(m.pointCount, static_cast<uint32_t>(c.pointCount));
    // The base is the foot of the stem, in file coordinates.
    EXPECT_NEAR(m.base.z, kOrigin.z, 0.03);
    EXPECT_NEAR(std::hypot(m.base.x - kOrigin.x, m.base.y - kOrigin.y), 0.0, 1e-6);
    EXPECT_NEAR(std::hypot(m.stem.centre.x - kOrigin.x, m.stem.centre.y - kOrigin.y), 0.0, 0.2);
    // Cylinders of the true cones (mean radius instead of the frustum: well under 1 %).
    EXPECT_NEAR(m.totalBranchLength, t.trueLength, 1e-9 * t.trueLength);
    EXPECT_NEAR(m.woodVolume, t.trueVolume, 0.01 * t.trueVolume);
  }
}

// When there is no stem to measure at 1.3 m the reason is given instead of a number, and the
// rest is still measured.
TEST(Measurements, ReasonInsteadOfAStemDiameter) {
  TreeParams params;
  ScanParams scan;
  scan.pointCount = 20000;
  {
    SCOPED_TRACE("lower than 1.3 m");
    TreeParams low;
    low.height = 0.8;
    low.spread = 0.25;
    low.trunkRadius = 0.03;
    GeneratedTree t;
    generate(t, 31, low, scan);
    ASSERT_LT(t.trueHeight, 1.25);
    const TreeMeasurements m = measureTree(t.model, t.cloud);
    EXPECT_FALSE(m.stem.measured);
    EXPECT_NE(m.stem.reason.find("lower than 1.3"), std::string::npos) << m.stem.reason;
    EXPECT_NEAR(m.height, t.trueHeight, 0.05 * t.trueHeight);
  }
  {
    SCOPED_TRACE("no points at 1.3 m");
    GeneratedTree t;
    generate(t, 32, params, scan);
    std::vector<PointRecord>& p = t.cloud.points;
    const double y = t.cloud.frame.toModel(fileOf(V3{0, 0, 1.3})).y, half = 0.1 * t.cloud.frame.scale;
    const auto gap = std::remove_if(p.begin(), p.begin() + t.cloud.fileCount,
                                    [&](const PointRecord& r) { return std::fabs(r.y - y) < half; });
    t.cloud.fileCount = static_cast<uint32_t>(gap - p.begin());
    p.erase(gap, p.begin() + t.cloud.count);  // the key points go too; none are needed
    t.cloud.count = t.cloud.fileCount;
    const TreeMeasurements m = measureTree(t.model, t.cloud);
    EXPECT_FALSE(m.stem.measured);
    EXPECT_NE(m.stem.reason.find("too few points (0)"), std::string::npos) << m.stem.reason;
    EXPECT_NEAR(m.height, t.trueHeight, 0.05 * t.trueHeight);
  }
  {
    SCOPED_TRACE("a second stem from 0.9 m");
    GeneratedTree t;
    generate(t, 33, params, scan);
    Branch& trunk = *t.model.branches[0];
    auto stem = std::make_unique<Branch>();
    stem->order = 2;
    for (int k = 0; k <= 10; ++k) {
      stem->nodes.push_back(trunk.nodes[1] + Vec3(0.08 * k, 0.9 * k, 0.0) * t.cloud.frame.scale);
      stem->radii.push_back(0.5 * trunk.radii[1]);
    }
    t.model.branches.push_back(std::move(stem));
    const TreeMeasurements m = measureTree(t.model, t.cloud);
    EXPECT_FALSE(m.stem.measured);
    EXPECT_NE(m.stem.reason.find("forks below 1.3"), std::string::npos) << m.stem.reason;
  }
}

// The stem fit against circles of known radius: noisy, seen from one side only, and with
// more than a third of the points on a branch beside the stem.
TEST(Measurements, RobustCircleFit) {
  struct Case {
    const char* name;
    double arc;        // radians of the circle that carries points
    int branchPoints;  // points on a straight branch leaving the circle
    double noise;      // uniform, +- this share of the radius
  };
  const Case cases[] = {
      {"full circle", 2 * kPi, 0, 0.02}, {"one side", kPi, 0, 0.02}, {"branch beside", 2 * kPi, 70, 0.02}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double cx = 2.0, cy = -1.0, r = 0.15;
    std::vector<double> xs, ys;
    for (int i = 0; i < 120; ++i) {
      const double a = c.arc * unit(rng), d = r * (1.0 + c.noise * (2.0 * unit(rng) - 1.0));
      xs.push_back(cx + d * std::cos(a));
      ys.push_back(cy + d * std::sin(a));
    }
    for (int i = 0; i < c.branchPoints; ++i) {
      const double s = r + 0.4 * unit(rng);
      xs.push_back(cx + s * 0.8 + 0.01 * unit(rng));
      ys.push_back(cy + s * 0.6 + 0.01 * unit(rng));
    }
    const CircleFit fit = fitCircleRobust(xs, ys, 10.0);
    ASSERT_TRUE(fit.ok);
    EXPECT_NEAR(fit.r, r, 0.01 * r);
    EXPECT_NEAR(std::hypot(fit.cx - cx, fit.cy - cy), 0.0, 0.01 * r);
    EXPECT_LT(fit.rms, 0.02 * r);
    EXPECT_GE(fit.kept.size(), 110u);
  }
}

// The JSON and the run summary read back with Python's json and csv modules: the numbers as
// measured, the reasons as text (quotes and commas included), one column per header name.
TEST(Measurements, JsonAndCsvReadBack) {
  TreeMeasurements measured;
  measured.measured = true;
  measured.pointCount = 1234;
  measured.base = Vec3(431000.125, 5400000.5, 120.0625);
  measured.height = 12.5;
  measured.stem.measured = true;
  measured.stem.diameter = 0.3125;
  measured.stem.rmsError = 0.004;
  measured.stem.points = 77;
  measured.stem.centre = Vec3(431000.25, 5400000.75, 121.3625);
  measured.hasCrownBase = true;
  measured.crownBaseHeight = 3.25;
  measured.crownDiameter = 6.5;
  measured.crownArea = 30.0;
  measured.totalBranchLength = 150.0;
  measured.woodVolume = 1.5;
  measured.branchCount = 12;
  measured.orders = {{1, 1, 10.0}, {2, 11, 140.0}};
  TreeMeasurements reason = measured;
  reason.stem = StemDiameter();
  reason.stem.reason = "a \"quoted\", comma";
  reason.hasCrownBase = false;

  TempDir dir;
  const std::string json = dir.write("tree.json", measurementsJson(measured, "oak \"1\""));
  const std::string noStem = dir.write("reason.json", measurementsJson(reason, "elm"));
  TreeMeasurements none;
  none.reason = "no tree";
  const std::string noTree = dir.write("none.json", measurementsJson(none, "ash"));
  const std::string csv = dir.write(
      "run.csv", measurementsCsvHeader() + measurementsCsvRow(measured, "oak, 1") + measurementsCsvRow(reason, "elm"));
  const std::string script =
      "import csv, json, sys\n"
      "a = json.load(open(sys.argv[1])); b = json.load(open(sys.argv[2]))\n"
      "print(a['tree'], a['base'][0], a['stem_diameter']['diameter'], a['stem_diameter']['centre'][1],\n"
      "      a['branches_by_order'][1]['branches'], a['crown_base_height'], sep='|')\n"
      "print(b['stem_diameter']['diameter'], b['stem_diameter']['reason'], b['crown_base_height'], sep='|')\n"
      "c = json.load(open(sys.argv[4])); print(c['measured'], c['reason'], sep='|')\n"
      "rows = list(csv.DictReader(open(sys.argv[3])))\n"
      "print(len(rows), rows[0]['tree'], rows[0]['stem_diameter'], rows[0]['length_by_order'], sep='|')\n"
      "print(rows[1]['stem_diameter'] == '', rows[1]['stem_reason'], rows[1]['crown_base_height'] == '', "
      "all(None not in r and len(r) == len(rows[0]) for r in rows), sep='|')\n";
  const std::string path = dir.write("read.py", script);
  std::string out;
  ASSERT_EQ(runCommand("python3 " + path + " " + json + " " + noStem + " " + csv + " " + noTree, &out), 0);
  EXPECT_EQ(out,
            "oak \"1\"|431000.125|0.3125|5400000.75|11|3.25\n"
            "None|a \"quoted\", comma|None\n"
            "False|no tree\n"
            "2|oak, 1|0.3125|1:10;2:140\n"
            "True|a \"quoted\", comma|True|True\n");
}
