#pragma once
// What a reconstructed tree measures, for the window. Lengths are in the units of the cloud
// file (model units divided by the cloud's scale), volumes in those units cubed. Figures
// that nothing computes yet carry a false flag and are shown as not measured. GL-free.

#include <cstddef>

#include "tree/fit_measure.h"

class TreeModel;

struct TreeSummary {
  bool valid = false;         // a tree is built
  size_t branches = 0;        // branches with at least two nodes, as drawn and exported
  double height = 0.0;        // lowest to highest branch node
  double branchLength = 0.0;  // all branch polylines together
  // Wood volume of the drawn tubes: frustums between nodes at the drawn radius (half the
  // stored node radius), branches summed where they overlap at forks.
  double volume = 0.0;
  // Stem diameter at stemHeight above the trunk's first node: 1.3 (breast height in metres),
  // or the trunk's base when the trunk is lower.
  bool hasStemDiameter = false;
  double stemDiameter = 0.0, stemHeight = 0.0;
  // Fit to the scan: shares (0 to 1) of scan points within 2, 5 and 10 cm of the model's
  // surface, and the share of the model's surface with no scan point near it.
  bool hasFit = false;
  double within2cm = 0.0, within5cm = 0.0, within10cm = 0.0, phantom = 0.0;
};

// The figures of a built tree; scale is the cloud's (model units per file unit).
TreeSummary summariseTree(const TreeModel& model, double scale);
// Adds the fit measure of the tree (when valid) to its summary.
void addFitFigures(TreeSummary& summary, const FitFigures& fit);
