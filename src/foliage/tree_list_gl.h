#pragma once
// The tree display list: branches (tubes, or depth-coloured lines in level-lines mode) and
// the leaves of the segments nearest every branch tip, compiled once and replayed per frame.

#include "tree/tree_model.h"

// Recompiles the leaf shape, then compiles model.treeList afresh (the old list is deleted):
// drawSkeletonLines when g_bLevelLines (read) is set, drawBranches otherwise, then the leaf
// shape under every matrix of forEachTreeLeafFrame (foliage/tree_display.h, which reads the
// leaf settings and draws from rand()).
void buildTreeList(TreeModel& model);

// Replays the tree list; draws nothing unless the model is built and a list exists.
void drawTree(const TreeModel& model);

// Makes TreeModel::buildDisplay compile the tree list with buildTreeList.
void installTreeListBuilder();
