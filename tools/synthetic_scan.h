#pragma once
// Synthetic laser scans of trees: a random but plausible tree made of tapered cylinders,
// sampled on the surfaces that a few scanner positions around it can see, with range
// noise, an optional ground disc and optional leaf clumps near the branch tips.
// Coordinates are metres with Z up; the tree stands on (0, 0).

#include <cstdint>
#include <random>
#include <vector>

struct V3 {
  double x = 0.0, y = 0.0, z = 0.0;
};

// Random numbers that are the same on every platform: only the raw output of
// std::mt19937 (fixed by the C++ standard) is used; the distributions are our own.
class PortableRng {
 public:
  explicit PortableRng(uint32_t seed) : engine_(seed) {}
  // Uniform in [0, 1), 53 random bits from two raw outputs.
  double uniform();
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  // Uniform integer in [lo, hi].
  int integer(int lo, int hi);
  // Standard normal by the Box-Muller transform (one value per call, no caching).
  double normal();

 private:
  std::mt19937 engine_;
};

// The shape of the tree to grow.
struct TreeParams {
  double height = 12.0;      // approximate total height (m)
  double trunkRadius = 0.2;  // trunk radius at breast height (m)
  int orders = 3;            // branch orders below the trunk: 2 or 3
  int primaryMin = 7;        // number of first-order branches, inclusive range
  int primaryMax = 10;
  double crownStart = 0.3;   // lowest first-order branch, as a fraction of the trunk length
  double spread = 0.42;      // first-order branch length as a fraction of the height
  double lowZenith = 65.0;   // zenith angle of the lowest first-order branch (degrees)
  double highZenith = 35.0;  // zenith angle of the highest one (degrees)
  double lean = 2.0;         // random lean of the trunk (degrees, standard deviation)
};

// One tapered cylinder: axis from a to b, radii ra at a and rb at b.
struct Cone {
  V3 a, b;
  double ra = 0.0, rb = 0.0;
  int order = 0;  // 0 trunk, 1 first-order branches, ...
};

// The end of a branch of the finest order, where leaf clumps sit.
struct BranchTip {
  V3 position, direction;
};

struct TreeShape {
  std::vector<Cone> cones;
  std::vector<BranchTip> tips;
};

TreeShape growTree(const TreeParams& params, PortableRng& rng);

// How the tree is scanned.
struct ScanParams {
  int pointCount = 40000;         // points kept (wood + leaves + ground)
  int scannerCount = 3;           // positions evenly spread around the tree
  double scannerDistance = 15.0;  // horizontal distance from the trunk (m)
  double scannerHeight = 1.5;     // height of the scanner head above the ground (m)
  double noiseBase = 0.004;       // range noise, standard deviation at zero range (m)
  double noisePerMetre = 0.0006;  // added standard deviation per metre of range
  double leafFraction = 0.0;      // share of the points in leaf clumps
  double groundFraction = 0.0;    // share of the points on the ground disc
  double groundRadius = 2.0;      // radius of the ground disc (m)
  double clipBelow = -1.0;        // drop points lower than this height (m); negative keeps all
};

enum class SurfaceKind { kWood, kLeaf, kGround };

struct ScanPoint {
  V3 p;
  uint8_t rgb[3] = {0, 0, 0};
  uint16_t intensity = 0;  // return strength, 0..65535
  int scanner = 0;         // index of the scanner position that saw the point
  SurfaceKind kind = SurfaceKind::kWood;
};

// Samples exactly scan.pointCount points. The ground under the tree is flat at height 0.
std::vector<ScanPoint> scanTree(const TreeShape& tree, const ScanParams& scan, PortableRng& rng);
