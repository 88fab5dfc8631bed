#pragma once
// Runs the real program in a scratch working folder on a private Xvfb display of its own
// (so tests running in parallel never cover each other's windows), finds its window, sends
// keys and clicks with xdotool, takes screenshots, and collects its console output and
// exit status.

#include <string>
#include <vector>

struct Screenshot {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;  // top row first, 3 bytes per pixel
  bool valid() const { return width > 0 && height > 0; }
  const unsigned char* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
  // Number of pixels in the rectangle whose colour is within tol of (r, g, b) per channel.
  size_t countColour(int x0, int y0, int x1, int y1, int r, int g, int b, int tol) const;
};

class ProgramRunner {
 public:
  // Prepares workDir: data/point_model and data/leaf_model link to the given folders
  // (the bundled ones by default), data/tree_model is a real empty folder.
  explicit ProgramRunner(const std::string& workDir, const std::string& pointModels = "",
                         const std::string& leafModels = "");
  ~ProgramRunner();  // kills the program if still running

  bool start(const std::vector<std::string>& args = {});
  // Waits (up to seconds) for the window titled "Tree Modeling from Point Cloud"; returns its id or "".
  std::string waitForWindow(double seconds = 30.0);
  // Waits until the console output contains text.
  bool waitForOutput(const std::string& text, double seconds = 30.0);
  // xdotool key names: "2", "Escape", "F1", "b", ...
  void key(const std::string& keyName);
  void click(int x, int y, int button = 1);
  Screenshot screenshot();
  // Waits for the process to end; returns its exit status, or -1 on time-out (then kills it).
  int waitExit(double seconds = 20.0);
  std::string output() const;
  const std::string& workDir() const { return workDir_; }
  const std::string& windowId() const { return windowId_; }
  // The private display, e.g. ":12" (empty when Xvfb could not be started).
  const std::string& display() const { return display_; }
  // Runs a shell command against the private display; returns its exit status.
  int runX(const std::string& command, std::string* out = nullptr) const;

 private:
  bool startDisplay();
  std::string display_;
  int xvfbPid_ = -1;
  std::string workDir_;
  std::string logPath_;
  std::string windowId_;
  int pid_ = -1;
};
