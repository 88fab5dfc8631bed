#include "app/progress_overlay_gl.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "app/message_log.h"
#include "app/progress.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);
constexpr int kBoxWidth = 460, kBoxHeight = 96;

// What the GLUT thread tells the watcher; guarded by mutex.
struct SharedState {
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;
  bool running = false;
  Clock::time_point began = Clock::now(), ended = Clock::now();
  std::string stage, runningLine;
  double fraction = -1.0;
};

SharedState g_state;
std::thread g_watcher;
std::string g_displayName;
Window g_window = 0;

// A pixel value of an 8-bit-per-channel colour for a true-colour visual.
unsigned long pixelOf(const Visual* v, int r, int g, int b) {
  auto place = [](unsigned long mask, int value) {
    if (mask == 0) return 0ul;
    int shift = 0;
    while (!((mask >> shift) & 1ul)) ++shift;
    int bits = 0;
    while ((mask >> (shift + bits)) & 1ul) ++bits;
    const unsigned long scaled = bits >= 8 ? (unsigned long)value << (bits - 8) : (unsigned long)value >> (8 - bits);
    return (scaled << shift) & mask;
  };
  return place(v->red_mask, r) | place(v->green_mask, g) | place(v->blue_mask, b);
}

struct Painter {
  Display* display = nullptr;
  GC gc = nullptr;
  XFontStruct* font = nullptr;
  bool trueColour = false;
  Visual* visual = nullptr;

  void colour(int r, int g, int b) {
    const int grey = (r + g + b) / 3;
    unsigned long pixel;
    if (trueColour)
      pixel = pixelOf(visual, r, g, b);
    else
      pixel = grey > 127 ? WhitePixel(display, DefaultScreen(display)) : BlackPixel(display, DefaultScreen(display));
    XSetForeground(display, gc, pixel);
  }
  void rect(int x, int y, int w, int h) { XFillRectangle(display, g_window, gc, x, y, unsigned(w), unsigned(h)); }
  void text(int x, int y, const std::string& s) { XDrawString(display, g_window, gc, x, y, s.c_str(), int(s.size())); }
};

void drawBox(Painter& p, const std::string& stage, double fraction, double seconds, const std::string& line) {
  XWindowAttributes wa;
  if (!XGetWindowAttributes(p.display, g_window, &wa)) return;
  const int x = (wa.width - kBoxWidth) / 2, y = (wa.height - kBoxHeight) / 2;
  p.colour(110, 110, 110);
  p.rect(x - 1, y - 1, kBoxWidth + 2, kBoxHeight + 2);
  p.colour(32, 32, 32);
  p.rect(x, y, kBoxWidth, kBoxHeight);
  p.colour(255, 255, 255);
  p.text(x + 14, y + 24, (stage.empty() ? std::string("Working") : stage) + " ...");
  const int barX = x + 14, barY = y + 36, barW = kBoxWidth - 28, barH = 12;
  p.colour(72, 72, 72);
  p.rect(barX, barY, barW, barH);
  if (fraction >= 0.0) {
    p.colour(90, 160, 255);
    p.rect(barX, barY, int(barW * (fraction < 1.0 ? fraction : 1.0)), barH);
  }
  p.colour(210, 210, 210);
  std::string detail = durationText(seconds);
  if (!line.empty()) detail += "   " + (line.size() > 56 ? line.substr(line.size() - 56) : line);
  p.text(x + 14, y + 68, detail);
  p.colour(150, 150, 150);
  p.text(x + 14, y + 86, "Keys and clicks are ignored until this is done.");
  XFlush(p.display);
}

void watch() {
  Painter p;
  p.display = XOpenDisplay(g_displayName.c_str());
  if (!p.display) return;
  XWindowAttributes wa;
  if (XGetWindowAttributes(p.display, g_window, &wa)) {
    p.visual = wa.visual;
    p.trueColour = wa.visual && wa.visual->c_class == TrueColor;
  }
  p.gc = XCreateGC(p.display, g_window, 0, nullptr);
  p.font = XLoadQueryFont(p.display, "fixed");
  if (p.font) XSetFont(p.display, p.gc, p.font->fid);
  std::unique_lock<std::mutex> lock(g_state.mutex);
  while (!g_state.stop) {
    if (!g_state.running) {
      g_state.wake.wait(lock);
      continue;
    }
    g_state.wake.wait_for(lock, kRedrawPeriod);
    if (g_state.stop || !g_state.running) continue;
    const double seconds = std::chrono::duration<double>(Clock::now() - g_state.began).count();
    if (seconds < kLongCommandSeconds) continue;
    const std::string stage = g_state.stage, line = g_state.runningLine;
    double fraction = g_state.fraction;
    if (fraction < 0.0) fraction = trailingPercentage(line);
    lock.unlock();
    drawBox(p, stage, fraction, seconds, line);
    lock.lock();
  }
  lock.unlock();
  if (p.font) XFreeFont(p.display, p.font);
  XFreeGC(p.display, p.gc);
  XCloseDisplay(p.display);
}

}  // namespace

bool startProgressOverlay() {
  if (g_watcher.joinable()) return true;
  Display* current = glXGetCurrentDisplay();
  g_window = glXGetCurrentDrawable();
  if (!current || !g_window) return false;
  g_displayName = DisplayString(current);
  g_state.stop = false;
  g_watcher = std::thread(watch);
  return true;
}

void stopProgressOverlay() {
  if (!g_watcher.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(g_state.mutex);
    g_state.stop = true;
  }
  g_state.wake.notify_all();
  g_watcher.join();
}

void overlayCommand(bool begins) {
  {
    std::lock_guard<std::mutex> lock(g_state.mutex);
    g_state.running = begins;
    if (begins) {
      g_state.began = Clock::now();
      g_state.stage.clear();
      g_state.runningLine.clear();
      g_state.fraction = -1.0;
    } else {
      g_state.ended = Clock::now();
    }
  }
  g_state.wake.notify_all();
}

void overlayStage(const char* stage, double fraction) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  g_state.stage = stage ? stage : "";
  g_state.fraction = fraction;
}

void overlayRunningLine(const char* line) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  g_state.runningLine = line ? line : "";
}

double overlayCommandSeconds() {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  const Clock::time_point end = g_state.running ? Clock::now() : g_state.ended;
  return std::chrono::duration<double>(end - g_state.began).count();
}
