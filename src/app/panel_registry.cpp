#include "app/panel_registry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/commands.h"
#include "app/globals.h"
#include "app/model_folders.h"
#include "app/pipeline.h"
#include "app/progress.h"
#include "foliage/tree_display.h"
#include "settings/settings.h"

namespace {

const char* const kBarDefinitions[] = {
    " GLOBAL help='Frondarel Ver 1.0' ",
    " Frondarel position='16 16' size='360 480' color='96 64 0' alpha=192 text=light",
    " Frondarel valueswidth=fit ",
};

// ---- Change effects ----

void setVoxelSize(double v) {
  reportProgress("Building the voxel grid", -1.0);
  g_dVoxelSize = v;
  g_voxelVolume.build(g_pointCloud, g_dVoxelSize);
  showPointLayerOnly();
}

void applyTree() {
  applyTreeParameters(g_reconstructor.model);
}
void redrawTree() {
  rebuildTreeDisplay(g_reconstructor.model);
}

void copyColor(float* to, const float* from) {
  for (int i = 0; i < 3; ++i) to[i] = from[i];
}

const std::vector<std::string>* pointModelItems() {
  return &g_pointModelNames;
}
const std::vector<std::string>* leafModelItems() {
  return &g_leafModelNames;
}

PanelEntry makeEntry(const char* name, PanelKind kind, PanelAccess access, const char* definition,
                     const char* enumName = nullptr) {
  PanelEntry e;
  e.name = name;
  e.kind = kind;
  e.access = access;
  e.definition = definition;
  e.enumName = enumName;
  return e;
}

PanelEntry numberEntry(const char* name, PanelKind kind, PanelAccess access, const char* definition, double (*get)(),
                       void (*set)(double), const char* enumName = nullptr) {
  PanelEntry e = makeEntry(name, kind, access, definition, enumName);
  e.get = get;
  e.set = set;
  return e;
}

PanelEntry colorEntry(const char* name, PanelAccess access, const char* definition, void (*get)(float*),
                      void (*set)(const float*)) {
  PanelEntry e = makeEntry(name, PanelKind::Color3f, access, definition);
  e.getColor = get;
  e.setColor = set;
  return e;
}

PanelEntry buttonEntry(const char* name, const char* definition, void (*press)()) {
  PanelEntry e = makeEntry(name, PanelKind::Button, PanelAccess::Button, definition);
  e.press = press;
  return e;
}

// The table, in display order.
std::vector<PanelEntry> buildEntryTable() {
  using K = PanelKind;
  using A = PanelAccess;
  std::vector<PanelEntry> t;
  PanelEntry models = numberEntry(
      "Models", K::Enum, A::Callback, " keyIncr='<' keyDecr='>' help='Choose point cloud model.' ",
      [] { return double(g_nCurrSelected); }, [](double v) { selectModel(int(v)); }, "Tree Point Clouds");
  models.items = pointModelItems;
  t.push_back(models);
  t.push_back(numberEntry(
      "Voxel size", K::Double, A::Callback,
      " label='Voxel size' min=0.01 max=0.5 step=0.01 help='Increase/decrease voxel size.' ",
      [] { return g_dVoxelSize; }, setVoxelSize));
  t.push_back(numberEntry(
      "Constraint angle", K::Double, A::Callback,
      " label='Constraint angle' min=10.0 max=180.0 step=1.0 help='Change the constraint angle.' ",
      [] { return g_dConstraintAngle; }, [](double v) { g_dConstraintAngle = v; }));
  t.push_back(numberEntry(
      "Kill distance", K::Double, A::Callback,
      " label='Kill distance' min=0.2 max=100.0 step=0.2 help='Change the kill distance.' ",
      [] { return g_dKillDistance / g_dStepSize; }, [](double v) { g_dKillDistance = v * g_dStepSize; }));
  t.push_back(numberEntry(
      "Influence radius", K::Double, A::Callback,
      " label='Raidus of influence' min=1.0 max=1000000.0 step=1.0 help='Change the radius of influence.' ",
      [] { return g_dInfluenceRadius / g_dStepSize; }, [](double v) { g_dInfluenceRadius = v * g_dStepSize; }));
  t.push_back(numberEntry(
      "Speedup", K::Bool, A::Variable, " label='Speedup SCA' key='0' help='Toggle speedup mode.' ",
      [] { return double(g_bSpeedup); }, [](double v) { g_bSpeedup = v != 0.0; }));
  // The scan-fitting reconstruction: a switch, and its lengths in the file's units (0 derives
  // them from the scan's point spacing), in a group that starts closed.
  t.push_back(numberEntry(
      "Fit to scan", K::Bool, A::Variable, " label='Fit to scan' help='Reconstruct by fitting the scan.' ",
      [] { return double(g_bFitToScan); }, [](double v) { g_bFitToScan = v != 0.0; }));
  t.push_back(numberEntry(
      "Fit voxel size", K::Double, A::Callback,
      " group='Fit lengths' min=0.0 max=10.0 step=0.005 help='Voxel edge of the fit, 0 from the scan.' ",
      [] { return g_dFitVoxelSize; }, [](double v) { g_dFitVoxelSize = v; }));
  t.push_back(numberEntry(
      "Fit step", K::Double, A::Callback,
      " group='Fit lengths' min=0.0 max=10.0 step=0.005 help='Node spacing of the fit, 0 from the scan.' ",
      [] { return g_dFitStep; }, [](double v) { g_dFitStep = v; }));
  t.push_back(numberEntry(
      "Fit kill distance", K::Double, A::Callback,
      " group='Fit lengths' min=0.0 max=10.0 step=0.005 help='Side nodes this close to thicker wood join it, 0 from "
      "the scan.' ",
      [] { return g_dFitKillDistance; }, [](double v) { g_dFitKillDistance = v; }));
  t.push_back(numberEntry(
      "Fit influence radius", K::Double, A::Callback,
      " group='Fit lengths' min=0.0 max=100.0 step=0.01 help='Widest gap bridged to a speck of points, 0 from the "
      "scan.' ",
      [] { return g_dFitInfluenceRadius; }, [](double v) { g_dFitInfluenceRadius = v; }));
  t.push_back(buttonEntry("Reconstruct tree", "label='Reconstruct tree'  key='b' ", reconstructTree));
  t.push_back(numberEntry(
      "Show points", K::Bool, A::Variable, " label='Show points' key='1' help='Toggle point cloud mode.' ",
      [] { return double(g_bShowPoints); }, [](double v) { g_bShowPoints = v != 0.0; }));
  t.push_back(numberEntry(
      "Show axis", K::Bool, A::Variable, " label='Show axis' key='2' help='Toggle coordinate mode.' ",
      [] { return double(g_bShowAxis); }, [](double v) { g_bShowAxis = v != 0.0; }));
  t.push_back(numberEntry(
      "Show voxel", K::Bool, A::Variable, " label='Show voxel' key='3' help='Toggle volume mode.' ",
      [] { return double(g_bShowVoxel); }, [](double v) { g_bShowVoxel = v != 0.0; }));
  t.push_back(numberEntry(
      "Show graph", K::Bool, A::Variable, " label='Show graph' key='4' help='Toggle graph mode.' ",
      [] { return double(g_bShowGraph); }, [](double v) { g_bShowGraph = v != 0.0; }));
  t.push_back(numberEntry(
      "Show tree", K::Bool, A::Variable, " label='Show tree' key='5' help='Toggle tree mode.' ",
      [] { return double(g_bShowTree); }, [](double v) { g_bShowTree = v != 0.0; }));
  t.push_back(buttonEntry("Show leaves", " label='Show leaves' key='0' help='Toggle leaf mode.' ", [] {
    g_bShowLeaves = !g_bShowLeaves;
    applyTree();
  }));
  t.push_back(buttonEntry("Reset scene", "label='Reset scene'  key='r' ", resetView));
  t.push_back(numberEntry(
      "Run time (secs)", K::Double, A::ReadOnly, "help='Total elapsed time.' ", [] { return g_dRunTime; }, nullptr));
  t.push_back(numberEntry(
      "Twig remove ratio", K::Double, A::Callback,
      " group='Tree control' min=0.0 max=1.0 step=0.01 help='Change the twig remove ratio.' ",
      [] { return g_dTwigRemoveRatio; }, [](double v) { g_dTwigRemoveRatio = v; }));
  t.push_back(numberEntry(
      "Branch ratio", K::Double, A::Callback,
      " group='Tree control' min=1.2 max=4.0 step=0.1 help='Change the branch ratio.' ", [] { return g_dBranchRatio; },
      [](double v) {
        g_dBranchRatio = v;
        applyTree();
      }));
  t.push_back(numberEntry(
      "Branch thickness", K::Double, A::Callback,
      " group='Tree control' step=0.002 help='Change the branch thickness.' ", [] { return g_dBranchThickness; },
      [](double v) {
        g_dBranchThickness = v;
        applyTree();
      }));
  t.push_back(numberEntry(
      "Leaf density", K::Int32, A::Callback,
      " group='Tree control' min=2 max=16 step=1 help='Change the leaf density.' ",
      [] { return double(g_nLeafDensity); },
      [](double v) {
        g_nLeafDensity = int(v);
        applyTree();
      }));
  t.push_back(numberEntry(
      "Leaf influence", K::Int32, A::Callback,
      " group='Tree control' min=2 max=40 step=1 help='Change the leaf influence area.' ",
      [] { return double(g_nLeafInfluence); },
      [](double v) {
        g_nLeafInfluence = int(v);
        applyTree();
      }));
  t.push_back(numberEntry(
      "Leaf size", K::Double, A::Callback,
      " group='Tree control' min=0.0 max=10.0 step=0.02 help='Change the leaf size. ' ", [] { return g_dLeafSize; },
      [](double v) {
        g_dLeafSize = v;
        applyTree();
      }));
  t.push_back(numberEntry(
      "Leaf phyllotaxis", K::Int32, A::Callback,
      " group='Tree control' min=1 max=3 step=1 help='Increase/decrease the type of leaf arrangement.' ",
      [] { return double(g_nLeafPhyllotaxis); },
      [](double v) {
        g_nLeafPhyllotaxis = int(v);
        redrawTree();
      }));
  PanelEntry leafModels = numberEntry(
      "Leaf models", K::Enum, A::Callback, " group='Tree control'  help='Choose leaf model.' ",
      [] { return double(g_nCurrLeafModel); }, [](double v) { selectLeafModel(int(v)); }, "Leaf models");
  leafModels.items = leafModelItems;
  t.push_back(leafModels);
  t.push_back(colorEntry(
      "Branch color", A::Callback, " group='Tree control' help='Change the branch color. ' ",
      [](float* rgb) { copyColor(rgb, g_fBranchColor); },
      [](const float* rgb) {
        copyColor(g_fBranchColor, rgb);
        redrawTree();
      }));
  t.push_back(colorEntry(
      "Leaf color", A::Callback, " group='Tree control' help='Change the leaf color. ' ",
      [](float* rgb) { copyColor(rgb, g_fLeafColor); },
      [](const float* rgb) {
        copyColor(g_fLeafColor, rgb);
        redrawTree();
      }));
  t.push_back(colorEntry(
      "Background color", A::Variable, " label='Background' help='Change the background color.' ",
      [](float* rgb) { copyColor(rgb, g_fBackgroundColor); },
      [](const float* rgb) { copyColor(g_fBackgroundColor, rgb); }));
  t.push_back(buttonEntry("Export model", "label='Export tree model'", [] { exportTreeCommand(); }));
  t.push_back(buttonEntry("Export scan formats",
                          "label='Export scan formats' help='Write the skeleton graph (PLY), the branch mesh (OBJ), "
                          "the cylinder table (CSV) and the measurements (JSON) in the scan coordinates.' ",
                          [] { exportScanFormatsCommand(); }));
  t.push_back(numberEntry(
      "Rotate anim", K::Bool, A::Variable, " label='Rotate anim' key=F7 help='Toggle rotate animation mode.'",
      [] { return double(g_bRotateAnim); }, [](double v) { g_bRotateAnim = v != 0.0; }));
  t.push_back(numberEntry(
      "Fullscreen", K::Bool32, A::Callback, " label='Fullscreen' key=F10 help='Toggle fullscreen mode.'",
      [] { return double(g_bFullscreen); },
      [](double v) {
        if ((v != 0.0) != g_bFullscreen) toggleFullscreen();
      }));
  return t;
}

// ---- Entry options ----

int decimalsOf(const std::string& number) {
  const size_t point = number.find('.');
  if (point == std::string::npos) return 0;
  size_t end = point + 1;
  while (end < number.size() && number[end] >= '0' && number[end] <= '9') ++end;
  return int(end - point - 1);
}

// Reads a number option; a malformed one is reported and ignored.
bool numberOption(const ParsedDefinition& def, const char* key, const std::string& owner, double* out) {
  if (!def.has(key)) return false;
  const std::string text = def.value(key);
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) {
    std::printf("Panel entry %s: bad %s value '%s'\n", owner.c_str(), key, text.c_str());
    return false;
  }
  *out = v;
  return true;
}

PanelOptions parseOptions(const PanelEntry& entry) {
  ParsedDefinition def;
  std::string error;
  if (!parseDefinition(entry.definition, def, &error))
    std::printf("Panel entry %s: %s\n", entry.name.c_str(), error.c_str());
  PanelOptions o;
  o.label = def.value("label");
  o.help = def.value("help");
  o.group = def.value("group");
  o.key = def.value("key");
  o.keyIncr = def.value("keyIncr");
  o.keyDecr = def.value("keyDecr");
  o.hasMin = numberOption(def, "min", entry.name, &o.min);
  o.hasMax = numberOption(def, "max", entry.name, &o.max);
  o.hasStep = numberOption(def, "step", entry.name, &o.step) && o.step > 0.0;
  o.decimals = o.hasStep ? decimalsOf(def.value("step")) : 3;
  return o;
}

void parseBar(PanelBar& bar) {
  for (const char* text : kBarDefinitions) {
    bar.definitions.push_back(text);
    ParsedDefinition def;
    parseDefinition(text, def);
    if (def.has("help")) bar.globalHelp = def.value("help");
    if (def.has("position")) std::sscanf(def.value("position").c_str(), "%d %d", &bar.x, &bar.y);
    if (def.has("size")) std::sscanf(def.value("size").c_str(), "%d %d", &bar.width, &bar.height);
    if (def.has("color"))
      std::sscanf(def.value("color").c_str(), "%d %d %d", &bar.color[0], &bar.color[1], &bar.color[2]);
    if (def.has("alpha")) bar.alpha = std::atoi(def.value("alpha").c_str());
    if (def.has("text")) bar.lightText = def.value("text") == "light";
    if (def.has("valueswidth")) bar.valuesWidthFit = def.value("valueswidth") == "fit";
  }
}

std::vector<PanelEntry> buildEntries() {
  std::vector<PanelEntry> entries = buildEntryTable();
  for (PanelEntry& e : entries) e.options = parseOptions(e);
  return entries;
}

bool isNumeric(const PanelEntry& e) {
  return e.get != nullptr && e.kind != PanelKind::Color3f;
}

double roundToDecimals(double v, int decimals) {
  const double scale = std::pow(10.0, decimals);
  const double scaled = std::round(v * scale) / scale;
  return std::isfinite(scaled) ? scaled : v;
}

double gridBase(const PanelOptions& o) {
  return o.hasMin ? o.min : 0.0;
}

double clampToRange(const PanelEntry& e, double v) {
  const PanelOptions& o = e.options;
  if (o.hasMin && v < o.min) v = o.min;
  if (o.hasMax && v > o.max) v = o.max;
  // The panel gives branch thickness no range; the settings table's keeps tubes from turning
  // inside out (below 0) or swallowing the tree.
  if (e.name == "Branch thickness") {
    const SettingInfo* row = findSetting("g_dBranchThickness");
    v = std::clamp(v, row->min, row->max);
  }
  return v;
}

bool sameKey(const std::string& a, const std::string& b) {
  return !a.empty() && a == b;
}

}  // namespace

const std::vector<PanelEntry>& panelEntries() {
  static const std::vector<PanelEntry> entries = buildEntries();
  return entries;
}

const PanelEntry* findPanelEntry(const std::string& name) {
  for (const PanelEntry& e : panelEntries()) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

const PanelBar& panelBar() {
  static const PanelBar bar = [] {
    PanelBar b;
    parseBar(b);
    return b;
  }();
  return bar;
}

bool constrainPanelValue(const PanelEntry& entry, double value, double* out) {
  if (!std::isfinite(value)) return false;
  if (entry.kind == PanelKind::Bool || entry.kind == PanelKind::Bool32) {
    *out = value != 0.0 ? 1.0 : 0.0;
    return true;
  }
  if (entry.kind == PanelKind::Enum) {
    const std::vector<std::string>* items = entry.items ? entry.items() : nullptr;
    if (!items || items->empty()) return false;
    const double last = double(items->size() - 1);
    *out = std::round(value < 0.0 ? 0.0 : value > last ? last : value);
    return true;
  }
  const PanelOptions& o = entry.options;
  double v = clampToRange(entry, value);
  if (o.hasStep) {
    const double base = gridBase(o);
    v = roundToDecimals(base + std::round((v - base) / o.step) * o.step, o.decimals);
    v = clampToRange(entry, v);
  }
  if (entry.kind == PanelKind::Int32) v = std::round(v);
  *out = v;
  return true;
}

bool clampTypedPanelValue(const PanelEntry& entry, double value, double* out) {
  if (!std::isfinite(value) || (entry.kind != PanelKind::Double && entry.kind != PanelKind::Int32)) return false;
  double v = clampToRange(entry, value);
  if (entry.kind == PanelKind::Int32) v = std::round(v);
  *out = v;
  return true;
}

bool panelEnterNumber(const PanelEntry& entry, double value) {
  if (entry.access == PanelAccess::ReadOnly || !entry.set) return false;
  double v = 0.0;
  if (!clampTypedPanelValue(entry, value, &v)) return false;
  entry.set(v);
  return true;
}

double steppedPanelValue(const PanelEntry& entry, double current, int direction) {
  const PanelOptions& o = entry.options;
  const double step = o.hasStep ? o.step : 1.0;
  const double base = gridBase(o);
  const double position = (current - base) / step;
  // Values within a hair of a grid point count as on it.
  const double nearest = std::round(position);
  const bool onGrid = std::fabs(position - nearest) < 1e-6;
  double index;
  if (direction > 0)
    index = onGrid ? nearest + 1.0 : std::ceil(position);
  else
    index = onGrid ? nearest - 1.0 : std::floor(position);
  const int decimals = o.hasStep ? o.decimals : 0;
  return clampToRange(entry, roundToDecimals(base + index * step, decimals));
}

bool panelSetNumber(const PanelEntry& entry, double value) {
  if (!isNumeric(entry) || entry.access == PanelAccess::ReadOnly || !entry.set) return false;
  double v = 0.0;
  if (!constrainPanelValue(entry, value, &v)) return false;
  entry.set(v);
  return true;
}

bool panelSetNumber(const std::string& name, double value) {
  const PanelEntry* e = findPanelEntry(name);
  return e && panelSetNumber(*e, value);
}

bool panelGetNumber(const std::string& name, double* value) {
  const PanelEntry* e = findPanelEntry(name);
  if (!e || !isNumeric(*e)) return false;
  *value = e->get();
  return true;
}

bool panelSetColor(const std::string& name, const float rgb[3]) {
  const PanelEntry* e = findPanelEntry(name);
  if (!e || e->kind != PanelKind::Color3f || !e->setColor) return false;
  float c[3];
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(rgb[i])) return false;
    c[i] = rgb[i] < 0.0f ? 0.0f : rgb[i] > 1.0f ? 1.0f : rgb[i];
  }
  e->setColor(c);
  return true;
}

bool panelGetColor(const std::string& name, float rgb[3]) {
  const PanelEntry* e = findPanelEntry(name);
  if (!e || e->kind != PanelKind::Color3f || !e->getColor) return false;
  e->getColor(rgb);
  return true;
}

bool panelPressButton(const std::string& name) {
  const PanelEntry* e = findPanelEntry(name);
  if (!e || e->kind != PanelKind::Button || !e->press) return false;
  e->press();
  return true;
}

const PanelEntry* panelShortcutOwner(const std::string& keyName) {
  const PanelEntry* owner = nullptr;
  for (const PanelEntry& e : panelEntries()) {
    const PanelOptions& o = e.options;
    if (sameKey(o.key, keyName) || sameKey(o.keyIncr, keyName) || sameKey(o.keyDecr, keyName)) owner = &e;
  }
  return owner;
}

bool panelApplyShortcut(const std::string& keyName) {
  const PanelEntry* e = panelShortcutOwner(keyName);
  if (!e) return false;
  const PanelOptions& o = e->options;
  if (e->kind == PanelKind::Button) {
    e->press();
  } else if (sameKey(o.keyIncr, keyName) || sameKey(o.keyDecr, keyName)) {
    const double current = e->get();
    double next = 0.0;
    const double wanted = current + (sameKey(o.keyIncr, keyName) ? 1.0 : -1.0);
    // At either end of the list the key changes nothing (no reload of the same model).
    if (constrainPanelValue(*e, wanted, &next) && next != current) e->set(next);
  } else if (e->kind == PanelKind::Bool || e->kind == PanelKind::Bool32) {
    panelSetNumber(*e, e->get() != 0.0 ? 0.0 : 1.0);
  }
  return true;
}

std::string panelTooltip(const PanelEntry& entry) {
  std::string text = entry.options.help;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  auto addSentence = [&text](const std::string& sentence) {
    if (!text.empty()) text += ' ';
    text += sentence;
  };
  const PanelOptions& o = entry.options;
  if (!o.key.empty()) {
    const PanelEntry* owner = panelShortcutOwner(o.key);
    const PanelEntry* other = nullptr;
    for (const PanelEntry& e : panelEntries()) {
      if (&e != &entry && e.options.key == o.key) other = &e;
    }
    if (owner == &entry) {
      addSentence("Shortcut: key " + o.key + ".");
      if (other) addSentence("Key " + o.key + " toggles this entry, not '" + other->displayLabel() + "'.");
    } else if (owner) {
      addSentence("Key " + o.key + " is taken by '" + owner->displayLabel() + "'; click to toggle.");
    }
  }
  if (!o.keyIncr.empty() && !o.keyDecr.empty())
    addSentence("Keys " + o.keyIncr + " and " + o.keyDecr + " step through the list.");
  return text;
}

int panelValueDecimals(const PanelEntry& entry, double value) {
  if (entry.kind == PanelKind::Int32) return 0;
  // A typed value off the step grid shows the digits it needs, up to six.
  constexpr int kMostDecimals = 6;
  int decimals = entry.options.decimals;
  while (decimals < kMostDecimals &&
         std::fabs(roundToDecimals(value, decimals) - value) > 1e-9 * std::fmax(1.0, std::fabs(value)))
    ++decimals;
  return decimals;
}

std::string formatPanelValue(const PanelEntry& entry, double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", panelValueDecimals(entry, value), value);
  return text;
}
