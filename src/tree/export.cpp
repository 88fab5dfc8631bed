#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "settings/output_file.h"
#include "tree/tree_model.h"

namespace {

// The export file name: the model file's name with its last three characters set to "txt".
bool exportPath(const std::string& modelPath, std::string* out) {
  if (modelPath.size() < 3) return false;
  *out = modelPath.substr(0, modelPath.size() - 3) + "txt";
  return true;
}

void createParentFolder(const std::string& path) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(parent, ec);
}

// One line per branch with nodes: node count, then x, y, z, radius per node, each value
// followed by a space; positions and radii are divided by scale.
void writeBranches(std::FILE* f, const std::vector<std::unique_ptr<Branch>>& branches, double scale) {
  std::fprintf(f, "%zu\n", branches.size());
  for (const auto& b : branches) {
    if (b->nodes.empty()) continue;
    std::fprintf(f, "%zu ", b->nodes.size());
    for (size_t k = 0; k < b->nodes.size(); ++k) {
      const Vec3 p = b->nodes[k] / scale;
      double r = k < b->radii.size() ? b->radii[k] : 0.0;
      std::fprintf(f, "%g %g %g %g ", p.x, p.y, p.z, r / scale);
    }
    std::fputc('\n', f);
  }
}

}  // namespace

bool TreeModel::exportTree(const std::string& path, double scale) {
  std::string target;
  if (!exportPath(path, &target)) {
    std::printf("ERROR: unable to write tree model [%s]!\n", path.c_str());
    return false;
  }
  if (!built) {
    std::printf("ERROR: no tree model built, nothing written to [%s]!\n", target.c_str());
    return false;
  }
  if (!std::isfinite(scale) || scale <= 0.0) {
    std::printf("ERROR: invalid scale %g for tree model [%s]!\n", scale, target.c_str());
    return false;
  }
  createParentFolder(target);
  // Written beside the target and renamed over it when complete: a failure part way leaves
  // the earlier export as it was.
  AtomicOutputFile out;
  std::string reason;
  if (out.open(target, &reason)) {
    writeBranches(out.stream(), branches, scale);
    if (out.commit(&reason)) return true;
  }
  std::printf("ERROR: unable to write tree model [%s]!\n", target.c_str());
  std::printf("ERROR: %s\n", reason.c_str());
  return false;
}
