#include "foliage/tree_display.h"

void applyTreeParameters(TreeModel& model) {
  model.rebuild();
  model.buildDisplay();
}

void rebuildTreeDisplay(TreeModel& model) {
  if (model.isBuilt()) model.buildDisplay();
}
