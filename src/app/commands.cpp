#include "app/commands.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "app/globals.h"
#include "app/message_log.h"
#include "app/model_folders.h"
#include "app/pipeline.h"
#include "app/progress.h"
#include "foliage/tree_display.h"
#include "settings/settings.h"

int g_nSavedWindowWidth = 1600, g_nSavedWindowHeight = 900;
bool g_bShowKeyHelp = false;

const MenuEntry kMenuEntries[kMenuEntryCount] = {
    {"Delete(key=Delete)", 0},
    {"Insert(key=Insert)", 1},
    {"Construct Branches(key='b')", 2},
};

namespace {

WindowOps g_windowOps;

constexpr float kRotationStep = 5.0f;     // degrees per key press
constexpr float kCameraStep = 0.5f;       // model units per key press
constexpr double kPointOffsetStep = 1.0;  // model units per key press
constexpr double kMarkerStep = 0.02;
constexpr double kMarkerFloor = 0.04;  // '.' lowers the size only while it is above this

// "Run time (secs)" counts whole milliseconds, as the tick counter does.
double wholeMilliseconds(double seconds) {
  return std::floor(seconds * 1000.0) / 1000.0;
}

void endProcess() {
  if (g_windowOps.exit)
    g_windowOps.exit(0);
  else
    std::exit(0);
}

void growMarker() {
  g_reconstructor.markerSize += kMarkerStep;
}

void shrinkMarker() {
  if (g_reconstructor.markerSize > kMarkerFloor) g_reconstructor.markerSize -= kMarkerStep;
}

void toggleLevelLines() {
  g_bLevelLines = !g_bLevelLines;
  rebuildTreeDisplay(g_reconstructor.model);
}

void buildPathTree() {
  if (g_reconstructor.buildShortestPathTree()) g_bShowPathTree = true;
}

// Layer toggles of keys 1 to 5 (they normally reach the panel first).
bool toggleLayer(unsigned char key) {
  bool* layers[] = {&g_bShowPoints, &g_bShowAxis, &g_bShowVoxel, &g_bShowGraph, &g_bShowTree};
  if (key < '1' || key > '5') return false;
  bool& layer = *layers[key - '1'];
  layer = !layer;
  return true;
}

bool viewKey(unsigned char key) {
  switch (key) {
    case '8':
      g_dPointOffsetX -= kPointOffsetStep;
      return true;
    case '9':
      g_dPointOffsetX += kPointOffsetStep;
      return true;
    case 'a':
      g_fRotY += kRotationStep;
      return true;
    case 'd':
      g_fRotY -= kRotationStep;
      return true;
    case 'w':
      g_fRotX += kRotationStep;
      return true;
    case 's':
      g_fRotX -= kRotationStep;
      return true;
    case 'q':
      g_fRotZ += kRotationStep;
      return true;
    case 'e':
      g_fRotZ -= kRotationStep;
      return true;
    case 'z':
      g_fCamZ += kCameraStep;
      return true;
    case 'x':
      g_fCamZ -= kCameraStep;
      return true;
    case 'r':
      resetView();
      return true;
    case 'v':
      frameModel();
      return true;
    case 'h':
      g_bShowKeyHelp = !g_bShowKeyHelp;
      return true;
    default:
      return false;
  }
}

bool pipelineKey(unsigned char key) {
  switch (key) {
    case kKeyEscape:
      endProcess();
      return true;
    case ',':
      growMarker();
      return true;
    case '.':
      shrinkMarker();
      return true;
    case '7':
      toggleLevelLines();
      return true;
    case 'f':
      refineTreeTimed();
      return true;
    case 'g':
      reportProgress("Building the voxel graph", -1.0);
      g_reconstructor.buildVoxelGraph(g_voxelVolume);
      return true;
    case 't':
      reportProgress("Thinning the voxels", -1.0);
      g_voxelVolume.thin();
      return true;
    case 'p':
      reportProgress("Building the shortest-path tree", -1.0);
      buildPathTree();
      return true;
    case 'm':
      g_bShowGroundPoints = !g_bShowGroundPoints;
      return true;
    case 'n':
      g_bShowDirections = !g_bShowDirections;
      return true;
    case kKeyDelete:
      g_reconstructor.deleteSelectedVoxel();
      return true;
    default:
      return false;
  }
}

}  // namespace

void setWindowOps(const WindowOps& ops) {
  g_windowOps = ops;
}

void resetView() {
  g_fRotX = 10.0f;
  g_fRotY = 0.0f;
  g_fRotZ = 0.0f;
  g_fCamX = 0.0f;
  g_fCamY = -10.0f;
  g_fCamZ = -20.0f;
  g_dPointOffsetX = 0.0;
}

void toggleFullscreen() {
  if (g_bFullscreen) {
    if (g_windowOps.position) g_windowOps.position(4, 35);
    if (g_windowOps.reshape) g_windowOps.reshape(g_nSavedWindowWidth, g_nSavedWindowHeight);
    g_bFullscreen = false;
  } else {
    if (g_windowOps.position) g_windowOps.position(0, 0);
    g_nSavedWindowWidth = g_nWindowWidth;
    g_nSavedWindowHeight = g_nWindowHeight;
    if (g_windowOps.fullScreen) g_windowOps.fullScreen();
    g_bFullscreen = true;
  }
}

void reconstructTree() {
  g_dRunTime = 0.0;
  StageTimes times;
  runReconstruction(&times);
  g_bShowGraph = false;
  g_bShowTree = true;
  g_bShowPathTree = false;
  g_bShowPoints = false;
  g_dRunTime = wholeMilliseconds(times.growth);
}

void refineTreeTimed() {
  g_dRunTime = 0.0;
  double seconds = 0.0;
  runRegrowth(&seconds);
  g_dRunTime = wholeMilliseconds(seconds);
}

ViewBox modelViewBox() {
  ViewBox box;
  if (!g_pointCloud.loaded || g_pointCloud.count == 0) {
    box.min.x = 1.0;  // min > max: no box
    return box;
  }
  const PointRecord& lo = g_pointCloud.minCorner;
  const PointRecord& hi = g_pointCloud.maxCorner;
  box.min = {lo.x, lo.y, lo.z};
  box.max = {hi.x, hi.y, hi.z};
  return box;
}

ViewPoint viewPivot() {
  const ViewBox box = modelViewBox();
  return box.valid() ? box.centre() : ViewPoint{};
}

ViewPose currentViewPose() {
  ViewPose p;
  p.rotX = g_fRotX, p.rotY = g_fRotY, p.rotZ = g_fRotZ;
  p.camX = g_fCamX, p.camY = g_fCamY, p.camZ = g_fCamZ;
  return p;
}

void setViewPose(const ViewPose& p) {
  g_fRotX = p.rotX, g_fRotY = p.rotY, g_fRotZ = p.rotZ;
  g_fCamX = p.camX, g_fCamY = p.camY, g_fCamZ = p.camZ;
}

void frameModel() {
  const ViewBox box = modelViewBox();
  if (box.valid()) setViewPose(framedPose(currentViewPose(), g_nWindowWidth, g_nWindowHeight, box));
}

void frameLoadedModel() {
  const ViewBox box = modelViewBox();
  if (box.valid() && !poseShowsBox(currentViewPose(), g_nWindowWidth, g_nWindowHeight, box)) frameModel();
}

void orbitByDrag(double dxPixels, double dyPixels) {
  ViewPose p = currentViewPose();
  orbitView(p, viewPivot(), dxPixels, dyPixels);
  setViewPose(p);
}

void panByDrag(double dxPixels, double dyPixels) {
  ViewPose p = currentViewPose();
  panView(p, viewPivot(), g_nWindowHeight, dxPixels, dyPixels);
  setViewPose(p);
}

void zoomByWheel(double x, double y, double steps) {
  ViewPose p = currentViewPose();
  zoomView(p, viewPivot(), g_nWindowWidth, g_nWindowHeight, x, y, steps);
  setViewPose(p);
}

bool exportTreeCommand() {
  if (!g_reconstructor.model.isBuilt()) {
    windowMessages().add("Nothing exported: reconstruct the tree first (key b).", MessageKind::Warning);
    return false;
  }
  if (g_nCurrSelected < 0 || size_t(g_nCurrSelected) >= g_pointModelNames.size()) return false;
  const std::string path = exportPathFor(std::string(kTreeModelFolder) + g_pointModelNames[g_nCurrSelected]);
  const bool written = exportModel();
  if (written) windowMessages().add("Exported " + path, MessageKind::Done);
  return written;
}

bool exportScanFormatsCommand() {
  if (!g_reconstructor.model.isBuilt()) {
    windowMessages().add("Nothing exported: reconstruct the tree first (key b).", MessageKind::Warning);
    return false;
  }
  const std::string& input = currentModelPath();
  if (input.empty()) return false;
  const std::vector<OutputKind> kinds = {OutputKind::SkeletonPly, OutputKind::MeshObj, OutputKind::CylinderCsv,
                                         OutputKind::MeasurementsJson};
  const InputPlan plan = planOutputs({input}, kTreeModelFolder, kinds).front();
  if (!plan.refusal.empty()) {
    windowMessages().add("Nothing exported: " + plan.refusal, MessageKind::Error);
    return false;
  }
  std::string failure;
  const std::string treeName = std::filesystem::path(input).filename().string();
  if (!writeScanOutputs(plan.outputs, measureBuiltTree(), treeName, g_bShowLeaves, &failure)) {
    windowMessages().add("Export failed: " + failure, MessageKind::Error);
    return false;
  }
  for (const PlannedOutput& o : plan.outputs) windowMessages().add("Exported " + o.path, MessageKind::Done);
  return true;
}

bool keyboardCommand(unsigned char key) {
  return toggleLayer(key) || viewKey(key) || pipelineKey(key);
}

bool specialKeyCommand(int key) {
  switch (key) {
    case kSpecialKeyF1:
      g_recorder.start();
      g_bCapturing = true;
      return true;
    case kSpecialKeyF2:
      g_recorder.stop();
      g_bCapturing = false;
      return true;
    case kSpecialKeyF10:
      toggleFullscreen();
      return true;
    case kSpecialKeyLeft:
      g_fCamX -= kCameraStep;
      return true;
    case kSpecialKeyRight:
      g_fCamX += kCameraStep;
      return true;
    case kSpecialKeyUp:
      g_fCamY += kCameraStep;
      return true;
    case kSpecialKeyDown:
      g_fCamY -= kCameraStep;
      return true;
    default:
      return false;
  }
}

void menuCommand(int value) {
  if (value == 0) g_reconstructor.deleteSelectedVoxel();
}
