#pragma once
// A real cloud and model folders for the application tests.

#include <filesystem>
#include <string>

#include "support/test_support.h"

// A bundled scan in the five-column text format (it has no settings header), after header.
inline std::string treeCloud(const std::string& header = "") {
  return header + readFile(std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model/03_ash_clipped.xyz");
}

// Changes the working folder for the lifetime of the object.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& path) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~WorkingFolder() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

// A working folder whose data/ holds the given point models, the bundled leaf models and an
// empty tree_model folder.
inline void makeModelFolders(const TempDir& dir, int pointModels) {
  std::filesystem::create_directories(dir.file("data/tree_model"));
  std::filesystem::create_directory_symlink(std::string(FRONDAREL_SOURCE_DIR) + "/data/leaf_model",
                                            dir.file("data/leaf_model"));
  for (int i = 0; i < pointModels; ++i) dir.write("data/point_model/m" + std::to_string(i) + ".txt", treeCloud());
}
