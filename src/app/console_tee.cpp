#include "app/console_tee.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

FILE* g_original = nullptr;
FILE* g_tee = nullptr;
ConsoleListener g_listener = nullptr;

ssize_t teeWrite(void*, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(STDOUT_FILENO, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  // The listener sees what was printed even when the console is gone, as a terminal closed
  // under the window would leave it.
  if (g_listener) g_listener(data, size);
  return done == size ? ssize_t(size) : -1;
}

}  // namespace

bool installConsoleTee(ConsoleListener listener, int bufferMode) {
  if (g_tee) {
    g_listener = listener;
    return true;
  }
  std::fflush(stdout);
  cookie_io_functions_t io{};
  io.write = teeWrite;
  FILE* tee = fopencookie(nullptr, "w", io);
  if (!tee) return false;
  std::setvbuf(tee, nullptr, bufferMode, 0);
  g_original = stdout;
  g_tee = tee;
  g_listener = listener;
  stdout = tee;  // glibc's stdout is an assignable variable; printf and puts write through it
  return true;
}

void detachConsoleListener() {
  g_listener = nullptr;
}

void removeConsoleTee() {
  if (!g_tee) return;
  std::fflush(g_tee);
  stdout = g_original;
  std::fclose(g_tee);
  g_tee = nullptr;
  g_original = nullptr;
  g_listener = nullptr;
}
