#include "settings/settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#define FRONDAREL_DEFINE_SETTING(type, name, start, ...) type name = start;
FRONDAREL_SETTINGS(FRONDAREL_DEFINE_SETTING)
#undef FRONDAREL_DEFINE_SETTING

namespace {
constexpr float kStartBranchColor[3] = {183.0f / 255.0f, 124.0f / 255.0f, 64.0f / 255.0f};
constexpr float kStartLeafColor[3] = {0.1f, 0.5f, 0.15f};
constexpr float kStartBackgroundColor[3] = {1.0f, 1.0f, 1.0f};

template <typename T>
constexpr SettingType typeOf() {
  static_assert(std::is_same_v<T, double> || std::is_same_v<T, int> || std::is_same_v<T, bool> ||
                std::is_same_v<T, float>);
  if constexpr (std::is_same_v<T, double>) return SettingType::Double;
  if constexpr (std::is_same_v<T, int>) return SettingType::Int;
  if constexpr (std::is_same_v<T, bool>) return SettingType::Bool;
  return SettingType::Float;
}

}  // namespace

float g_fBranchColor[3] = {kStartBranchColor[0], kStartBranchColor[1], kStartBranchColor[2]};
float g_fLeafColor[3] = {kStartLeafColor[0], kStartLeafColor[1], kStartLeafColor[2]};
float g_fBackgroundColor[3] = {kStartBackgroundColor[0], kStartBackgroundColor[1], kStartBackgroundColor[2]};

double SettingInfo::value() const {
  switch (type) {
    case SettingType::Double:
      return *static_cast<const double*>(target);
    case SettingType::Int:
      return *static_cast<const int*>(target);
    case SettingType::Bool:
      return *static_cast<const bool*>(target) ? 1.0 : 0.0;
    case SettingType::Float:
      return *static_cast<const float*>(target);
  }
  return 0.0;
}

void SettingInfo::store(double v) const {
  switch (type) {
    case SettingType::Double:
      *static_cast<double*>(target) = v;
      break;
    case SettingType::Int:
      *static_cast<int*>(target) = static_cast<int>(v);
      break;
    case SettingType::Bool:
      *static_cast<bool*>(target) = v != 0.0;
      break;
    case SettingType::Float:
      *static_cast<float*>(target) = static_cast<float>(v);
      break;
  }
}

const std::vector<SettingInfo>& settingTable() {
#define FRONDAREL_SETTING_ROW(type, name, start, key, switchValue, min, max, unit, help, userSet) \
  SettingInfo{#name, typeOf<type>(), &name, key, switchValue, min, max, unit, help, userSet},
  static const std::vector<SettingInfo> table = {FRONDAREL_SETTINGS(FRONDAREL_SETTING_ROW)};
#undef FRONDAREL_SETTING_ROW
  return table;
}

const SettingInfo* findSetting(const std::string& name) {
  for (const SettingInfo& s : settingTable()) {
    if (!s.userSet) continue;
    if ((s.headerKey && name == s.headerKey) || name == s.name) return &s;
  }
  return nullptr;
}

void resetSettingsToStartValues() {
#define FRONDAREL_RESET_SETTING(type, name, start, ...) name = start;
  FRONDAREL_SETTINGS(FRONDAREL_RESET_SETTING)
#undef FRONDAREL_RESET_SETTING
  std::copy(kStartBranchColor, kStartBranchColor + 3, g_fBranchColor);
  std::copy(kStartLeafColor, kStartLeafColor + 3, g_fLeafColor);
  std::copy(kStartBackgroundColor, kStartBackgroundColor + 3, g_fBackgroundColor);
}

void applyModelSwitchValues() {
  for (const SettingInfo& s : settingTable()) {
    if (!std::isnan(s.switchValue)) s.store(s.switchValue);
  }
}

namespace {

// The whole text is one number, as strtod reads it, and finite.
bool parseWhole(const std::string& text, double* out) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double v = std::strtod(begin, &end);
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

bool parseBool(const std::string& text, bool* out) {
  int v = 0;
  if (text == "true" || text == "on") {
    v = 1;
  } else if (text == "false" || text == "off") {
    v = 0;
  } else if (!parseWhole(text, &v)) {
    return false;
  }
  *out = v != 0;
  return true;
}

bool parseValue(const SettingInfo& s, const std::string& text, double* out) {
  switch (s.type) {
    case SettingType::Double:
    case SettingType::Float:
      return parseWhole(text, out);
    case SettingType::Int: {
      int v = 0;
      if (!parseWhole(text, &v)) return false;
      *out = v;
      return true;
    }
    case SettingType::Bool: {
      bool v = false;
      if (!parseBool(text, &v)) return false;
      *out = v ? 1.0 : 0.0;
      return true;
    }
  }
  return false;
}

std::string validNames() {
  std::string names;
  for (const SettingInfo& s : settingTable()) {
    if (!s.userSet) continue;
    names += names.empty() ? "" : ", ";
    names += s.headerKey ? std::string(s.headerKey) + " (" + s.name + ")" : s.name;
  }
  return names;
}

}  // namespace

bool setSettingByName(const std::string& name, const std::string& value, std::string* error) {
  const SettingInfo* s = findSetting(name);
  if (!s) {
    if (error) *error = "unknown setting '" + name + "'; valid settings: " + validNames();
    return false;
  }
  double v = 0.0;
  if (!parseValue(*s, value, &v)) {
    if (error) *error = "invalid value '" + value + "' for setting " + name;
    return false;
  }
  s->store(v);
  return true;
}

SettingsSnapshot takeSettingsSnapshot() {
  SettingsSnapshot s;
  for (const SettingInfo& row : settingTable()) s.values.push_back(row.value());
  std::copy(g_fBranchColor, g_fBranchColor + 3, s.colours[0]);
  std::copy(g_fLeafColor, g_fLeafColor + 3, s.colours[1]);
  std::copy(g_fBackgroundColor, g_fBackgroundColor + 3, s.colours[2]);
  return s;
}

void restoreSettings(const SettingsSnapshot& snapshot) {
  const std::vector<SettingInfo>& table = settingTable();
  for (size_t i = 0; i < table.size() && i < snapshot.values.size(); ++i) table[i].store(snapshot.values[i]);
  std::copy(snapshot.colours[0], snapshot.colours[0] + 3, g_fBranchColor);
  std::copy(snapshot.colours[1], snapshot.colours[1] + 3, g_fLeafColor);
  std::copy(snapshot.colours[2], snapshot.colours[2] + 3, g_fBackgroundColor);
}

std::string startValueText(const SettingInfo& row) {
  // Start values may be derived from other settings, so they are read after a reset of
  // every setting, and the current values are put back afterwards.
  const SettingsSnapshot current = takeSettingsSnapshot();
  resetSettingsToStartValues();
  const double start = row.value();
  restoreSettings(current);

  char text[64];
  if (row.type == SettingType::Bool) return start != 0.0 ? "on" : "off";
  std::snprintf(text, sizeof text, "%g", start);
  return text;
}
