#pragma once
// The GL-free side of the tree display: when it is rebuilt after a parameter change, and
// which leaves it shows. The list itself is compiled by TreeModel::listBuilder, which the
// render layer installs (foliage/tree_list_gl.cpp).

#include <functional>
#include <vector>

#include "tree/geometry.h"
#include "tree/tree_model.h"

// For "Leaf density", "Leaf influence", "Leaf size", "Branch ratio", "Branch thickness" and
// "Show leaves": rebuilds the branch hierarchy, then the display, whether or not a tree has
// been built.
void applyTreeParameters(TreeModel& model);

// For "Leaf phyllotaxis", the colours and the level-lines switch: rebuilds the display only
// when a tree has been built.
void rebuildTreeDisplay(TreeModel& model);

// Whether the display shows leaves: a non-zero g_dLeafSize, g_bShowLeaves, and not
// g_bLevelLines.
bool treeLeavesShown();

// Calls visit with the matrix of every leaf the display shows, in drawing order, each in
// column-major order (as glMultMatrixd takes it) mapping leaf-shape points to tree
// coordinates. Nothing unless treeLeavesShown(). Per branch in list order, the last
// min(n, g_nLeafInfluence) - 1 segments of its n nodes, the tip segment first:
// placeLeaves(g_nLeafPhyllotaxis, ...) with min(g_nLeafDensity, 16) leaves, of which the tip
// segment shows every slot written and the others at most 15 (the last slot repeats the next
// segment's first leaf). Each placement draws from rand() and overwrites model.leafFrames.
// Visiting instead of listing keeps a large tree's display rebuild from allocating a matrix
// per leaf.
void forEachTreeLeafFrame(TreeModel& model, const std::function<void(const Mat4&)>& visit);

// The matrices forEachTreeLeafFrame visits, as a list.
std::vector<Mat4> treeLeafFrames(TreeModel& model);
