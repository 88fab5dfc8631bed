#include "app/settings.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

int g_nCurrSelected = 0;
double g_dVoxelSize = 0.18;
double g_dConstraintAngle = 90.0;
bool g_bSpeedup = true;
bool g_bShowPoints = true;
bool g_bShowAxis = true;
bool g_bShowVoxel = false;
bool g_bShowGraph = true;
bool g_bShowTree = true;
bool g_bShowLeaves = true;
double g_dRunTime = 0.0;
double g_dTwigRemoveRatio = 0.02;
double g_dBranchRatio = 2.0;
double g_dBranchThickness = 0.04;
int g_nLeafDensity = 4;
int g_nLeafInfluence = 10;
double g_dLeafSize = 0.2;
int g_nLeafPhyllotaxis = 1;
int g_nCurrLeafModel = 0;
float g_fBranchColor[3] = {183.0f / 255.0f, 124.0f / 255.0f, 64.0f / 255.0f};
float g_fLeafColor[3] = {0.1f, 0.5f, 0.15f};
float g_fBackgroundColor[3] = {1.0f, 1.0f, 1.0f};
bool g_bRotateAnim = false;

double g_dStepSize = 0.2;
int g_nKNN = 16;
// Derived from the settings above; defined after them so that they are initialised first.
int g_nKNNUsed = g_nKNN;
double g_dKillDistance = 2.0 * g_dStepSize;
double g_dInfluenceRadius = 10.0 * g_dStepSize;
double g_dSearchRadius = 1.2;
double g_dAngle1 = 70.0;
double g_dAngle2 = 70.0;
double g_dAngle3 = 30.0;
double g_dAngle4 = 75.0;
double g_dFieldRadialExponent = 1.0;
double g_dFieldHeightExponent = 1.4;
double g_dFieldTopAngle = 80.0;
double g_dFieldBottomAngle = -40.0;
int g_bRefineTrunk = 0;
bool g_bShowGroundPoints = true;
bool g_bShowDirections = false;
bool g_bShowPathTree = false;
bool g_bLevelLines = false;

int32_t g_level = 0;
int32_t g_nMaxLevel = 1;

double g_dModelLongitude = 0.0;
double g_dModelLatitude = 0.0;

float g_fCamX = 0.0f, g_fCamY = -10.0f, g_fCamZ = -20.0f;
float g_fRotX = 10.0f, g_fRotY = 0.0f, g_fRotZ = 0.0f;
double g_dPointOffsetX = 0.0;
int g_nWindowWidth = 1600, g_nWindowHeight = 900;
bool g_bFullscreen = false;
bool g_bCapturing = false;
double g_dCurrTime = 0.0, g_dPrevTime = 0.0;

void resetSettingsToStartValues() {
  g_nCurrSelected = 0;
  g_dVoxelSize = 0.18;
  g_dConstraintAngle = 90.0;
  g_bSpeedup = true;
  g_bShowPoints = true;
  g_bShowAxis = true;
  g_bShowVoxel = false;
  g_bShowGraph = true;
  g_bShowTree = true;
  g_bShowLeaves = true;
  g_dRunTime = 0.0;
  g_dTwigRemoveRatio = 0.02;
  g_dBranchRatio = 2.0;
  g_dBranchThickness = 0.04;
  g_nLeafDensity = 4;
  g_nLeafInfluence = 10;
  g_dLeafSize = 0.2;
  g_nLeafPhyllotaxis = 1;
  g_nCurrLeafModel = 0;
  g_fBranchColor[0] = 183.0f / 255.0f;
  g_fBranchColor[1] = 124.0f / 255.0f;
  g_fBranchColor[2] = 64.0f / 255.0f;
  g_fLeafColor[0] = 0.1f;
  g_fLeafColor[1] = 0.5f;
  g_fLeafColor[2] = 0.15f;
  g_fBackgroundColor[0] = g_fBackgroundColor[1] = g_fBackgroundColor[2] = 1.0f;
  g_bRotateAnim = false;
  g_dStepSize = 0.2;
  g_nKNN = 16;
  g_nKNNUsed = g_nKNN;
  g_dKillDistance = 2.0 * g_dStepSize;
  g_dInfluenceRadius = 10.0 * g_dStepSize;
  g_dSearchRadius = 1.2;
  g_dAngle1 = 70.0;
  g_dAngle2 = 70.0;
  g_dAngle3 = 30.0;
  g_dAngle4 = 75.0;
  g_dFieldRadialExponent = 1.0;
  g_dFieldHeightExponent = 1.4;
  g_dFieldTopAngle = 80.0;
  g_dFieldBottomAngle = -40.0;
  g_bRefineTrunk = 0;
  g_bShowGroundPoints = true;
  g_bShowDirections = false;
  g_bShowPathTree = false;
  g_bLevelLines = false;
  g_level = 0;
  g_nMaxLevel = 1;
  g_dModelLongitude = 0.0;
  g_dModelLatitude = 0.0;
  g_fCamX = 0.0f;
  g_fCamY = -10.0f;
  g_fCamZ = -20.0f;
  g_fRotX = 10.0f;
  g_fRotY = 0.0f;
  g_fRotZ = 0.0f;
  g_dPointOffsetX = 0.0;
  g_nWindowWidth = 1600;
  g_nWindowHeight = 900;
  g_bFullscreen = false;
  g_bCapturing = false;
  g_dCurrTime = g_dPrevTime = 0.0;
}

namespace {

enum class SettingType { Double, Int, Bool };

struct NamedSetting {
  const char* headerKey;  // model-file header key, or nullptr
  const char* globalName;
  SettingType type;
  void* target;
};

const NamedSetting kNamedSettings[] = {
    {"resolution", "g_dVoxelSize", SettingType::Double, &g_dVoxelSize},
    {"radius", "g_dSearchRadius", SettingType::Double, &g_dSearchRadius},
    {"KNN", "g_nKNN", SettingType::Int, &g_nKNN},
    {"angle1", "g_dAngle1", SettingType::Double, &g_dAngle1},
    {"angle2", "g_dAngle2", SettingType::Double, &g_dAngle2},
    {"angle3", "g_dAngle3", SettingType::Double, &g_dAngle3},
    {"angle4", "g_dAngle4", SettingType::Double, &g_dAngle4},
    {"branchThick", "g_dBranchThickness", SettingType::Double, &g_dBranchThickness},
    {"leafSize", "g_dLeafSize", SettingType::Double, &g_dLeafSize},
    {"refineTrunk", "g_bRefineTrunk", SettingType::Int, &g_bRefineTrunk},
    {nullptr, "g_dConstraintAngle", SettingType::Double, &g_dConstraintAngle},
    {nullptr, "g_dKillDistance", SettingType::Double, &g_dKillDistance},
    {nullptr, "g_dInfluenceRadius", SettingType::Double, &g_dInfluenceRadius},
    {nullptr, "g_bSpeedup", SettingType::Bool, &g_bSpeedup},
    {nullptr, "g_dTwigRemoveRatio", SettingType::Double, &g_dTwigRemoveRatio},
    {nullptr, "g_dBranchRatio", SettingType::Double, &g_dBranchRatio},
    {nullptr, "g_nLeafDensity", SettingType::Int, &g_nLeafDensity},
    {nullptr, "g_nLeafInfluence", SettingType::Int, &g_nLeafInfluence},
    {nullptr, "g_nLeafPhyllotaxis", SettingType::Int, &g_nLeafPhyllotaxis},
    {nullptr, "g_bShowLeaves", SettingType::Bool, &g_bShowLeaves},
    {nullptr, "g_dStepSize", SettingType::Double, &g_dStepSize},
    {nullptr, "g_nKNNUsed", SettingType::Int, &g_nKNNUsed},
    {nullptr, "g_dFieldRadialExponent", SettingType::Double, &g_dFieldRadialExponent},
    {nullptr, "g_dFieldHeightExponent", SettingType::Double, &g_dFieldHeightExponent},
    {nullptr, "g_dFieldTopAngle", SettingType::Double, &g_dFieldTopAngle},
    {nullptr, "g_dFieldBottomAngle", SettingType::Double, &g_dFieldBottomAngle},
};

bool parseWhole(const std::string& text, double* out) {
  const char* begin = text.c_str();
  char* end = nullptr;
  double v = std::strtod(begin, &end);
  if (end == begin || *end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool parseWhole(const std::string& text, int* out) {
  int v = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || ptr != text.data() + text.size()) return false;
  *out = v;
  return true;
}

}  // namespace

bool setSettingByName(const std::string& name, const std::string& value, std::string* error) {
  for (const NamedSetting& s : kNamedSettings) {
    if (!(s.headerKey && name == s.headerKey) && name != s.globalName) continue;
    bool ok = false;
    switch (s.type) {
      case SettingType::Double:
        ok = parseWhole(value, static_cast<double*>(s.target));
        break;
      case SettingType::Int:
        ok = parseWhole(value, static_cast<int*>(s.target));
        break;
      case SettingType::Bool: {
        int v = 0;
        if (value == "true" || value == "on")
          v = 1, ok = true;
        else if (value == "false" || value == "off")
          v = 0, ok = true;
        else
          ok = parseWhole(value, &v);
        if (ok) *static_cast<bool*>(s.target) = v != 0;
        break;
      }
    }
    if (!ok && error) *error = "invalid value '" + value + "' for setting " + name;
    return ok;
  }
  if (error) *error = "unknown setting '" + name + "'";
  return false;
}

std::vector<std::string> settingNames() {
  std::vector<std::string> names;
  for (const NamedSetting& s : kNamedSettings) {
    names.push_back(s.headerKey ? std::string(s.headerKey) + " (" + s.globalName + ")" : s.globalName);
  }
  return names;
}
