#include <climits>
#include <cmath>
#include <cstdio>

#include "pointcloud/point_cloud.h"
#include "pointcloud/text_scanner.h"
#include "settings/settings.h"

namespace {

// The header lines in file order; each key names its setting in the settings table. The PLY
// header adds "addKeyPoints=" (not a setting: it asks for the key-point column) and repeats
// "refineTrunk=".
constexpr const char* kHeaderKeys[kPlyHeaderLines] = {"resolution", "radius",      "KNN",          "angle1",
                                                      "angle2",     "angle3",      "angle4",       "branchThick",
                                                      "leafSize",   "refineTrunk", "addKeyPoints", "refineTrunk"};

// Reads one value as scanf's "%lf" or "%ld" would for the setting's type and stores it; false
// (setting unchanged) when the conversion fails, as scanf would stop there. A value that is
// not finite, does not fit the type or lies outside the setting's range is reported and ignored.
bool readValue(TextScanner& scanner, const std::string& literal, const SettingInfo* setting, int* addKeyPoints,
               const std::string& path) {
  if (setting && setting->type == SettingType::Double) {
    double value = 0.0;
    if (!scanner.readDouble(&value)) return false;
    if (!std::isfinite(value)) {
      std::printf("ERROR: point cloud [%s]: setting %s%g is not finite and is ignored!\n", path.c_str(),
                  literal.c_str(), value);
      return true;
    }
    std::string error;
    if (!setting->assign(value, &error)) std::printf("ERROR: point cloud [%s]: %s!\n", path.c_str(), error.c_str());
    return true;
  }
  long value = 0;
  if (!scanner.readLong(&value)) return false;
  if (value < INT_MIN || value > INT_MAX) {
    std::printf("ERROR: point cloud [%s]: setting %s%ld is out of range and is ignored!\n", path.c_str(),
                literal.c_str(), value);
    return true;
  }
  if (setting) {
    std::string error;
    if (!setting->assign(static_cast<double>(value), &error)) {
      std::printf("ERROR: point cloud [%s]: %s!\n", path.c_str(), error.c_str());
    }
  } else {
    *addKeyPoints = static_cast<int>(value);
  }
  return true;
}

}  // namespace

int readSettingsHeader(TextScanner& scanner, int lineCount, const std::string& path) {
  int addKeyPoints = 0;
  for (int i = 0; i < lineCount && i < kPlyHeaderLines; ++i) {
    const std::string literal = std::string(kHeaderKeys[i]) + "=";
    const SettingInfo* setting = findSetting(kHeaderKeys[i]);
    // The line's trailing "\n" skips white space only after a successful conversion.
    if (scanner.matchLiteral(literal) && readValue(scanner, literal, setting, &addKeyPoints, path)) scanner.skipSpace();
  }
  return addKeyPoints;
}
