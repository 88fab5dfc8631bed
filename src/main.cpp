// Frondarel: turns a point cloud of one scanned tree into a tree model.
// Without arguments it opens the window; with --batch it runs the pipeline headless.

#include <cstring>

#include "app/batch.h"
#include "app/window_gl.h"

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--batch") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    return runBatch(argc, argv);
  }
  return runWindow(argc, argv);
}
