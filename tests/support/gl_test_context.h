#pragma once
// A real OpenGL context for drawing tests: one GLUT window (on Xvfb in CI) created on
// first use and kept for the whole test run, plus a capture of the primitives that a
// drawing function emits, through GL feedback mode, in model coordinates.

#include <functional>
#include <vector>

#include <GL/gl.h>

// Creates the window and makes its context current (once); later calls only make it current.
void ensureGlContext(int width = 400, int height = 300);

struct FeedbackVertex {
  double x = 0, y = 0, z = 0;  // model coordinates (identity model-view)
  float r = 0, g = 0, b = 0, a = 0;
};

struct FeedbackPrimitive {
  GLenum token = 0;  // GL_POINT_TOKEN, GL_LINE_TOKEN, GL_LINE_RESET_TOKEN, GL_POLYGON_TOKEN, ...
  std::vector<FeedbackVertex> vertices;
};

// Runs draw with an orthographic view in which model coordinates within +-kFeedbackExtent
// map one to one, and returns what reached the rasteriser. The current colour and
// lighting state at the time of each vertex are reflected in the colours.
constexpr double kFeedbackExtent = 100.0;
std::vector<FeedbackPrimitive> captureFeedback(const std::function<void()>& draw);

// Counts of primitives by token.
size_t countTokens(const std::vector<FeedbackPrimitive>& prims, GLenum token);

// Reads the back buffer as RGB bytes, bottom row first.
std::vector<unsigned char> readBackBuffer(int x, int y, int width, int height);
