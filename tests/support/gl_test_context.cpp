#include "support/gl_test_context.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>

namespace {
int g_window = 0;
}

void ensureGlContext(int width, int height) {
  if (g_window == 0) {
    if (!std::getenv("DISPLAY")) {
      std::fprintf(stderr, "GL tests need a display (run them under xvfb-run)\n");
      std::abort();
    }
    int argc = 1;
    char name[] = "frondarel-gl-test";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB | GLUT_DEPTH);
    glutInitWindowSize(width, height);
    g_window = glutCreateWindow("frondarel gl test");
    glutDisplayFunc([] {});
    for (int i = 0; i < 5; ++i) glutMainLoopEvent();
  }
  glutSetWindow(g_window);
}

std::vector<FeedbackPrimitive> captureFeedback(const std::function<void()>& draw) {
  ensureGlContext();
  const double S = kFeedbackExtent;
  std::vector<GLfloat> buffer(1 << 22);
  glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
  glRenderMode(GL_FEEDBACK);

  glViewport(0, 0, static_cast<GLsizei>(2 * S), static_cast<GLsizei>(2 * S));
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(-S, S, -S, S, -S, S);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  draw();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);

  GLint used = glRenderMode(GL_RENDER);
  std::vector<FeedbackPrimitive> prims;
  if (used < 0) {
    std::fprintf(stderr, "feedback buffer overflow\n");
    return prims;
  }
  // In GL_3D_COLOR with RGBA each vertex is x, y, z, r, g, b, a.
  auto readVertex = [&](GLint& i) {
    FeedbackVertex v;
    v.x = buffer[i] - S;
    v.y = buffer[i + 1] - S;
    v.z = S * (1.0 - 2.0 * buffer[i + 2]);
    v.r = buffer[i + 3];
    v.g = buffer[i + 4];
    v.b = buffer[i + 5];
    v.a = buffer[i + 6];
    i += 7;
    return v;
  };
  GLint i = 0;
  while (i < used) {
    FeedbackPrimitive p;
    p.token = static_cast<GLenum>(buffer[i++]);
    int n = 0;
    switch (p.token) {
      case GL_POINT_TOKEN:
      case GL_BITMAP_TOKEN:
      case GL_DRAW_PIXEL_TOKEN:
      case GL_COPY_PIXEL_TOKEN:
        n = 1;
        break;
      case GL_LINE_TOKEN:
      case GL_LINE_RESET_TOKEN:
        n = 2;
        break;
      case GL_POLYGON_TOKEN:
        n = static_cast<int>(buffer[i++]);
        break;
      case GL_PASS_THROUGH_TOKEN:
        i += 1;
        n = 0;
        break;
      default:
        std::fprintf(stderr, "unknown feedback token %u\n", p.token);
        return prims;
    }
    for (int k = 0; k < n; ++k) p.vertices.push_back(readVertex(i));
    prims.push_back(std::move(p));
  }
  return prims;
}

size_t countTokens(const std::vector<FeedbackPrimitive>& prims, GLenum token) {
  size_t n = 0;
  for (const auto& p : prims) n += p.token == token;
  return n;
}

std::vector<unsigned char> readBackBuffer(int x, int y, int width, int height) {
  ensureGlContext();
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}
