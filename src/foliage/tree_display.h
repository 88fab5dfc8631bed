#pragma once
// When the tree display is rebuilt after a parameter change. GL-free: the list itself is
// compiled by TreeModel::listBuilder, which the render layer installs.

#include "tree/tree_model.h"

// For "Leaf density", "Leaf influence", "Leaf size", "Branch ratio", "Branch thickness" and
// "Show leaves": rebuilds the branch hierarchy, then the display, whether or not a tree has
// been built.
void applyTreeParameters(TreeModel& model);

// For "Leaf phyllotaxis", the colours and the level-lines switch: rebuilds the display only
// when a tree has been built.
void rebuildTreeDisplay(TreeModel& model);
