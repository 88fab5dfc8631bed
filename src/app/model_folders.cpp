#include "app/model_folders.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/globals.h"
#include "app/pipeline.h"
#include "settings/settings.h"

namespace fs = std::filesystem;

namespace {

std::string g_modelPath;  // full path of the current point-cloud file

bool validIndex(int index, const std::vector<std::string>& names) {
  return index >= 0 && static_cast<size_t>(index) < names.size();
}

// Leaf model that goes with a point model on a model switch.
int leafModelFor(int pointModelIndex) {
  if (pointModelIndex == 0) return 1;
  if (pointModelIndex == 1) return 5;
  return 2;
}

}  // namespace

bool listFolder(const std::string& folder, std::vector<std::string>& names) {
  std::vector<std::string> found;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (!ec) {
    for (const fs::directory_entry& entry : it) {
      std::error_code typeError;
      if (entry.is_regular_file(typeError)) found.push_back(entry.path().filename().string());
    }
  }
  if (found.empty()) {
    std::printf("Empty folder!\n");
    return false;
  }
  std::sort(found.begin(), found.end());
  names.insert(names.end(), found.begin(), found.end());
  return true;
}

const std::string& currentModelPath() {
  return g_modelPath;
}

void loadCurrentPointModel() {
  if (!validIndex(g_nCurrSelected, g_pointModelNames)) {
    std::printf("No point model to load.\n");
    return;
  }
  g_modelPath = std::string(kPointModelFolder) + g_pointModelNames[g_nCurrSelected];
  loadPointCloud(g_modelPath);
}

void loadCurrentLeafModel() {
  if (!validIndex(g_nCurrLeafModel, g_leafModelNames)) {
    std::printf("No leaf model %d to load.\n", g_nCurrLeafModel);
    return;
  }
  g_reconstructor.loadLeafModel(std::string(kLeafModelFolder) + g_leafModelNames[g_nCurrLeafModel]);
}

void selectModel(int index) {
  if (!validIndex(index, g_pointModelNames)) {
    std::printf("No point model %d: the current model is kept.\n", index);
    return;
  }
  g_nCurrSelected = index;
  int leaf = leafModelFor(index);
  if (validIndex(leaf, g_leafModelNames)) {
    g_nCurrLeafModel = leaf;
    loadCurrentLeafModel();
  } else {
    std::printf("No leaf model %d: leaf model %d is kept.\n", leaf, g_nCurrLeafModel);
  }
  std::printf("g_nCurrSelected=%d, g_nCurrLeafModel=%d", g_nCurrSelected, g_nCurrLeafModel);
  applyModelSwitchValues();
  loadCurrentPointModel();
}

void selectLeafModel(int index) {
  if (!validIndex(index, g_leafModelNames)) {
    std::printf("No leaf model %d: leaf model %d is kept.\n", index, g_nCurrLeafModel);
    return;
  }
  g_nCurrLeafModel = index;
  loadCurrentLeafModel();
}

bool exportModel() {
  if (!validIndex(g_nCurrSelected, g_pointModelNames)) return false;
  return exportBuiltTree(std::string(kTreeModelFolder) + g_pointModelNames[g_nCurrSelected]);
}

void loadStartupModels() {
  listFolder(kPointModelFolder, g_pointModelNames);
  loadCurrentPointModel();
  listFolder(kLeafModelFolder, g_leafModelNames);
  loadCurrentLeafModel();
}
