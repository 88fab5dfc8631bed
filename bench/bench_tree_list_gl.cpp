// Tree display-list build time and leaf count for every bundled model at leaf densities 4
// and 16, in a real GL context (a GLUT window; needs a display). Each model is first
// reconstructed headless with its start settings, as the batch command does.

#include <GL/freeglut.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/pipeline.h"
#include "app/globals.h"
#include "settings/settings.h"
#include "foliage/tree_list_gl.h"

namespace fs = std::filesystem;

namespace {

// Leaves buildTreeList places: per branch of n nodes, min(n, influence) - 1 segments from the
// tip, the tip segment with density leaves and the others with min(density, 15).
size_t expectedLeaves(const TreeModel& model, int density, int influence) {
  size_t leaves = 0;
  for (const auto& b : model.branches) {
    int n = static_cast<int>(b->nodes.size());
    if (n < 2 || influence < 2) continue;
    int segments = std::min(n, influence) - 1;
    leaves += density + static_cast<size_t>(segments - 1) * std::min(density, 15);
  }
  return leaves;
}

void mute(bool on) {
  static int saved = -1;
  std::fflush(stdout);
  if (on) {
    saved = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
  } else if (saved >= 0) {
    dup2(saved, STDOUT_FILENO);
    close(saved);
    saved = -1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB | GLUT_DEPTH);
  glutInitWindowSize(320, 240);
  glutCreateWindow("frondarel tree list benchmark");

  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(std::string(FRONDAREL_SOURCE_DIR) + "/data/point_model"))
    if (e.is_regular_file()) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  std::string leafModel;
  for (const auto& e : fs::directory_iterator(std::string(FRONDAREL_SOURCE_DIR) + "/data/leaf_model"))
    if (e.is_regular_file() && (leafModel.empty() || e.path().string() < leafModel)) leafModel = e.path().string();
  std::string out = (fs::temp_directory_path() / "frondarel-bench-tree-list").string();

  std::printf("%-26s %8s %8s %10s %10s\n", "cloud", "branches", "density", "leaves", "build (s)");
  for (const std::string& file : files) {
    mute(true);
    PipelineResult r = runTreePipeline(file, out, {});
    g_reconstructor.model.loadLeafModel(leafModel);
    mute(false);
    if (!r.ok) {
      std::printf("%-26s FAILED: %s\n", fs::path(file).filename().string().c_str(), r.detail.c_str());
      continue;
    }
    for (int density : {4, 16}) {
      g_nLeafDensity = density;
      double best = 1e30;
      for (int run = 0; run < 3; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        buildTreeList(g_reconstructor.model);
        glFinish();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
      }
      std::printf("%-26s %8zu %8d %10zu %10.4f\n", fs::path(file).filename().string().c_str(), r.branches, density,
                  expectedLeaves(g_reconstructor.model, density, g_nLeafInfluence), best);
    }
  }
  fs::remove_all(out);
  return 0;
}
