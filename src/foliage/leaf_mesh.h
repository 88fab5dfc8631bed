#pragma once
// The leaves the tree display shows, as triangles for the mesh export (tree/scan_exports.h).

#include "tree/scan_exports.h"
#include "tree/tree_model.h"

// Every leaf of forEachTreeLeafFrame (foliage/tree_display.h): the stem's quads as two
// triangles each, then the blade's triangles, at g_dLeafSize (read), in model coordinates,
// with the normals the display gives them. Empty when the display shows no leaves. Like a
// display rebuild it draws from rand() and overwrites model.leafFrames, so the leaves match
// those on screen only when the generator is in the state the last rebuild started from.
MeshTriangles treeLeafTriangles(TreeModel& model);
