#pragma once
// Exports of a built tree that lie on the scan it came from: every position is mapped back
// to the file's own coordinates, axes and units (ScanFrame::toScan), and every radius is the
// drawn one (the tube surface sits at half the stored radius, see branch_mesh.h), in file
// units. The writers return the file's text; the caller decides where and how it is stored.
//
// A branch is written when it is drawn: at least two nodes, one radius per node, every node
// finite. Pruned branches (no nodes) are left out everywhere; branch ids are indices into
// TreeModel::branches, so they keep the gaps the pruned ones leave. The trunk is written from
// the first skeleton node up: the root segment the growth hangs 0.2 below that node (under
// the ground) is left out, so that the model does not reach below the scan.

#include <cstdint>
#include <string>
#include <vector>

#include "pointcloud/scan_frame.h"
#include "tree/geometry.h"

class TreeModel;

// The index of the first node the exports write of model.branches[branch]: 1 for a trunk that
// starts with the growth's root segment (the segment 0 of the model, straight down 0.2 from
// the first skeleton node), else 0; -1 when the branch is not written (see above).
int32_t firstWrittenNode(const TreeModel& model, size_t branch);

// A direction or offset in model coordinates in the file's axes and units: the linear part
// of ScanFrame::toScan, without the translation (so no digits are lost to a large absolute
// position).
Vec3 directionToScan(const ScanFrame& frame, const Vec3& modelDirection);
// Whether toScan mirrors (its linear part has a negative determinant); surfaces written in
// the file's coordinates then need their winding reversed to keep facing outwards.
bool frameMirrors(const ScanFrame& frame);

// Where a branch's first node joins the tree: the branch and node index of the first written
// branch before it that writes that exact position (as branch orders are assigned). branch
// is -1 for the trunk, a branch not written, or one whose parent was pruned.
struct ForkLink {
  int32_t branch = -1;
  int32_t node = -1;
};
// One entry per entry of model.branches.
std::vector<ForkLink> forkLinks(const TreeModel& model);

// One cylinder per pair of consecutive written nodes of each branch (the nodes as stored,
// not the refined polyline the tubes are drawn along), in branch order, then base to tip.
struct Cylinder {
  Vec3 start;            // first node, file coordinates
  Vec3 axis;             // unit vector towards the second node; zero for a zero-length pair
  double length = 0.0;   // file units
  double radius = 0.0;   // mean of the two nodes' drawn radii, file units
  int32_t branch = 0;    // index in TreeModel::branches
  int32_t order = 0;     // the branch's order: 1 for the trunk, 2 for its branches, ...
  int32_t parent = -1;   // index of the parent cylinder, -1 for the trunk's first one
  int32_t position = 0;  // 0 at the branch's base
};
// The parent of a cylinder is the previous one in its branch; for a branch's first cylinder,
// the cylinder of the parent branch ending at the fork point, or starting there when the
// fork is the parent's first written node (-1 when the parent is not written).
std::vector<Cylinder> treeCylinders(const TreeModel& model, const ScanFrame& frame);

// CSV, one header row then one row per cylinder:
//   id,start_x,start_y,start_z,axis_x,axis_y,axis_z,length,radius,branch,order,parent,position
std::string cylinderTableCsv(const std::vector<Cylinder>& cylinders);

// The skeleton as an ASCII PLY graph: element vertex (double x, y, z, radius) with one vertex
// per branch node, a branch's first node shared with the parent node it forks from (so the
// graph is one tree unless a parent was pruned), and element edge (int vertex1, vertex2) per
// pair of consecutive nodes. A shared fork vertex carries the parent branch's radius there.
std::string skeletonGraphPly(const TreeModel& model, const ScanFrame& frame);

// Extra triangles for the mesh, in model coordinates: three vertices per triangle in the
// order that faces the front, and a unit normal per vertex.
struct MeshTriangles {
  std::vector<Vec3> vertices;
  std::vector<Vec3> normals;
};

// The branch tubes the window draws (branchTubes, without the root segment's part) as a
// Wavefront OBJ, in group "branches":
// one vertex per ring side with its normal, two triangles per quad, facing outwards, each
// ring closed. Vertices are written to 1e-6 of the file's units, normals to 1e-4. When
// leaves is given and holds triangles they follow in group "leaves", with normals.
std::string branchMeshObj(const TreeModel& model, const ScanFrame& frame, const MeshTriangles* leaves = nullptr);

// Appends the shortest text that reads back as exactly v ("nan" or "inf" when not finite;
// the writers never pass those).
void appendNumber(std::string& out, double v);
