#pragma once
// Helpers shared by the tests: temporary folders with real files, and capture of what
// the code prints on standard output.

#include <string>

// A fresh folder under /tmp, removed with everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes content to path()/name (creating sub-folders) and returns the full path.
  std::string write(const std::string& name, const std::string& content) const;
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

// Captures everything written to the process's standard output (printf and std::cout)
// between construction and text().
class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;
  // Stops capturing (if still capturing) and returns what was printed.
  std::string text();

 private:
  int savedFd_ = -1;
  std::string tmpPath_;
  std::string captured_;
  bool active_ = false;
};

// Runs a shell command and returns its exit status; its standard output goes to *out.
int runCommand(const std::string& command, std::string* out);
