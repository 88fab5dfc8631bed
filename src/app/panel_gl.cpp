// placeholder until the panel lands
#include "app/panel_gl.h"

void panelInit() {}
void panelShutdown() {}
void panelDraw() {}
void panelReshape(int, int) {}
bool panelKeyboard(unsigned char, int, int) { return false; }
bool panelSpecial(int, int, int) { return false; }
bool panelMouse(int, int, int, int) { return false; }
bool panelMotion(int, int) { return false; }
