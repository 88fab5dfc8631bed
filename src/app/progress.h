#pragma once
// Progress of long work: the pipeline reports which stage runs and how far the command is,
// and the window, when it has installed a hook, shows it. Headless runs install none.
// GL-free.

#include <cstddef>
#include <string>

// stage names what runs now; fraction is the share of the command done (0 to 1), or
// negative when unknown.
using ProgressHook = void (*)(const char* stage, double fraction);

void setProgressHook(ProgressHook hook);
// Calls the hook when one is installed.
void reportProgress(const char* stage, double fraction);

// Marks the span of a user command (a key, a menu entry, a panel edit), which may run long:
// the window shows progress once one has run a while and drops the input that queued up
// meanwhile. Scopes nest; the hook sees the outermost one begin (true) and end (false).
using CommandHook = void (*)(bool begins);
void setCommandHook(CommandHook hook);
class CommandScope {
 public:
  CommandScope();
  ~CommandScope();
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;
};

// A duration for people: "0.4 s", "12 s", "3 min 05 s", "1 h 02 min".
std::string durationText(double seconds);

// The place of a batch run after `done` of `total` files took elapsedSeconds:
// "file 2 of 5, 12 s elapsed, about 18 s left" (the time left from the mean time per file;
// no estimate once every file is done).
std::string runProgressText(size_t done, size_t total, double elapsedSeconds);
