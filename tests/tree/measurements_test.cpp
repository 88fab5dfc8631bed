#include "tree/measurements.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "pointcloud/point_cloud.h"
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
// diameter at 1.3 m and the height come within 5 % of the truth.
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
    printf("%s: dbh %.4f true %.4f rms %.4f n %d; height %.3f true %.3f; base %.3f %.3f %.3f\n", c.name,
           m.stem.diameter, t.trueDiameter, m.stem.rmsError, m.stem.points, m.height, t.trueHeight,
           m.base.x - kOrigin.x, m.base.y - kOrigin.y, m.base.z - kOrigin.z);
    EXPECT_NEAR(m.stem.diameter, t.trueDiameter, 0.05 * t.trueDiameter);
    EXPECT_NEAR(m.height, t.trueHeight, 0.05 * t.trueHeight);
    EXPECT_EQ(m.pointCount, static_cast<uint32_t>(c.pointCount));
    // The base is the foot of the stem, in file coordinates.
    EXPECT_NEAR(m.base.z, kOrigin.z, 0.03);
    EXPECT_NEAR(std::hypot(m.base.x - kOrigin.x, m.base.y - kOrigin.y), 0.0, 1e-6);
    EXPECT_NEAR(std::hypot(m.stem.centre.x - kOrigin.x, m.stem.centre.y - kOrigin.y), 0.0, 0.2);
  }
}
