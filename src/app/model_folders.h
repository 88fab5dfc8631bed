#pragma once
// The model folders below the working folder, the two model-name lists and model switching.

#include <string>
#include <vector>

constexpr const char* kPointModelFolder = "./data/point_model/";
constexpr const char* kLeafModelFolder = "./data/leaf_model/";
constexpr const char* kTreeModelFolder = "./data/tree_model/";

// Appends the names of the plain files of folder to names, sorted by name. Prints
// "Empty folder!\n" and returns false (names unchanged) when the folder is missing or empty.
bool listFolder(const std::string& folder, std::vector<std::string>& names);

// The path of the current point-model file (empty before the first load).
const std::string& currentModelPath();

// Loads the current point model; false (with the reader's message) when it did not load,
// and then the previous model stays.
bool loadCurrentPointModel();
void loadCurrentLeafModel();
// Panel "Models": leaf-model mapping, settings reset, then a fresh load.
void selectModel(int index);
// Panel "Leaf models".
void selectLeafModel(int index);
// Panel "Export model": writes ./data/tree_model/<model>.txt when a tree is built.
// Returns true when a file was written.
bool exportModel();
// Start-up: lists the point models (the files given by setStartupModelFiles, in that order,
// or else the point-model folder) and the leaf-model folder, and loads point model 0 and
// leaf model 0.
void loadStartupModels();
// Files named on the command line, shown in the "Models" list instead of the folder.
void setStartupModelFiles(const std::vector<std::string>& paths);
// Opens a cloud file by its path as a model switch to it: it joins the "Models" list (once)
// and is loaded. False when it could not be loaded; the previous model then stays.
bool openPointModelFile(const std::string& path);
// Sets the up axis of the files read (g_nUpAxis: 0 as the format says, 1 Y, 2 Z) and loads
// the current model again with it.
void setUpAxisAndReload(int upAxis);
// Lists the point-model folder again (files added since start-up appear), keeping the files
// opened by path and the current selection.
void relistPointModels();
