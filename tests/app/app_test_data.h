#pragma once
// A real cloud, model folders and batch runs for the application tests.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/batch.h"
#include "support/test_support.h"

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

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

// The regular files of a folder in name order (none when it is absent).
inline std::vector<std::string> cloudFiles(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    if (e.is_regular_file()) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// Batch mode with these arguments after the program's name; its console in *console.
inline int runBatchWith(std::vector<std::string> args, std::string* console = nullptr) {
  args.insert(args.begin(), "frondarel");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  StdoutCapture out;
  const int status = runBatch(static_cast<int>(argv.size()), argv.data());
  if (console) *console = out.text();
  return status;
}
