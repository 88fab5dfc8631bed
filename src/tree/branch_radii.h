#pragma once
// Lengths along branch polylines and the trunk taper, shared by the radii and the pruning.

#include <vector>

#include "tree/geometry.h"

struct Branch;

// Distance between two consecutive branch nodes; 0 when either node is not valid.
double segmentLength(const Vec3& a, const Vec3& b);
// Sum of the segment lengths of a polyline (0 for fewer than two nodes).
double polylineLength(const std::vector<Vec3>& nodes);
// Reshapes the radii of the lower half of the trunk along a power curve (exponent 1.3) from
// its first radius towards the radius at index n - 1, n = half the radius count. Leaves the
// radii unchanged when that lower half has no length.
void refineTrunkRadii(Branch& trunk);
