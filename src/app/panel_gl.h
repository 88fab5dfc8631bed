#pragma once
// The parameter panel drawn over the scene, and the event forwarding to it. Each event
// function returns true when the panel took the event, so the scene must not react.

void panelInit();
void panelShutdown();
// Draws the panel; the frame's last drawing step.
void panelDraw();
void panelReshape(int width, int height);
bool panelKeyboard(unsigned char key, int x, int y);
bool panelSpecial(int key, int x, int y);
bool panelMouse(int button, int state, int x, int y);
bool panelMotion(int x, int y);
