#include "support/program_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

// Forks and runs the executable with stdin, stdout and stderr redirected; returns the pid.
int spawn(const char* file, const std::vector<std::string>& args, int out, const std::string& folder = ".") {
  const int pid = fork();
  if (pid != 0) return pid;
  const int nullFd = open("/dev/null", O_RDWR);
  dup2(nullFd, STDIN_FILENO);
  dup2(out < 0 ? nullFd : out, STDOUT_FILENO);
  dup2(out < 0 ? nullFd : out, STDERR_FILENO);
  std::vector<char*> argv = {const_cast<char*>(file)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  if (chdir(folder.c_str()) == 0) execvp(file, argv.data());
  _exit(127);
}

void stop(int* pid, int signal) {
  if (*pid > 0) kill(*pid, signal), waitpid(*pid, nullptr, 0);
  *pid = -1;
}

}  // namespace

bool waitUntil(double seconds, const std::function<bool()>& ready) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(int64_t(seconds * 1000));
  for (; !ready(); std::this_thread::sleep_for(std::chrono::milliseconds(100)))
    if (std::chrono::steady_clock::now() > deadline) return false;
  return true;
}

size_t Screenshot::countColour(int x0, int y0, int x1, int y1, int r, int g, int b, int tol) const {
  size_t n = 0;
  for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(width, x1); ++x) {
      const unsigned char* p = at(x, y);
      if (std::abs(p[0] - r) <= tol && std::abs(p[1] - g) <= tol && std::abs(p[2] - b) <= tol) ++n;
    }
  return n;
}

size_t Screenshot::countChanged(const Screenshot& other, int x0, int y0, int x1, int y1, int tol) const {
  size_t n = 0;
  for (int y = std::max(0, y0); y < std::min({height, other.height, y1}); ++y)
    for (int x = std::max(0, x0); x < std::min({width, other.width, x1}); ++x) {
      const unsigned char *p = at(x, y), *q = other.at(x, y);
      n += std::abs(p[0] - q[0]) > tol || std::abs(p[1] - q[1]) > tol || std::abs(p[2] - q[2]) > tol;
    }
  return n;
}

ProgramRunner::ProgramRunner(const std::string& workDir, const std::string& pointModels, const std::string& leafModels)
    : workDir_(workDir) {
  const std::string source = FRONDAREL_SOURCE_DIR;
  fs::create_directories(workDir_ + "/data/tree_model");
  fs::create_directory_symlink(pointModels.empty() ? source + "/data/point_model" : pointModels,
                               workDir_ + "/data/point_model");
  fs::create_directory_symlink(leafModels.empty() ? source + "/data/leaf_model" : leafModels,
                               workDir_ + "/data/leaf_model");
}

ProgramRunner::~ProgramRunner() {
  stop(&pid_, SIGKILL);
  stop(&xvfbPid_, SIGTERM);
}

// Xvfb on a display number of this test process's own, so that one server shutting down cannot
// remove the socket of another starting on the same number. -noreset: without it the server
// resets when its last client (the readiness probe) leaves, and a program connecting during that
// reset fails to open the display.
bool ProgramRunner::startDisplay() {
  for (int attempt = 0; attempt < 5 && display_.empty(); ++attempt) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    const std::string number = std::to_string(1000 + (getpid() * 7 + attempt) % 40000);
    xvfbPid_ = spawn("Xvfb",
                     {":" + number, "-displayfd", std::to_string(fds[1]), "-screen", "0", "1920x1080x24", "-noreset",
                      "-nolisten", "tcp"},
                     -1);
    close(fds[1]);
    std::string ready;
    for (char c; read(fds[0], &c, 1) == 1 && c != '\n';) ready += c;
    close(fds[0]);
    display_ = ":" + number;
    if (ready != number || !waitUntil(30, [&] { return runX("xdpyinfo >/dev/null 2>&1") == 0; })) {
      display_.clear();
      stop(&xvfbPid_, SIGTERM);
    }
  }
  return !display_.empty();
}

int ProgramRunner::runX(const std::string& command, std::string* out) const {
  return runCommand("DISPLAY=" + display_ + " " + command, out);
}

bool ProgramRunner::start() {
  if (display_.empty() && !startDisplay()) return false;
  const int log = open((workDir_ + "/console.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_ = spawn("env", {"DISPLAY=" + display_, FRONDAREL_BINARY}, log, workDir_);
  close(log);
  return pid_ > 0;
}

std::string ProgramRunner::waitForWindow(double seconds) {
  waitUntil(seconds, [&] {
    std::string out;
    runX("xdotool search --pid " + std::to_string(pid_) +
             " --onlyvisible --name 'Tree Modeling from Point Cloud' 2>/dev/null",
         &out);
    windowId_ = out.substr(0, out.find('\n'));
    return !windowId_.empty();
  });
  return windowId_;
}

bool ProgramRunner::waitForOutput(const std::string& text, double seconds) {
  return waitUntil(seconds, [&] { return output().find(text) != std::string::npos; });
}

void ProgramRunner::xdotool(const std::string& args) {
  std::string command = args;
  for (size_t at = command.find("%w"); at != std::string::npos; at = command.find("%w"))
    command.replace(at, 2, windowId_);
  runX("xdotool " + command + " 2>/dev/null");
}

// A binary PPM (P6, maxval 255) as ImageMagick writes it.
Screenshot ProgramRunner::screenshot() {
  std::string ppm;
  runX("import -window " + windowId_ + " -depth 8 ppm:- 2>/dev/null", &ppm);
  Screenshot shot;
  int w = 0, h = 0, maxval = 0, header = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &w, &h, &maxval, &header) != 3 || maxval != 255) return shot;
  const size_t at = size_t(header) + 1, bytes = size_t(w) * h * 3;
  if (w <= 0 || h <= 0 || ppm.size() < at + bytes) return shot;
  shot.width = w, shot.height = h;
  shot.rgb.assign(ppm.begin() + at, ppm.begin() + at + bytes);
  return shot;
}

Screenshot ProgramRunner::screenshotWhen(const std::function<bool(const Screenshot&)>& ready, double seconds) {
  Screenshot shot;
  waitUntil(seconds, [&] {
    shot = screenshot();
    return shot.valid() && ready(shot);
  });
  return shot;
}

Screenshot ProgramRunner::steadyScreenshot(double seconds) {
  Screenshot last;
  return screenshotWhen(
      [&](const Screenshot& s) {
        const bool same = s.rgb == last.rgb;
        last = s;
        return same;
      },
      seconds);
}

int ProgramRunner::waitExit(double seconds) {
  int status = 0;
  if (pid_ < 0) return -1;
  if (!waitUntil(seconds, [&] { return waitpid(pid_, &status, WNOHANG) == pid_; })) {
    stop(&pid_, SIGKILL);
    return -1;
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ProgramRunner::output() const {
  return readFile(workDir_ + "/console.log");
}
