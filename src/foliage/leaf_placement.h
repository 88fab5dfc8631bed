#pragma once
// Leaf placement by phyllotaxis: for one branch segment, writes one leaf matrix per leaf into
// the model's leafFrames table. Leaf matrices are stored row by row (element (r, c) at index
// 4r + c, translation at 3, 7, 11) and map leaf-model points p to tree coordinates as M*p.

#include <functional>

#include "tree/geometry.h"
#include "tree/tree_model.h"

// Largest leaf count per segment: the size of TreeModel::leafFrames.
constexpr int kMaxLeavesPerSegment = 16;

// Source of the jitter draws; every call returns a number in [0, 1]. The draws are made in
// a fixed order per arrangement, so a test can feed a known sequence.
using LeafRandom = std::function<double()>;

// The C library generator read as 0 ... 32767 and divided by 32767.0.
double cLibraryLeafRandom();

// Golden-angle spiral: count leaves from start (t = 0) to end (t = 1), each turned about
// 137.5 degrees from the last and tilted about 45 degrees. Writes slots 0 ... count - 1 when
// 1 <= count <= 16, nothing otherwise. Returns the number of slots written.
int placeLeavesSpiral(TreeModel& model, const Vec3& start, const Vec3& end, int count,
                      const LeafRandom& random = cLibraryLeafRandom);

// Alternate sides of the segment's vertical plane, plus one extra leaf pointing along the
// segment in slot count - 1. Writes slots 0 ... count - 1 when 2 <= count <= 16, nothing
// otherwise (the table holds 16 slots). Returns the number of slots written.
int placeLeavesAlternate(TreeModel& model, const Vec3& start, const Vec3& end, int count,
                         const LeafRandom& random = cLibraryLeafRandom);

// Opposite pairs, each pair a quarter turn from the previous, tilted 7.5 ... 60 degrees.
// Writes slots 0 ... count - 1 when 1 <= count <= 16, nothing otherwise. Returns the number
// of slots written.
int placeLeavesDecussate(TreeModel& model, const Vec3& start, const Vec3& end, int count,
                         const LeafRandom& random = cLibraryLeafRandom);

// The arrangement chosen by a "Leaf phyllotaxis" value: 1 spiral, 2 alternate, any other
// value decussate.
int placeLeaves(int phyllotaxis, TreeModel& model, const Vec3& start, const Vec3& end, int count,
                const LeafRandom& random = cLibraryLeafRandom);
