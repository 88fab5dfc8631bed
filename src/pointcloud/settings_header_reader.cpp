#include <climits>
#include <cmath>
#include <cstdio>

#include "settings/settings.h"
#include "pointcloud/point_cloud.h"
#include "pointcloud/text_scanner.h"

namespace {

enum class ValueKind { Double, Int };

// One line of the header: its literal text, the conversion and where the value goes.
struct HeaderLine {
  const char* literal;
  ValueKind kind;
  double* doubleTarget;
  int* intTarget;
};

// Reads one value of the given kind and stores it; false (setting unchanged) when the
// conversion fails, as scanf would stop there.
bool readValue(TextScanner& scanner, const HeaderLine& line, const std::string& path) {
  if (line.kind == ValueKind::Double) {
    double value = 0.0;
    if (!scanner.readDouble(&value)) return false;
    if (!std::isfinite(value)) {
      std::printf("ERROR: point cloud [%s]: setting %s%g is not finite and is ignored!\n", path.c_str(), line.literal,
                  value);
      return true;
    }
    *line.doubleTarget = value;
    return true;
  }
  long value = 0;
  if (!scanner.readLong(&value)) return false;
  if (value < INT_MIN || value > INT_MAX) {
    std::printf("ERROR: point cloud [%s]: setting %s%ld is out of range and is ignored!\n", path.c_str(), line.literal,
                value);
    return true;
  }
  *line.intTarget = static_cast<int>(value);
  return true;
}

}  // namespace

int readSettingsHeader(TextScanner& scanner, int lineCount, const std::string& path) {
  int addKeyPoints = 0;
  const HeaderLine lines[kPlyHeaderLines] = {
      {"resolution=", ValueKind::Double, &g_dVoxelSize, nullptr},
      {"radius=", ValueKind::Double, &g_dSearchRadius, nullptr},
      {"KNN=", ValueKind::Int, nullptr, &g_nKNN},
      {"angle1=", ValueKind::Double, &g_dAngle1, nullptr},
      {"angle2=", ValueKind::Double, &g_dAngle2, nullptr},
      {"angle3=", ValueKind::Double, &g_dAngle3, nullptr},
      {"angle4=", ValueKind::Double, &g_dAngle4, nullptr},
      {"branchThick=", ValueKind::Double, &g_dBranchThickness, nullptr},
      {"leafSize=", ValueKind::Double, &g_dLeafSize, nullptr},
      {"refineTrunk=", ValueKind::Int, nullptr, &g_bRefineTrunk},
      {"addKeyPoints=", ValueKind::Int, nullptr, &addKeyPoints},
      {"refineTrunk=", ValueKind::Int, nullptr, &g_bRefineTrunk},
  };
  for (int i = 0; i < lineCount && i < kPlyHeaderLines; ++i) {
    // The line's trailing "\n" skips white space only after a successful conversion.
    if (scanner.matchLiteral(lines[i].literal) && readValue(scanner, lines[i], path)) scanner.skipSpace();
  }
  return addKeyPoints;
}
