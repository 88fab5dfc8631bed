#include "settings/settings.h"

#include <algorithm>
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

namespace {

std::string numberText(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

}  // namespace

std::string SettingInfo::displayName() const {
  return headerKey ? std::string(headerKey) + " (" + name + ")" : std::string(name);
}

bool SettingInfo::assign(double v, std::string* error) const {
  const bool whole = type == SettingType::Int || type == SettingType::Bool;
  const char* problem = nullptr;
  if (!std::isfinite(v)) {
    problem = "is not a finite number";
  } else if (v < min || v > max) {
    problem = "is outside its range";
  } else if (whole && v != std::floor(v)) {
    problem = "is not a whole number; its range is";
  }
  if (!problem) {
    store(v);
    return true;
  }
  if (error) {
    *error = "setting " + displayName() + " = " + numberText(v) + " " + problem;
    if (std::isfinite(v)) *error += " " + numberText(min) + ".." + numberText(max);
    *error += "; it keeps " + numberText(value());
  }
  return false;
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

// A plain decimal number: optional sign, digits with at most one point (at least one digit),
// then optionally e or E, an optional sign and digits. Nothing else, not even spaces.
bool isPlainDecimal(const std::string& text, bool integer) {
  size_t i = 0;
  const size_t n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  bool point = false;
  for (; i < n; ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      ++digits;
    } else if (text[i] == '.' && !point && !integer) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E') && !integer) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    const size_t exponentStart = i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == exponentStart) return false;
  }
  return i == n;
}

// The whole text is one plain decimal number (finite or not: the range check says which).
bool parseWhole(const std::string& text, double* out) {
  if (!isPlainDecimal(text, false)) return false;
  *out = std::strtod(text.c_str(), nullptr);
  return true;
}

// A plain decimal integer, read as a double so that a value beyond int fails the range check
// with the range in the message rather than as text that does not parse.
bool parseInteger(const std::string& text, double* out) {
  if (!isPlainDecimal(text, true)) return false;
  *out = std::strtod(text.c_str(), nullptr);
  return true;
}

bool parseBool(const std::string& text, bool* out) {
  if (text == "true" || text == "on" || text == "1") {
    *out = true;
  } else if (text == "false" || text == "off" || text == "0") {
    *out = false;
  } else {
    return false;
  }
  return true;
}

bool parseValue(const SettingInfo& s, const std::string& text, double* out) {
  switch (s.type) {
    case SettingType::Double:
    case SettingType::Float:
      return parseWhole(text, out);
    case SettingType::Int:
      return parseInteger(text, out);
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
    names += s.displayName();
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
    if (error) *error = "invalid value '" + value + "' for setting " + name + " (a plain decimal number is expected)";
    return false;
  }
  return s->assign(v, error);
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
