#include "settings/settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

// Every scalar setting with its start value, in definition order: derived values follow
// the settings they are derived from, so both the static initialisation and
// resetSettingsToStartValues() compute them from fresh values.
#define FRONDAREL_SCALAR_SETTINGS(X)                \
  X(int, g_nCurrSelected, 0)                        \
  X(double, g_dVoxelSize, 0.18)                     \
  X(double, g_dConstraintAngle, 90.0)               \
  X(bool, g_bSpeedup, true)                         \
  X(bool, g_bShowPoints, true)                      \
  X(bool, g_bShowAxis, true)                        \
  X(bool, g_bShowVoxel, false)                      \
  X(bool, g_bShowGraph, true)                       \
  X(bool, g_bShowTree, true)                        \
  X(bool, g_bShowLeaves, true)                      \
  X(double, g_dRunTime, 0.0)                        \
  X(double, g_dTwigRemoveRatio, 0.02)               \
  X(double, g_dBranchRatio, 2.0)                    \
  X(double, g_dBranchThickness, 0.04)               \
  X(int, g_nLeafDensity, 4)                         \
  X(int, g_nLeafInfluence, 10)                      \
  X(double, g_dLeafSize, 0.2)                       \
  X(int, g_nLeafPhyllotaxis, 1)                     \
  X(int, g_nCurrLeafModel, 0)                       \
  X(bool, g_bRotateAnim, false)                     \
  X(double, g_dStepSize, 0.2)                       \
  X(int, g_nKNN, 16)                                \
  X(int, g_nKNNUsed, g_nKNN)                        \
  X(double, g_dKillDistance, 2.0 * g_dStepSize)     \
  X(double, g_dInfluenceRadius, 10.0 * g_dStepSize) \
  X(double, g_dSearchRadius, 1.2)                   \
  X(double, g_dAngle1, 70.0)                        \
  X(double, g_dAngle2, 70.0)                        \
  X(double, g_dAngle3, 30.0)                        \
  X(double, g_dAngle4, 75.0)                        \
  X(double, g_dFieldRadialExponent, 1.0)            \
  X(double, g_dFieldHeightExponent, 1.4)            \
  X(double, g_dFieldTopAngle, 80.0)                 \
  X(double, g_dFieldBottomAngle, -40.0)             \
  X(int, g_bRefineTrunk, 0)                         \
  X(bool, g_bShowGroundPoints, true)                \
  X(bool, g_bShowDirections, false)                 \
  X(bool, g_bShowPathTree, false)                   \
  X(bool, g_bLevelLines, false)                     \
  X(int32_t, g_level, 0)                            \
  X(int32_t, g_nMaxLevel, 1)                        \
  X(double, g_dModelLongitude, 0.0)                 \
  X(double, g_dModelLatitude, 0.0)                  \
  X(float, g_fCamX, 0.0f)                           \
  X(float, g_fCamY, -10.0f)                         \
  X(float, g_fCamZ, -20.0f)                         \
  X(float, g_fRotX, 10.0f)                          \
  X(float, g_fRotY, 0.0f)                           \
  X(float, g_fRotZ, 0.0f)                           \
  X(double, g_dPointOffsetX, 0.0)                   \
  X(int, g_nWindowWidth, 1600)                      \
  X(int, g_nWindowHeight, 900)                      \
  X(bool, g_bFullscreen, false)                     \
  X(bool, g_bCapturing, false)                      \
  X(double, g_dCurrTime, 0.0)                       \
  X(double, g_dPrevTime, 0.0)

#define FRONDAREL_DEFINE_SETTING(type, name, start) type name = start;
FRONDAREL_SCALAR_SETTINGS(FRONDAREL_DEFINE_SETTING)
#undef FRONDAREL_DEFINE_SETTING

namespace {
constexpr float kStartBranchColor[3] = {183.0f / 255.0f, 124.0f / 255.0f, 64.0f / 255.0f};
constexpr float kStartLeafColor[3] = {0.1f, 0.5f, 0.15f};
constexpr float kStartBackgroundColor[3] = {1.0f, 1.0f, 1.0f};
}  // namespace

float g_fBranchColor[3] = {kStartBranchColor[0], kStartBranchColor[1], kStartBranchColor[2]};
float g_fLeafColor[3] = {kStartLeafColor[0], kStartLeafColor[1], kStartLeafColor[2]};
float g_fBackgroundColor[3] = {kStartBackgroundColor[0], kStartBackgroundColor[1], kStartBackgroundColor[2]};

void resetSettingsToStartValues() {
#define FRONDAREL_RESET_SETTING(type, name, start) name = start;
  FRONDAREL_SCALAR_SETTINGS(FRONDAREL_RESET_SETTING)
#undef FRONDAREL_RESET_SETTING
  std::copy(kStartBranchColor, kStartBranchColor + 3, g_fBranchColor);
  std::copy(kStartLeafColor, kStartLeafColor + 3, g_fLeafColor);
  std::copy(kStartBackgroundColor, kStartBackgroundColor + 3, g_fBackgroundColor);
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
