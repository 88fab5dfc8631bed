#include "app/panel_help.h"

#include <cctype>
#include <cstring>

#include "app/panel_registry.h"
#include "settings/settings.h"

namespace {

// Entries that edit one setting directly: the setting's help and unit describe them.
struct SettingEntry {
  const char* entry;
  const char* setting;
};
constexpr SettingEntry kSettingEntries[] = {
    {"Voxel size", "g_dVoxelSize"},
    {"Constraint angle", "g_dConstraintAngle"},
    {"Speedup", "g_bSpeedup"},
    {"Show leaves", "g_bShowLeaves"},
    {"Run time (secs)", "g_dRunTime"},
    {"Twig remove ratio", "g_dTwigRemoveRatio"},
    {"Branch ratio", "g_dBranchRatio"},
    {"Branch thickness", "g_dBranchThickness"},
    {"Leaf density", "g_nLeafDensity"},
    {"Leaf influence", "g_nLeafInfluence"},
    {"Leaf size", "g_dLeafSize"},
    {"Leaf phyllotaxis", "g_nLeafPhyllotaxis"},
    {"Fit to scan", "g_bFitToScan"},
    {"Fit voxel size", "g_dFitVoxelSize"},
    {"Fit step", "g_dFitStep"},
    {"Fit kill distance", "g_dFitKillDistance"},
    {"Fit influence radius", "g_dFitInfluenceRadius"},
};

struct WrittenEntry {
  const char* entry;
  const char* what;
  const char* unit;
};
constexpr WrittenEntry kWrittenEntries[] = {
    {"Models", "Loads a point cloud from data/point_model/; the view is framed when the model does not fit it.", ""},
    {"Kill distance",
     "Space colonisation: cloud points closer than this to a new skeleton node are consumed. "
     "Counted in growth steps.",
     "growth steps"},
    {"Influence radius",
     "Space colonisation: cloud points farther than this from every skeleton node attract nothing. "
     "Counted in growth steps.",
     "growth steps"},
    {"Reconstruct tree",
     "Thins the voxels, builds the voxel graph and grows the skeleton into a tree model; then shows the tree alone.",
     ""},
    {"Show points", "Shows or hides the scanned points.", "on/off"},
    {"Show axis", "Shows or hides the cloud's bounding box and axes.", "on/off"},
    {"Show voxel", "Shows or hides the voxel grid.", "on/off"},
    {"Show graph", "Shows or hides the voxel graph (or the skeleton after key p).", "on/off"},
    {"Show tree", "Shows or hides the tree model.", "on/off"},
    {"Reset scene", "Puts the view back to its start: rotation 10, 0, 0 degrees, camera 0, -10, -20.", ""},
    {"Leaf models", "Loads a leaf shape and colours from data/leaf_model/ for the tree's leaves.", "file name"},
    {"Branch color", "Colour of the branch tubes.", "red, green, blue"},
    {"Leaf color", "Colour of the leaves.", "red, green, blue"},
    {"Background color", "Colour behind the scene.", "red, green, blue"},
    {"Export model",
     "Writes the tree's branches (x, y, z and radius per node, in the cloud file's units) to "
     "data/tree_model/<model>.txt.",
     ""},
    {"Export scan formats",
     "Writes, in the scan's own coordinates and units, the skeleton graph (<model>_skeleton.ply), "
     "the branch mesh with the leaves shown (<model>_mesh.obj), the cylinder table "
     "(<model>_cylinders.csv) and the measurements (<model>_measurements.json) to data/tree_model/.",
     ""},
    {"Rotate anim", "Turns the scene one degree per frame about the vertical axis.", "on/off"},
    {"Fullscreen", "Fills the screen with the window, or returns to the window's size.", "on/off"},
};

const SettingInfo* settingNamed(const char* name) {
  for (const SettingInfo& s : settingTable())
    if (std::strcmp(s.name, name) == 0) return &s;
  return nullptr;
}

// "edge length of a voxel" -> "Edge length of a voxel."
std::string sentence(const char* phrase) {
  std::string s = phrase;
  if (s.empty()) return s;
  s[0] = char(std::toupper(static_cast<unsigned char>(s[0])));
  if (s.back() != '.') s += '.';
  return s;
}

std::string withDescription(std::string text, const EntryDescription& d) {
  if (d.what.empty()) return text;
  if (!text.empty()) text += "\n\n";
  text += d.what;
  if (!d.unit.empty()) text += "\nUnit: " + d.unit + ".";
  return text;
}

}  // namespace

EntryDescription panelEntryDescription(const std::string& name) {
  for (const SettingEntry& e : kSettingEntries) {
    if (name != e.entry) continue;
    const SettingInfo* s = settingNamed(e.setting);
    if (s) return {sentence(s->help), s->unit};
  }
  for (const WrittenEntry& e : kWrittenEntries)
    if (name == e.entry) return {e.what, e.unit};
  return {};
}

std::string panelEntryTooltip(const PanelEntry& entry) {
  return withDescription(panelTooltip(entry), panelEntryDescription(entry.name));
}

std::string frameModelTooltip() {
  return withDescription("Frame the model. Shortcut: key v.",
                         {"Moves the camera so the whole cloud fills the view, keeping the rotation.", ""});
}

const std::vector<KeyHelp>& keyHelpTable() {
  static const std::vector<KeyHelp> table = {
      {"Left drag", "orbit about the model"},
      {"Middle drag, Shift + left drag", "pan"},
      {"Wheel", "zoom towards the pointer"},
      {"Right click", "menu"},
      {"v", "frame the model"},
      {"r", "reset the view"},
      {"a / d, w / s, q / e", "rotate about Y, X, Z"},
      {"z / x", "zoom in / out"},
      {"Arrow keys", "move the camera"},
      {"8 / 9", "shift the points"},
      {"1 2 3 4 5", "points, axis, voxels, graph, tree"},
      {"0", "leaves"},
      {"< / >", "next / previous model"},
      {"b", "reconstruct the tree"},
      {"t / g", "thin the voxels / build the graph"},
      {"f", "best-first regrowth"},
      {"p", "shortest-path tree"},
      {"Delete", "remove the root vertex"},
      {"7", "branches as depth lines"},
      {"m / n", "ground points / direction field"},
      {", / .", "larger / smaller markers"},
      {"F1 / F2", "start / stop frame capture"},
      {"F7", "rotate animation"},
      {"F10", "full screen"},
      {"h", "this help"},
      {"Esc", "quit"},
  };
  return table;
}
