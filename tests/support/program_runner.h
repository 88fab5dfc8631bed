#pragma once
// Runs the real program in a scratch working folder on a private Xvfb display of its own
// (so tests running in parallel never cover each other's windows), sends keys and pointer
// events with xdotool, takes screenshots, and collects its console output and exit status.

#include <functional>
#include <string>
#include <vector>

// Polls ready() every 100 ms until it holds or `seconds` (of the clock, however slow the
// checks) have passed; the deadlines are generous since only a failure waits them out.
bool waitUntil(double seconds, const std::function<bool()>& ready);

struct Screenshot {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;  // top row first, 3 bytes per pixel
  bool valid() const { return width > 0 && height > 0; }
  const unsigned char* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
  // Pixels of colour (r, g, b), each channel within tol, in [x0, x1) x [y0, y1).
  size_t countColour(int x0, int y0, int x1, int y1, int r, int g, int b, int tol) const;
  // Pixels that differ from other's by more than tol in some channel, in [x0, x1) x [y0, y1).
  size_t countChanged(const Screenshot& other, int x0, int y0, int x1, int y1, int tol) const;
};

class ProgramRunner {
 public:
  // Prepares workDir: data/point_model and data/leaf_model link to the given folders
  // (the bundled ones by default), data/tree_model is a real empty folder.
  explicit ProgramRunner(const std::string& workDir, const std::string& pointModels = "",
                         const std::string& leafModels = "");
  ~ProgramRunner();  // kills the program and the display if still running

  bool start();
  // Waits for the program's window; returns its id, or "" after `seconds`.
  std::string waitForWindow(double seconds = 60.0);
  // Waits until the console output contains text.
  bool waitForOutput(const std::string& text, double seconds = 60.0);
  // Runs "xdotool <args>" with the window id in place of %w.
  void xdotool(const std::string& args);
  Screenshot screenshot();
  // Screenshots until ready(shot) holds or `seconds` pass; returns the last one.
  Screenshot screenshotWhen(const std::function<bool(const Screenshot&)>& ready, double seconds = 60.0);
  // Screenshots until two in a row are alike: the window has settled (a fixed pause does not
  // tell that on a loaded machine).
  Screenshot steadyScreenshot(double seconds = 60.0);
  // Waits for the process to end; returns its exit status, or -1 on time-out (then kills it).
  int waitExit(double seconds = 60.0);
  std::string output() const;
  // Runs a command with DISPLAY set to the program's display.
  int runX(const std::string& command, std::string* out = nullptr) const;

 private:
  bool startDisplay();
  std::string display_;
  int xvfbPid_ = -1;
  std::string workDir_;
  std::string windowId_;
  int pid_ = -1;
};
