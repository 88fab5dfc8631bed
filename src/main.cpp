// Frondarel: turns a point cloud of one scanned tree into a tree model.
// Without arguments it opens the window on ./data/point_model/; with cloud files as
// arguments it opens the window on those files; with --batch it runs the pipeline headless.

#include <cstring>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/model_folders.h"
#include "app/window_gl.h"

namespace {

// The cloud files among the arguments: everything that is not an option of the window
// system (GLUT takes "-display <name>", "-geometry <size>" and a few flags).
std::vector<std::string> cloudFileArguments(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-display") == 0 || std::strcmp(argv[i], "-geometry") == 0) {
      ++i;
    } else if (argv[i][0] != '-') {
      files.push_back(argv[i]);
    }
  }
  return files;
}

// Batch and help options are long ("--batch", "--out", ...) and may come in any order;
// GLUT's own options are single-dash, so any long option means the headless command line.
bool wantsCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--", 2) == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (wantsCommandLine(argc, argv)) return runBatch(argc, argv);
  setStartupModelFiles(cloudFileArguments(argc, argv));
  return runWindow(argc, argv);
}
