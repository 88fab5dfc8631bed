#pragma once
// The parameter panel drawn over the scene, and the event forwarding to it. Each event
// function returns true when the panel took the event, so the scene must not react.
//
// GLUT callbacks that forward here:
//   glutKeyboardFunc  -> panelKeyboard       glutSpecialFunc    -> panelSpecial
//   glutMouseFunc     -> panelMouse          glutPassiveMotionFunc -> panelMotion
//   glutMotionFunc    -> panelActiveMotion   glutMouseWheelFunc -> panelMouseWheel
//   glutReshapeFunc   -> panelReshape
// Key releases need no forwarding: the panel releases a key after one frame has seen it.

void panelInit();
void panelShutdown();
// Draws the panel; the frame's last drawing step.
void panelDraw();
void panelReshape(int width, int height);
// Keys 1-5, 0, b, r, < and > are panel shortcuts; while a panel field is being edited every
// key belongs to the panel.
bool panelKeyboard(unsigned char key, int x, int y);
// F7 ("Rotate anim") and F10 ("Fullscreen") are panel shortcuts.
bool panelSpecial(int key, int x, int y);
bool panelMouse(int button, int state, int x, int y);
// Mouse motion with no button held.
bool panelMotion(int x, int y);
// Mouse motion with a button held (dragging a value or the panel).
bool panelActiveMotion(int x, int y);
// direction > 0 scrolls up.
bool panelMouseWheel(int wheel, int direction, int x, int y);
