#pragma once
// The user commands behind the keyboard, the special keys, the popup menu and the panel
// buttons. GL-free: window changes go through WindowOps, which the window code fills in, so
// tests drive every command without a window.
//
// Expected use in the GLUT callbacks:
//   keyboard: if (!panelKeyboard(key, x, y)) keyboardCommand(key); glutPostRedisplay();
//   special:  if (panelSpecial(key, x, y)) return; specialKeyCommand(key); glutPostRedisplay();
//   menu:     menuCommand(value);

#include <cstdint>

#include "app/view_camera.h"

// GLUT's special-key codes (same values as GLUT_KEY_*), so this header needs no GL headers.
constexpr int kSpecialKeyF1 = 1;
constexpr int kSpecialKeyF2 = 2;
constexpr int kSpecialKeyF7 = 7;
constexpr int kSpecialKeyF10 = 10;
constexpr int kSpecialKeyLeft = 100;
constexpr int kSpecialKeyUp = 101;
constexpr int kSpecialKeyRight = 102;
constexpr int kSpecialKeyDown = 103;
constexpr int kSpecialKeyInsert = 108;
// GLUT reports Esc and Delete through the keyboard callback as these characters.
constexpr unsigned char kKeyEscape = 27;
constexpr unsigned char kKeyDelete = 127;

// Window operations the full-screen toggle and Esc need; null members do nothing, except
// exit, which falls back to std::exit. An installed exit is expected to end the process.
struct WindowOps {
  void (*position)(int x, int y) = nullptr;
  void (*reshape)(int width, int height) = nullptr;
  void (*fullScreen)() = nullptr;
  void (*exit)(int status) = nullptr;
};
void setWindowOps(const WindowOps& ops);

// Window size restored when leaving full screen; 1600 x 900 until full screen is first entered.
extern int g_nSavedWindowWidth, g_nSavedWindowHeight;

// "Reset scene": rotation 10, 0, 0, camera 0, -10, -20, point offset 0.
void resetView();
// "Fullscreen" and F10: enters full screen at (0, 0) saving the current size, or returns to
// (4, 35) at the saved size.
void toggleFullscreen();
// "Reconstruct tree" and b: thin, voxel graph, timed reconstruction, then the tree layer
// alone is shown; g_dRunTime holds the reconstruction time in seconds.
void reconstructTree();
// Key f: timed best-first regrowth; g_dRunTime holds its time in seconds.
void refineTreeTimed();

// Runs the command of a key the panel did not take. Returns true when the key has a command
// (the caller requests a redisplay after every key in any case). Esc ends the process with
// status 0 through WindowOps::exit.
bool keyboardCommand(unsigned char key);
// Runs the command of a special key the panel did not take; true when the key has one.
bool specialKeyCommand(int key);

// Key v and the panel's "Frame model": the camera moves so the cloud's box fills the view,
// keeping the rotation. Nothing changes without a loaded cloud.
void frameModel();
// After a load: frames the new cloud unless the view already shows it well (so the start
// view of a 16-unit model stays as it is).
void frameLoadedModel();
// The cloud's box in model units (invalid without a loaded cloud) and the point the mouse
// turns the view about: the box's centre, or the origin without a cloud.
ViewBox modelViewBox();
ViewPoint viewPivot();
// The view globals as one pose, and back.
ViewPose currentViewPose();
void setViewPose(const ViewPose& pose);
// Mouse navigation in a window of g_nWindowWidth x g_nWindowHeight pixels.
void orbitByDrag(double dxPixels, double dyPixels);
void panByDrag(double dxPixels, double dyPixels);
void zoomByWheel(double x, double y, double steps);

// Key h: the key and mouse help over the scene.
extern bool g_bShowKeyHelp;

// "Export tree model": writes the tree file and says where in the window ("Exported <path>"),
// or why nothing was written. The console lines stay those of the export itself.
bool exportTreeCommand();
// "Export scan formats": the skeleton graph, the branch mesh (with the leaves when they are
// shown), the cylinder table and the measurements, in the scan's own coordinates, beside the
// tree file, under the names batch mode gives them. Says in the window what was written.
bool exportScanFormatsCommand();

// Popup menu on the right mouse button, in order.
struct MenuEntry {
  const char* label;
  int value;
};
constexpr int kMenuEntryCount = 3;
extern const MenuEntry kMenuEntries[kMenuEntryCount];
// Runs a menu entry by value: 0 deletes the selected voxel; 1 and 2 change nothing.
void menuCommand(int value);
