#pragma once
// Leaf-model files for the foliage: a stem from the origin along +y and a triangle mesh of
// the blade beyond it, about one unit long before the file's scale.

#include <string>
#include <vector>

struct LeafModelFile {
  std::string name;  // file name, prefixed so that the sorted order is fixed
  std::string text;  // whole file content
};

// The bundled leaf shapes, in file-name order.
std::vector<LeafModelFile> makeLeafModels();
