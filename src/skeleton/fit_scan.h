#pragma once
// The stages of "Fit to scan" (fit_reconstruction.h) on points in the file's units: spacing
// and lengths, ground, voxel graph and the distance of every voxel from the trunk foot, gaps
// bridged (fit_graph.cpp); nodes from distance bins, rings and radii, the hand-over to the
// tree model (fit_skeleton.cpp). Internal to the fit; GL-free.

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <unordered_map>
#include <vector>

#include "skeleton/fit_reconstruction.h"
#include "tree/fit_measure.h"
#include "tree/geometry.h"

class TreeModel;

// One skeleton node: a connected piece of wood within one distance bin (node 0 is the foot
// of the trunk and holds no voxels).
struct FitNode {
  Vec3 position;
  Vec3 axis;            // local direction of the wood
  int32_t parent = -1;  // -1 for node 0
  std::vector<uint32_t> children;
  std::vector<uint32_t> voxels;
  double radius = 0.0;   // wood radius (file units)
  double support = 0.0;  // points behind a measured radius
  bool fitted = false;   // radius measured from the points
  bool ring = false;     // position and radius from a circle across the whole cross-section
  bool dropped = false;  // no longer part of the tree (absorbed into a thicker branch, or ground)
};

// A circle in a plane across the wood, centre in the plane's coordinates.
struct Circle {
  double cu = 0.0, cv = 0.0, r = 0.0;
  double residual = 0.0;  // median distance of the points from the circle
  bool ok = false;
};

// Circle through 2-D points: an algebraic fit refined by geometric steps on the points near
// it; ok when the points surround enough of it (five of sixteen sectors).
Circle fitCircle(const std::vector<double>& u, const std::vector<double>& v);

// One ring of a tracked stem: centre, direction, radius, and distance along the stem from
// the foot.
struct StemRing {
  Vec3 centre, axis;
  double radius = 0.0, along = 0.0;
};

struct UnionFind {
  std::vector<uint32_t> up;
  explicit UnionFind(size_t n) : up(n) { std::iota(up.begin(), up.end(), 0u); }
  uint32_t find(uint32_t a) {
    while (up[a] != a) a = up[a] = up[up[a]];
    return a;
  }
  void join(uint32_t a, uint32_t b) {
    a = find(a), b = find(b);
    if (a != b) up[std::max(a, b)] = std::min(a, b);
  }
};

// Median of v (the upper one of an even count); 0 when empty.
inline double medianOf(std::vector<double> v) {
  if (v.empty()) return 0.0;
  const size_t half = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + half, v.end());
  return v[half];
}

class ScanFit {
 public:
  ScanFit(std::vector<Vec3> points, const FitOptions& options);

  void removeGround();
  // Voxels and their edges, separate pieces, the trunk foot, distances from it, bridges.
  void buildGraph();
  // Nodes from the distance bins; false when no wood is reached from the foot.
  bool buildSkeleton();
  // Rings and radii, surface nodes absorbed, ground-hugging side branches dropped, taper.
  void fitRadii();
  // Segments in model coordinates (file units times scale), radii stored as twice the drawn.
  void handOver(TreeModel& model, double scale) const;
  void fillStats(FitStats* stats) const;

  const std::vector<FitNode>& nodes() const { return nodes_; }
  const std::vector<char>& ground() const { return ground_; }

 private:
  struct Voxel {
    Vec3 centroid;
    uint32_t first = 0, count = 0;  // range in voxelPoints_
    int32_t piece = -1;             // connected piece of the voxel graph
  };

  void voxelise();
  void findPieces();
  bool findFoot();
  double groundBelow(const Vec3& p) const;
  double heightAboveGround(const Vec3& p) const;
  void flood(const std::vector<uint32_t>& seeds);
  void trackStem();
  // Circle across axis through the points (ground left out) within reach of at and within
  // halfWidth of the plane through at; on success *centre is its centre in space.
  Circle slabCircle(const Vec3& at, const Vec3& axis, double reach, double halfWidth, Vec3* centre) const;
  // Whether the points lie close to the circle: within a seventh of its radius, or within
  // the scan's noise (measured on the stem) where that is more.
  bool closeToRing(const Circle& c) const;
  void bridgeGaps();
  std::vector<uint32_t> binPieces(const std::vector<int64_t>& bin) const;
  // Per voxel, the steps along its path back to a foot voxel (for the reached voxels given).
  std::vector<uint32_t> hopsFromFoot(const std::vector<uint32_t>& reached) const;
  void centreAndSpread(const std::vector<uint32_t>& voxels, Vec3* centre, double* spread) const;
  void measureNode(uint32_t k, const std::vector<Vec3>& before, std::vector<double>* u, std::vector<double>* v);
  void absorbIntoHosts();
  void dropGroundBranches();
  void taperBranches();

  std::vector<Vec3> points_;
  FitOptions options_;
  PointIndex index_;
  double spacing_ = 0.0, voxelSize_ = 0.0, step_ = 0.0, kill_ = 0.0, influence_ = 0.0;
  Vec3 lower_;  // lower corner of the points

  std::vector<char> ground_;                        // per point
  std::unordered_map<uint64_t, double> groundTop_;  // highest ground per column cell
  double groundCell_ = 0.0;

  std::vector<uint32_t> voxelPoints_;  // point indices grouped by voxel
  std::vector<Voxel> voxels_;
  std::vector<uint32_t> edgeStart_, edgeTo_;  // 26-neighbourhood, compressed rows
  std::vector<double> edgeLength_;
  std::vector<uint32_t> pieceSize_;  // points per piece
  std::vector<Vec3> pieceLow_, pieceHigh_;
  int32_t footPiece_ = -1;
  Vec3 footPoint_;
  double footBand_ = 0.0;  // height of the seed band at the foot: the trunk's width there
  std::vector<uint32_t> footVoxels_;
  std::vector<double> footHeight_;  // per foot voxel: its height above the foot

  std::vector<StemRing> stem_;     // the trunk followed ring by ring from the foot
  double noise_ = 0.0;             // median distance of stem points from their rings
  std::vector<double> stemAlong_;  // per voxel: its distance along the stem, NaN off the stem
  std::vector<int32_t> stemRing_;  // per voxel: the stem ring holding it, -1 off the stem
  std::vector<double> distance_;   // from the foot along the graph; infinite when unreached
  std::vector<int32_t> from_;      // previous voxel on the path; -1 at the foot
  size_t pieces_ = 0, bridges_ = 0, leftOut_ = 0, groundCount_ = 0;

  std::vector<FitNode> nodes_;
  std::vector<int32_t> mainChild_;  // per node: the child with the most points below it
  double tipRadius_ = 0.0;          // radius of the finest twigs: the low end of the measured radii
};
