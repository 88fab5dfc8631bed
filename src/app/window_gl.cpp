#include "app/window_gl.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/console_tee.h"
#include "app/frame_clock.h"
#include "app/globals.h"
#include "app/message_log.h"
#include "app/model_folders.h"
#include "app/panel_gl.h"
#include "app/pipeline.h"
#include "app/progress.h"
#include "app/progress_overlay_gl.h"
#include "app/view_camera.h"
#include "foliage/tree_list_gl.h"
#include "settings/settings.h"

namespace {

FILE* g_statFile = nullptr;  // statistic.txt: created empty, never written
uint32_t g_lastFrameTick = 0;
unsigned g_framedLoads = 0;  // pointCloudLoadCount() when the view last looked at a new cloud
double g_farPlane = kViewFar;

// ---- Long work ----
// Commands run inside the GLUT callbacks; the progress overlay shows long ones. Input that
// queued up while a long command ran is drained afterwards and dropped (Esc still quits), so
// it cannot start other commands.
bool g_draining = false;
bool g_drainPending = false;

// ---- Mouse navigation ----
enum class Drag { None, Orbit, Pan };
Drag g_drag = Drag::None;
int g_dragButton = -1, g_dragX = 0, g_dragY = 0;

void closeStatisticFile() {
  if (g_statFile) {
    std::fclose(g_statFile);
    g_statFile = nullptr;
  }
}

// Connects the GL-free core to the window: the tree display-list builder and the window
// operations that the full-screen toggle needs.
void installRenderHooks() {
  installTreeListBuilder();
  WindowOps ops;
  ops.position = glutPositionWindow;
  ops.reshape = glutReshapeWindow;
  ops.fullScreen = glutFullScreen;
  setWindowOps(ops);
}

void setProjection() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const int h = g_nWindowHeight > 0 ? g_nWindowHeight : 1;
  gluPerspective(kViewFieldOfViewY, static_cast<float>(g_nWindowWidth) / static_cast<float>(h), kViewNear, g_farPlane);
  glMatrixMode(GL_MODELVIEW);
}

// ---- Progress ----

void onProgress(const char* stage, double fraction) {
  overlayStage(stage, fraction);
}

void onCommand(bool begins) {
  overlayCommand(begins);
  if (!begins && overlayCommandSeconds() >= kLongCommandSeconds) g_drainPending = true;
}

void onConsoleOutput(const char* data, size_t size) {
  MessageLog& log = windowMessages();
  log.feed(data, size);
  overlayRunningLine(log.pendingLine().c_str());
}

// Takes the events that queued up while a long command ran; the callbacks drop them (mouse
// releases still reach the panel and end drags, so no button stays held).
void drainInputAfterLongCommand() {
  if (!g_drainPending || g_draining) return;
  g_drainPending = false;
  g_draining = true;
  glutMainLoopEvent();
  g_draining = false;
  glutPostRedisplay();
}

// ---- Input ----

void keyboard(unsigned char key, int x, int y) {
  if (g_draining && key != kKeyEscape) return;
  {
    CommandScope command;
    if (!panelKeyboard(key, x, y)) keyboardCommand(key);
  }
  glutPostRedisplay();
  drainInputAfterLongCommand();
}

void special(int key, int x, int y) {
  if (g_draining) return;
  {
    CommandScope command;
    if (!panelSpecial(key, x, y)) specialKeyCommand(key);
  }
  glutPostRedisplay();
  drainInputAfterLongCommand();
}

void menuSelected(int value) {
  if (g_draining) return;
  {
    CommandScope command;
    menuCommand(value);
  }
  drainInputAfterLongCommand();
}

void advanceRotateAnimation() {
  float angle = g_fRotY + 1.0f;
  g_fRotY = angle >= 360.0f ? 0.0f : angle;
}

void applySceneRotation() {
  glRotatef(g_fRotX, 1.0f, 0.0f, 0.0f);
  glRotatef(g_fRotY, 0.0f, 1.0f, 0.0f);
  glRotatef(g_fRotZ, 0.0f, 0.0f, 1.0f);
}

void drawPointLayer() {
  glPushMatrix();
  glTranslatef(static_cast<float>(g_dPointOffsetX), 0.0f, 0.0f);
  applySceneRotation();
  if (g_bShowPoints) g_pointCloud.drawPoints();
  glPopMatrix();
}

void drawSceneLayers() {
  if (g_bShowAxis) g_pointCloud.drawFrame();
  if (g_bShowVoxel) g_voxelVolume.draw();
  if (g_bShowGraph) g_reconstructor.drawGraph();
  if (g_bShowTree) drawTree(g_reconstructor.model);
}

void paceFrame() {
  g_dPrevTime = g_dCurrTime;
  g_lastFrameTick = waitForNextFrame(g_lastFrameTick);
  g_dCurrTime = g_lastFrameTick / 1000.0;
}

// A new cloud is framed unless the view already shows it; a cloud beyond the usual far
// plane moves the plane out.
void followModel() {
  if (pointCloudLoadCount() != g_framedLoads) {
    g_framedLoads = pointCloudLoadCount();
    frameLoadedModel();
  }
  const double farPlane = farPlaneFor(currentViewPose(), modelViewBox());
  if (farPlane != g_farPlane) {
    g_farPlane = farPlane;
    setProjection();
  }
}

void display() {
  if (g_draining) return;
  followModel();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  // Set after the clear on purpose: a changed background shows from the next frame on.
  glClearColor(g_fBackgroundColor[0], g_fBackgroundColor[1], g_fBackgroundColor[2], 1.0f);
  glLoadIdentity();
  glTranslatef(g_fCamX, g_fCamY, g_fCamZ);
  if (g_bRotateAnim) advanceRotateAnimation();
  drawPointLayer();
  applySceneRotation();
  drawSceneLayers();
  panelDraw();
  paceFrame();
  if (g_bCapturing) g_recorder.captureFrame();
  glutSwapBuffers();
  glutPostRedisplay();
  drainInputAfterLongCommand();
}

void reshape(int w, int h) {
  g_nWindowWidth = w;
  g_nWindowHeight = h;
  glViewport(0, 0, w, h);
  setProjection();
  glLoadIdentity();
  panelReshape(w, h);
}

void idle() {
  glutPostRedisplay();
}

// A press the panel does not take starts a drag in the scene: left orbits, middle or
// Shift + left pans (the right button opens the menu). The drag keeps the scene until the
// button is released, even over the panel.
void mouse(int button, int state, int x, int y) {
  if (g_draining) {
    if (state == GLUT_UP) {
      panelMouse(button, state, x, y);
      if (button == g_dragButton) g_drag = Drag::None;
    }
    return;
  }
  const bool panelTook = panelMouse(button, state, x, y);
  if (state == GLUT_UP) {
    if (button == g_dragButton) g_drag = Drag::None;
  } else if (!panelTook && g_drag == Drag::None && (button == GLUT_LEFT_BUTTON || button == GLUT_MIDDLE_BUTTON)) {
    const bool shift = (glutGetModifiers() & GLUT_ACTIVE_SHIFT) != 0;
    g_drag = button == GLUT_MIDDLE_BUTTON || shift ? Drag::Pan : Drag::Orbit;
    g_dragButton = button;
    g_dragX = x;
    g_dragY = y;
  }
  glutPostRedisplay();
}

void passiveMotion(int x, int y) {
  if (g_draining) return;
  panelMotion(x, y);
  glutPostRedisplay();
}

void activeMotion(int x, int y) {
  if (g_draining) return;
  panelActiveMotion(x, y);
  if (g_drag != Drag::None) {
    const int dx = x - g_dragX, dy = y - g_dragY;
    if (g_drag == Drag::Orbit)
      orbitByDrag(dx, dy);
    else
      panByDrag(dx, dy);
    g_dragX = x;
    g_dragY = y;
  }
  glutPostRedisplay();
}

// The wheel zooms towards the pointer unless the panel takes it.
void mouseWheel(int wheel, int direction, int x, int y) {
  if (g_draining) return;
  if (!panelMouseWheel(wheel, direction, x, y) && wheel == 0 && direction != 0 && g_drag == Drag::None)
    zoomByWheel(x, y, direction > 0 ? 1.0 : -1.0);
  glutPostRedisplay();
}

void setFixedGlState() {
  glClearColor(g_fBackgroundColor[0], g_fBackgroundColor[1], g_fBackgroundColor[2], 1.0f);
  glDisable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glEnable(GL_LIGHT0);
  glEnable(GL_NORMALIZE);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_LIGHTING);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
  const GLfloat ambient[] = {0.6f, 0.6f, 0.6f, 1.0f};
  const GLfloat white[] = {1.0f, 1.0f, 1.0f, 1.0f};
  const GLfloat position[] = {0.0f, 0.2f, 1.0f, 0.0f};  // directional, fixed to the eye
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
  glLightfv(GL_LIGHT0, GL_SPECULAR, white);
  glLightfv(GL_LIGHT0, GL_POSITION, position);
  const GLfloat matAmbient[] = {0.9f, 1.0f, 0.9f, 1.0f};
  const GLfloat matDiffuse[] = {0.8f, 1.0f, 0.8f, 1.0f};
  glMaterialfv(GL_FRONT, GL_AMBIENT, matAmbient);
  glMaterialfv(GL_FRONT, GL_DIFFUSE, matDiffuse);
  glMaterialfv(GL_FRONT, GL_SPECULAR, white);
  glMaterialf(GL_FRONT, GL_SHININESS, 80.0f);
  glShadeModel(GL_SMOOTH);
}

void createPopupMenu() {
  glutCreateMenu(menuSelected);
  for (const MenuEntry& entry : kMenuEntries) glutAddMenuEntry(entry.label, entry.value);
  glutAttachMenu(GLUT_RIGHT_BUTTON);
}

}  // namespace

int runWindow(int argc, char** argv) {
  // Line-buffered even when redirected, so console progress reaches a log as it happens. The
  // tee shows the same lines in the window; without it the console is served alone.
  windowMessages();  // made before the listener is detached at exit, so it outlives it
  if (installConsoleTee(onConsoleOutput, _IOLBF))
    std::atexit(detachConsoleListener);
  else
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
  g_statFile = std::fopen("statistic.txt", "w");
  std::atexit(closeStatisticFile);
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB | GLUT_DEPTH);
  glutInitWindowSize(g_nWindowWidth, g_nWindowHeight);
  glutInitWindowPosition(10, 10);
  glutCreateWindow("Tree Modeling from Point Cloud");
  createPopupMenu();
  glutDisplayFunc(display);
  glutReshapeFunc(reshape);
  panelInit();
  std::atexit(panelShutdown);
  glutMouseFunc(mouse);
  glutPassiveMotionFunc(passiveMotion);
  glutMotionFunc(activeMotion);
  glutMouseWheelFunc(mouseWheel);
  glutKeyboardFunc(keyboard);
  glutSpecialFunc(special);
  glutIdleFunc(idle);
  installRenderHooks();
  loadStartupModels();
  setFixedGlState();
  setProgressHook(onProgress);
  setCommandHook(onCommand);
  if (startProgressOverlay()) std::atexit(stopProgressOverlay);
  g_lastFrameTick = tickCount();
  glutMainLoop();
  closeStatisticFile();
  return 0;
}
