#pragma once
// Global settings and view state. Plain globals so that the panel, the keyboard, the
// model-file header and the batch command all edit the same values; every subsystem
// reads them directly. Start values are set in settings.cpp.

#include <cstdint>
#include <string>
#include <vector>

// ---- Settings edited by the panel ----
extern int g_nCurrSelected;        // index of the current point model
extern double g_dVoxelSize;        // voxel edge length (model units)
extern double g_dConstraintAngle;  // degrees
extern double g_dKillDistance;     // absolute distance; the panel shows it in units of g_dStepSize
extern double g_dInfluenceRadius;  // absolute distance; the panel shows it in units of g_dStepSize
extern bool g_bSpeedup;
extern bool g_bShowPoints;
extern bool g_bShowAxis;
extern bool g_bShowVoxel;
extern bool g_bShowGraph;
extern bool g_bShowTree;
extern bool g_bShowLeaves;
extern double g_dRunTime;  // seconds, shown read-only
extern double g_dTwigRemoveRatio;
extern double g_dBranchRatio;
extern double g_dBranchThickness;
extern int g_nLeafDensity;
extern int g_nLeafInfluence;
extern double g_dLeafSize;
extern int g_nLeafPhyllotaxis;
extern int g_nCurrLeafModel;
extern float g_fBranchColor[3];
extern float g_fLeafColor[3];
extern float g_fBackgroundColor[3];
extern bool g_bRotateAnim;

// ---- Settings without a panel entry (some are written by a model-file header) ----
extern double g_dStepSize;  // node step of the growth; unit of kill distance and influence radius
extern int g_nKNN;          // header "KNN="
extern int g_nKNNUsed;
extern double g_dSearchRadius;  // header "radius="
extern double g_dAngle1;        // degrees, header "angle1="
extern double g_dAngle2;        // degrees, header "angle2="
extern double g_dAngle3;        // degrees, header "angle3="
extern double g_dAngle4;        // degrees, header "angle4="
extern double g_dFieldRadialExponent;
extern double g_dFieldHeightExponent;
extern double g_dFieldTopAngle;     // degrees
extern double g_dFieldBottomAngle;  // degrees
extern int g_bRefineTrunk;          // integer flag, header "refineTrunk="
extern bool g_bShowGroundPoints;
extern bool g_bShowDirections;
extern bool g_bShowPathTree;
extern bool g_bLevelLines;

// ---- Tree levels (branch hierarchy) ----
extern int32_t g_level;      // current tree level; 0 until the first best-first growth
extern int32_t g_nMaxLevel;  // depth of the deepest segment

// ---- Geo-referenced model location (degrees) ----
extern double g_dModelLongitude;
extern double g_dModelLatitude;

// ---- View state of the frame ----
extern float g_fCamX, g_fCamY, g_fCamZ;
extern float g_fRotX, g_fRotY, g_fRotZ;
extern double g_dPointOffsetX;
extern int g_nWindowWidth, g_nWindowHeight;
extern bool g_bFullscreen;
extern bool g_bCapturing;
extern double g_dCurrTime, g_dPrevTime;

// Restores every setting and the view state to its start value (used by tests and by
// the batch command before each file).
void resetSettingsToStartValues();

// Sets one setting by its model-file header key ("resolution", "KNN", ...) or its global
// name ("g_dVoxelSize", ...). Returns false with a reason when the name is unknown or the
// value does not parse as the setting's type.
bool setSettingByName(const std::string& name, const std::string& value, std::string* error);

// Names accepted by setSettingByName, for help texts.
std::vector<std::string> settingNames();
