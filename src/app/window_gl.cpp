#include "app/window_gl.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>

#include "app/commands.h"
#include "app/frame_clock.h"
#include "app/globals.h"
#include "app/model_folders.h"
#include "app/panel_gl.h"
#include "foliage/tree_list_gl.h"
#include "settings/settings.h"

namespace {

FILE* g_statFile = nullptr;  // statistic.txt: created empty, never written
uint32_t g_lastFrameTick = 0;

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

void keyboard(unsigned char key, int x, int y) {
  if (!panelKeyboard(key, x, y)) keyboardCommand(key);
  glutPostRedisplay();
}

void special(int key, int x, int y) {
  if (panelSpecial(key, x, y)) return;
  specialKeyCommand(key);
  glutPostRedisplay();
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

void display() {
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
}

void reshape(int w, int h) {
  g_nWindowWidth = w;
  g_nWindowHeight = h;
  glViewport(0, 0, w, h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  float aspect = static_cast<float>(w) / static_cast<float>(h > 0 ? h : 1);
  gluPerspective(60.0, aspect, 0.2, 500.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  panelReshape(w, h);
}

void idle() {
  glutPostRedisplay();
}

void mouse(int button, int state, int x, int y) {
  if (panelMouse(button, state, x, y)) return;
  glutPostRedisplay();
}

void passiveMotion(int x, int y) {
  panelMotion(x, y);
  glutPostRedisplay();
}

// Dragging and the wheel exist for the panel only; the scene does not react to them.
void activeMotion(int x, int y) {
  panelActiveMotion(x, y);
  glutPostRedisplay();
}

void mouseWheel(int wheel, int direction, int x, int y) {
  panelMouseWheel(wheel, direction, x, y);
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
  glutCreateMenu(menuCommand);
  for (const MenuEntry& entry : kMenuEntries) glutAddMenuEntry(entry.label, entry.value);
  glutAttachMenu(GLUT_RIGHT_BUTTON);
}

}  // namespace

int runWindow(int argc, char** argv) {
  // Line-buffered even when redirected, so console progress reaches a log as it happens.
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
  g_lastFrameTick = tickCount();
  glutMainLoop();
  closeStatisticFile();
  return 0;
}
