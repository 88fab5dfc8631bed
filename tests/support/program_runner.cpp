#include "support/program_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

// Parses a binary PPM (P6, maxval 255).
Screenshot parsePpm(const std::string& data) {
  Screenshot shot;
  size_t pos = 0;
  auto token = [&]() {
    while (pos < data.size()) {
      if (data[pos] == '#') {
        while (pos < data.size() && data[pos] != '\n') ++pos;
      } else if (isspace(static_cast<unsigned char>(data[pos]))) {
        ++pos;
      } else {
        break;
      }
    }
    size_t start = pos;
    while (pos < data.size() && !isspace(static_cast<unsigned char>(data[pos]))) ++pos;
    return data.substr(start, pos - start);
  };
  if (token() != "P6") return shot;
  int w = std::atoi(token().c_str());
  int h = std::atoi(token().c_str());
  int maxval = std::atoi(token().c_str());
  ++pos;  // single white-space byte before the pixels
  size_t bytes = static_cast<size_t>(w) * h * 3;
  if (maxval != 255 || w <= 0 || h <= 0 || data.size() < pos + bytes) return shot;
  shot.width = w;
  shot.height = h;
  shot.rgb.assign(data.begin() + pos, data.begin() + pos + bytes);
  return shot;
}

}  // namespace

size_t Screenshot::countColour(int x0, int y0, int x1, int y1, int r, int g, int b, int tol) const {
  size_t n = 0;
  for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(width, x1); ++x) {
      const unsigned char* p = at(x, y);
      if (std::abs(p[0] - r) <= tol && std::abs(p[1] - g) <= tol && std::abs(p[2] - b) <= tol) ++n;
    }
  return n;
}

ProgramRunner::ProgramRunner(const std::string& workDir, const std::string& pointModels, const std::string& leafModels)
    : workDir_(workDir), logPath_(workDir + "/console.log") {
  const std::string source = FRONDAREL_SOURCE_DIR;
  fs::create_directories(workDir_ + "/data/tree_model");
  fs::create_directory_symlink(pointModels.empty() ? source + "/data/point_model" : pointModels,
                               workDir_ + "/data/point_model");
  fs::create_directory_symlink(leafModels.empty() ? source + "/data/leaf_model" : leafModels,
                               workDir_ + "/data/leaf_model");
}

ProgramRunner::~ProgramRunner() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (xvfbPid_ > 0) {
    kill(xvfbPid_, SIGTERM);
    waitpid(xvfbPid_, nullptr, 0);
  }
}

// Starts Xvfb on a display number of this test process's own: displays are never shared,
// so one server shutting down cannot remove the socket of another starting on the same number.
bool ProgramRunner::startDisplay() {
  for (int attempt = 0; attempt < 5; ++attempt) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    std::string number = std::to_string(1000 + (getpid() * 7 + attempt) % 40000);
    xvfbPid_ = fork();
    if (xvfbPid_ < 0) return false;
    if (xvfbPid_ == 0) {
      close(fds[0]);
      int nullFd = open("/dev/null", O_RDWR);
      dup2(nullFd, STDIN_FILENO);
      dup2(nullFd, STDOUT_FILENO);
      dup2(nullFd, STDERR_FILENO);
      std::string fd = std::to_string(fds[1]);
      std::string display = ":" + number;
      // -noreset: without it the server resets when its last client (the readiness probe)
      // leaves, and a program connecting during that reset fails to open the display.
      execlp("Xvfb", "Xvfb", display.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24", "-noreset",
             "-nolisten", "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string ready;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') ready += c;
    close(fds[0]);
    if (ready == number) {
      display_ = ":" + number;
      // Make sure clients can connect before the program is started against it.
      for (int i = 0; i < 100; ++i) {
        if (runX("xdpyinfo >/dev/null 2>&1") == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      std::fprintf(stderr, "display %s reported ready but accepts no client\n", display_.c_str());
      display_.clear();
    }
    kill(xvfbPid_, SIGTERM);
    waitpid(xvfbPid_, nullptr, 0);
    xvfbPid_ = -1;
  }
  return false;
}

int ProgramRunner::runX(const std::string& command, std::string* out) const {
  return runCommand("DISPLAY=" + display_ + " " + command, out);
}

bool ProgramRunner::start(const std::vector<std::string>& args) {
  if (display_.empty() && !startDisplay()) return false;
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    if (chdir(workDir_.c_str()) != 0) _exit(127);
    setenv("DISPLAY", display_.c_str(), 1);
    int fd = open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int nullIn = open("/dev/null", O_RDONLY);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    dup2(nullIn, STDIN_FILENO);
    std::vector<char*> argv;
    std::string binary = FRONDAREL_BINARY;
    argv.push_back(binary.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  return true;
}

std::string ProgramRunner::waitForWindow(double seconds) {
  auto t0 = std::chrono::steady_clock::now();
  while (secondsSince(t0) < seconds) {
    std::string out;
    runX("xdotool search --pid " + std::to_string(pid_) +
             " --onlyvisible --name 'Tree Modeling from Point Cloud' 2>/dev/null",
         &out);
    out = trim(out);
    if (!out.empty()) {
      windowId_ = out.substr(0, out.find('\n'));
      return windowId_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return "";
}

bool ProgramRunner::waitForOutput(const std::string& text, double seconds) {
  auto t0 = std::chrono::steady_clock::now();
  while (secondsSince(t0) < seconds) {
    if (output().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

void ProgramRunner::key(const std::string& keyName) {
  runX("xdotool key --window " + windowId_ + " '" + keyName + "' 2>/dev/null", nullptr);
}

void ProgramRunner::click(int x, int y, int button) {
  runX("xdotool mousemove --window " + windowId_ + " " + std::to_string(x) + " " + std::to_string(y) +
           " sleep 0.2 click " + std::to_string(button) + " 2>/dev/null",
       nullptr);
}

Screenshot ProgramRunner::screenshot() {
  std::string ppm;
  runX("import -window " + windowId_ + " -depth 8 ppm:- 2>/dev/null", &ppm);
  return parsePpm(ppm);
}

int ProgramRunner::waitExit(double seconds) {
  auto t0 = std::chrono::steady_clock::now();
  while (secondsSince(t0) < seconds) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
  return -1;
}

std::string ProgramRunner::output() const {
  return readFile(logPath_);
}
