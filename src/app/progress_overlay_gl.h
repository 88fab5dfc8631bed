#pragma once
// The box that shows, over the window, which stage of a long command runs and for how long.
// Commands run on the GLUT thread, which draws nothing until they end; a watcher thread with
// a display connection of its own draws the box with plain X calls once a command has run
// for half a second, and redraws it ten times a second. The next frame after the command
// covers it.

// Starts the watcher for the current GLUT window (its GL context must be current). Returns
// false when no display connection could be made; the program then runs without the box.
bool startProgressOverlay();
// Stops and joins the watcher (at exit, before the window goes).
void stopProgressOverlay();

// From the GLUT thread: a command begins or ends; the stage that runs now and the share of
// the command done (negative when unknown); the console line being printed (a counter).
void overlayCommand(bool begins);
void overlayStage(const char* stage, double fraction);
void overlayRunningLine(const char* line);
// Seconds the command that runs now (or the last one) has taken.
double overlayCommandSeconds();

// Commands shorter than this show no box and keep the input that arrived meanwhile.
constexpr double kLongCommandSeconds = 0.5;
