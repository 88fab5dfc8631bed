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
// Full path of each entry of g_pointModelNames: the folder plus the name for listed files,
// the path as given for files named on the command line or opened from the panel.
std::vector<std::string> g_pointModelPaths;
std::vector<std::string> g_startupFiles;

bool validIndex(int index, const std::vector<std::string>& names) {
  return index >= 0 && static_cast<size_t>(index) < names.size();
}

// Leaf model that goes with a point model on a model switch.
int leafModelFor(int pointModelIndex) {
  if (pointModelIndex == 0) return 1;
  if (pointModelIndex == 1) return 5;
  return 2;
}

std::string fileName(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  return name.empty() ? path : name;
}

void addPointModel(const std::string& path) {
  g_pointModelNames.push_back(fileName(path));
  g_pointModelPaths.push_back(path);
}

// The point-model folder's files, then the files named on the command line or opened since,
// in the order given; a file appears once.
void listPointModels(const std::vector<std::string>& extraPaths) {
  g_pointModelNames.clear();
  g_pointModelPaths.clear();
  std::vector<std::string> names;
  if (extraPaths.empty() && listFolder(kPointModelFolder, names)) {
    for (const std::string& n : names) addPointModel(std::string(kPointModelFolder) + n);
  }
  for (const std::string& p : extraPaths) {
    if (std::find(g_pointModelPaths.begin(), g_pointModelPaths.end(), p) == g_pointModelPaths.end()) addPointModel(p);
  }
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

bool loadCurrentPointModel() {
  if (!validIndex(g_nCurrSelected, g_pointModelPaths)) {
    std::printf("No point model to load.\n");
    return false;
  }
  const std::string& path = g_pointModelPaths[g_nCurrSelected];
  if (!loadPointCloud(path, {}, nullptr, windowLoadOptions())) return false;
  g_modelPath = path;
  return true;
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
  // A model that fails to load leaves everything as it was: the shown model, its settings and
  // its leaf model.
  const SettingsSnapshot before = takeSettingsSnapshot();
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
  if (loadCurrentPointModel()) return;
  const int loadedLeaf = g_nCurrLeafModel;
  restoreSettings(before);
  if (g_nCurrLeafModel != loadedLeaf) loadCurrentLeafModel();
  std::printf("The previous model is kept.\n");
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

void setStartupModelFiles(const std::vector<std::string>& paths) {
  g_startupFiles = paths;
}

bool openPointModelFile(const std::string& path) {
  const size_t listed = g_pointModelPaths.size();
  auto known = std::find(g_pointModelPaths.begin(), g_pointModelPaths.end(), path);
  if (known == g_pointModelPaths.end()) {
    addPointModel(path);
    known = g_pointModelPaths.end() - 1;
  }
  const int index = static_cast<int>(known - g_pointModelPaths.begin());
  selectModel(index);
  if (g_nCurrSelected == index && currentModelPath() == path) return true;
  // Not loaded: a file that was not in the list before leaves it again.
  if (g_pointModelPaths.size() > listed) {
    g_pointModelPaths.pop_back();
    g_pointModelNames.pop_back();
  }
  return false;
}

void setUpAxisAndReload(int upAxis) {
  if (upAxis < 0 || upAxis > 2) return;
  const int previous = g_nUpAxis;
  g_nUpAxis = upAxis;
  if (!loadCurrentPointModel()) g_nUpAxis = previous;
}

void relistPointModels() {
  const std::string current = validIndex(g_nCurrSelected, g_pointModelPaths) ? g_pointModelPaths[g_nCurrSelected] : "";
  std::vector<std::string> extra;
  for (const std::string& p : g_pointModelPaths) {
    if (p.rfind(kPointModelFolder, 0) != 0) extra.push_back(p);
  }
  listPointModels({});
  for (const std::string& p : extra) {
    if (std::find(g_pointModelPaths.begin(), g_pointModelPaths.end(), p) == g_pointModelPaths.end()) addPointModel(p);
  }
  if (current.empty()) return;
  auto it = std::find(g_pointModelPaths.begin(), g_pointModelPaths.end(), current);
  if (it == g_pointModelPaths.end()) {
    addPointModel(current);  // the shown model stays selectable even if its file went away
    it = g_pointModelPaths.end() - 1;
  }
  g_nCurrSelected = static_cast<int>(it - g_pointModelPaths.begin());
}

void loadStartupModels() {
  listPointModels(g_startupFiles);
  loadCurrentPointModel();
  listFolder(kLeafModelFolder, g_leafModelNames);
  loadCurrentLeafModel();
}
