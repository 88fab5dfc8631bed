#pragma once
// "Fit to scan": a reconstruction that follows the scanned points. It works in the cloud
// file's units and derives its lengths from the point spacing; leaves out the ground; builds
// a graph over every occupied voxel; follows the trunk up from its foot by circles fitted
// across it; measures every voxel's distance from the foot along the graph (along the trunk's
// axis where it was followed) and bridges gaps in the scan, narrowest first; cuts the wood
// into nodes by bins of that distance (one node per connected piece of a bin, so forks split
// into every leader and no node spans open air); fits a radius to each node's points (a
// circle across the wood where the points surround it); drops nodes lying on thicker wood
// and side branches that stay on the ground; tapers the radii along each branch; and hands
// the result to the tree model as segments with fitted radii. GL-free.

#include <cstddef>
#include <vector>

#include "tree/fit_measure.h"
#include "tree/geometry.h"

class PointCloud;
class TreeModel;

// Lengths in the cloud file's units (metres for real scans); 0 derives the value from the
// scan's point spacing (the median distance between neighbouring points).
struct FitOptions {
  double voxelSize = 0.0;        // edge of the graph voxels (1.5 spacings)
  double step = 0.0;             // node spacing along thin wood, the distance bin width (one voxel)
  double killDistance = 0.0;     // a side node within this of a thicker branch's surface is part of it (2 voxels)
  double influenceRadius = 0.0;  // gaps up to this join even specks of one or two points (8 spacings)
  bool removeGround = true;      // leave a ground disc or terrain around the foot out
};

// What the fit found and how long each stage took (seconds).
struct FitStats {
  size_t points = 0;         // file points used
  size_t groundPoints = 0;   // left out as ground
  size_t voxels = 0;         // graph vertices
  size_t pieces = 0;         // separate pieces of wood before bridging
  size_t bridges = 0;        // gaps bridged
  size_t leftOutPoints = 0;  // points of stray specks and ground clutter, not modelled
  size_t nodes = 0;          // skeleton nodes handed over
  size_t fittedNodes = 0;    // nodes whose radius came from their points
  size_t stemRings = 0;      // circles that followed the trunk up from its foot
  double spacing = 0.0;      // median distance between neighbouring points
  double voxelSize = 0.0, step = 0.0, killDistance = 0.0, influenceRadius = 0.0;  // lengths used
  double prepareSeconds = 0.0, groundSeconds = 0.0, graphSeconds = 0.0, skeletonSeconds = 0.0, radiiSeconds = 0.0,
         modelSeconds = 0.0;
  double totalSeconds() const {
    return prepareSeconds + groundSeconds + graphSeconds + skeletonSeconds + radiiSeconds + modelSeconds;
  }
};

// Fits a tree to the cloud's file points (key points are ignored) and hands it to model
// (clear, segments with fitted radii, finalise; the display hook runs as after a growth).
// Coordinates stay the cloud's model coordinates; radii are stored as the tree model keeps
// them (twice the drawn radius). Deterministic. Returns false, with a console message naming
// the problem, when no tree can be fitted; the model is then left cleared.
bool fitTreeToScan(const PointCloud& cloud, TreeModel& model, const FitOptions& options = {},
                   FitStats* stats = nullptr);

// The file's points of the cloud (key points left out), in model coordinates.
std::vector<Vec3> cloudFilePoints(const PointCloud& cloud);

// The fit measure of the model against the cloud's file points, in the file's units.
FitFigures measureCloudFit(const TreeModel& model, const PointCloud& cloud);
