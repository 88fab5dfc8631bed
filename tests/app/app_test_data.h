#pragma once
// Small real model folders for the application tests: a synthetic tree scan in the
// five-column text format and leaf-model files, written to a scratch working folder.

#include <string>

#include "support/test_support.h"

// A trunk with two forks as a five-column text cloud (x y z 0 ground, z up), in metres.
std::string syntheticTreeText(int pointsPerMetre = 60, const std::string& header = "");
// The leaf-model file of the format's worked example.
std::string exampleLeafModel();

// Changes the working folder for the lifetime of the object.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& path);
  ~WorkingFolder();

 private:
  std::string previous_;
};
