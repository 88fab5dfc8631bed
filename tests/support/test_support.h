#pragma once
// Helpers shared by the tests: temporary folders with real files, capture of what the code
// prints on standard output, and shell commands.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline bool fileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

// A fresh folder under /tmp, removed with everything in it when the object goes away.
class TempDir {
 public:
  TempDir() : path_((std::filesystem::temp_directory_path() / "frondarel-test-XXXXXX").string()) {
    if (!mkdtemp(path_.data())) std::perror("mkdtemp");
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Writes content to path()/name (creating sub-folders) and returns the full path.
  std::string write(const std::string& name, const std::string& content) const {
    std::filesystem::create_directories(std::filesystem::path(file(name)).parent_path());
    std::ofstream(file(name), std::ios::binary) << content;
    return file(name);
  }

 private:
  std::string path_;
};

// Captures what is written to standard output from construction until text().
class StdoutCapture {
 public:
  StdoutCapture() {
    std::fflush(stdout);
    char name[] = "/tmp/frondarel-stdout-XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    saved_ = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    close(fd);
  }
  ~StdoutCapture() {
    text();
    std::remove(path_.c_str());
  }
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;
  // Stops capturing (if still capturing) and returns what was printed.
  std::string text() {
    if (saved_ >= 0) {
      std::fflush(stdout);
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
      saved_ = -1;
      text_ = readFile(path_);
    }
    return text_;
  }

 private:
  int saved_ = -1;
  std::string path_, text_;
};

// Runs a shell command; returns its exit status, with its standard output in *out.
inline int runCommand(const std::string& command, std::string* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  const int status = pclose(pipe);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
