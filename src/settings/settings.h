#pragma once
// Global settings and view state. Plain globals so that the panel, the keyboard, the
// model-file header and the batch command all edit the same values; every subsystem
// reads them directly.
//
// Each setting has one row in FRONDAREL_SETTINGS below: its type, global name, start value,
// model-file header key, the value a model switch gives it, the range a header, --set or the
// panel may give it, its unit and a few words on what it does. The globals, their start
// values, the header reader, --set, the model-switch reset and --help are all built from it.

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

// Column values for rows that have no header key, keep their value on a model switch, or
// are not edited by a user (run and view state).
#define FR_NO_KEY nullptr
#define FR_KEEP std::numeric_limits<double>::quiet_NaN()
#define FR_LOW (-std::numeric_limits<double>::infinity())
#define FR_HIGH std::numeric_limits<double>::infinity()

// X(type, name, start, header key, model-switch value, min, max, unit, help, user-set)
// Rows are in definition order: derived start values follow the settings they come from.
// Ranges come from the panel where it has one. Kill distance and influence radius are stored
// in model units but shown by the panel in steps (g_dStepSize), so their ranges cover the
// panel's range at every step size: 0.2..100 and 1..1e6 steps of 0.001..10.
#define FRONDAREL_SETTINGS(X)                                                                                          \
  X(int, g_nCurrSelected, 0, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "index of the current point model", false)       \
  X(double, g_dVoxelSize, 0.18, "resolution", 0.2, 0.01, 0.5, "model units",                                           \
    "edge length of a voxel; smaller voxels give a finer graph and a slower reconstruction", true)                     \
  X(double, g_dConstraintAngle, 90.0, FR_NO_KEY, FR_KEEP, 10.0, 180.0, "degrees",                                      \
    "space colonisation: largest angle between a node's direction and a point that attracts it", true)                 \
  X(bool, g_bSpeedup, true, FR_NO_KEY, FR_KEEP, 0, 1, "on/off",                                                        \
    "space colonisation: only the last growing nodes grow and consume points", true)                                   \
  X(bool, g_bFitToScan, false, FR_NO_KEY, FR_KEEP, 0, 1, "on/off",                                                     \
    "reconstruct by fitting the scan (its own units, radii from the points) instead of space colonisation", true)      \
  X(double, g_dFitVoxelSize, 0.0, FR_NO_KEY, FR_KEEP, 0.0, 10.0, "file units",                                         \
    "fit to scan: voxel edge of the graph over the wood; 0 takes 1.5 point spacings", true)                            \
  X(double, g_dFitStep, 0.0, FR_NO_KEY, FR_KEEP, 0.0, 10.0, "file units",                                              \
    "fit to scan: node spacing along thin wood; 0 takes one voxel", true)                                              \
  X(double, g_dFitKillDistance, 0.0, FR_NO_KEY, FR_KEEP, 0.0, 10.0, "file units",                                      \
    "fit to scan: a side node this close to thicker wood becomes part of it; 0 takes two voxels", true)                \
  X(double, g_dFitInfluenceRadius, 0.0, FR_NO_KEY, FR_KEEP, 0.0, 100.0, "file units",                                  \
    "fit to scan: widest gap bridged even to a speck of one or two points; 0 takes 8 point spacings", true)            \
  X(bool, g_bShowPoints, true, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "point layer shown", false)                    \
  X(bool, g_bShowAxis, true, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "box and axes shown", false)                     \
  X(bool, g_bShowVoxel, false, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "voxel layer shown", false)                    \
  X(bool, g_bShowGraph, true, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "graph layer shown", false)                     \
  X(bool, g_bShowTree, true, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "tree layer shown", false)                       \
  X(bool, g_bShowLeaves, true, FR_NO_KEY, FR_KEEP, 0, 1, "on/off", "leaves drawn on the branch tips", true)            \
  X(double, g_dRunTime, 0.0, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "s", "time of the last growth pass", false)          \
  X(double, g_dTwigRemoveRatio, 0.02, FR_NO_KEY, FR_KEEP, 0.0, 1.0, "share of the trunk length",                       \
    "branches shorter than this share of the trunk are pruned", true)                                                  \
  X(double, g_dBranchRatio, 2.0, FR_NO_KEY, FR_KEEP, 1.2, 4.0, "exponent",                                             \
    "pipe model: a parent's radius^ratio is the sum of its children's", true)                                          \
  X(double, g_dBranchThickness, 0.04, "branchThick", 0.04, 0.0, 10.0, "model units",                                   \
    "radius every branch tip starts from in the pipe model", true)                                                     \
  X(int, g_nLeafDensity, 4, FR_NO_KEY, FR_KEEP, 2, 16, "leaves", "leaves per branch segment", true)                    \
  X(int, g_nLeafInfluence, 10, FR_NO_KEY, FR_KEEP, 2, 40, "nodes",                                                     \
    "leaves sit on the segments between this many last nodes of each branch", true)                                    \
  X(double, g_dLeafSize, 0.2, "leafSize", 0.13, 0.0, 10.0, "model units", "scale of the leaf model", true)             \
  X(int, g_nLeafPhyllotaxis, 1, FR_NO_KEY, FR_KEEP, 1, 3, "", "leaf arrangement: 1 spiral, 2 alternate, 3 decussate",  \
    true)                                                                                                              \
  X(int, g_nCurrLeafModel, 0, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "index of the current leaf model", false)       \
  X(int, g_nUpAxis, 0, FR_NO_KEY, FR_KEEP, 0, 2, "",                                                                   \
    "up axis of the clouds the window reads: 0 as the format says, 1 Y, 2 Z", false)                                   \
  X(bool, g_bRotateAnim, false, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "scene turns one degree per frame", false)    \
  X(double, g_dStepSize, 0.2, FR_NO_KEY, FR_KEEP, 0.001, 10.0, "model units",                                          \
    "space colonisation: length of one growth step; unit of the panel's kill distance and influence radius", true)     \
  X(int, g_nKNN, 16, "KNN", 16, 0, 1000, "vertices",                                                                   \
    "graph: a vertex with fewer neighbours in the search radius "                                                      \
    "is linked to this many nearest",                                                                                  \
    true)                                                                                                              \
  X(int, g_nKNNUsed, g_nKNN, FR_NO_KEY, 16, 0, 1000, "vertices", "the K the graph was built with", true)               \
  X(double, g_dKillDistance, 2.0 * g_dStepSize, FR_NO_KEY, FR_KEEP, 0.0002, 1000.0, "model units",                     \
    "space colonisation: points closer than this to a new node are consumed (the panel shows it in steps, 0.2..100)",  \
    true)                                                                                                              \
  X(double, g_dInfluenceRadius, 10.0 * g_dStepSize, FR_NO_KEY, FR_KEEP, 0.001, 1e7, "model units",                     \
    "space colonisation: points farther than this from every node attract nothing (the panel shows it in steps, "      \
    "1..1e6)",                                                                                                         \
    true)                                                                                                              \
  X(double, g_dSearchRadius, 1.2, "radius", 1.2, 0.001, 100.0, "model units",                                          \
    "graph: vertices closer than this are neighbours", true)                                                           \
  X(double, g_dAngle1, 70.0, "angle1", 70.0, 0.0, 180.0, "degrees", "regrowth (key f): widest cone of a branch", true) \
  X(double, g_dAngle2, 70.0, "angle2", 70.0, 0.0, 180.0, "degrees",                                                    \
    "regrowth: largest angle between a candidate's field direction and the step to it", true)                          \
  X(double, g_dAngle3, 30.0, "angle3", 30.0, 0.0, 180.0, "degrees",                                                    \
    "regrowth: candidates closer in angle than this merge into one branch", true)                                      \
  X(double, g_dAngle4, 75.0, "angle4", 75.0, 0.0, 180.0, "degrees",                                                    \
    "regrowth: largest horizontal angle between a candidate's field direction and the step to it", true)               \
  X(double, g_dFieldRadialExponent, 1.0, FR_NO_KEY, 1.0, 0.0, 10.0, "exponent",                                        \
    "direction field: how fast directions turn outwards with the distance from the axis", true)                        \
  X(double, g_dFieldHeightExponent, 1.4, FR_NO_KEY, 1.4, 0.0, 10.0, "exponent",                                        \
    "direction field: how the tilt changes from the crown's top to its base", true)                                    \
  X(double, g_dFieldTopAngle, 80.0, FR_NO_KEY, 80.0, -90.0, 90.0, "degrees",                                           \
    "direction field: elevation of the outer directions at the top of the crown", true)                                \
  X(double, g_dFieldBottomAngle, -40.0, FR_NO_KEY, -30.0, -90.0, 90.0, "degrees",                                      \
    "direction field: elevation of the outer directions at the base of the crown", true)                               \
  X(int, g_bRefineTrunk, 0, "refineTrunk", FR_KEEP, 0, 2, "",                                                          \
    "1 reshapes the lower trunk's taper; 2 also points the field up near the axis", true)                              \
  X(bool, g_bShowGroundPoints, true, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "ground points shown (key m)", false)    \
  X(bool, g_bShowDirections, false, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "direction field shown (key n)", false)   \
  X(bool, g_bShowPathTree, false, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "graph layer shows the skeleton (key p)",   \
    false)                                                                                                             \
  X(bool, g_bLevelLines, false, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "branches drawn as depth lines (key 7)",      \
    false)                                                                                                             \
  X(int32_t, g_level, 0, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "current tree level of the regrowth", false)         \
  X(int32_t, g_nMaxLevel, 1, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "depth of the deepest segment", false)           \
  X(double, g_dModelLongitude, 0.0, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "degrees", "longitude of the last geo cloud", \
    false)                                                                                                             \
  X(double, g_dModelLatitude, 0.0, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "degrees", "latitude of the last geo cloud",   \
    false)                                                                                                             \
  X(float, g_fCamX, 0.0f, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "camera translation", false)                        \
  X(float, g_fCamY, -10.0f, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "camera translation", false)                      \
  X(float, g_fCamZ, -20.0f, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "camera translation", false)                      \
  X(float, g_fRotX, 10.0f, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "degrees", "scene rotation", false)                    \
  X(float, g_fRotY, 0.0f, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "degrees", "scene rotation", false)                     \
  X(float, g_fRotZ, 0.0f, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "degrees", "scene rotation", false)                     \
  X(double, g_dPointOffsetX, 0.0, FR_NO_KEY, 0.0, FR_LOW, FR_HIGH, "model units",                                      \
    "shift of the point layer (keys 8, 9)", false)                                                                     \
  X(int, g_nWindowWidth, 1600, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "pixels", "window size", false)                    \
  X(int, g_nWindowHeight, 900, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "pixels", "window size", false)                    \
  X(bool, g_bFullscreen, false, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "full screen", false)                         \
  X(bool, g_bCapturing, false, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "", "frames are captured", false)                  \
  X(double, g_dCurrTime, 0.0, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "s", "frame time stamp", false)                     \
  X(double, g_dPrevTime, 0.0, FR_NO_KEY, FR_KEEP, FR_LOW, FR_HIGH, "s", "frame time stamp", false)

#define FRONDAREL_DECLARE_SETTING(type, name, ...) extern type name;
FRONDAREL_SETTINGS(FRONDAREL_DECLARE_SETTING)
#undef FRONDAREL_DECLARE_SETTING

// Colours (red, green, blue in 0..1), edited by the panel only.
extern float g_fBranchColor[3];
extern float g_fLeafColor[3];
extern float g_fBackgroundColor[3];

enum class SettingType { Double, Int, Bool, Float };

// One row of the table, as the header reader, --set, the model switch and --help see it.
struct SettingInfo {
  const char* name;  // global name, e.g. "g_dVoxelSize"
  SettingType type;
  void* target;
  const char* headerKey;  // model-file header key, or nullptr
  double switchValue;     // value given by a model switch; NaN keeps the value
  double min, max;        // range a header, --set or the panel may give
  const char* unit;
  const char* help;
  bool userSet;  // edited by users (header, --set, panel), not run or view state

  double value() const;
  // Stores v (converted to the setting's type) without any check.
  void store(double v) const;
  // Stores v when it is a finite number within [min, max] (a whole number for an int or
  // on/off setting); otherwise keeps the current value and returns false with a reason
  // naming the setting, the value and the range. The header reader, --set and the panel
  // store user values through this one check.
  bool assign(double v, std::string* error) const;
  // The name a user knows the setting by: "resolution (g_dVoxelSize)" or "g_dConstraintAngle".
  std::string displayName() const;
};

// Every row in table order.
const std::vector<SettingInfo>& settingTable();
// The row of a header key ("resolution") or global name ("g_dVoxelSize") among the user
// settings; nullptr when there is none.
const SettingInfo* findSetting(const std::string& name);

// Restores every setting and the view state to its start value (used by tests and by
// the batch command before each file).
void resetSettingsToStartValues();
// The fixed reset of a model switch: every row with a model-switch value takes it; all
// other settings keep their values.
void applyModelSwitchValues();

// Sets one setting by its model-file header key ("resolution", "KNN", ...) or its global
// name ("g_dVoxelSize", ...). The value is plain decimal text: an optional sign, digits with
// an optional point and exponent for a real setting ("0.2", "+5", "-1e-3"), digits only for
// an int, on/off/true/false/1/0 for an on/off setting; no spaces, hexadecimal, inf or nan
// (unlike the model-file header, which is read as scanf reads it). Returns false with a
// reason, the setting unchanged, when the name is unknown (the reason then lists the valid
// names), the value does not parse, or it is outside the setting's range (see assign).
bool setSettingByName(const std::string& name, const std::string& value, std::string* error);

// Every setting's value (the table's rows and the colours), to put back after an attempt
// that failed half way (a model file whose header was read but whose points were not).
struct SettingsSnapshot {
  std::vector<double> values;
  float colours[3][3] = {};
};
SettingsSnapshot takeSettingsSnapshot();
void restoreSettings(const SettingsSnapshot& snapshot);

// The start value of a row as text ("0.18", "16", "on").
std::string startValueText(const SettingInfo& row);
