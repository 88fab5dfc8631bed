#pragma once
// The GLUT window: start-up sequence, callbacks and the paced frame. Returns the
// process status when the main loop ends.

int runWindow(int argc, char** argv);
